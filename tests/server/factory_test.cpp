// The server framework when something is missing or fails: a module without
// a type library, a class factory called with bad arguments or unable to
// build its object (the "ZIV Error" box), a library under a path with a
// space, the error object that cannot be completed.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>

#include "receiver/ComServ.h"
#include "receiver/IAcceptor.h"
#include "receiver/SafeCall.h"
#include "support/Automation.h"
#include "support/ReplacedAllocator.h"
#include "support/TempDir.h"

namespace {

// The next allocation of at least this many bytes fails once (0: none).
std::size_t g_failFrom = 0;

}  // namespace

// This program's one allocator (support/ReplacedAllocator.h): an
// allocation can be made to fail once.
bool FailAllocation(std::size_t n) {
  if (!g_failFrom || n < g_failFrom) return false;
  g_failFrom = 0;
  return true;
}
void* AllocateBytes(std::size_t n) {
  return std::malloc(n);
}

namespace {

std::string RegValue(const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return "<missing>";
  char buf[1024];
  DWORD size = sizeof buf, type = 0;
  LONG rc = RegQueryValueExA(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) return "<missing>";
  return std::string(buf, size - 1);
}

class Factory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    static char dir[] = "/tmp/qrvx_factory_registry_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    setenv("QRVX_REGISTRY_DIR", dir, 1);
#endif
    CoInitialize(nullptr);
    Lib = LoadLibraryA(QRVX_LIBRARY);
    ASSERT_NE(Lib, nullptr) << QRVX_LIBRARY;
  }
  static HMODULE Lib;
};
HMODULE Factory::Lib;

