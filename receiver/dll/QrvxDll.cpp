// The library qrvx: its initialisation (one server object, one class factory
// for Acceptor) and its four exports.
#include <windows.h>

#include "receiver/ComServ.h"

namespace {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

// Library load and unload, in the order the units initialise.
struct TLibraryUnit {
  TLibraryUnit() {
    ComServer = new TComServer(ThisModule());
    try {
      new TAutoObjectFactory(ComServer, CLSID_Acceptor, ciMultiInstance, tmApartment);
    } catch (const std::exception& e) {
      // Without its factory the library serves no class; say why where a
      // developer can see it.
      std::string line = std::string("qrvx: ") + e.what() + "\r\n";
      OutputDebugStringA(line.c_str());
    }
  }
  ~TLibraryUnit() {
    FreeAutoObjectFactories(ComServer);
    delete ComServer;
    ComServer = nullptr;
  }
} g_libraryUnit;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  TAutoObjectFactory* factory = FindAutoObjectFactory(rclsid);
  if (!factory) {
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return factory->QueryInterface(riid, ppv) == S_OK ? S_OK : E_NOINTERFACE;
}

STDAPI DllCanUnloadNow() {
  return !ComServer ? S_OK : ComServer->CanUnloadNow();
}

STDAPI DllRegisterServer() {
  return ComServer ? ComServer->RegisterServer() : E_FAIL;
}

STDAPI DllUnregisterServer() {
  try {
    ComServer->UpdateRegistry(false);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}
