// COM library functions (ole32). There is one apartment per thread and no
// remoting here: nothing outside the process holds our objects.
#pragma once

#include "types.h"
#include "unknwn.h"

#define COINIT_APARTMENTTHREADED 0x2
// Counts the thread's initialisations; S_FALSE when already initialised.
extern "C" HRESULT WINAPI CoInitialize(LPVOID pvReserved);
extern "C" void WINAPI CoUninitialize();
// Holds (fLock) or lets go of one strong reference to the object (AddRef /
// Release), as the stub manager does on Windows.
extern "C" HRESULT WINAPI CoLockObjectExternal(IUnknown* pUnk, BOOL fLock,
                                               BOOL fLastUnlockReleases);
// Cuts remote connections to the object: there are none here, S_OK.
extern "C" HRESULT WINAPI CoDisconnectObject(IUnknown* pUnk, DWORD dwReserved);
