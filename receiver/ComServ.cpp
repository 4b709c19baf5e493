#include "receiver/ComServ.h"

#include <string>

#include "common/AutoHolders.h"
#include "common/ServerMessageBox.h"

TComServer* ComServer = nullptr;

namespace {

// The process-wide factory list: new factories go to the head.
TAutoObjectFactory* g_factoryList = nullptr;
SRWLOCK g_factoryLock = SRWLOCK_INIT;

struct TReadLock {
  TReadLock() { AcquireSRWLockShared(&g_factoryLock); }
  ~TReadLock() { ReleaseSRWLockShared(&g_factoryLock); }
};
struct TWriteLock {
  TWriteLock() { AcquireSRWLockExclusive(&g_factoryLock); }
  ~TWriteLock() { ReleaseSRWLockExclusive(&g_factoryLock); }
};

void CreateRegKey(const std::string& key, const char* valueName, const std::string& value) {
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, const_cast<LPSTR>(""), 0,
                            KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &h, nullptr);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExA(h, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
  }
  if (rc != ERROR_SUCCESS) throw EOleRegistrationError("Error creating system registry entry");
}

void DeleteRegKey(const std::string& key) {
  RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
}

// The short (8.3) form of a path that contains a space; the path itself
// when it has none or the system cannot give a short form.
std::string ShortPathIfSpaced(const std::string& path) {
  if (path.find(' ') == std::string::npos) return path;
  char buf[MAX_PATH + 2];
  DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return path;
  return std::string(buf, n);
}

}  // namespace

