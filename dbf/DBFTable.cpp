// TDBF: opening and closing, the dBase header and column descriptors, the
// cursor over live records, and changing records.
//
// Format notes (dBase III header, little-endian):
//   byte 0 version, 1-3 last update, 4-7 record count (signed), 8-9 header
//   length (signed) = offset of record 0, 10-11 record length, 29 language
//   byte (0x57: Windows ANSI text, anything else: OEM text).
//   Descriptors of 32 bytes follow at 32; their number is taken from the
//   header length alone, (H - 32) div 32, none when H < 64: the 0x0D end
//   byte is not looked for, and a further area of 32 bytes or more after the
//   descriptors reads as more columns.
//   Descriptor: 0-10 name (NUL-padded), 11 type letter, 16 length, 17
//   decimals. The record length is recomputed as 1 + the sum of lengths.
//   Record i lies at H + i * R; byte 0 is "*" when deleted.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/Bytes.h"
#include "common/ScopeExit.h"
#include "dbf/DBF.h"

namespace {

TFieldType KindOfLetter(char c) {
  switch (c) {
    case 'C': return ftString;
    case 'D': return ftDate;
    case 'N':
    case 'F': return ftFloat;
    case 'L': return ftBoolean;
    case 'M': return ftMemo;
    case 'G': return ftBlob;
    default: return ftUnknown;
  }
}

// How many records, and how many bytes of them, may lie wholly past the end
// of the table's bytes. Such records read as blank live records; beyond
// these bounds the table is refused, so that a few bytes cannot announce two
// billion records and keep a reader walking blanks.
constexpr int64_t kMaxRecordsPastEnd = 65536;
constexpr int64_t kMaxBytesPastEnd = 16 << 20;

}  // namespace

bool DBFFileExists(const std::string& name) {
  DWORD attr = GetFileAttributesA(name.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

TDBF::TDBF() = default;

TDBF::~TDBF() {
  try {
    Close();
  } catch (...) {
  }
  if (!FKeepStreams) {
    if (FSuppliedMemo != FSuppliedTable) delete FSuppliedMemo;
    delete FSuppliedTable;
  }
}

void TDBF::AssignStreams(TStream* table, TStream* memo, bool keep) {
  Close();
  if (!FKeepStreams) {  // streams handed over earlier and never used
    if (FSuppliedMemo != FSuppliedTable && FSuppliedMemo != memo && FSuppliedMemo != table)
      delete FSuppliedMemo;
    if (FSuppliedTable != table && FSuppliedTable != memo) delete FSuppliedTable;
  }
  FSuppliedTable = table;
  FSuppliedMemo = memo;
  FKeepStreams = keep;
}

void TDBF::SetReadOnly(bool on) {
  FReadOnly = on;
}

void TDBF::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDBF::CheckBrowseMode() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) Post();
}

void TDBF::CheckCanModify() const {
  if (FReadOnly) throw EDatabaseError("Cannot modify a read-only dataset");
}

