// qrvx register [LIBRARY] / qrvx unregister [LIBRARY]: loads the COM server
// library and calls its DllRegisterServer or DllUnregisterServer, the way
// setup and QRVXUnst do (here with dlopen, through the platform layer).
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"

namespace {

// 0 when the export ran and answered S_OK, 1 when it answered a failure,
// 2 when the library or the export cannot be had.
int CallExport(const std::string& library, const char* name) {
  HMODULE lib = LoadLibraryA(library.c_str());
  if (!lib) {
    std::fprintf(stderr, "qrvx: cannot load %s\n", library.c_str());
    return 2;
  }
  typedef HRESULT(STDMETHODCALLTYPE * TExport)();
  auto fn = reinterpret_cast<TExport>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
  if (!fn) {
    std::fprintf(stderr, "qrvx: %s has no export %s\n", library.c_str(), name);
    FreeLibrary(lib);
    return 2;
  }
  HRESULT hr = fn();
  FreeLibrary(lib);
  if (hr != S_OK) {
    std::fprintf(stderr, "qrvx: %s failed (0x%08X)\n", name, static_cast<unsigned>(hr));
    return 1;
  }
  std::printf("%s: %s succeeded\n", library.c_str(), name);
  return 0;
}

void AddCall(CLI::App& app, const char* command, const char* help, const char* exportName) {
  auto library = std::make_shared<std::string>(QRVX_DEFAULT_LIBRARY);
  CLI::App* cmd = app.add_subcommand(command, help);
  cmd->add_option("LIBRARY", *library, "the COM server library")->capture_default_str();
  cmd->callback([library, exportName] {
    int rc = CallExport(*library, exportName);
    if (rc) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

void AddServerCommands(CLI::App& app) {
  AddCall(app, "register",
          "Register the COM server (its class, ProgID QRVX.Acceptor and type library)",
          "DllRegisterServer");
  AddCall(app, "unregister", "Remove the COM server's registration", "DllUnregisterServer");
}
