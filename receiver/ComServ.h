// The in-process COM server around TAcceptor: the server object that counts
// live objects and factories and holds the type library, the class factory
// kept in the process-wide factory list, the automation object that scripts
// get, registration, and the conversion of an escaping exception into an
// automation error.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <string>

#include "common/Classes.h"
#include "receiver/Acceptors.h"

// Raised by the server framework (missing or inconsistent type information,
// registry failures).
class EOleError : public Exception {
  using Exception::Exception;
};
// A failed system call that carries its HRESULT; the automation error keeps
// that code instead of E_UNEXPECTED.
class EOleSysError : public EOleError {
 public:
  EOleSysError(const std::string& message, HRESULT code) : EOleError(message), ErrorCode(code) {}
  HRESULT ErrorCode;
};

// "Error creating system registry entry".
class EOleRegistrationError : public EOleError {
  using EOleError::EOleError;
};

enum TClassInstancing { ciInternal, ciSingleInstance, ciMultiInstance };
enum TThreadingModel { tmSingle, tmApartment, tmFree, tmBoth };

class TAutoObjectFactory;

// One per loaded library.
class TComServer {
 public:
  // module: the library (or program) whose file carries the type library.
  explicit TComServer(HMODULE module);
  ~TComServer();
  TComServer(const TComServer&) = delete;
  TComServer& operator=(const TComServer&) = delete;

  // Loads the type library from the module's own file on first need. Raises
  // EOleSysError when it cannot be loaded.
  ITypeLib* GetTypeLib();
  ITypeLib* TypeLib() const { return FTypeLib; }
  std::string ServerName();
  const char* ServerKey() const { return "InprocServer32"; }
  const std::string& HelpFileName() const { return FHelpFileName; }
  std::string ModuleFileName() const;
  HMODULE Module() const { return FModule; }
  HMODULE OleAut() const { return FOleAut; }
  bool StartMode() const { return FIsRegistering; }

  // The counts change on every thread that creates or releases objects:
  // they are read with an interlocked operation too.
  LONG ObjectCount() const { return Current(FObjectCount); }
  LONG FactoryCount() const { return Current(FFactoryCount); }
  LONG CountObject(bool created);
  LONG CountFactory(bool created);

  // DllRegisterServer / DllUnregisterServer; raise on failure.
  void UpdateRegistry(bool Register);
  // DllRegisterServer's answer: S_OK when the registration completes;
  // E_FAIL when a step raises, and when the server has no class factory (a
  // server no client could create an object of is not registered).
  HRESULT RegisterServer();
  HRESULT CanUnloadNow() const;

 private:
  HMODULE FModule;
  HMODULE FOleAut;
  ITypeLib* FTypeLib = nullptr;
  std::string FHelpFileName;
  bool FIsRegistering = false;
  static LONG Current(const volatile LONG& count) {
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&count), 0, 0);
  }

  volatile LONG FObjectCount = 0;
  volatile LONG FFactoryCount = 0;
};

// The server of this library (created at library load, freed at unload).
extern TComServer* ComServer;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string GUIDToString(REFGUID guid);

// Class factory of one creatable class, linked into the process-wide list.
class TAutoObjectFactory : public IClassFactory {
 public:
  // Reads the class's description from the type library; raises EOleError
  // with the messages of a missing or inconsistent coclass.
  TAutoObjectFactory(TComServer* server, REFCLSID classID, TClassInstancing instancing,
                     TThreadingModel threadingModel);
  virtual ~TAutoObjectFactory();
  TAutoObjectFactory(const TAutoObjectFactory&) = delete;
  TAutoObjectFactory& operator=(const TAutoObjectFactory&) = delete;

  // IUnknown, IClassFactory.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  // Writes (or removes) this class's registry entries.
  void UpdateRegistry(bool Register);

  const CLSID& ClassID() const { return FClassID; }
  const std::string& ClassName() const { return FClassName; }
  const std::string& Description() const { return FDescription; }
  std::string ProgID() const;
  TClassInstancing Instancing() const { return FInstancing; }
  TThreadingModel ThreadingModel() const { return FThreadingModel; }
  const IID& ErrorIID() const { return FErrorIID; }
  ITypeInfo* ClassInfo() const { return FClassInfo; }
  ITypeInfo* DispTypeInfo() const { return FDispTypeInfo; }
  TComServer* Server() const { return FServer; }
  bool ShowErrors = true;

  TAutoObjectFactory* Next = nullptr;

 private:
  void FindDispatchInterface(const char* implName);
  void Unlink();

  TComServer* FServer;
  CLSID FClassID;
  std::string FClassName;
  std::string FDescription;
  TClassInstancing FInstancing;
  TThreadingModel FThreadingModel;
  IID FErrorIID;
  ITypeInfo* FClassInfo = nullptr;
  ITypeInfo* FDispTypeInfo = nullptr;
};

// The process-wide factory list, guarded by a multiple-reader,
// single-writer lock. Lookup takes the read side.
TAutoObjectFactory* FindAutoObjectFactory(REFCLSID classID);
// Frees every factory of the server (library unload).
void FreeAutoObjectFactories(TComServer* server);

// The automation object a script gets: TAcceptor with the interfaces the COM
// server adds (error information, class information, dispatch through the
// type library) and aggregation support.
class TAutoAcceptor : public TAcceptor, public ISupportErrorInfo, public IProvideClassInfo {
 public:
  TAutoAcceptor(TAutoObjectFactory* factory, IUnknown* controller);
  ~TAutoAcceptor() override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;

  // The non-delegating IUnknown (what an aggregating outer object holds).
  IUnknown* InnerUnknown() { return &FInner; }
  LONG RefCount() const { return FRefCount; }

 private:
  struct TInner final : IUnknown {
    TAutoAcceptor* Owner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
  };
  HRESULT ObjQueryInterface(REFIID riid, void** ppv);
  ULONG ObjAddRef();
  ULONG ObjRelease();

  TInner FInner;
  TAutoObjectFactory* FFactory;
  IUnknown* FController;
  volatile LONG FRefCount = 0;
};
