// Archive and table intake, and the table members.
//
// An uploaded archive is unpacked in memory: every entry that extracts alone
// (its bare name selects exactly one entry) and with a correct checksum
// becomes a further received file. An uploaded table is opened read-only
// straight from its file's buffer, and the record numbers of a walk over it
// become the rows a script reads.
#include <algorithm>

#include "common/AnsiText.h"
#include "common/FoldLower.h"
#include "receiver/Acceptors.h"
#include "receiver/SafeCall.h"
#include "unzip/UnZip.h"

namespace {

// Lends the receiver's archive buffer to a TUnZip and takes it back whatever
// happens: the component frees the streams it holds, and this one is not its.
class TLentArchive {
 public:
  TLentArchive(TUnZip& zip, TMemoryStream& archive) : FZip(zip) {
    archive.SetPosition(0);
    FZip.SetArchiveStream(&archive);
  }
  ~TLentArchive() { FZip.SetArchiveStream(nullptr); }
  TLentArchive(const TLentArchive&) = delete;
  TLentArchive& operator=(const TLentArchive&) = delete;

 private:
  TUnZip& FZip;
};

bool IsIndexType(VARTYPE vt) {
  return vt == VT_I2 || vt == VT_I4 || vt == VT_R4 || vt == VT_R8 || vt == VT_UI1;
}

}  // namespace

namespace {

// What one archive may cost. Its entries may unpack to at most 100 times the
// archive's size plus 1 MiB in all (tables and text pack 10 to 60 times);
// matching their names as patterns against each other may visit at most
// kMatchWork characters plus 64 per byte of the archive.
constexpr int64_t kUnpackRatio = 100;
constexpr int64_t kUnpackSlack = int64_t(1) << 20;
constexpr int64_t kMatchWork = int64_t(1) << 27;
constexpr int64_t kMatchWorkPerByte = 64;

// An archive that would cost more stops its intake as a damaged one does.
class EArchiveLimit : public Exception {
  using Exception::Exception;
};

// The sink of an entry whose declared size exceeds what the archive may
// still unpack: appends to a memory buffer while the allowance lasts, and
// fails the intake past it. (An entry that declares a size within the
// allowance writes straight to its buffer: the component itself fails output
// beyond the declared size.)
class TAllowanceSink : public TStream {
 public:
  TAllowanceSink(TMemoryStream& buffer, int64_t allowance)
      : FBuffer(buffer), FAllowance(allowance) {}
  int32_t Read(void* data, int32_t count) override { return FBuffer.Read(data, count); }
  int32_t Write(const void* data, int32_t count) override {
    if (count > 0 && FBuffer.GetPosition() + count > FAllowance)
      throw EArchiveLimit("Archive unpacks to more than its limit");
    return FBuffer.Write(data, count);
  }
  int64_t Seek(int64_t offset, int origin) override { return FBuffer.Seek(offset, origin); }
  int64_t GetSize() override { return FBuffer.GetSize(); }
  void SetSize(int64_t size) override {
    if (size > FAllowance) throw EArchiveLimit("Archive unpacks to more than its limit");
    FBuffer.SetSize(size);
  }

 private:
  TMemoryStream& FBuffer;
  int64_t FAllowance;
};

}  // namespace

// An entry is received when its folded name, taken as the pattern a run
// selects with, selects that entry and no other, and the entry alone
// extracts with a correct CRC: a name two entries share, or a pattern that
// selects another entry, receives nothing, and a failing entry's bytes reach
// no file.
void TAcceptor::ExpandArchive(TMemoryStream& archive, const std::string& varName) {
  TUnZip zip;
  TLentArchive lent(zip, archive);
  zip.ReadDirectory();
  const int64_t size = archive.GetSize();
  int64_t allowance = kUnpackRatio * size + kUnpackSlack;
  int64_t work = kMatchWork + kMatchWorkPerByte * size;
  const int count = zip.EntryCount();
  for (int j = 0; j < count; ++j) {
    std::string n = FoldLower(zip.EntryName(j));
    if (n.empty()) continue;  // a directory entry
    int only = zip.SingleSelection(n, &work);
    if (only == -3) throw EArchiveLimit("Archive names take too long to match");
    if (only != j) continue;
    auto entry = std::make_unique<TMemoryStream>();
    const int64_t declared = zip.Entry(j).UnpackedSize;
    if (declared >= 0 && declared <= allowance) {
      if (zip.ExtractIndexToStream(entry.get(), j) != 1) continue;
    } else {
      TAllowanceSink sink(*entry, allowance);
      if (zip.ExtractIndexToStream(&sink, j) != 1) continue;
    }
    allowance -= entry->GetSize();
    entry->ShrinkToFit();  // many small entries must not each keep a growth block
    AddFile(varName, n, std::move(entry));
  }
}

