// Type libraries and type information (oleaut32) built from the
// QRVX_TYPELIBDATA a module exports, and ITypeInfo::Invoke: arguments
// coerced to the declared types with VariantChangeType, the method called
// through the interface's vtable, its [out, retval] value returned.
#include <windows.h>

#include <dlfcn.h>
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "posix_path.h"

extern "C" const IID IID_ITypeInfo = {0x00020401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_ITypeLib = {0x00020402, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
extern "C" const IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
extern "C" const IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
extern "C" const IID IID_IProvideClassInfo = {
    0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

namespace {

// IDispatch's seven methods come before an interface's own.
constexpr int kDispatchMethods = 7;

BSTR ToBstr(const char* s) {
  if (!s) return nullptr;
  int len = static_cast<int>(std::strlen(s));
  int n = MultiByteToWideChar(CP_ACP, 0, s, len, nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, n);
  if (b && n) MultiByteToWideChar(CP_ACP, 0, s, len, b, n);
  return b;
}

// Names compare without regard to ASCII case, as the automation library
// compares member names.
bool NameIs(const OLECHAR* w, const char* name) {
  if (!w || !name) return false;
  for (; *w && *name; ++w, ++name) {
    OLECHAR a = *w, b = static_cast<unsigned char>(*name);
    if (a >= 'A' && a <= 'Z') a += 32;
    if (b >= 'A' && b <= 'Z') b += 32;
    if (a != b) return false;
  }
  return *w == 0 && *name == 0;
}

void Put(BSTR* out, const char* s) {
  if (out) *out = ToBstr(s ? s : "");
}

class TTypeLib;

class TTypeInfo final : public ITypeInfo {
 public:
  TTypeInfo(TTypeLib* lib, UINT index, const QRVX_TYPEDATA* data)
      : FLib(lib), FIndex(index), FData(data) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeInfo)) {
      *ppv = static_cast<ITypeInfo*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // A type info lives as long as its library: it counts on the library.
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** out) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(IUnknown** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** out) override;
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, void** out) override {
    if (out) *out = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    if (!ref) return E_INVALIDARG;
    if (FData->typekind != TKIND_COCLASS || index != 0 || FData->iDefaultInterface < 0)
      return TYPE_E_ELEMENTNOTFOUND;
    *ref = static_cast<HREFTYPE>(FData->iDefaultInterface);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override {
    if (!flags) return E_INVALIDARG;
    if (FData->typekind != TKIND_COCLASS || index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *flags = IMPLTYPEFLAG_FDEFAULT;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                                             BSTR* helpFile) override;
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* out) override {
    if (out) *out = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override {
    if (!desc) return;
    delete[] desc->lprgelemdescParam;
    delete desc;
  }
  void STDMETHODCALLTYPE ReleaseVarDesc(void*) override {}

  const QRVX_TYPEDATA* Data() const { return FData; }

 private:
  const QRVX_FUNCDATA* FindFunc(MEMBERID memid) const {
    for (UINT i = 0; i < FData->cFuncs; ++i)
      if (FData->funcs[i].memid == memid) return &FData->funcs[i];
    return nullptr;
  }
  TTypeLib* FLib;
  UINT FIndex;
  const QRVX_TYPEDATA* FData;
};

class TTypeLib final : public ITypeLib {
 public:
  TTypeLib(void* module, const QRVX_TYPELIBDATA* data) : FModule(module), FData(data) {
    for (UINT i = 0; i < data->cTypes; ++i)
      FInfos.push_back(new TTypeInfo(this, i, &data->types[i]));
  }
  ~TTypeLib() {
    for (TTypeInfo* t : FInfos) delete t;
    if (FModule) dlclose(FModule);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeLib)) {
      *ppv = static_cast<ITypeLib*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&FRef); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&FRef);
    if (n == 0) delete this;
    return n;
  }
  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return FData->cTypes; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (index >= FInfos.size()) return TYPE_E_ELEMENTNOTFOUND;
    *out = FInfos[index];
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    if (index >= FInfos.size()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = FData->types[index].typekind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    for (UINT i = 0; i < FData->cTypes; ++i)
      if (IsEqualGUID(FData->types[i].guid, guid)) return GetTypeInfo(i, out);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** out) override {
    if (!out) return E_INVALIDARG;
    *out = new TLIBATTR{FData->guid,         FData->lcid,         SYS_WIN64,
                        FData->wMajorVerNum, FData->wMinorVerNum, LIBFLAG_FHASDISKIMAGE};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(IUnknown** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context,
                                             BSTR* helpFile) override {
    if (index == -1) {
      Put(name, FData->szName);
      Put(doc, FData->szDocString);
      if (context) *context = 0;
      Put(helpFile, FData->szHelpFile);
      return S_OK;
    }
    if (index < 0 || static_cast<UINT>(index) >= FInfos.size()) return TYPE_E_ELEMENTNOTFOUND;
    return FInfos[index]->GetDocumentation(MEMBERID_NIL, name, doc, context, helpFile);
  }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL* found) override {
    if (found) *found = FALSE;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*,
                                     USHORT* found) override {
    if (found) *found = 0;
    return E_NOTIMPL;
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

  const QRVX_TYPELIBDATA* Data() const { return FData; }

 private:
  volatile LONG FRef = 1;
  void* FModule;
  const QRVX_TYPELIBDATA* FData;
  std::vector<TTypeInfo*> FInfos;
};

ULONG TTypeInfo::AddRef() {
  return FLib->AddRef();
}
ULONG TTypeInfo::Release() {
  return FLib->Release();
}

HRESULT TTypeInfo::GetTypeAttr(TYPEATTR** out) {
  if (!out) return E_INVALIDARG;
  auto* a = new TYPEATTR{};
  a->guid = FData->guid;
  a->lcid = FLib->Data()->lcid;
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->cbSizeInstance = sizeof(void*);
  a->typekind = FData->typekind;
  a->cFuncs = static_cast<WORD>(FData->cFuncs);
  a->cImplTypes = 1;  // a coclass's interface; an interface's IDispatch
  a->cbSizeVft = static_cast<WORD>(
      FData->typekind == TKIND_COCLASS ? 0 : (kDispatchMethods + FData->cFuncs) * sizeof(void*));
  a->cbAlignment = sizeof(void*);
  a->wTypeFlags = FData->wTypeFlags;
  a->wMajorVerNum = FData->wMajorVerNum;
  a->wMinorVerNum = FData->wMinorVerNum;
  *out = a;
  return S_OK;
}

HRESULT TTypeInfo::GetFuncDesc(UINT index, FUNCDESC** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (index >= FData->cFuncs) return TYPE_E_ELEMENTNOTFOUND;
  const QRVX_FUNCDATA& f = FData->funcs[index];
  auto* d = new FUNCDESC{};
  d->memid = f.memid;
  d->funckind = FUNC_DISPATCH;
  d->invkind = f.invkind;
  d->callconv = CC_STDCALL;
  d->cParams = static_cast<SHORT>(f.cParams);
  d->oVft = static_cast<SHORT>((kDispatchMethods + index) * sizeof(void*));
  d->elemdescFunc.tdesc.vt = VT_HRESULT;
  d->lprgelemdescParam = new ELEMDESC[f.cParams ? f.cParams : 1]{};
  for (UINT i = 0; i < f.cParams; ++i) {
    d->lprgelemdescParam[i].tdesc.vt = f.params[i].vt;
    d->lprgelemdescParam[i].paramdesc.wParamFlags = f.params[i].wParamFlags;
  }
  *out = d;
  return S_OK;
}

HRESULT TTypeInfo::GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) {
  if (!names || !count) return E_INVALIDARG;
  *count = 0;
  const QRVX_FUNCDATA* f = FindFunc(memid);
  if (!f) return TYPE_E_ELEMENTNOTFOUND;
  if (max == 0) return S_OK;
  names[(*count)++] = ToBstr(f->szName);
  for (UINT i = 0; i < f->cParams && *count < max; ++i)
    if (f->params[i].szName) names[(*count)++] = ToBstr(f->params[i].szName);
  return S_OK;
}

