// TAcceptor: the object behind the scriptable Acceptor class. It keeps what
// one multipart/form-data POST carried (form variables, files, tables) and
// answers the IAcceptor members from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Classes.h"
#include "dbf/DBF.h"
#include "receiver/IAcceptor.h"

class TAttachment;

// A form variable: folded name, value exactly as posted.
struct TVarInfo {
  std::string Name;
  std::string Value;
};

// A received file: the form field it came in, its bare name and its
// directory part (all folded), and its bytes. A posted file's Data is a view:
// of the request body the receiver copied once (shared by every file posted
// without a transfer encoding), or of its own block of decoded bytes; Body
// keeps what it views alive. An archive entry owns its buffer (no Body).
struct TFileInfo {
  std::string VarName;
  std::string FileName;
  std::string FilePath;
  std::shared_ptr<const uint8_t[]> Body;  // before Data: outlives the view
  std::unique_ptr<TMemoryStream> Data;
};

// A received table, reading from the Data of its file's TFileInfo.
struct TDBFInfo {
  std::string VarName;
  std::string Name;
  std::unique_ptr<TDBF> Table;
  int32_t Row = 0;
  std::vector<int32_t> RecNos;
};

// Turns an exception that escapes a member into that member's HRESULT (and
// the automation error information the COM layer attaches to it).
// Never raises.
HRESULT HandleSafeCallException(const std::exception* e) noexcept;

class TAcceptor : public IAcceptor {
 public:
  TAcceptor();
  virtual ~TAcceptor();
  TAcceptor(const TAcceptor&) = delete;
  TAcceptor& operator=(const TAcceptor&) = delete;

  // IUnknown and IDispatch (receiver/AcceptorDispatch.cpp).
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

  // IAcceptor.
  HRESULT STDMETHODCALLTYPE ProcessRequest(VARIANT Request) override;
  HRESULT STDMETHODCALLTYPE DBFCount(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE DBFName(VARIANT DBFID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE DBFColCount(VARIANT DBFID, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE DBFRowCount(VARIANT DBFID, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE DBFColName(VARIANT DBFID, VARIANT FieldID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE DBF(VARIANT DBFID, VARIANT FieldID, VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE VarCount(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE VarName(VARIANT VarID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE VarValue(VARIANT VarID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_DBFRow(VARIANT DBFID, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE put_DBFRow(VARIANT DBFID, LONG Value) override;
  HRESULT STDMETHODCALLTYPE DBFVarName(VARIANT DBFID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE FileCount(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE FileName(VARIANT FileID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE FileSaveTo(VARIANT FileID, BSTR FileName, VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE FileSize(VARIANT FileID, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE FileRead(VARIANT FileID, LONG StartPos, LONG Size,
                                     VARIANT* Value) override;
  HRESULT STDMETHODCALLTYPE FileVarName(VARIANT FileID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE FilePath(VARIANT FileID, BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE get_ProcessZIP(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_ProcessZIP(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE get_ProcessDBF(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_ProcessDBF(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE Version(BSTR* Value) override;
  HRESULT STDMETHODCALLTYPE FileReadText(VARIANT FileID, LONG StartPos, LONG Size,
                                         BSTR* Value) override;

  // Inside the object.
  // Releases everything recorded. Releasing frees memory and runs
  // destructors only, so it cannot fail.
  void ClearAll() noexcept;
  // body: what data views, when it is a view of the request body.
  void AddFile(const std::string& varName, const std::string& fileName,
               std::unique_ptr<TMemoryStream> data,
               std::shared_ptr<const uint8_t[]> body = nullptr);
  int FindVar(const VARIANT& id) const;
  int FindFile(const VARIANT& id) const;
  int FindDBF(const VARIANT& id) const;
  // The column of a table a FieldID selects: an index or a name; -1 for none.
  static int FindColumn(const TDBF& table, const VARIANT& id);

  const std::vector<TVarInfo>& Vars() const { return FVars; }
  const std::vector<TFileInfo>& Files() const { return FFiles; }
  const std::vector<TDBFInfo>& DBFs() const { return FDBFs; }

  // A body is cut into at most this many parts, plus one for every
  // kBytesPerExtraPart bytes of it; parts past that end the request as a
  // failure would (what was received stays). Multipart readers commonly cap
  // their part count; this one is sized so that any body, however it is
  // cut, is held in less than 8 times its size plus 64 MiB.
  static constexpr size_t kBaseParts = 65536;
  static constexpr size_t kBytesPerExtraPart = 128;

 protected:
  // Hooks of the request driver: unpack a received archive into further
  // files, open a received table.
  void ExpandArchive(TMemoryStream& archive, const std::string& varName);
  void AddTable(const std::string& varName, const std::string& fileName, TMemoryStream& data);

  std::vector<TVarInfo> FVars;
  std::vector<TDBFInfo> FDBFs;
  std::vector<TFileInfo> FFiles;
  bool FProcessZIP = false;
  bool FProcessDBF = false;

 private:
  // The body, copied once from the argument into memory the object owns.
  void Intake(const VARIANT& request, std::shared_ptr<uint8_t[]>* body, size_t* size) const;
  void TakePart(TAttachment& part, const std::shared_ptr<const uint8_t[]>& body);
  ULONG FRefCount = 0;
};

// Conversions at the scripting boundary: automation strings to and from the
// ANSI code page (every byte kept, NUL included).
BSTR AnsiToBstr(std::string_view s);
std::string BstrToAnsi(BSTR b);
// The value an identifier stands for: by-reference identifiers (a script's
// variable arrives as VT_BYREF|VT_VARIANT) are read through their reference.
// The result borrows what the identifier holds and is never cleared. False
// for a null reference or a chain of references that never reaches a value.
bool IdentifierValue(const VARIANT& id, VARIANT* value);
// Identifier text: the VARIANT converted to text, then ANSI, trimmed of bytes
// of value 32 or less at both ends and folded. False when it cannot be converted.
bool IdentifierText(const VARIANT& id, std::string* text);
