// COM library functions: per-thread initialisation counts and the external
// lock, which is a strong reference held for the caller.
#include <windows.h>

namespace {
thread_local int g_initCount = 0;
}

/***********************************************************************
 * CoInitialize, CoUninitialize (OLE32.@)
 * Count the thread's initialisations: the first gives S_OK, later ones
 * S_FALSE. There is one apartment per thread and nothing to set up.
 */
extern "C" HRESULT WINAPI CoInitialize(LPVOID) {
  return g_initCount++ == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI CoUninitialize() {
  if (g_initCount > 0) --g_initCount;
}

/***********************************************************************
 * CoLockObjectExternal, CoDisconnectObject (OLE32.@)
 * The external lock is a strong reference: lock AddRefs, unlock Releases.
 * With no remote clients, disconnecting has nothing to cut.
 * RETURNS E_INVALIDARG for a NULL object, else S_OK.
 */
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
