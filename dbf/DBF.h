// TDBF: a dBase table (".dbf") and its memo file, read and written through
// byte streams. The table reads its header and column descriptors, exposes
// the columns as typed fields, walks the live records (deleted ones and, when
// Filtered, rejected ones skipped), converts column bytes to values and back,
// and edits, appends and deletes records. TDBFBlobStream reads and writes one
// memo value.
//
// Typical read-only use over bytes held in memory:
//   TDBF t;  t.AssignStreams(&bytes, nullptr, true);  t.SetReadOnly(true);
//   t.Open();  for (t.First(); !t.Eof(); t.Next()) ... t.Fields()[i]->Value() ...
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Classes.h"

class TDBF;
class TField;

// Failures of the table itself ("Open: Table file not found", ...).
class EDBFError : public EDatabaseError {
  using EDatabaseError::EDatabaseError;
};

// Column kinds, by the descriptor's type letter.
enum TFieldType {
  ftUnknown,  // any other letter: a definition, but no field
  ftString,   // C
  ftFloat,    // N, F
  ftDate,     // D
  ftBoolean,  // L
  ftMemo,     // M: text in the memo file
  ftBlob,     // G: binary in the memo file
};

// VARTYPE of an 8-bit string held by a TDBFValue. Automation has no such
// string: whoever hands a value to a script turns it into a BSTR (ANSI code
// page), see DBFValueToVariant.
constexpr VARTYPE varString = 0x0100;

// A field's value as a dataset variant gives it: vt is VT_NULL (no value),
// varString (Str, 8-bit text in the ANSI code page), VT_R8 (Num), VT_DATE
// (Num, days since 1899-12-30, midnight) or VT_BOOL (Bool).
struct TDBFValue {
  VARTYPE vt = VT_NULL;
  std::string Str;
  double Num = 0;
  bool Bool = false;

  static TDBFValue Null() { return {}; }
  static TDBFValue String(std::string s) { return {varString, std::move(s), 0, false}; }
  static TDBFValue Float(double d) { return {VT_R8, {}, d, false}; }
  static TDBFValue Date(DATE d) { return {VT_DATE, {}, d, false}; }
  static TDBFValue Boolean(bool b) { return {VT_BOOL, {}, 0, b}; }
  bool IsNull() const { return vt == VT_NULL || vt == VT_EMPTY; }
};

// Converts a value to an automation VARIANT: an 8-bit string becomes a BSTR
// from the ANSI code page, the other kinds keep their type. dest is
// initialised first; E_OUTOFMEMORY when the BSTR cannot be made.
HRESULT DBFValueToVariant(const TDBFValue& value, VARIANT* dest);

// Days since 1899-12-30 for a calendar date; false for an invalid date.
bool DBFEncodeDate(int year, int month, int day, DATE& out);
void DBFDecodeDate(DATE date, int& year, int& month, int& day);

// ---- definitions and fields -------------------------------------------------

// One column definition, one per descriptor.
struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;  // the column length for text, 0 otherwise
  bool Required = false;
  int FieldNo = 0;  // descriptor position counting from 1
};

class TFieldDefs {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const TFieldDef& operator[](int i) const { return FItems.at(i); }
  // Position of the definition named name (case-insensitive, Latin and
  // Cyrillic capitals of code page 1251 folded), or -1.
  int IndexOf(const std::string& name) const;
  const TFieldDef* Find(const std::string& name) const;
  void Clear() { FItems.clear(); }
  void Add(TFieldDef def) { FItems.push_back(std::move(def)); }
  const std::vector<TFieldDef>& Items() const { return FItems; }

 private:
  std::vector<TFieldDef> FItems;
};

// A value field bound to one column of the table's current record.
class TField {
 public:
  TField(TDBF* dataSet, const TFieldDef& def, int index);

  const std::string& FieldName() const { return FFieldName; }
  const std::string& DisplayName() const { return FFieldName; }
  TFieldType DataType() const { return FDataType; }
  int FieldNo() const { return FFieldNo; }
  int Size() const { return FSize; }
  int Index() const { return FIndex; }  // position in Fields
  bool IsBlob() const { return FDataType == ftMemo || FDataType == ftBlob; }
  TDBF* DataSet() const { return FDataSet; }

  // "0.00" for a number column with 2 decimals; empty otherwise.
  std::string DisplayFormat;
  // Memo text is converted with the table's code page; binary memo is not.
  bool Transliterate;

  // Reading (the current record).
  bool IsNull() const;
  TDBFValue Value() const;          // memo: all bytes of the value, never Null
  std::string AsString() const;     // "" for no value; numbers and dates in the user's format
  std::string DisplayText() const;  // AsString, numbers by DisplayFormat
  double AsFloat() const;           // 0 for no value; text read as a number
  DATE AsDateTime() const;
  bool AsBoolean() const;

