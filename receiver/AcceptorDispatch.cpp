// IUnknown and IDispatch of the receiver object when it is used directly
// (tests, the command-line front end). Reference counting and the interfaces
// it answers; dispatch by name needs the type information of the COM server
// (TAutoAcceptor in ComServ.cpp), which also converts escaping exceptions.
#include "receiver/Acceptors.h"

HRESULT TAcceptor::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAcceptor) {
    *ppv = static_cast<IAcceptor*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG TAcceptor::AddRef() {
  return ++FRefCount;
}

ULONG TAcceptor::Release() {
  ULONG n = --FRefCount;
  if (n == 0) delete this;
  return n;
}

HRESULT TAcceptor::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT TAcceptor::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TAcceptor::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT TAcceptor::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}