std::string GUIDToString(REFGUID g) {
  return Format("{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

// ---- TComServer ------------------------------------------------------------

TComServer::TComServer(HMODULE module) : FModule(module) {
  FOleAut = LoadLibraryA("OLEAUT32.DLL");
}

TComServer::~TComServer() {
  if (FTypeLib) FTypeLib->Release();
  if (FOleAut) FreeLibrary(FOleAut);
}

std::string TComServer::ModuleFileName() const {
  char buf[MAX_PATH + 2];
  DWORD n = GetModuleFileNameA(FModule, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return {};
  return std::string(buf, n);
}

ITypeLib* TComServer::GetTypeLib() {
  if (!FTypeLib) {
    TBstr name(AnsiToBstr(ModuleFileName()));
    HRESULT hr = LoadTypeLib(name.Get(), &FTypeLib);
    if (FAILED(hr)) {
      FTypeLib = nullptr;
      throw EOleSysError(
          Format("Error loading type library (%08lX)", static_cast<unsigned long>(hr)), hr);
    }
  }
  return FTypeLib;
}

std::string TComServer::ServerName() {
  if (FTypeLib) {
    TBstr name;
    if (SUCCEEDED(FTypeLib->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr)))
      return BstrToAnsi(name.Get());
  }
  std::string file = ModuleFileName();
  size_t slash = file.find_last_of("\\/:");
  if (slash != std::string::npos) file.erase(0, slash + 1);
  size_t dot = file.rfind('.');
  if (dot != std::string::npos) file.erase(dot);
  return file;
}

LONG TComServer::CountObject(bool created) {
  return created ? InterlockedIncrement(&FObjectCount) : InterlockedDecrement(&FObjectCount);
}

LONG TComServer::CountFactory(bool created) {
  return created ? InterlockedIncrement(&FFactoryCount) : InterlockedDecrement(&FFactoryCount);
}

HRESULT TComServer::CanUnloadNow() const {
  return ObjectCount() == 0 && FactoryCount() == 0 ? S_OK : S_FALSE;
}

void TComServer::UpdateRegistry(bool Register) {
  if (Register) {
    if (FTypeLib) {
      std::string file = ModuleFileName();
      std::string dir = file.substr(0, file.find_last_of("\\/") + 1);
      TBstr wfile(AnsiToBstr(file));
      TBstr wdir(AnsiToBstr(dir));
      HRESULT hr = RegisterTypeLib(FTypeLib, wfile.Get(), wdir.Get());
      if (FAILED(hr))
        throw EOleSysError(
            Format("Error registering type library (%08lX)", static_cast<unsigned long>(hr)), hr);
    }
  } else if (FTypeLib) {
    typedef HRESULT(WINAPI * TUnRegisterTypeLib)(REFGUID, WORD, WORD, LCID, SYSKIND);
    auto unregister = reinterpret_cast<TUnRegisterTypeLib>(
        reinterpret_cast<void (*)()>(GetProcAddress(FOleAut, "UnRegisterTypeLib")));
    if (unregister) {
      TLIBATTR* attr = nullptr;
      HRESULT hr = FTypeLib->GetLibAttr(&attr);
      if (FAILED(hr)) throw EOleSysError("Error reading type library attributes", hr);
      unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
      FTypeLib->ReleaseTLibAttr(attr);
    }
  }
  FIsRegistering = Register;
  TWriteLock lock;
  for (TAutoObjectFactory* f = g_factoryList; f; f = f->Next)
    if (f->Server() == this && f->Instancing() != ciInternal) f->UpdateRegistry(Register);
}

HRESULT TComServer::RegisterServer() {
  try {
    bool served = false;
    {
      TReadLock lock;
      for (TAutoObjectFactory* f = g_factoryList; f && !served; f = f->Next)
        served = f->Server() == this && f->Instancing() != ciInternal;
    }
    if (!served) return E_FAIL;
    UpdateRegistry(true);
    return S_OK;
  } catch (...) {
    return E_FAIL;
  }
}

// ---- TAutoObjectFactory ----------------------------------------------------

TAutoObjectFactory::TAutoObjectFactory(TComServer* server, REFCLSID classID,
                                       TClassInstancing instancing, TThreadingModel threadingModel)
    : FServer(server),
      FClassID(classID),
      FInstancing(instancing),
      FThreadingModel(threadingModel),
      FErrorIID(IID_IUnknown) {
  const char* implName = "TAcceptor";
  ITypeLib* lib = nullptr;
  try {
    lib = server->GetTypeLib();
  } catch (const EOleError&) {
    lib = nullptr;
  }
  if (!lib || FAILED(lib->GetTypeInfoOfGuid(classID, &FClassInfo))) {
    FClassInfo = nullptr;
    throw EOleError(Format("Type information missing for class %s", implName));
  }
  {
    TBstr name, doc;
    FClassInfo->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, nullptr);
    FClassName = BstrToAnsi(name.Get());
    FDescription = BstrToAnsi(doc.Get());
  }
  {
    TWriteLock lock;
    Next = g_factoryList;
    g_factoryList = this;
  }
  try {
    FindDispatchInterface(implName);
  } catch (...) {
    // A half-built factory must not stay in the list.
    Unlink();
    if (FClassInfo) FClassInfo->Release();
    if (FDispTypeInfo) FDispTypeInfo->Release();
    throw;
  }
}

void TAutoObjectFactory::FindDispatchInterface(const char* implName) {
  // The default, non-source interface of the coclass is its dispatch interface.
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(FClassInfo->GetTypeAttr(&attr))) {
    for (UINT i = 0; i < attr->cImplTypes && !FDispTypeInfo; ++i) {
      INT flags = 0;
      HREFTYPE ref = 0;
      ITypeInfo* info = nullptr;
      if (SUCCEEDED(FClassInfo->GetImplTypeFlags(i, &flags)) &&
          (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) == IMPLTYPEFLAG_FDEFAULT &&
          SUCCEEDED(FClassInfo->GetRefTypeOfImplType(i, &ref)) &&
          SUCCEEDED(FClassInfo->GetRefTypeInfo(ref, &info)))
        FDispTypeInfo = info;
    }
    FClassInfo->ReleaseTypeAttr(attr);
  }
  if (!FDispTypeInfo) throw EOleError(Format("Incorrect type information for class %s", implName));
  // The object must implement that interface.
  static const IID* const kImplemented[] = {&IID_IAcceptor, &IID_ISupportErrorInfo,
                                            &IID_IProvideClassInfo};
  TYPEATTR* dattr = nullptr;
  bool found = false;
  if (SUCCEEDED(FDispTypeInfo->GetTypeAttr(&dattr))) {
    for (const IID* iid : kImplemented)
      if (IsEqualGUID(*iid, dattr->guid)) {
        FErrorIID = *iid;
        found = true;
        break;
      }
    FDispTypeInfo->ReleaseTypeAttr(dattr);
  }
  if (!found) throw EOleError(Format("Dispatch interface missing from class %s", implName));
  // The coclass has no default source (event) interface: none is recorded.
}

void TAutoObjectFactory::Unlink() {
  TWriteLock lock;
  for (TAutoObjectFactory** p = &g_factoryList; *p; p = &(*p)->Next)
    if (*p == this) {
      *p = Next;
      break;
    }
}

TAutoObjectFactory::~TAutoObjectFactory() {
  Unlink();
  if (FDispTypeInfo) FDispTypeInfo->Release();
  if (FClassInfo) FClassInfo->Release();
}

std::string TAutoObjectFactory::ProgID() const {
  if (FClassName.empty()) return {};
  return FServer->ServerName() + "." + FClassName;
}

HRESULT TAutoObjectFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG TAutoObjectFactory::AddRef() {
  return FServer->CountFactory(true);
}

ULONG TAutoObjectFactory::Release() {
  return FServer->CountFactory(false);
}