  // Writing (the table in edit or insert state).
  void SetValue(const TDBFValue& value);  // Null clears the column
  void SetAsString(const std::string& s);
  void SetAsFloat(double d) { SetValue(TDBFValue::Float(d)); }
  void SetAsDateTime(DATE d) { SetValue(TDBFValue::Date(d)); }
  void SetAsBoolean(bool b) { SetValue(TDBFValue::Boolean(b)); }
  void Clear() { SetValue(TDBFValue::Null()); }

  // A value of any kind as this field's text, number, date or boolean (the
  // conversions of assignment); EConvertError when it cannot be one.
  std::string TextOf(const TDBFValue& v) const;
  double NumberOf(const TDBFValue& v) const;
  DATE DateOf(const TDBFValue& v) const;
  bool BoolOf(const TDBFValue& v) const;

 private:
  TDBF* FDataSet;
  std::string FFieldName;
  TFieldType FDataType;
  int FFieldNo;
  int FSize;
  int FIndex;
};

class TFields {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TField* operator[](int i) const { return FItems.at(i).get(); }
  TField* FindField(const std::string& name) const;
  // Raises EDatabaseError "Field '%s' not found" when there is none.
  TField* FieldByName(const std::string& name) const;
  void Clear() { FItems.clear(); }
  void Add(std::unique_ptr<TField> f) { FItems.push_back(std::move(f)); }

 private:
  std::vector<std::unique_ptr<TField>> FItems;
};

// ---- the table ----------------------------------------------------------------

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };
enum TDataAction { daFail, daAbort, daRetry };

using TDataSetNotifyEvent = std::function<void(TDBF& dataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDBF& dataSet, EDatabaseError& e, TDataAction& action)>;

// The user's number and date settings, read from the system when a table
// opens (GetLocaleInfoA).
struct TDBFFormatSettings {
  char DecimalSeparator = '.';
  char DateSeparator = '/';
  std::string ShortDateFormat = "dd/MM/yyyy";
  void Load();
};

class TDBF {
 public:
  TDBF();
  ~TDBF();
  TDBF(const TDBF&) = delete;
  TDBF& operator=(const TDBF&) = delete;