template <class Op>
void TDBF::CheckOperation(Op op, const TDataSetErrorEvent& onError) {
  for (;;) {
    try {
      op();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (onError) onError(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
}

// ---- open and close -----------------------------------------------------------

void TDBF::Open() {
  if (Active()) return;
  Fire(BeforeOpen);
  try {
    if (FSuppliedTable) {
      FTable = FSuppliedTable;
    } else {
      if (TableName.empty() || !DBFFileExists(TableName))
        throw EDBFError("Open: Table file not found");
      FOwnTable = std::make_unique<TFileStream>(
          TableName,
          FReadOnly ? uint16_t(fmOpenRead | fmShareDenyNone) : uint16_t(fmOpenReadWrite));
      FTable = FOwnTable.get();
    }
    FFormat.Load();
    FTable->Seek(0, soFromBeginning);
    FTable->ReadBuffer(FHeader, 32);
    FCurrent = -1;
    ReadColumns();
    CreateFields();
    FRecordCount = static_cast<int32_t>(GetLE32(FHeader + 4));
    if (FRecordCount < 0) throw EDBFError("Open: Invalid record count");
    int64_t size = FTable->GetSize();
    int64_t held = size > FHeaderSize ? (size - FHeaderSize + FRecordSize - 1) / FRecordSize : 0;
    int64_t past = FRecordCount - held;
    if (past > kMaxRecordsPastEnd || past * FRecordSize > kMaxBytesPastEnd)
      throw EDBFError("Open: Record count exceeds the table data");
    for (const TFieldDef& d : FFieldDefs.Items())
      if (d.DataType == ftMemo || d.DataType == ftBlob) {
        OpenMemo();
        break;
      }
  } catch (...) {
    FFields.Clear();
    FFieldDefs.Clear();
    FOwnMemo.reset();
    FOwnTable.reset();
    FTable = FMemo = nullptr;
    throw;
  }
  FState = dsBrowse;
  FActive.Data.assign(FRecordSize, ' ');
  FScratch.Data.assign(FRecordSize, ' ');
  FSaved.Data.assign(FRecordSize, ' ');
  FHasRecord = false;
  bool got = FetchInto(gmNext);
  FBOF = true;
  FEOF = !got;
  Fire(AfterOpen);
  if (got) Fire(AfterScroll);
}

void TDBF::ReadColumns() {
  FFilterExpr.reset();  // parsed against the columns of the table opened before
  FFieldDefs.Clear();
  FOffsets.clear();
  FLengths.clear();
  FDecimals.clear();
  FColumnTypes.clear();
  int16_t h = static_cast<int16_t>(GetLE16(FHeader + 8));
  int count = h < 64 ? 0 : (h - 32) / 32;
  FTable->Seek(32, soFromBeginning);
  int offset = 0;
  uint8_t d[32];
  for (int i = 0; i < count; ++i) {
    FTable->ReadBuffer(d, 32);
    size_t n = 0;
    while (n < 11 && d[n]) ++n;
    std::string name(reinterpret_cast<char*>(d), n);
    if (!IsAnsi() && n) OemToCharBuffA(name.data(), name.data(), static_cast<DWORD>(n));
    TFieldDef def;
    def.Name = name;
    def.DataType = KindOfLetter(static_cast<char>(d[11]));
    def.Size = d[11] == 'C' ? d[16] : 0;
    def.FieldNo = i + 1;
    FFieldDefs.Add(std::move(def));
    FColumnTypes.push_back(static_cast<char>(d[11]));
    FOffsets.push_back(offset);
    FLengths.push_back(d[16]);  // byte 17 is the decimals, never a high byte
    FDecimals.push_back(d[17]);
    offset += d[16];
  }
  FRecordSize = offset + 1;
  FHeaderSize = h;
}

void TDBF::CreateFields() {
  FFields.Clear();
  FDefField.assign(FFieldDefs.Count(), -1);
  for (int i = 0; i < FFieldDefs.Count(); ++i) {
    const TFieldDef& def = FFieldDefs[i];
    if (def.DataType == ftUnknown) continue;
    auto f = std::make_unique<TField>(this, def, FFields.Count());
    if (def.DataType == ftFloat && FDecimals[i] > 0)
      f->DisplayFormat = "0." + std::string(FDecimals[i], '0');
    FDefField[i] = FFields.Count();
    FFields.Add(std::move(f));
  }
}

TField* TDBF::FieldOfDef(int i) const {
  if (i < 0 || i >= static_cast<int>(FDefField.size()) || FDefField[i] < 0) return nullptr;
  return FFields[FDefField[i]];
}

void TDBF::Close() {
  if (!Active()) return;
  Fire(BeforeClose);
  FState = dsBrowse;  // an unposted edit is dropped
  {
    TScopeExit cleanup([this] {
      FFields.Clear();
      FDefField.clear();
      FOffsets.clear();
      FLengths.clear();
      FDecimals.clear();
      FColumnTypes.clear();
      FCurrent = -1;
      FHasRecord = false;
      FEOF = FBOF = true;
      FState = dsInactive;
      FOwnMemo.reset();
      FOwnTable.reset();
      if (!FKeepStreams) {
        if (FSuppliedMemo != FSuppliedTable) delete FSuppliedMemo;
        delete FSuppliedTable;
        FSuppliedTable = FSuppliedMemo = nullptr;
      }
      FTable = FMemo = nullptr;
    });
    // dBase header bytes 4-7 and 10-11: only the record count and length change.
    if (!FReadOnly && (static_cast<int32_t>(GetLE32(FHeader + 4)) != FRecordCount ||
                       (FHeader[10] | FHeader[11]) == 0)) {
      FHeader[10] = uint8_t(FRecordSize);
      FHeader[11] = uint8_t(FRecordSize >> 8);
      PutLE32(FHeader + 4, static_cast<uint32_t>(FRecordCount));
      FTable->Seek(0, soFromBeginning);
      FTable->WriteBuffer(FHeader, 32);
    }
  }
  Fire(AfterClose);
}

int32_t TDBF::RecordCount() const {
  CheckActive();
  return FRecordCount;
}

// ---- fetching records ---------------------------------------------------------

// Reads record index into buf. Bytes that lie past the end of the table's
// data read as spaces, never as what the buffer held before.
void TDBF::ReadRecord(int32_t index, TRecordBuffer& buf) {
  int64_t pos = int64_t(FHeaderSize) + int64_t(index) * FRecordSize;
  int32_t got = 0;
  if (pos >= 0 && FTable->Seek(pos, soFromBeginning) == pos) {
    got = FTable->Read(buf.Data.data(), FRecordSize);
    if (got < 0) got = 0;
  }
  if (got < FRecordSize) std::memset(buf.Data.data() + got, ' ', FRecordSize - got);
}

void TDBF::WriteRecord(int32_t index, const TRecordBuffer& buf) {
  int64_t pos = int64_t(FHeaderSize) + int64_t(index) * FRecordSize;
  if (pos < 0 || FTable->Seek(pos, soFromBeginning) != pos) throw EWriteError();
  FTable->WriteBuffer(buf.Data.data(), FRecordSize);
}

bool TDBF::Accept(const TRecordBuffer& buf) const {
  if (buf.Data[0] == '*') return false;
  return !FFiltered || AcceptFiltered(buf);
}

TDBF::TGetResult TDBF::GetRecord(TRecordBuffer& buf, TGetMode mode, bool check) {
  TGetResult result = grEOF;
  if (FRecordCount > 0) {
    bool accept = false;
    do {
      result = grOK;
      switch (mode) {
        case gmCurrent:
          if (FCurrent < 0 || FCurrent >= FRecordCount) result = grError;
          break;
        case gmNext:
          if (FCurrent < FRecordCount - 1)
            ++FCurrent;
          else
            result = grEOF;
          break;
        case gmPrior:
          if (FCurrent < 1)
            result = grBOF;
          else
            --FCurrent;
          break;
      }
      if (result == grOK) {
        ReadRecord(FCurrent, buf);
        buf.Flag = bfCurrent;
        buf.Index = FCurrent;
        if (OnCalcFields) {
          FReadBuffer = &buf;
          TScopeExit restore([this] { FReadBuffer = nullptr; });
          OnCalcFields(*this);
        }
      } else if (result == grError && check) {
        throw EDBFError("GetRecord: Invalid record");
      }
      accept = result == grOK && Accept(buf);
      if (mode == gmCurrent && result == grOK && !accept) result = grError;
    } while (!accept && result == grOK);
  }
  if (result != grOK) std::memset(buf.Data.data(), ' ', buf.Data.size());
  return result;
}

bool TDBF::FetchInto(TGetMode mode) {
  if (GetRecord(FScratch, mode, false) != grOK) return false;
  std::swap(FActive, FScratch);
  FHasRecord = true;
  return true;
}

void TDBF::ClearCurrent() {
  FHasRecord = false;
  std::memset(FActive.Data.data(), ' ', FActive.Data.size());
  FActive.Index = FCurrent;
}

// Refetches the current record, or the nearest acceptable one after it, or
// before it.
void TDBF::Resync() {
  if (FetchInto(gmCurrent) || FetchInto(gmNext) || FetchInto(gmPrior)) {
    FEOF = FBOF = false;
  } else {
    ClearCurrent();
    FEOF = FBOF = true;
  }
}

void TDBF::First() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  FCurrent = -1;
  ClearCurrent();
  bool got = FetchInto(gmNext);
  FBOF = true;
  FEOF = !got;
  Fire(AfterScroll);
}

void TDBF::Last() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  FCurrent = FRecordCount;
  ClearCurrent();
  bool got = FetchInto(gmPrior);
  FEOF = true;
  FBOF = !got;
  Fire(AfterScroll);
}

void TDBF::Next() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  if (FEOF) return;
  FBOF = false;
  if (FHasRecord) FCurrent = FActive.Index;
  if (!FHasRecord || !FetchInto(gmNext)) FEOF = true;
  Fire(AfterScroll);
}