HRESULT TTypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (UINT k = 0; k < FData->cFuncs; ++k) {
    const QRVX_FUNCDATA& f = FData->funcs[k];
    if (!NameIs(names[0], f.szName)) continue;
    ids[0] = f.memid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
      for (UINT p = 0; p < f.cParams; ++p)
        if (NameIs(names[i], f.params[p].szName)) ids[i] = static_cast<MEMBERID>(p);
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT TTypeInfo::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                                    BSTR* helpFile) {
  const char* n = FData->szName;
  const char* d = FData->szDocString;
  if (memid != MEMBERID_NIL) {
    const QRVX_FUNCDATA* f = FindFunc(memid);
    if (!f) return TYPE_E_ELEMENTNOTFOUND;
    n = f->szName;
    d = f->szDocString;
  }
  if (name) *name = ToBstr(n);
  if (doc) *doc = d ? ToBstr(d) : nullptr;
  if (context) *context = 0;
  if (helpFile) *helpFile = ToBstr(FLib->Data()->szHelpFile);
  return S_OK;
}

HRESULT TTypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) {
  if (!out) return E_INVALIDARG;
  return FLib->GetTypeInfo(static_cast<UINT>(ref), out);
}

HRESULT TTypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
  if (lib) {
    *lib = FLib;
    FLib->AddRef();
  }
  if (index) *index = FIndex;
  return S_OK;
}

