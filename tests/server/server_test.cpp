// The COM server through the library's own exports, loaded the way setup and
// the uninstaller load it: qrvx.dll under Wine (with the real registry and
// automation library), libqrvx.so natively (with the platform layer's).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "receiver/ComServ.h"
#include "receiver/IAcceptor.h"
#include "support/Automation.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

typedef HRESULT(STDMETHODCALLTYPE* TGetClassObject)(REFCLSID, REFIID, void**);
typedef HRESULT(STDMETHODCALLTYPE* TNoArgs)();

const char kCLSID[] = "{7806FC75-04C2-45B7-A723-3DC129D6344A}";
const char kLIBID[] = "{3C86BF94-8932-4E97-9B38-66C71EEA9A7E}";
// The coclass's help string, in code page 1251.
const char kDescription[] =
    "\xD0\xE0\xE7\xE1\xEE\xF0 \xE4\xE0\xED\xED\xFB\xF5, \xEF\xEE\xF1\xEB\xE0\xED\xED\xFB\xF5 "
    "\xEA\xEB\xE8\xE5\xED\xF2\xEE\xEC \xEA\xE0\xEA \xF7\xE0\xF1\xF2\xFC POST-\xE7\xE0\xEF\xF0\xEE"
    "\xF1\xE0 \xE2 \"multipart/form-data\" \xF4\xEE\xF0\xEC\xE0\xF2\xE5";

template <class F>
F Export(HMODULE lib, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
}

// The library, loaded once for the program.
class Server : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    // A registry of our own (the library reads the same variable).
    static char dir[] = "/tmp/qrvx_registry_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    setenv("QRVX_REGISTRY_DIR", dir, 1);
#endif
    CoInitialize(nullptr);
    Lib = LoadLibraryA(QRVX_LIBRARY);
    ASSERT_NE(Lib, nullptr) << QRVX_LIBRARY;
    GetClassObject = Export<TGetClassObject>(Lib, "DllGetClassObject");
    CanUnloadNow = Export<TNoArgs>(Lib, "DllCanUnloadNow");
    Register = Export<TNoArgs>(Lib, "DllRegisterServer");
    Unregister = Export<TNoArgs>(Lib, "DllUnregisterServer");
    ASSERT_TRUE(GetClassObject && CanUnloadNow && Register && Unregister);
  }

  IClassFactory* Factory() {
    IClassFactory* f = nullptr;
    EXPECT_EQ(GetClassObject(CLSID_Acceptor, IID_IClassFactory, reinterpret_cast<void**>(&f)),
              S_OK);
    return f;
  }
  IDispatch* NewObject() {
    IClassFactory* f = Factory();
    IDispatch* d = nullptr;
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    f->Release();
    return d;
  }

  static HMODULE Lib;
  static TGetClassObject GetClassObject;
  static TNoArgs CanUnloadNow, Register, Unregister;
};
HMODULE Server::Lib;
TGetClassObject Server::GetClassObject;
TNoArgs Server::CanUnloadNow, Server::Register, Server::Unregister;

// The default or named value of a key under HKEY_CLASSES_ROOT; "<missing>"
// when the key or value does not exist.
std::string RegValue(const std::string& key, const char* name = nullptr) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return "<missing>";
  char buf[1024];
  DWORD size = sizeof buf, type = 0;
  LONG rc = RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || type != REG_SZ || size == 0) return "<missing>";
  return std::string(buf, size - 1);
}

