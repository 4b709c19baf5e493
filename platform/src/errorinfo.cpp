// Error objects (CreateErrorInfo) and the thread's current error
// information (SetErrorInfo/GetErrorInfo), as in oleaut32.
#include <windows.h>

#include <new>

namespace {

class TErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
 public:
  ~TErrorInfo() {
    SysFreeString(FSource);
    SysFreeString(FDescription);
    SysFreeString(FHelpFile);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IErrorInfo))
      *ppv = static_cast<IErrorInfo*>(this);
    else if (IsEqualGUID(riid, IID_ICreateErrorInfo))
      *ppv = static_cast<ICreateErrorInfo*>(this);
    else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&FRef); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&FRef);
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* g) override {
    if (!g) return E_INVALIDARG;
    *g = FGuid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* s) override { return Get(FSource, s); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* s) override { return Get(FDescription, s); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* s) override { return Get(FHelpFile, s); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* c) override {
    if (!c) return E_INVALIDARG;
    *c = FHelpContext;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID g) override {
    FGuid = g;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return Set(FSource, s); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return Set(FDescription, s); }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return Set(FHelpFile, s); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
    FHelpContext = c;
    return S_OK;
  }

 private:
  static HRESULT Get(BSTR v, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = v ? SysAllocStringLen(v, SysStringLen(v)) : nullptr;
    return *out || !v ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Set(BSTR& v, LPOLESTR s) {
    SysFreeString(v);
    v = s ? SysAllocString(s) : nullptr;
    return v || !s ? S_OK : E_OUTOFMEMORY;
  }
  volatile LONG FRef = 1;
  GUID FGuid{};
  BSTR FSource = nullptr;
  BSTR FDescription = nullptr;
  BSTR FHelpFile = nullptr;
  DWORD FHelpContext = 0;
};

thread_local IErrorInfo* g_current = nullptr;

}  // namespace

/***********************************************************************
 * CreateErrorInfo, SetErrorInfo, GetErrorInfo (OLEAUT32.@)
 * A new, empty error object; the thread's current one, replaced by
 * SetErrorInfo (NULL clears it) and handed over, and cleared, by GetErrorInfo.
 * RETURNS E_INVALIDARG for a NULL out pointer; GetErrorInfo S_FALSE when
 *         there is none.
 */
extern "C" HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
  if (!out) return E_INVALIDARG;
  auto* info = new (std::nothrow) TErrorInfo;
  *out = info;
  return info ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info) info->AddRef();
  if (g_current) g_current->Release();
  g_current = info;
  return S_OK;
}

extern "C" HRESULT GetErrorInfo(ULONG, IErrorInfo** out) {
  if (!out) return E_INVALIDARG;
  *out = g_current;
  g_current = nullptr;
  return *out ? S_OK : S_FALSE;
}