HRESULT TAutoObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  TAutoAcceptor* obj = nullptr;
  try {
    obj = new TAutoAcceptor(this, outer);
  } catch (const std::exception& e) {
    if (ShowErrors) {
      std::string msg = e.what();
      if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.') msg += '.';
      ServerMessageBox(nullptr, msg.c_str(), "ZIV Error", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
    }
    return E_UNEXPECTED;
  }
  HRESULT hr =
      outer ? obj->InnerUnknown()->QueryInterface(riid, ppv) : obj->QueryInterface(riid, ppv);
  if (obj->RefCount() == 0) delete obj;
  return hr;
}

HRESULT TAutoObjectFactory::LockServer(BOOL fLock) {
  HRESULT hr = CoLockObjectExternal(static_cast<IClassFactory*>(this), fLock, TRUE);
  FServer->CountObject(fLock != FALSE);
  return hr;
}

void TAutoObjectFactory::UpdateRegistry(bool Register) {
  const std::string clsid = "CLSID\\" + GUIDToString(FClassID);
  const std::string progID = ProgID();
  if (Register) {
    CreateRegKey(clsid, nullptr, FDescription);
    std::string file = FServer->ModuleFileName();
    CreateRegKey(clsid + "\\" + FServer->ServerKey(), nullptr, ShortPathIfSpaced(file));
    if (FThreadingModel != tmSingle) {
      static const char* const kModels[] = {"", "Apartment", "Free", "Both"};
      CreateRegKey(clsid + "\\" + FServer->ServerKey(), "ThreadingModel", kModels[FThreadingModel]);
    }
    if (!progID.empty()) {
      CreateRegKey(progID, nullptr, FDescription);
      CreateRegKey(progID + "\\Clsid", nullptr, GUIDToString(FClassID));
      CreateRegKey(clsid + "\\ProgID", nullptr, progID);
    }
    TLIBATTR* attr = nullptr;
    ITypeLib* lib = FServer->GetTypeLib();
    HRESULT hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) throw EOleSysError("Error reading type library attributes", hr);
    std::string version = Format("%d.%d", attr->wMajorVerNum, attr->wMinorVerNum);
    std::string libid = GUIDToString(attr->guid);
    lib->ReleaseTLibAttr(attr);
    CreateRegKey(clsid + "\\Version", nullptr, version);
    CreateRegKey(clsid + "\\TypeLib", nullptr, libid);
  } else {
    DeleteRegKey(clsid + "\\TypeLib");
    DeleteRegKey(clsid + "\\Version");
    if (!progID.empty()) {
      DeleteRegKey(clsid + "\\ProgID");
      DeleteRegKey(progID + "\\Clsid");
      DeleteRegKey(progID);
    }
    DeleteRegKey(clsid + "\\" + FServer->ServerKey());
    DeleteRegKey(clsid);
  }
}

TAutoObjectFactory* FindAutoObjectFactory(REFCLSID classID) {
  TReadLock lock;
  for (TAutoObjectFactory* f = g_factoryList; f; f = f->Next)
    if (IsEqualGUID(f->ClassID(), classID)) return f;
  return nullptr;
}

void FreeAutoObjectFactories(TComServer* server) {
  for (;;) {
    TAutoObjectFactory* victim = nullptr;
    {
      TReadLock lock;
      for (TAutoObjectFactory* f = g_factoryList; f && !victim; f = f->Next)
        if (f->Server() == server) victim = f;
    }
    if (!victim) return;
    delete victim;  // unlinks itself under the write lock
  }
}

// ---- TAutoAcceptor ---------------------------------------------------------

TAutoAcceptor::TAutoAcceptor(TAutoObjectFactory* factory, IUnknown* controller)
    : FFactory(factory), FController(controller) {
  FInner.Owner = this;
  // Held at 1 while being built, so that calls made during construction
  // cannot free it.
  FRefCount = 1;
  factory->Server()->CountObject(true);
  FRefCount = 0;
}

TAutoAcceptor::~TAutoAcceptor() {
  // What the object received is freed while it still counts as alive, so
  // that DllCanUnloadNow never lets the library go under a running release.
  ClearAll();
  FFactory->Server()->CountObject(false);
  if (FRefCount > 0) CoDisconnectObject(static_cast<IAcceptor*>(this), 0);
}

HRESULT TAutoAcceptor::ObjQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  void* p = nullptr;
  if (IsEqualGUID(riid, IID_IUnknown))
    p = FController ? static_cast<void*>(&FInner) : static_cast<IAcceptor*>(this);
  else if (IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IAcceptor))
    p = static_cast<IAcceptor*>(this);
  else if (IsEqualGUID(riid, IID_ISupportErrorInfo))
    p = static_cast<ISupportErrorInfo*>(this);
  else if (IsEqualGUID(riid, IID_IProvideClassInfo))
    p = static_cast<IProvideClassInfo*>(this);
  *ppv = p;
  if (!p) return E_NOINTERFACE;
  static_cast<IUnknown*>(p)->AddRef();
  return S_OK;
}