void TDBF::Prior() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  if (FBOF) return;
  FEOF = false;
  if (FHasRecord) FCurrent = FActive.Index;
  if (!FHasRecord || !FetchInto(gmPrior)) FBOF = true;
  Fire(AfterScroll);
}

int32_t TDBF::RecNo() const {
  if (!Active()) return -1;
  int32_t index = FHasRecord ? FActive.Index : FCurrent;
  return index < 0 ? 1 : index + 1;
}

void TDBF::SetRecNo(int32_t n) {
  CheckBrowseMode();
  if (n < 1 || n > FRecordCount) return;
  Fire(BeforeScroll);
  FCurrent = n - 1;
  Resync();
  Fire(AfterScroll);
}

// ---- changing records -----------------------------------------------------------

void TDBF::Edit() {
  CheckActive();
  if (FState == dsEdit || FState == dsInsert) return;
  if (!FHasRecord) {
    Append();
    return;
  }
  CheckCanModify();
  Fire(BeforeEdit);
  CheckOperation([] {}, OnEditError);
  FSaved = FActive;
  FState = dsEdit;
  FModified = false;
  Fire(AfterEdit);
}

void TDBF::Append() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
  Fire(BeforeScroll);
  FSaved = FActive;
  FSavedHasRecord = FHasRecord;
  std::memset(FActive.Data.data(), ' ', FActive.Data.size());
  FActive.Index = FRecordCount;
  FActive.Flag = bfInserted;
  FState = dsInsert;
  FModified = false;
  Fire(OnNewRecord);
  Fire(AfterInsert);
  Fire(AfterScroll);
}