// ---- Calling a vtable method ----------------------------------------------

// One argument as the method receives it: a VARIANT by value, or a value of
// one machine word (an integer, a VARIANT_BOOL, a BSTR, a pointer).
struct TArg {
  bool IsVariant;
  VARIANT V;
  intptr_t W;
};

constexpr size_t kMaxArgs = 5;

template <class... A>
HRESULT CallAs(void* fn, void* self, A... a) {
  return reinterpret_cast<HRESULT (*)(void*, A...)>(fn)(self, a...);
}

// Builds the call's signature argument by argument.
template <class... Done>
HRESULT CallWith(void* fn, void* self, const TArg* args, size_t n, Done... done) {
  if (n == 0) return CallAs(fn, self, done...);
  if constexpr (sizeof...(Done) >= kMaxArgs) {
    return DISP_E_BADPARAMCOUNT;
  } else {
    if (args->IsVariant) return CallWith(fn, self, args + 1, n - 1, done..., args->V);
    return CallWith(fn, self, args + 1, n - 1, done..., args->W);
  }
}

bool Matches(INVOKEKIND kind, WORD flags) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    return (kind == INVOKE_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUT)) ||
           (kind == INVOKE_PROPERTYPUTREF && (flags & DISPATCH_PROPERTYPUTREF));
  // A method is called only as a method (a bare property get does not find it).
  if (kind == INVOKE_FUNC) return (flags & DISPATCH_METHOD) != 0;
  if (kind == INVOKE_PROPERTYGET) return (flags & DISPATCH_PROPERTYGET) != 0;
  return false;
}

// Storage of an [out, retval] value.
union TRetval {
  LONG L;
  SHORT I;
  VARIANT_BOOL B;
  BSTR S;
  VARIANT V;
};

}  // namespace