// The program itself carries no type library: the server names itself
// after its file, cannot load type information, and has no class to offer.
TEST_F(Factory, ModuleWithoutATypeLibrary) {
  TComServer server(nullptr);
  std::string message;
  HRESULT code = S_OK;
  try {
    server.GetTypeLib();
  } catch (const EOleSysError& e) {
    message = e.what();
    code = e.ErrorCode;
  }
  EXPECT_EQ(message.rfind("Error loading type library (", 0), 0u) << message;
  EXPECT_TRUE(FAILED(code));
  EXPECT_EQ(server.TypeLib(), nullptr);
  EXPECT_EQ(server.ServerName(), "test_server");
  try {
    TAutoObjectFactory f(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
    ADD_FAILURE() << "a factory without type information";
  } catch (const EOleError& e) {
    EXPECT_STREQ(e.what(), "Type information missing for class TAcceptor");
  }
  EXPECT_EQ(server.RegisterServer(), E_FAIL);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

TEST_F(Factory, BadArgumentsAreRefused) {
  TComServer server(Lib);
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  void* p = &p;
  EXPECT_EQ(factory.QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(factory.QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
  // Aggregation only through IUnknown.
  IUnknown* outer = &factory;
  p = &p;
  EXPECT_EQ(factory.CreateInstance(outer, IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  // An interface the object lacks: nothing is created, nothing stays alive.
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(server.ObjectCount(), 0);
}

// When the object cannot be built, the factory shows the reason in the
// "ZIV Error" box (a line on the error output when no one can answer it)
// and the caller gets E_UNEXPECTED.
TEST_F(Factory, ObjectThatCannotBeBuiltShowsTheReason) {
  TComServer server(Lib);
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  // Without boxes the failure is silent.
  for (bool boxes : {true, false}) {
    SCOPED_TRACE(boxes);
    factory.ShowErrors = boxes;
    void* p = &p;
#ifndef _WIN32
    testing::internal::CaptureStderr();
#endif
    g_failFrom = sizeof(TAutoAcceptor);
    EXPECT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, &p), E_UNEXPECTED);
    g_failFrom = 0;
#ifndef _WIN32
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              boxes ? "[ZIV Error] std::bad_alloc.\r\n" : "");
#endif
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(server.ObjectCount(), 0);
  }
  // And the next object is built as usual.
  IDispatch* d = nullptr;
  ASSERT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(server.ObjectCount(), 1);
  d->Release();
  EXPECT_EQ(server.ObjectCount(), 0);
}

// What a member's body raises becomes its result: a system error keeps its
// code, anything else is E_UNEXPECTED; either way the error object names
// the class as its source.
TEST_F(Factory, AnythingRaisedBecomesAnAutomationError) {
  TComServer server(Lib);
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  EXPECT_EQ(SafeCall([] {}), S_OK);
  EXPECT_EQ(SafeCall([] { throw EOleSysError("denied", E_ACCESSDENIED); }), E_ACCESSDENIED);
  EXPECT_EQ(SafeCall([] { throw 42; }), E_UNEXPECTED);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  BSTR source = nullptr, description = nullptr;
  EXPECT_EQ(info->GetSource(&source), S_OK);
  EXPECT_EQ(TakeAnsi(source), "QRVX.Acceptor");
  info->GetDescription(&description);
  EXPECT_EQ(TakeAnsi(description), "");
  info->Release();
}

// A library whose path has a space is registered under a path that names
// the same file (its short form where the system has one).
TEST_F(Factory, LibraryUnderAPathWithASpace) {
  namespace fs = std::filesystem;
  TTestDir dir("qrvx_space_");
  fs::path spaced = dir.Path / "with space";
  fs::create_directories(spaced);
  std::string original(MAX_PATH + 1, '\0');
  original.resize(GetModuleFileNameA(Lib, original.data(), MAX_PATH + 1));
  fs::path copy = spaced / fs::path(original).filename();
  fs::copy_file(original, copy);
  HMODULE lib = LoadLibraryA(copy.string().c_str());
  ASSERT_NE(lib, nullptr);
  {
    TComServer server(lib);
    TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
    ASSERT_EQ(server.RegisterServer(), S_OK);
    std::string registered =
        RegValue("CLSID\\" + GUIDToString(CLSID_Acceptor) + "\\InprocServer32");
    char shortForm[MAX_PATH + 2];
    DWORD n = GetShortPathNameA(server.ModuleFileName().c_str(), shortForm, sizeof shortForm);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(registered, std::string(shortForm, n));
#ifdef _WIN32
    EXPECT_EQ(registered.find(' '), std::string::npos) << registered;
#endif
    server.UpdateRegistry(false);
  }
  FreeLibrary(lib);
}

#ifndef _WIN32
// A registry that cannot be written (its directory lies below a plain file,
// which no one can create a directory in, not even root): registration stops
// at its first step and fails, through the server and through the library's
// export alike; the class keys by themselves raise "Error creating system
// registry entry". Unregistration ignores what it cannot delete and succeeds.
TEST_F(Factory, RegistryThatCannotBeWritten) {
  TTestDir dir("qrvx_noreg_");
  const std::string blocker = (dir.Path / "plain-file").string();
  std::ofstream(blocker) << "not a directory";
  const std::string saved = std::getenv("QRVX_REGISTRY_DIR");
  setenv("QRVX_REGISTRY_DIR", (blocker + "/registry").c_str(), 1);
  {
    TComServer server(Lib);
    TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
    EXPECT_EQ(server.RegisterServer(), E_FAIL);
    try {
      server.UpdateRegistry(true);
      ADD_FAILURE() << "registered into a registry that cannot be written";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Error registering type library (", 0), 0u) << e.what();
      EXPECT_EQ(e.ErrorCode, TYPE_E_REGISTRYACCESS);
    }
    try {
      factory.UpdateRegistry(true);
      ADD_FAILURE() << "class keys written into a registry that cannot be written";
    } catch (const EOleRegistrationError& e) {
      EXPECT_STREQ(e.what(), "Error creating system registry entry");
    }
    EXPECT_NO_THROW(server.UpdateRegistry(false));
  }
  using TNoArgs = HRESULT(STDMETHODCALLTYPE*)();
  auto reg = reinterpret_cast<TNoArgs>(
      reinterpret_cast<void (*)()>(GetProcAddress(Lib, "DllRegisterServer")));
  auto unreg = reinterpret_cast<TNoArgs>(
      reinterpret_cast<void (*)()>(GetProcAddress(Lib, "DllUnregisterServer")));
  ASSERT_TRUE(reg && unreg);
  EXPECT_EQ(reg(), E_FAIL);
  EXPECT_EQ(unreg(), S_OK);
  setenv("QRVX_REGISTRY_DIR", saved.c_str(), 1);
  EXPECT_FALSE(std::filesystem::exists(blocker + "/registry"));
}
#endif

}  // namespace