void TDBF::Post() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) return;
  Fire(BeforePost);
  CheckOperation(
      [this] {
        if (FState == dsEdit) {
          WriteRecord(FActive.Index, FActive);
        } else {
          if (FRecordCount == INT32_MAX) throw EDBFError("Post: Table is full");
          FCurrent = FRecordCount;
          FActive.Data[0] = ' ';
          WriteRecord(FRecordCount, FActive);
          ++FRecordCount;
          FActive.Index = FCurrent;
          FActive.Flag = bfCurrent;
          FHasRecord = true;
          FEOF = FBOF = false;
        }
      },
      OnPostError);
  FState = dsBrowse;
  FModified = false;
  Fire(AfterPost);
}

void TDBF::Cancel() {
  CheckActive();
  if (FState != dsEdit && FState != dsInsert) return;
  Fire(BeforeCancel);
  if (FState == dsInsert) FHasRecord = FSavedHasRecord;
  FActive = FSaved;
  FState = dsBrowse;
  FModified = false;
  Fire(AfterCancel);
}

void TDBF::Delete() {
  CheckActive();
  if (FState == dsInsert) {
    Cancel();
    return;
  }
  if (!FHasRecord) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  CheckCanModify();
  if (FState == dsEdit) FActive = FSaved;  // unposted changes are not written with the mark
  FState = dsBrowse;
  Fire(BeforeDelete);
  Fire(BeforeScroll);
  CheckOperation(
      [this] {
        char flag = FActive.Data[0];
        FActive.Data[0] = '*';
        try {
          WriteRecord(FActive.Index, FActive);
        } catch (...) {
          FActive.Data[0] = flag;
          throw;
        }
      },
      OnDeleteError);
  FCurrent = FActive.Index;
  Resync();
  Fire(AfterDelete);
  Fire(AfterScroll);
}
