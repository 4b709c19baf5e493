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

#define CLSCTX_INPROC_SERVER 0x1

// CoTaskMemAlloc / CoTaskMemFree: the task allocator (malloc here).
extern "C" LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
extern "C" void WINAPI CoTaskMemFree(LPVOID pv);

// IMalloc: the task allocator as an interface (SHGetMalloc hands it out).
struct IMalloc : public IUnknown {
  virtual void* STDMETHODCALLTYPE Alloc(SIZE_T cb) = 0;
  virtual void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) = 0;
  virtual void STDMETHODCALLTYPE Free(void* pv) = 0;
  virtual SIZE_T STDMETHODCALLTYPE GetSize(void* pv) = 0;
  virtual int STDMETHODCALLTYPE DidAlloc(void* pv) = 0;
  virtual void STDMETHODCALLTYPE HeapMinimize() = 0;
};
typedef IMalloc* LPMALLOC;

struct IPersist : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) = 0;
};
struct IPersistFile : public IPersist {
  virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
  virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, DWORD dwMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR pszFileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName) = 0;
};
extern "C" const IID IID_IPersistFile;

// CoCreateInstance: creates an object of class rclsid and queries it for riid.
//   NOTES the stand-in knows one class, the shell's link object
//   (CLSID_ShellLink, see shlobj.h); any other gives REGDB_E_CLASSNOTREG.
extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                           REFIID riid, LPVOID* ppv);