HRESULT TTypeInfo::Invoke(PVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  if (!instance || !params) return E_INVALIDARG;
  if (FData->typekind == TKIND_COCLASS) return DISP_E_MEMBERNOTFOUND;
  const QRVX_FUNCDATA* f = nullptr;
  UINT slot = 0;
  for (UINT i = 0; i < FData->cFuncs; ++i) {
    if (FData->funcs[i].memid != memid) continue;
    if (Matches(FData->funcs[i].invkind, flags)) {
      f = &FData->funcs[i];
      slot = i;
      break;
    }
  }
  if (!f) return DISP_E_MEMBERNOTFOUND;

  // Named arguments: only the value of a property put.
  bool put = f->invkind == INVOKE_PROPERTYPUT || f->invkind == INVOKE_PROPERTYPUTREF;
  if (params->cNamedArgs > 1 ||
      (params->cNamedArgs == 1 &&
       !(put && params->rgdispidNamedArgs && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT)))
    return DISP_E_NONAMEDARGS;

  UINT inCount = 0;
  const QRVX_PARAMDATA* retval = nullptr;
  for (UINT i = 0; i < f->cParams; ++i) {
    if (f->params[i].wParamFlags & PARAMFLAG_FRETVAL)
      retval = &f->params[i];
    else
      ++inCount;
  }
  if (params->cArgs != inCount) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs && !params->rgvarg) return E_INVALIDARG;

  TArg args[kMaxArgs + 1];
  std::vector<VARIANT> temps;  // coerced copies, cleared after the call
  temps.reserve(inCount);
  HRESULT hr = S_OK;
  UINT n = 0;
  for (UINT i = 0; i < f->cParams && SUCCEEDED(hr); ++i) {
    const QRVX_PARAMDATA& p = f->params[i];
    if (&p == retval) continue;
    // rgvarg holds the arguments last first.
    UINT at = params->cArgs - 1 - n;
    const VARIANT& src = params->rgvarg[at];
    TArg& a = args[n++];
    if (p.vt == VT_VARIANT) {
      a.IsVariant = true;
      a.V = src;
      continue;
    }
    a.IsVariant = false;
    VARIANT tmp;
    VariantInit(&tmp);
    hr = VariantChangeType(&tmp, const_cast<VARIANT*>(&src), 0, p.vt);
    if (FAILED(hr)) {
      if (argErr) *argErr = at;
      hr = hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      break;
    }
    temps.push_back(tmp);
    switch (p.vt) {
      case VT_I4: a.W = tmp.lVal; break;
      case VT_I2: a.W = tmp.iVal; break;
      case VT_BOOL: a.W = tmp.boolVal; break;
      case VT_BSTR: a.W = reinterpret_cast<intptr_t>(tmp.bstrVal); break;
      default: hr = DISP_E_BADVARTYPE; break;
    }
  }
  TRetval out;
  std::memset(&out, 0, sizeof out);
  VARTYPE rvt = retval ? static_cast<VARTYPE>(retval->vt & ~VT_BYREF) : VARTYPE(VT_EMPTY);
  if (SUCCEEDED(hr) && retval) {
    if (rvt == VT_VARIANT) VariantInit(&out.V);
    args[n].IsVariant = false;
    args[n++].W = reinterpret_cast<intptr_t>(&out);
  }
  if (SUCCEEDED(hr)) {
    void** vtable = *static_cast<void***>(instance);
    hr = CallWith(vtable[kDispatchMethods + slot], instance, args, n);
    if (FAILED(hr)) {
      IErrorInfo* info = nullptr;
      if (excep) {
        std::memset(excep, 0, sizeof *excep);
        excep->scode = hr;
        if (GetErrorInfo(0, &info) == S_OK && info) {
          info->GetSource(&excep->bstrSource);
          info->GetDescription(&excep->bstrDescription);
          info->GetHelpFile(&excep->bstrHelpFile);
          info->GetHelpContext(&excep->dwHelpContext);
          info->Release();
        }
      }
      hr = DISP_E_EXCEPTION;
    } else if (retval) {
      VARIANT v;
      VariantInit(&v);
      switch (rvt) {
        case VT_I4: v.vt = VT_I4, v.lVal = out.L; break;
        case VT_I2: v.vt = VT_I2, v.iVal = out.I; break;
        case VT_BOOL: v.vt = VT_BOOL, v.boolVal = out.B; break;
        case VT_BSTR: v.vt = VT_BSTR, v.bstrVal = out.S; break;
        case VT_VARIANT: v = out.V; break;
        default: break;
      }
      if (result) {
        VariantClear(result);
        *result = v;
      } else {
        VariantClear(&v);
      }
    }
  }
  for (VARIANT& t : temps) VariantClear(&t);
  return hr;
}

// ---- Library functions -------------------------------------------------------

namespace {

std::string OleToUtf8(LPCOLESTR s) {
  std::string out;
  if (!s) return out;
  int len = 0;
  while (s[len]) ++len;
  int n = WideCharToMultiByte(CP_UTF8, 0, s, len, nullptr, 0, nullptr, nullptr);
  out.resize(n);
  if (n) WideCharToMultiByte(CP_UTF8, 0, s, len, out.data(), n, nullptr, nullptr);
  return out;
}

std::string OleToAnsi(LPCOLESTR s) {
  std::string out;
  if (!s) return out;
  int len = 0;
  while (s[len]) ++len;
  int n = WideCharToMultiByte(CP_ACP, 0, s, len, nullptr, 0, nullptr, nullptr);
  out.resize(n);
  if (n) WideCharToMultiByte(CP_ACP, 0, s, len, out.data(), n, nullptr, nullptr);
  return out;
}

std::string GuidText(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

bool SetKey(const std::string& key, const char* name, const std::string& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

}  // namespace

/***********************************************************************
 * LoadTypeLib (OLEAUT32.@)
 * Loads the module file and reads the type library it exports as
 * QrvxTypeLibData. The module stays loaded until the process ends.
 * RETURNS TYPE_E_CANTLOADLIBRARY when it cannot be loaded or has none.
 */
extern "C" HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!file) return E_INVALIDARG;
  std::string path = QrvxPosixPath(OleToUtf8(file).c_str());
  // The library stays mapped for the rest of the process (RTLD_NODELETE):
  // a library that holds its own type library releases it while it is
  // being unloaded, and must not be unmapped under its own destructor.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!module) return TYPE_E_CANTLOADLIBRARY;
  auto* data = static_cast<const QRVX_TYPELIBDATA*>(dlsym(module, "QrvxTypeLibData"));
  if (!data) {
    dlclose(module);
    return TYPE_E_CANTLOADLIBRARY;
  }
  *out = new TTypeLib(module, data);
  return S_OK;
}