  // Published properties.
  std::string TableName;
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& text);
  bool Filtered() const { return FFiltered; }
  void SetFiltered(bool on);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool on);

  // Optional dataset events; unset ones are skipped.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnDeleteError, OnEditError, OnPostError;

  // Table and memo streams to read instead of files at the next open (either
  // may be null). keep: the caller still owns and frees them. Closes first.
  void AssignStreams(TStream* table, TStream* memo, bool keep);

  // Opens from the supplied streams or TableName and rests on the first live
  // record. Raises EDBFError "Open: Table file not found", "Open: Invalid
  // record count" (a negative count), "Open: Record count exceeds the table
  // data" (more than 65536 records, or 16 MB of them, wholly past the end of
  // the bytes), or the stream's read error for a short header.
  void Open();
  // Rewrites the header's record count and length when they changed (unless
  // ReadOnly), drops an unposted edit, frees the fields and the streams the
  // table owns.
  void Close();
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool on) { on ? Open() : Close(); }
  TDataSetState State() const { return FState; }

  const TFieldDefs& FieldDefs() const { return FFieldDefs; }
  TFields& Fields() { return FFields; }
  const TFields& Fields() const { return FFields; }
  TField* FieldByName(const std::string& name) const { return FFields.FieldByName(name); }
  TField* FindField(const std::string& name) const { return FFields.FindField(name); }
  // The field bound to the column of definition i, null for a column of
  // unknown kind (or i out of range).
  TField* FieldOfDef(int i) const;

  // Descriptor data as stored: type letter, length, decimals of column i.
  char ColumnType(int i) const { return FColumnTypes.at(i); }
  int ColumnLength(int i) const { return FLengths.at(i); }
  int ColumnDecimals(int i) const { return FDecimals.at(i); }
  int RecordSize() const { return FRecordSize; }
  int HeaderSize() const { return FHeaderSize; }
  uint8_t LanguageByte() const { return FHeader[29]; }
  bool IsAnsi() const { return FHeader[29] == 0x57; }

  // Cursor over the live (and accepted) records.
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return FEOF; }
  bool Bof() const { return FBOF; }
  bool IsEmpty() const { return !FHasRecord; }
  int32_t RecordCount() const;
  int32_t RecNo() const;
  void SetRecNo(int32_t n);

  // Changing records.
  void Edit();
  void Append();
  void Insert() { Append(); }
  void Post();
  void Cancel();
  void Delete();
  bool Modified() const { return FModified; }

  // Column value conversions on the current record (the record being
  // fetched while a filter runs).
  bool GetFieldData(const TField& field, TDBFValue* dest) const;
  void SetFieldData(TField& field, const TDBFValue* value);
  // A stream over the memo value of field in the current record; the
  // caller frees it, which completes a write.
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  const TDBFFormatSettings& FormatSettings() const { return FFormat; }
  // Marks the current record changed (a field was written).
  void DataChanged() { FModified = true; }

 private:
  friend class TDBFBlobStream;
  enum TGetMode { gmCurrent, gmNext, gmPrior };
  enum TGetResult { grOK, grBOF, grEOF, grError };
  enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };
  struct TRecordBuffer {
    std::vector<char> Data;  // the record's R bytes
    int32_t Index = -1;      // record index, the bookmark
    TBookmarkFlag Flag = bfCurrent;
  };
  // The parsed Filter text (see DBFFilter.cpp).
  struct TFilterExpr {
    bool AcceptAll = true;
    int Column = -1;  // definition index
    TFieldType Kind = ftUnknown;
    int Op = 0;  // = > >= < <=
    std::string Value;
  };

  void CheckActive() const;
  void CheckBrowseMode();
  void CheckCanModify() const;
  void Fire(const TDataSetNotifyEvent& e) {
    if (e) e(*this);
  }
  template <class Op>
  void CheckOperation(Op op, const TDataSetErrorEvent& onError);

  void ReadHeader();
  void ReadColumns();
  void CreateFields();
  void OpenMemo();
  std::string MemoFileName() const;

  TGetResult GetRecord(TRecordBuffer& buf, TGetMode mode, bool check);
  void ReadRecord(int32_t index, TRecordBuffer& buf);
  void WriteRecord(int32_t index, const TRecordBuffer& buf);
  bool Accept(const TRecordBuffer& buf) const;
  bool AcceptFiltered(const TRecordBuffer& buf) const;
  const TRecordBuffer& ReadBuffer() const { return FReadBuffer ? *FReadBuffer : FActive; }
  bool FetchInto(TGetMode mode);  // fetch into the scratch buffer, make it current on success
  void Resync();
  void ClearCurrent();

  bool ReadColumn(const TRecordBuffer& buf, int column, TFieldType kind, TDBFValue* dest) const;
  void RefreshMemoHeader(int64_t& cachedNextFree);
  int MemoColumnWidth(int column) const;
  int64_t ReadBlockNumber(int column) const;
  void WriteBlockNumber(int column, int64_t block, int64_t length);

  // Streams.
  TStream* FSuppliedTable = nullptr;
  TStream* FSuppliedMemo = nullptr;
  bool FKeepStreams = false;
  TStream* FTable = nullptr;
  TStream* FMemo = nullptr;
  std::unique_ptr<TStream> FOwnTable, FOwnMemo;  // the files this table opened

  // Header and columns.
  uint8_t FHeader[32] = {};
  int32_t FRecordCount = 0;
  int32_t FRecordSize = 1;
  int32_t FHeaderSize = 0;
  std::vector<int> FOffsets, FLengths, FDecimals;
  std::vector<char> FColumnTypes;
  std::vector<int> FDefField;  // definition index -> position in Fields, or -1
  TFieldDefs FFieldDefs;
  TFields FFields;

  // Cursor.
  int32_t FCurrent = -1;
  TRecordBuffer FActive, FScratch, FSaved;
  bool FHasRecord = false;
  bool FSavedHasRecord = false;
  const TRecordBuffer* FReadBuffer = nullptr;  // the record a filter or OnCalcFields looks at
  bool FEOF = true, FBOF = true;
  bool FModified = false;
  TDataSetState FState = dsInactive;

  bool FReadOnly = false;
  std::string FFilter;
  bool FFiltered = false;
  mutable std::unique_ptr<TFilterExpr> FFilterExpr;  // parsed on first use
  TDBFFormatSettings FFormat;
};

// A stream over one memo value of the current record (see DBFMemo.cpp).
class TDBFBlobStream : public TStream {
 public:
  TDBFBlobStream(TField& field, TBlobStreamMode mode);
  ~TDBFBlobStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t GetSize() override { return FLength; }

 private:
  void Finish();
  TDBF& FDBF;
  TBlobStreamMode FMode;
  int FColumn;  // descriptor index of the memo column
  bool FTransliterate;
  std::string FDisplayName;
  int64_t FBlock = 0;     // first block B of the value
  int64_t FLength = 0;    // L
  int64_t FCapacity = 0;  // bytes that fit at B without moving; -1 unlimited
  int64_t FNextFree = 0;  // cached next free block
  int64_t FPosition = 0;
  bool FModified = false;
};