void TAcceptor::AddTable(const std::string& varName, const std::string& fileName,
                         TMemoryStream& data) {
  TDBFInfo info;
  info.VarName = varName;
  info.Name = fileName;
  if (info.Name.size() >= 4 && info.Name.compare(info.Name.size() - 4, 4, ".dbf") == 0)
    info.Name.resize(info.Name.size() - 4);
  try {
    info.Table = std::make_unique<TDBF>();
    info.Table->AssignStreams(&data, nullptr, true);
    info.Table->SetReadOnly(true);
    info.Table->Open();
    // The header's count may lie: never reserve more rows than the bytes hold.
    int64_t fits = data.GetSize();
    info.RecNos.reserve(static_cast<size_t>(
        std::clamp<int64_t>(info.Table->RecordCount(), 0, std::min<int64_t>(fits, 1 << 20))));
    while (!info.Table->Eof()) {
      info.RecNos.push_back(info.Table->RecNo());
      info.Table->Next();
    }
    info.Row = info.RecNos.empty() ? -1 : 0;
    FDBFs.push_back(std::move(info));
  } catch (const std::exception&) {
    // Not a table this reader can open: the file stays received, no table.
  }
}

int TAcceptor::FindColumn(const TDBF& table, const VARIANT& ref) {
  const TFieldDefs& defs = table.FieldDefs();
  VARIANT id;
  if (!IdentifierValue(ref, &id)) return -1;
  if (IsIndexType(id.vt)) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(VariantChangeType(&v, &id, 0, VT_I4))) return -1;
    return v.lVal >= 0 && v.lVal < defs.Count() ? static_cast<int>(v.lVal) : -1;
  }
  std::string name;
  try {
    if (!IdentifierText(id, &name) || name.empty()) return -1;
  } catch (...) {
    return -1;
  }
  for (int i = 0; i < defs.Count(); ++i)
    if (AnsiSameText(defs[i].Name, name, LOCALE_SYSTEM_DEFAULT)) return i;
  return -1;
}

HRESULT TAcceptor::DBFCount(LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = static_cast<LONG>(FDBFs.size());
  return S_OK;
}

HRESULT TAcceptor::DBFName(VARIANT DBFID, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    *Value = AnsiToBstr(i < 0 ? std::string_view() : std::string_view(FDBFs[i].Name));
  });
}

HRESULT TAcceptor::DBFVarName(VARIANT DBFID, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    *Value = AnsiToBstr(i < 0 ? std::string_view() : std::string_view(FDBFs[i].VarName));
  });
}

HRESULT TAcceptor::DBFColCount(VARIANT DBFID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = 0;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i >= 0) *Value = FDBFs[i].Table->FieldDefs().Count();
  });
}

HRESULT TAcceptor::DBFRowCount(VARIANT DBFID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = 0;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i >= 0) *Value = static_cast<LONG>(FDBFs[i].RecNos.size());
  });
}

HRESULT TAcceptor::DBFColName(VARIANT DBFID, VARIANT FieldID, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] {
    std::string name;
    int i = FindDBF(DBFID);
    int c = i < 0 ? -1 : FindColumn(*FDBFs[i].Table, FieldID);
    if (c >= 0) name = FoldLower(FDBFs[i].Table->FieldDefs()[c].Name);
    *Value = AnsiToBstr(name);
  });
}

HRESULT TAcceptor::DBF(VARIANT DBFID, VARIANT FieldID, VARIANT* Value) {
  if (!Value) return E_POINTER;
  VariantInit(Value);
  Value->vt = VT_I4;
  Value->lVal = 0;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i < 0) return;
    TDBFInfo& t = FDBFs[i];
    int c = FindColumn(*t.Table, FieldID);
    if (c < 0 || t.Row < 0) return;
    try {
      int32_t r = t.RecNos[static_cast<size_t>(t.Row)];
      if (t.Table->RecNo() != r) t.Table->SetRecNo(r);
      TField* field = t.Table->FieldOfDef(c);
      if (!field) return;
      VARIANT v;
      if (FAILED(DBFValueToVariant(field->Value(), &v))) return;
      *Value = v;
    } catch (const std::exception&) {
      // A value that cannot be read: the empty result.
    }
  });
}

HRESULT TAcceptor::get_DBFRow(VARIANT DBFID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = -1;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i >= 0) *Value = FDBFs[i].Row;
  });
}

HRESULT TAcceptor::put_DBFRow(VARIANT DBFID, LONG Value) {
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i < 0) return;
    TDBFInfo& t = FDBFs[i];
    LONG rows = static_cast<LONG>(t.RecNos.size());
    LONG row = Value < 0 ? 0 : Value;
    if (row >= rows) row = rows - 1;
    t.Row = row;
  });
}