ULONG TAutoAcceptor::ObjAddRef() {
  return InterlockedIncrement(&FRefCount);
}

ULONG TAutoAcceptor::ObjRelease() {
  LONG n = InterlockedDecrement(&FRefCount);
  if (n == 0) delete this;
  return n;
}

HRESULT TAutoAcceptor::TInner::QueryInterface(REFIID riid, void** ppv) {
  return Owner->ObjQueryInterface(riid, ppv);
}
ULONG TAutoAcceptor::TInner::AddRef() {
  return Owner->ObjAddRef();
}
ULONG TAutoAcceptor::TInner::Release() {
  return Owner->ObjRelease();
}

HRESULT TAutoAcceptor::QueryInterface(REFIID riid, void** ppv) {
  return FController ? FController->QueryInterface(riid, ppv) : ObjQueryInterface(riid, ppv);
}
ULONG TAutoAcceptor::AddRef() {
  return FController ? FController->AddRef() : ObjAddRef();
}
ULONG TAutoAcceptor::Release() {
  return FController ? FController->Release() : ObjRelease();
}

HRESULT TAutoAcceptor::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT TAutoAcceptor::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  ITypeInfo* ti = FFactory->DispTypeInfo();
  ti->AddRef();
  *ppTInfo = ti;
  return S_OK;
}

HRESULT TAutoAcceptor::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispGetIDsOfNames(FFactory->DispTypeInfo(), names, count, ids);
}

HRESULT TAutoAcceptor::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
  // A property put is passed on as both put and put-by-reference, so that
  // either kind of put the type library declares matches.
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    flags = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  return FFactory->DispTypeInfo()->Invoke(static_cast<IAcceptor*>(this), id, flags, params, result,
                                          excep, argErr);
}

HRESULT TAutoAcceptor::InterfaceSupportsErrorInfo(REFIID riid) {
  void* p = nullptr;
  if (FAILED(ObjQueryInterface(riid, &p))) return S_FALSE;
  static_cast<IUnknown*>(p)->Release();
  return S_OK;
}

HRESULT TAutoAcceptor::GetClassInfo(ITypeInfo** ppTI) {
  if (!ppTI) return E_POINTER;
  ITypeInfo* ti = FFactory->ClassInfo();
  ti->AddRef();
  *ppTI = ti;
  return S_OK;
}

// ---- Error conversion ------------------------------------------------------

namespace {

// Builds and installs the error object; may raise (conversions that cannot
// get memory), which the caller turns into a plain failure.
HRESULT InstallErrorInfo(ICreateErrorInfo* create, const std::exception* e) {
  // A text the error object could not keep: better no error object than one
  // that names the wrong source or says nothing.
  auto Must = [](HRESULT hr) {
    if (FAILED(hr)) throw EOutOfMemory();
  };
  TAutoObjectFactory* factory = FindAutoObjectFactory(CLSID_Acceptor);
  create->SetGUID(factory ? factory->ErrorIID() : IID_IAcceptor);
  if (factory) {
    std::string progID = factory->ProgID();
    if (!progID.empty()) {
      Must(create->SetSource(TBstr(AnsiToBstr(progID)).Get()));
    }
    const std::string& help = factory->Server()->HelpFileName();
    if (!help.empty()) {
      Must(create->SetHelpFile(TBstr(AnsiToBstr(help)).Get()));
    }
  }
  HRESULT result = E_UNEXPECTED;
  if (e) {
    Must(create->SetDescription(TBstr(AnsiToBstr(e->what())).Get()));
    create->SetHelpContext(0);
    if (auto sys = dynamic_cast<const EOleSysError*>(e); sys && FAILED(sys->ErrorCode))
      result = sys->ErrorCode;
  }
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  return result;
}

}  // namespace

// Builds the automation error of a method that raised: source the ProgID,
// description the exception's message, installed as the thread's error
// information. Never raises: when the error object cannot be completed the
// method still fails, with E_UNEXPECTED and no error information.
HRESULT HandleSafeCallException(const std::exception* e) noexcept {
  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create)) || !create) {
    // No error object of an earlier call may pass for this one's.
    SetErrorInfo(0, nullptr);
    return E_UNEXPECTED;
  }
  HRESULT result = E_UNEXPECTED;
  try {
    result = InstallErrorInfo(create, e);
  } catch (...) {
    SetErrorInfo(0, nullptr);
    result = E_UNEXPECTED;
  }
  create->Release();
  return result;
}
