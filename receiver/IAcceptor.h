// IAcceptor: the dual automation interface of the Acceptor object, in the
// vtable order of the type library (receiver/qrvx.idl) after IDispatch's
// seven methods. Every method returns an HRESULT and hands its result back
// through the final Value parameter.
#pragma once

#include <windows.h>

#include <oleauto.h>

// The identifiers of receiver/Guids.h.
extern "C" const GUID LIBID_QRVX;
extern "C" const IID IID_IAcceptor;
extern "C" const CLSID CLSID_Acceptor;

// Dispatch identifiers of the members.
enum : LONG {
  DISPID_ProcessRequest = 1,
  DISPID_DBFCount = 2,
  DISPID_DBFName = 3,
  DISPID_DBFColCount = 4,
  DISPID_DBFRowCount = 5,
  DISPID_DBFColName = 6,
  DISPID_DBF = 7,
  DISPID_ProcessZIP = 8,
  DISPID_VarCount = 9,
  DISPID_VarName = 10,
  DISPID_VarValue = 11,
  DISPID_DBFRow = 12,
  DISPID_DBFVarName = 13,
  DISPID_ProcessDBF = 14,
  DISPID_Version = 16,
  DISPID_FileReadText = 17,
  DISPID_FileCount = 18,
  DISPID_FileName = 19,
  DISPID_FileSaveTo = 20,
  DISPID_FileSize = 21,
  DISPID_FileRead = 22,
  DISPID_FileVarName = 23,
  DISPID_FilePath = 24,
};

struct IAcceptor : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE ProcessRequest(VARIANT Request) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFCount(LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFName(VARIANT DBFID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFColCount(VARIANT DBFID, LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFRowCount(VARIANT DBFID, LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFColName(VARIANT DBFID, VARIANT FieldID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBF(VARIANT DBFID, VARIANT FieldID, VARIANT* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE VarCount(LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE VarName(VARIANT VarID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE VarValue(VARIANT VarID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DBFRow(VARIANT DBFID, LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DBFRow(VARIANT DBFID, LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE DBFVarName(VARIANT DBFID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileCount(LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileName(VARIANT FileID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileSaveTo(VARIANT FileID, BSTR FileName,
                                               VARIANT_BOOL* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileSize(VARIANT FileID, LONG* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileRead(VARIANT FileID, LONG StartPos, LONG Size,
                                             VARIANT* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileVarName(VARIANT FileID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FilePath(VARIANT FileID, BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProcessZIP(VARIANT_BOOL* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProcessZIP(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProcessDBF(VARIANT_BOOL* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProcessDBF(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Version(BSTR* Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileReadText(VARIANT FileID, LONG StartPos, LONG Size,
                                                 BSTR* Value) = 0;

 protected:
  ~IAcceptor() = default;
};