bool KeyExists(const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Calls a member by name through IDispatch, the way a script host does;
// args are given first to last.
HRESULT Call(IDispatch* d, const char* name, WORD flags, std::initializer_list<VARIANT*> args,
             VARIANT* result, EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
  BSTR n = AnsiBstr(name);
  DISPID id = 0;
  HRESULT hr = d->GetIDsOfNames(IID_NULL, &n, 1, 0x409, &id);
  SysFreeString(n);
  if (FAILED(hr)) return hr;
  VARIANT reversed[8];
  UINT count = 0;
  for (auto it = args.end(); it != args.begin();) reversed[count++] = **--it;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed, (flags & DISPATCH_PROPERTYPUT) ? &put : nullptr, count,
                    (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
  EXCEPINFO local{};
  UINT err = 0;
  hr = d->Invoke(id, IID_NULL, 0x409, flags, &params, result, excep ? excep : &local,
                 argErr ? argErr : &err);
  if (!excep) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}
constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

TEST_F(Server, RegistersExactlyTheClassKeysAndRemovesThem) {
  const std::string clsid = std::string("CLSID\\") + kCLSID;
  char file[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(Lib, file, sizeof file);
  ASSERT_GT(n, 0u);
  for (int round = 0; round < 2; ++round) {  // registering twice changes nothing
    ASSERT_EQ(Register(), S_OK);
    EXPECT_EQ(RegValue(clsid), kDescription);
    EXPECT_EQ(RegValue(clsid + "\\InprocServer32"), std::string(file, n));
    EXPECT_EQ(RegValue(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(RegValue("QRVX.Acceptor"), kDescription);
    EXPECT_EQ(RegValue("QRVX.Acceptor\\Clsid"), kCLSID);
    EXPECT_EQ(RegValue(clsid + "\\ProgID"), "QRVX.Acceptor");
    EXPECT_EQ(RegValue(clsid + "\\Version"), "1.0");
    EXPECT_EQ(RegValue(clsid + "\\TypeLib"), kLIBID);
    EXPECT_TRUE(KeyExists(std::string("TypeLib\\") + kLIBID + "\\1.0"));
    // No version-independent ProgID, no versioned ProgID.
    EXPECT_FALSE(KeyExists(clsid + "\\VersionIndependentProgID"));
    EXPECT_FALSE(KeyExists("QRVX.Acceptor.1"));
  }
  ASSERT_EQ(Unregister(), S_OK);
  EXPECT_FALSE(KeyExists(clsid));
  EXPECT_FALSE(KeyExists("QRVX.Acceptor"));
  EXPECT_FALSE(KeyExists(std::string("TypeLib\\") + kLIBID + "\\1.0"));
  EXPECT_EQ(Unregister(), S_OK);  // nothing left to remove is no error
}

TEST_F(Server, ClassObjectsCountsAndLocks) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(IID_IAcceptor, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(GetClassObject(CLSID_Acceptor, IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(CanUnloadNow(), S_OK);

  IClassFactory* f = Factory();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a factory reference is held
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
  IUnknown* outer = f;  // any object will do: it is never called
  p = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(outer, IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);

  IDispatch* d = nullptr;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  f->Release();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the object is alive
  d->Release();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  f = Factory();
  EXPECT_EQ(f->LockServer(TRUE), S_OK);
  f->Release();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // locked
  f = Factory();
  EXPECT_EQ(f->LockServer(FALSE), S_OK);
  f->Release();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

// An outer object that counts its references, for aggregation.
struct TOuter : IUnknown {
  LONG Refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --Refs; }
};

TEST_F(Server, AggregatedObjectDelegatesToItsOuterObject) {
  IClassFactory* f = Factory();
  ASSERT_NE(f, nullptr);
  TOuter outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  f->Release();
  IDispatch* d = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(outer.Refs, 2);  // the interface's reference belongs to the outer object
  d->Release();
  EXPECT_EQ(outer.Refs, 1);
  inner->Release();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(Server, ObjectAnswersItsInterfaces) {
  IDispatch* d = NewObject();
  ASSERT_NE(d, nullptr);
  void* p = nullptr;
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IAcceptor, &IID_ISupportErrorInfo,
                         &IID_IProvideClassInfo}) {
    ASSERT_EQ(d->QueryInterface(*iid, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
  }
  EXPECT_EQ(d->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);

  ISupportErrorInfo* sei = nullptr;
  d->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei));
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IAcceptor), S_OK);
  EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
  sei->Release();

  IProvideClassInfo* pci = nullptr;
  d->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&pci));
  ITypeInfo* ti = nullptr;
  ASSERT_EQ(pci->GetClassInfo(&ti), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(ti->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(TakeAnsi(name), "Acceptor");
  ti->Release();
  pci->Release();

  UINT count = 0;
  EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ti = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(d->GetTypeInfo(1, 0, &ti), DISP_E_BADINDEX);
  EXPECT_EQ(ti, nullptr);
  ASSERT_EQ(d->GetTypeInfo(0, 0, &ti), S_OK);
  ASSERT_EQ(ti->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(TakeAnsi(name), "IAcceptor");
  ti->Release();
  d->Release();
}

TEST_F(Server, NamesMapToTheirDispatchIdentifiers) {
  IDispatch* d = NewObject();
  ASSERT_NE(d, nullptr);
  const struct {
    const char* Name;
    DISPID Id;
  } kMembers[] = {
      {"ProcessRequest", 1}, {"DBFCount", 2},     {"DBFName", 3},     {"DBFColCount", 4},
      {"DBFRowCount", 5},    {"DBFColName", 6},   {"DBF", 7},         {"ProcessZIP", 8},
      {"VarCount", 9},       {"VarName", 10},     {"VarValue", 11},   {"DBFRow", 12},
      {"DBFVarName", 13},    {"ProcessDBF", 14},  {"Version", 16},    {"FileReadText", 17},
      {"FileCount", 18},     {"FileName", 19},    {"FileSaveTo", 20}, {"FileSize", 21},
      {"FileRead", 22},      {"FileVarName", 23}, {"FilePath", 24},   {"varcount", 9}};
  for (const auto& m : kMembers) {
    BSTR n = AnsiBstr(m.Name);
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0x409, &id), S_OK) << m.Name;
    EXPECT_EQ(id, m.Id) << m.Name;
    SysFreeString(n);
  }
  BSTR n = AnsiBstr("Nothing");
  DISPID id = 0;
  EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0x409, &id), DISP_E_UNKNOWNNAME);
  SysFreeString(n);
  d->Release();
}

TEST_F(Server, ScriptCallsReachTheMembersWithCoercedArguments) {
  IDispatch* d = NewObject();
  ASSERT_NE(d, nullptr);
  const std::string body =
      ReadWholeFile(DataPath("multipart/werkzeug/firefox3-2png1txt/request.http"));
  const std::string png = ReadWholeFile(DataPath("multipart/werkzeug/firefox3-2png1txt/file1.png"));
  ASSERT_EQ(png.size(), 523u);
  {
    Var arg, r;
    SetBytes(&arg, body);
    EXPECT_EQ(Call(d, "ProcessRequest", DISPATCH_METHOD, {&arg}, &r), S_OK);
  }
  {
    Var r;
    ASSERT_EQ(Call(d, "VarCount", kGet, {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_I4);
    EXPECT_EQ(r.lVal, 1);
  }
  {
    Var id, r;
    SetText(&id, " TEXT ");
    ASSERT_EQ(Call(d, "VarValue", kGet, {&id}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(TakeAnsi(SysAllocString(r.bstrVal)), "example text");
  }
  {
    Var id, r;
    id.vt = VT_I2;
    id.iVal = 0;
    ASSERT_EQ(Call(d, "FileName", kGet, {&id}, &r), S_OK);
    EXPECT_EQ(TakeAnsi(SysAllocString(r.bstrVal)), "anchor.png");
  }
  {
    // StartPos and Size arrive as text and as a double: converted to long.
    Var id, start, size, r;
    SetI4(&id, 0);
    SetText(&start, "4");
    size.vt = VT_R8;
    size.dblVal = 8;
    ASSERT_EQ(Call(d, "FileRead", kGet, {&id, &start, &size}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(ArrayBytes(r), png.substr(4, 8));
  }
  {
    Var id, start, size, r;
    SetI4(&id, 0);
    SetText(&start, "four");
    SetI4(&size, 8);
    EXPECT_EQ(Call(d, "FileRead", kGet, {&id, &start, &size}, &r), DISP_E_TYPEMISMATCH);
    Var only;
    SetI4(&only, 0);
    EXPECT_EQ(Call(d, "FileRead", kGet, {&only}, &r), DISP_E_BADPARAMCOUNT);
  }
  {
    // Property put with a 2-byte integer 1; reads back as true (-1).
    Var v, r, got;
    v.vt = VT_I2;
    v.iVal = 1;
    EXPECT_EQ(Call(d, "ProcessZIP", DISPATCH_PROPERTYPUT, {&v}, &r), S_OK);
    ASSERT_EQ(Call(d, "ProcessZIP", kGet, {}, &got), S_OK);
    EXPECT_EQ(got.vt, VT_BOOL);
    EXPECT_EQ(got.boolVal, VARIANT_TRUE);
  }
  {
    Var r;
    // A method is not found as a bare property get.
    EXPECT_EQ(Call(d, "Version", DISPATCH_PROPERTYGET, {}, &r), DISP_E_MEMBERNOTFOUND);
    ASSERT_EQ(Call(d, "Version", kGet, {}, &r), S_OK);
    EXPECT_EQ(TakeAnsi(SysAllocString(r.bstrVal)), "v2.0");
  }
  d->Release();
}

// A script passes its variables by reference: in For i = 0 To n - 1 the
// member's identifier arrives as VT_BYREF|VT_VARIANT pointing at the counter.
// Every member that takes an identifier or a column must answer exactly as it
// does for the same value passed by value.
TEST_F(Server, IdentifiersPassedByReferenceSelectLikeTheirValues) {
  IDispatch* d = NewObject();
  ASSERT_NE(d, nullptr);
  const std::string table = ReadWholeFile(DataPath("dbf/dbase_03.dbf"));
  ASSERT_FALSE(table.empty());
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"First\"\r\n\r\none"
      "\r\n--b\r\nContent-Disposition: form-data; name=\"second\"\r\n\r\ntwo"
      "\r\n--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"C:\\A\\a.txt\"\r\n\r\n"
      "alpha\r\n--b\r\nContent-Disposition: form-data; name=\"g\"; filename=\"b.txt\"\r\n\r\n"
      "bravo!\r\n--b\r\nContent-Disposition: form-data; name=\"t\"; filename=\"t.dbf\"\r\n\r\n" +
      table + "\r\n--b--\r\n";
  {
    Var on, r, arg, r2;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    ASSERT_EQ(Call(d, "ProcessDBF", DISPATCH_PROPERTYPUT, {&on}, &r), S_OK);
    SetBytes(&arg, body);
    ASSERT_EQ(Call(d, "ProcessRequest", DISPATCH_METHOD, {&arg}, &r2), S_OK);
  }
  // The answer of a member as text, for comparing by-value and by-reference calls.
  auto answer = [&](const char* member, std::initializer_list<VARIANT*> args) {
    Var r;
    HRESULT hr = Call(d, member, kGet, args, &r);
    if (hr != S_OK) return std::string("failed");
    if (r.vt == (VT_ARRAY | VT_UI1)) return "bytes:" + ArrayBytes(r);
    Var text;
    if (FAILED(VariantChangeType(&text, &r, 0, VT_BSTR))) return std::string("?");
    return TakeAnsi(SysAllocString(text.bstrVal));
  };
  const char* const kOneId[] = {"VarName",     "VarValue",    "FileName", "FilePath",
                                "FileVarName", "FileSize",    "DBFName",  "DBFVarName",
                                "DBFColCount", "DBFRowCount", "DBFRow"};
  for (int i = -1; i <= 3; ++i) {
    Var byValue;
    SetI4(&byValue, i);
    VARIANT counter;  // the script's loop variable, a 2-byte integer
    counter.vt = VT_I2;
    counter.iVal = static_cast<SHORT>(i);
    VARIANT ref;  // a reference to it, as VBScript passes it
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &counter;
    LONG wide = i;
    VARIANT refI4;  // a reference to a typed variable, as compiled clients pass one
    refI4.vt = VT_BYREF | VT_I4;
    refI4.plVal = &wide;
    for (const char* m : kOneId) {
      std::string expected = answer(m, {&byValue});
      EXPECT_EQ(answer(m, {&ref}), expected) << m << "(" << i << ")";
      EXPECT_EQ(answer(m, {&refI4}), expected) << m << "(" << i << ") VT_I4 by reference";
    }
    Var zero, start, size;
    SetI4(&zero, 0);
    SetI4(&start, 0);
    SetI4(&size, 100);
    EXPECT_EQ(answer("FileRead", {&ref, &start, &size}),
              answer("FileRead", {&byValue, &start, &size}));
    EXPECT_EQ(answer("FileReadText", {&ref, &start, &size}),
              answer("FileReadText", {&byValue, &start, &size}));
    EXPECT_EQ(answer("DBFColName", {&zero, &ref}), answer("DBFColName", {&zero, &byValue}));
    EXPECT_EQ(answer("DBF", {&zero, &ref}), answer("DBF", {&zero, &byValue}));
  }
  // Values that select something, so the comparisons above are not all empty.
  VARIANT counter;
  counter.vt = VT_I2;
  counter.iVal = 1;
  VARIANT ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &counter;
  EXPECT_EQ(answer("VarValue", {&ref}), "two");
  EXPECT_EQ(answer("FileSize", {&ref}), "6");
  Var start, size;
  SetI4(&start, 1);
  SetI4(&size, 3);
  EXPECT_EQ(answer("FileRead", {&ref, &start, &size}), "bytes:rav");
  counter.iVal = 0;
  EXPECT_EQ(answer("DBFName", {&ref}), "t");
  // A by-reference name is still a name; a by-reference double is an index.
  BSTR name = AnsiBstr(" B.TXT ");
  VARIANT text;
  text.vt = VT_BSTR;
  text.bstrVal = name;
  ref.pvarVal = &text;
  EXPECT_EQ(answer("FileSize", {&ref}), "6");
  VARIANT refText;
  refText.vt = VT_BYREF | VT_BSTR;
  refText.pbstrVal = &name;
  EXPECT_EQ(answer("FileSize", {&refText}), "6");
  SysFreeString(name);
  double one = 1.0;
  VARIANT refR8;
  refR8.vt = VT_BYREF | VT_R8;
  refR8.pdblVal = &one;
  EXPECT_EQ(answer("VarName", {&refR8}), "second");
  // The row of a table put through a reference to its index.
  {
    Var row, r;
    SetI4(&row, 2);
    VARIANT tableIndex;
    tableIndex.vt = VT_I2;
    tableIndex.iVal = 0;
    ref.pvarVal = &tableIndex;
    ASSERT_EQ(Call(d, "DBFRow", DISPATCH_PROPERTYPUT, {&ref, &row}, &r), S_OK);
    EXPECT_EQ(answer("DBFRow", {&ref}), "2");
  }
  // A null reference, and a reference to a reference that never ends, select nothing.
  ref.pvarVal = nullptr;
  EXPECT_EQ(answer("VarName", {&ref}), "");
  VARIANT loop;
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_EQ(answer("VarName", {&loop}), "");
  d->Release();
}

// The server's framework in this program, over the library's type library.
TEST_F(Server, EscapingExceptionBecomesAnAutomationError) {
  TComServer server(Lib);
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  EXPECT_EQ(factory.ClassName(), "Acceptor");
  EXPECT_EQ(factory.Description(), kDescription);
  EXPECT_EQ(factory.ProgID(), "QRVX.Acceptor");
  EXPECT_TRUE(IsEqualGUID(factory.ErrorIID(), IID_IAcceptor));

  Exception boom("Stream read error");
  EXPECT_EQ(HandleSafeCallException(&boom), E_UNEXPECTED);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR s = nullptr;
  info->GetSource(&s);
  EXPECT_EQ(TakeAnsi(s), "QRVX.Acceptor");
  info->GetDescription(&s);
  EXPECT_EQ(TakeAnsi(s), "Stream read error");
  GUID g{};
  info->GetGUID(&g);
  EXPECT_TRUE(IsEqualGUID(g, IID_IAcceptor));
  info->Release();

  EOleSysError sys("Out of memory", E_OUTOFMEMORY);
  EXPECT_EQ(HandleSafeCallException(&sys), E_OUTOFMEMORY);
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  info->Release();
}

// Through the variant of the library that cannot allocate automation strings
// of more than 65,536 characters, as when memory runs out: VarValue fails
// outside its own handling and the caller gets DISP_E_EXCEPTION with the
// source and message; FileReadText's own handling answers an empty string.
TEST_F(Server, MemberFailureReachesTheCallerAsAnAutomationError) {
  HMODULE limited = LoadLibraryA(QRVX_LIMITED_LIBRARY);
  ASSERT_NE(limited, nullptr) << QRVX_LIMITED_LIBRARY;
  auto getClassObject = Export<TGetClassObject>(limited, "DllGetClassObject");
  ASSERT_NE(getClassObject, nullptr);
  IClassFactory* f = nullptr;
  ASSERT_EQ(getClassObject(CLSID_Acceptor, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
  IDispatch* d = nullptr;
  ASSERT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  f->Release();

  const std::string big(70000, 'x');
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"big\"\r\n\r\n" + big +
      "\r\n--b\r\nContent-Disposition: form-data; name=\"small\"\r\n\r\nok"
      "\r\n--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.txt\"\r\n\r\n" +
      big + "\r\n--b--\r\n";
  {
    Var arg, r;
    SetBytes(&arg, body);
    ASSERT_EQ(Call(d, "ProcessRequest", DISPATCH_METHOD, {&arg}, &r), S_OK);
  }
  for (int round = 0; round < 2; ++round) {  // the object goes on working after an error
    Var id, r;
    SetText(&id, "big");
    EXCEPINFO e{};
    ASSERT_EQ(Call(d, "VarValue", kGet, {&id}, &r, &e), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeAnsi(e.bstrSource), "QRVX.Acceptor");
    EXPECT_EQ(TakeAnsi(e.bstrDescription), "Out of memory");
    EXPECT_EQ(e.scode, E_UNEXPECTED);
    EXPECT_EQ(e.wCode, 0);
    SysFreeString(e.bstrHelpFile);

    Var small, r2;
    SetText(&small, "small");
    ASSERT_EQ(Call(d, "VarValue", kGet, {&small}, &r2), S_OK);
    EXPECT_EQ(TakeAnsi(SysAllocString(r2.bstrVal)), "ok");
  }
  {
    Var id, start, size, r;
    SetText(&id, "big.txt");
    SetI4(&start, 0);
    SetI4(&size, 100000);
    ASSERT_EQ(Call(d, "FileReadText", kGet, {&id, &start, &size}, &r), S_OK);
    ASSERT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(SysStringLen(r.bstrVal), 0u);
    SetI4(&size, 10);
    Var r2;
    ASSERT_EQ(Call(d, "FileReadText", kGet, {&id, &start, &size}, &r2), S_OK);
    EXPECT_EQ(TakeAnsi(SysAllocString(r2.bstrVal)), "xxxxxxxxxx");
  }
  d->Release();
  FreeLibrary(limited);
}

// A server whose class factory could not be made has nothing a client could
// create: registering it fails and writes no class keys.
TEST_F(Server, RegistrationFailsWithoutAClassFactory) {
  const std::string clsid = std::string("CLSID\\") + kCLSID;
  ASSERT_EQ(Unregister(), S_OK);
  TComServer server(Lib);
  EXPECT_EQ(server.RegisterServer(), E_FAIL);
  EXPECT_FALSE(KeyExists(clsid));
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  EXPECT_EQ(server.RegisterServer(), S_OK);
  EXPECT_EQ(RegValue(clsid + "\\ProgID"), "QRVX.Acceptor");
  server.UpdateRegistry(false);
  EXPECT_FALSE(KeyExists(clsid));
}

// A received file's buffer that notes whether the library could be unloaded
// at the moment it is freed.
class TProbeStream : public TMemoryStream {
 public:
  TProbeStream(TComServer& server, HRESULT* seen) : FServer(server), FSeen(seen) {}
  ~TProbeStream() override { *FSeen = FServer.CanUnloadNow(); }

 private:
  TComServer& FServer;
  HRESULT* FSeen;
};

class TProbeAcceptor : public TAutoAcceptor {
 public:
  using TAutoAcceptor::TAutoAcceptor;
  void Plant(TComServer& server, HRESULT* seen) {
    TFileInfo f;
    f.FileName = "probe.txt";
    f.Data = std::make_unique<TProbeStream>(server, seen);
    FFiles.push_back(std::move(f));
  }
};

TEST_F(Server, ObjectFreesWhatItReceivedBeforeItStopsCounting) {
  TComServer server(Lib);
  TAutoObjectFactory factory(&server, CLSID_Acceptor, ciMultiInstance, tmApartment);
  HRESULT seen = E_FAIL;  // neither answer of CanUnloadNow
  auto* obj = new TProbeAcceptor(&factory, nullptr);
  obj->AddRef();
  obj->Plant(server, &seen);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
  obj->Release();
  EXPECT_EQ(seen, S_FALSE) << "the library could be unloaded while the object freed its files";
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

static_assert(noexcept(HandleSafeCallException(nullptr)),
              "turning an exception into an automation error never raises");

TEST_F(Server, FactoryRefusesInconsistentTypeInformation) {
  TComServer server(Lib);
  auto message = [&](REFCLSID id) {
    try {
      TAutoObjectFactory f(&server, id, ciMultiInstance, tmApartment);
    } catch (const Exception& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message(IID_IClassFactory), "Type information missing for class TAcceptor");
  // The interface is no coclass: it has no default interface to dispatch to.
  EXPECT_EQ(message(IID_IAcceptor), "Incorrect type information for class TAcceptor");
  EXPECT_EQ(FindAutoObjectFactory(IID_IAcceptor), nullptr);  // not left in the list
}

}  // namespace
