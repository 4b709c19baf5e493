// A script host's requests, made through the library's exports: each request
// creates an Acceptor through DllGetClassObject and the class factory, passes
// the body to ProcessRequest and reads back everything that was received
// through IDispatch, the way an Active Server Pages script does. Shared by the
// load test and the load benchmark.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "receiver/IAcceptor.h"
#include "tests/support/Automation.h"

typedef HRESULT(STDMETHODCALLTYPE* TGetClassObject)(REFCLSID, REFIID, void**);
typedef HRESULT(STDMETHODCALLTYPE* TNoArgs)();

struct TQrvxExports {
  HMODULE Lib = nullptr;
  TGetClassObject GetClassObject = nullptr;
  TNoArgs CanUnloadNow = nullptr;

  bool Load(const char* file) {
    Lib = LoadLibraryA(file);
    if (!Lib) return false;
    GetClassObject = reinterpret_cast<TGetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(Lib, "DllGetClassObject")));
    CanUnloadNow = reinterpret_cast<TNoArgs>(
        reinterpret_cast<void (*)()>(GetProcAddress(Lib, "DllCanUnloadNow")));
    return GetClassObject && CanUnloadNow;
  }
};

namespace load {

constexpr WORD kGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// Calls member id with args (first to last) by value; the result in *out.
inline HRESULT Call(IDispatch* d, DISPID id, WORD flags, std::initializer_list<VARIANT> args,
                    VARIANT* out) {
  VARIANT reversed[4];
  UINT count = 0;
  for (auto it = args.end(); it != args.begin();) reversed[count++] = *--it;
  DISPID put = DISPID_PROPERTYPUT;
  bool isPut = (flags & DISPATCH_PROPERTYPUT) != 0;
  DISPPARAMS params{reversed, isPut ? &put : nullptr, count, isPut ? 1u : 0u};
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr = d->Invoke(id, IID_NULL, 0x409, flags, &params, out, &excep, &argErr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

inline VARIANT I4(LONG n) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

inline VARIANT Bool(bool b) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// FNV-1a over bytes, to keep a file's content in the digest short.
inline uint64_t Fnv(const std::string& s, uint64_t h = 1469598103934665603ull) {
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

// The member's result as text ("!hr" when it failed).
inline std::string Text(IDispatch* d, DISPID id, std::initializer_list<VARIANT> args) {
  Var r;
  HRESULT hr = Call(d, id, kGet, args, &r);
  if (FAILED(hr)) return "!" + std::to_string(static_cast<unsigned long>(hr));
  if (r.vt == (VT_ARRAY | VT_UI1)) return std::to_string(Fnv(ArrayBytes(r)));
  if (r.vt == VT_EMPTY || r.vt == VT_NULL) return r.vt == VT_NULL ? "<null>" : "<empty>";
  if (FAILED(VariantChangeType(&r, &r, 0, VT_BSTR))) return "?" + std::to_string(r.vt);
  std::string s = TakeAnsi(r.bstrVal);
  r.vt = VT_EMPTY;
  return s;
}

inline LONG Count(IDispatch* d, DISPID id, std::initializer_list<VARIANT> args = {}) {
  Var r;
  if (FAILED(Call(d, id, kGet, args, &r)) || FAILED(VariantChangeType(&r, &r, 0, VT_I4))) return -1;
  return r.lVal;
}

}  // namespace load

// One request: a new object, both switches on, the body as a byte array,
// then every variable, file and table cell read back. Gives a text of all
// that was read, or of the first failure ("" when no object could be made).
inline std::string ServeRequest(const TQrvxExports& lib, const std::string& body) {
  using namespace load;
  IClassFactory* factory = nullptr;
  if (lib.GetClassObject(CLSID_Acceptor, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
      S_OK)
    return "";
  IDispatch* d = nullptr;
  HRESULT hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d));
  factory->Release();
  if (hr != S_OK) return "";
  std::string out;
  Var none;
  Call(d, DISPID_ProcessZIP, DISPATCH_PROPERTYPUT, {Bool(true)}, nullptr);
  Call(d, DISPID_ProcessDBF, DISPATCH_PROPERTYPUT, {Bool(true)}, nullptr);
  {
    Var request;
    SetBytes(&request, body);
    hr = Call(d, DISPID_ProcessRequest, DISPATCH_METHOD, {request}, &none);
    if (FAILED(hr)) out += "ProcessRequest failed\n";
  }
  LONG vars = Count(d, DISPID_VarCount);
  out += "vars " + std::to_string(vars) + "\n";
  for (LONG i = 0; i < vars; ++i)
    out += Text(d, DISPID_VarName, {I4(i)}) + "=" + Text(d, DISPID_VarValue, {I4(i)}) + "\n";
  LONG files = Count(d, DISPID_FileCount);
  out += "files " + std::to_string(files) + "\n";
  for (LONG i = 0; i < files; ++i) {
    LONG size = Count(d, DISPID_FileSize, {I4(i)});
    out += Text(d, DISPID_FileName, {I4(i)}) + " | " + Text(d, DISPID_FilePath, {I4(i)}) + " | " +
           Text(d, DISPID_FileVarName, {I4(i)}) + " | " + std::to_string(size) + " | " +
           Text(d, DISPID_FileRead, {I4(i), I4(0), I4(size)}) + "\n";
  }
  LONG tables = Count(d, DISPID_DBFCount);
  out += "tables " + std::to_string(tables) + "\n";
  for (LONG t = 0; t < tables; ++t) {
    LONG cols = Count(d, DISPID_DBFColCount, {I4(t)});
    LONG rows = Count(d, DISPID_DBFRowCount, {I4(t)});
    out += Text(d, DISPID_DBFName, {I4(t)}) + " " + std::to_string(cols) + "x" +
           std::to_string(rows) + "\n";
    for (LONG c = 0; c < cols; ++c) out += Text(d, DISPID_DBFColName, {I4(t), I4(c)}) + ";";
    out += "\n";
    for (LONG r = 0; r < rows; ++r) {
      Call(d, DISPID_DBFRow, DISPATCH_PROPERTYPUT, {I4(t), I4(r)}, nullptr);
      for (LONG c = 0; c < cols; ++c) out += Text(d, DISPID_DBF, {I4(t), I4(c)}) + ";";
      out += "\n";
    }
  }
  d->Release();
  return out;
}
