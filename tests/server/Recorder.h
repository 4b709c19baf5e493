// A stand-in object for calls through the type information of IAcceptor.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "receiver/IAcceptor.h"
#include "support/Automation.h"

// An IAcceptor whose every method notes its name and the arguments of the
// types automation coerces (LONG, BSTR, VARIANT_BOOL), and does nothing else.
struct TRecorder final : IAcceptor {
  std::string Called;
  std::vector<LONG> Longs;
  std::string Text;  // a BSTR argument, in the ANSI code page
  VARIANT_BOOL Bool = 0;
  VARTYPE FirstType = VT_EMPTY;  // the type of the first VARIANT argument

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** p) override {
    *p = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT Note(const char* name) {
    Called = name;
    return S_OK;
  }
  HRESULT Note(const char* name, const VARIANT& first) {
    FirstType = first.vt;
    return Note(name);
  }
  HRESULT STDMETHODCALLTYPE ProcessRequest(VARIANT) override { return Note("ProcessRequest"); }
  HRESULT STDMETHODCALLTYPE DBFCount(LONG*) override { return Note("DBFCount"); }
  HRESULT STDMETHODCALLTYPE DBFName(VARIANT, BSTR*) override { return Note("DBFName"); }
  HRESULT STDMETHODCALLTYPE DBFColCount(VARIANT, LONG*) override { return Note("DBFColCount"); }
  HRESULT STDMETHODCALLTYPE DBFRowCount(VARIANT, LONG*) override { return Note("DBFRowCount"); }
  HRESULT STDMETHODCALLTYPE DBFColName(VARIANT, VARIANT, BSTR*) override {
    return Note("DBFColName");
  }
  HRESULT STDMETHODCALLTYPE DBF(VARIANT, VARIANT, VARIANT*) override { return Note("DBF"); }
  HRESULT STDMETHODCALLTYPE VarCount(LONG*) override { return Note("VarCount"); }
  HRESULT STDMETHODCALLTYPE VarName(VARIANT, BSTR*) override { return Note("VarName"); }
  HRESULT STDMETHODCALLTYPE VarValue(VARIANT, BSTR*) override { return Note("VarValue"); }
  HRESULT STDMETHODCALLTYPE get_DBFRow(VARIANT, LONG*) override { return Note("get_DBFRow"); }
  HRESULT STDMETHODCALLTYPE put_DBFRow(VARIANT id, LONG row) override {
    Longs = {row};
    return Note("put_DBFRow", id);
  }
  HRESULT STDMETHODCALLTYPE DBFVarName(VARIANT, BSTR*) override { return Note("DBFVarName"); }
  HRESULT STDMETHODCALLTYPE FileCount(LONG*) override { return Note("FileCount"); }
  HRESULT STDMETHODCALLTYPE FileName(VARIANT, BSTR*) override { return Note("FileName"); }
  HRESULT STDMETHODCALLTYPE FileSaveTo(VARIANT id, BSTR name, VARIANT_BOOL*) override {
    Text = AnsiOf(name);
    return Note("FileSaveTo", id);
  }
  HRESULT STDMETHODCALLTYPE FileSize(VARIANT, LONG*) override { return Note("FileSize"); }
  HRESULT STDMETHODCALLTYPE FileRead(VARIANT id, LONG start, LONG size, VARIANT*) override {
    Longs = {start, size};
    return Note("FileRead", id);
  }
  HRESULT STDMETHODCALLTYPE FileVarName(VARIANT, BSTR*) override { return Note("FileVarName"); }
  HRESULT STDMETHODCALLTYPE FilePath(VARIANT, BSTR*) override { return Note("FilePath"); }
  HRESULT STDMETHODCALLTYPE get_ProcessZIP(VARIANT_BOOL*) override {
    return Note("get_ProcessZIP");
  }
  HRESULT STDMETHODCALLTYPE put_ProcessZIP(VARIANT_BOOL on) override {
    Bool = on;
    return Note("put_ProcessZIP");
  }
  HRESULT STDMETHODCALLTYPE get_ProcessDBF(VARIANT_BOOL*) override {
    return Note("get_ProcessDBF");
  }
  HRESULT STDMETHODCALLTYPE put_ProcessDBF(VARIANT_BOOL) override { return Note("put_ProcessDBF"); }
  HRESULT STDMETHODCALLTYPE Version(BSTR*) override { return Note("Version"); }
  HRESULT STDMETHODCALLTYPE FileReadText(VARIANT, LONG, LONG, BSTR*) override {
    return Note("FileReadText");
  }
};

// The dispatch type information of IAcceptor as an object of the library at
// path hands it out (the library stays loaded); null on failure.
inline ITypeInfo* AcceptorTypeInfo(const char* path) {
  typedef HRESULT(STDMETHODCALLTYPE * TGetClassObject)(REFCLSID, REFIID, void**);
  CoInitialize(nullptr);
  HMODULE lib = LoadLibraryA(path);
  if (!lib) return nullptr;
  auto get = reinterpret_cast<TGetClassObject>(
      reinterpret_cast<void (*)()>(GetProcAddress(lib, "DllGetClassObject")));
  IClassFactory* f = nullptr;
  if (!get || get(CLSID_Acceptor, IID_IClassFactory, reinterpret_cast<void**>(&f)) != S_OK)
    return nullptr;
  IDispatch* d = nullptr;
  HRESULT hr = f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d));
  f->Release();
  if (FAILED(hr)) return nullptr;
  ITypeInfo* ti = nullptr;
  d->GetTypeInfo(0, 0x409, &ti);
  d->Release();
  return ti;
}
