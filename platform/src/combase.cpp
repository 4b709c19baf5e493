// COM library functions: per-thread initialisation counts and the external
// lock, which is a strong reference held for the caller.
#include <windows.h>

namespace {
thread_local int g_initCount = 0;
}

extern "C" HRESULT WINAPI CoInitialize(LPVOID) {
  return g_initCount++ == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI CoUninitialize() {
  if (g_initCount > 0) --g_initCount;
}

extern "C" HRESULT WINAPI CoLockObjectExternal(IUnknown* unk, BOOL lock, BOOL) {
  if (!unk) return E_INVALIDARG;
  if (lock)
    unk->AddRef();
  else
    unk->Release();
  return S_OK;
}

extern "C" HRESULT WINAPI CoDisconnectObject(IUnknown* unk, DWORD) {
  return unk ? S_OK : E_INVALIDARG;
}