/***********************************************************************
 * RegisterTypeLib, UnRegisterTypeLib (OLEAUT32.@)
 * Write (remove) TypeLib\{libid}\<major>.<minor> and Interface\{iid} of
 * every dual interface under HKEY_CLASSES_ROOT.
 * RETURNS TYPE_E_REGISTRYACCESS when a key cannot be written (opened).
 */
extern "C" HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  if (!lib || !fullPath) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  BSTR name = nullptr, doc = nullptr;
  lib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  std::string base = "TypeLib\\" + GuidText(attr->guid) + "\\" +
                     std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum);
  std::string title = OleToAnsi(doc && *doc ? doc : name);
  char lcid[16];
  std::snprintf(lcid, sizeof lcid, "%x", attr->lcid);
  bool ok = SetKey(base, nullptr, title) &&
            SetKey(base + "\\" + lcid + "\\win64", nullptr, OleToAnsi(fullPath)) &&
            SetKey(base + "\\FLAGS", nullptr, "0") &&
            SetKey(base + "\\HELPDIR", nullptr, OleToAnsi(helpDir));
  // Interface\{iid} for every dual interface.
  for (UINT i = 0; ok && i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo* ti = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &ti))) continue;
    TYPEATTR* ta = nullptr;
    BSTR tname = nullptr;
    if (SUCCEEDED(ti->GetTypeAttr(&ta)) && (ta->wTypeFlags & TYPEFLAG_FDUAL) &&
        SUCCEEDED(ti->GetDocumentation(MEMBERID_NIL, &tname, nullptr, nullptr, nullptr))) {
      std::string key = "Interface\\" + GuidText(ta->guid);
      const std::string marshaler = "{00020424-0000-0000-C000-000000000046}";
      ok = SetKey(key, nullptr, OleToAnsi(tname)) &&
           SetKey(key + "\\ProxyStubClsid", nullptr, marshaler) &&
           SetKey(key + "\\ProxyStubClsid32", nullptr, marshaler) &&
           SetKey(key + "\\TypeLib", nullptr, GuidText(attr->guid)) &&
           SetKey(key + "\\TypeLib", "Version",
                  std::to_string(attr->wMajorVerNum) + "." + std::to_string(attr->wMinorVerNum));
    }
    SysFreeString(tname);
    if (ta) ti->ReleaseTypeAttr(ta);
    ti->Release();
  }
  SysFreeString(name);
  SysFreeString(doc);
  lib->ReleaseTLibAttr(attr);
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

extern "C" HRESULT UnRegisterTypeLib(REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND) {
  std::string lib = "TypeLib\\" + GuidText(libID);
  std::string base = lib + "\\" + std::to_string(major) + "." + std::to_string(minor);
  char lc[16];
  std::snprintf(lc, sizeof lc, "%x", lcid);
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return TYPE_E_REGISTRYACCESS;
  RegCloseKey(h);
  // The interfaces that name this library.
  for (DWORD i = 0;;) {
    HKEY ifaces = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "Interface", 0, KEY_READ, &ifaces) != ERROR_SUCCESS) break;
    char sub[64];
    DWORD len = sizeof sub;
    LONG rc = RegEnumKeyExA(ifaces, i, sub, &len, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(ifaces);
    if (rc != ERROR_SUCCESS) break;
    std::string key = std::string("Interface\\") + sub;
    char value[64] = {};
    DWORD size = sizeof value - 1;
    HKEY t = nullptr;
    bool ours = false;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, (key + "\\TypeLib").c_str(), 0, KEY_READ, &t) ==
        ERROR_SUCCESS) {
      ours = RegQueryValueExA(t, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                              &size) == ERROR_SUCCESS &&
             strcasecmp(value, GuidText(libID).c_str()) == 0;
      RegCloseKey(t);
    }
    if (!ours) {
      ++i;
      continue;
    }
    for (const char* leaf : {"\\TypeLib", "\\ProxyStubClsid", "\\ProxyStubClsid32", ""})
      RegDeleteKeyA(HKEY_CLASSES_ROOT, (key + leaf).c_str());
  }
  for (std::string leaf : {"\\" + std::string(lc) + "\\win64", "\\" + std::string(lc),
                           std::string("\\FLAGS"), std::string("\\HELPDIR"), std::string()})
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (base + leaf).c_str());
  RegDeleteKeyA(HKEY_CLASSES_ROOT, lib.c_str());  // only when no other version is left
  return S_OK;
}

/***********************************************************************
 * DispGetIDsOfNames (OLEAUT32.@)
 * RETURNS what ITypeInfo::GetIDsOfNames of info gives.
 */
extern "C" HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!info) return E_INVALIDARG;
  return info->GetIDsOfNames(names, count, ids);
}
