// The memo file and TDBFBlobStream.
//
// Format notes (memo file, one layout for ".fpt" and ".dbt", numbers
// big-endian, blocks of 64 bytes whatever the header says):
//   header, 512 bytes: 0-3 next free block, 6-7 block size (64), rest zero.
//   a value at block B: B*64 + 0 type (1 = text, not examined), + 4 length
//   L, + 8 the L bytes. A value that grows past what fits where it is moves
//   to the end of the file; its old blocks are not reused.
#include <windows.h>

#include <cstring>
#include <vector>

#include "common/Bytes.h"
#include "common/ServerMessageBox.h"
#include "dbf/DBF.h"
#include "dbf/DBFConvert.h"

namespace {

constexpr int64_t kBlockSize = 64;
constexpr int64_t kHeaderBlocks = 8;  // 512 bytes
constexpr int64_t kUnlimited = -1;

int64_t BlocksOf(int64_t size) {
  return (size + kBlockSize - 1) / kBlockSize;
}

bool SeekTo(TStream& s, int64_t pos) {
  return pos >= 0 && s.Seek(pos, soFromBeginning) == pos;
}

// Memo file name checks try the lower-case extension, then the upper-case
// one (the same file where names ignore case).
bool MemoExists(const std::string& base, const char* lower, const char* upper, std::string& out) {
  for (const char* ext : {lower, upper})
    if (DBFFileExists(base + ext)) {
      out = base + ext;
      return true;
    }
  return false;
}

}  // namespace

std::string TDBF::MemoFileName() const {
  if (TableName.empty()) return std::string();
  size_t slash = TableName.find_last_of("\\/:");
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string base = TableName.substr(0, nameStart);
  std::string name = TableName.substr(nameStart);
  base += name.substr(0, name.find('.'));
  std::string found;
  if (MemoExists(base, ".fpt", ".FPT", found) || MemoExists(base, ".dbt", ".DBT", found))
    return found;
  return base + ".fpt";
}

void TDBF::OpenMemo() {
  if (FSuppliedMemo) {
    FMemo = FSuppliedMemo;
    FMemo->Seek(0, soFromBeginning);
    return;
  }
  std::string name = MemoFileName();
  if (name.empty()) return;
  if (FReadOnly) {
    if (!DBFFileExists(name)) return;
    FOwnMemo = std::make_unique<TFileStream>(name, fmOpenRead | fmShareDenyNone);
  } else {
    if (!DBFFileExists(name)) TFileStream created(name, fmCreate);
    FOwnMemo = std::make_unique<TFileStream>(name, fmOpenReadWrite);
  }
  FMemo = FOwnMemo.get();
}

// Writes the 512-byte memo header when the next free block, computed from
// the memo stream's size, differs from the cached one. A stream that cannot
// be written is not an error here.
void TDBF::RefreshMemoHeader(int64_t& cachedNextFree) {
  if (!FMemo) return;
  int64_t next = BlocksOf(FMemo->GetSize());
  if (next < kHeaderBlocks) next = kHeaderBlocks;
  if (next == cachedNextFree) return;
  cachedNextFree = next;
  uint8_t header[512] = {};
  PutBE32(header, static_cast<uint32_t>(next));
  header[7] = kBlockSize;
  try {
    if (SeekTo(*FMemo, 0)) FMemo->Write(header, sizeof header);
  } catch (const Exception&) {
  }
}

std::unique_ptr<TStream> TDBF::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  return std::make_unique<TDBFBlobStream>(field, mode);
}

// ---- TDBFBlobStream ----------------------------------------------------------------

TDBFBlobStream::TDBFBlobStream(TField& field, TBlobStreamMode mode)
    : FDBF(*field.DataSet()),
      FMode(mode),
      FColumn(field.FieldNo() - 1),
      FTransliterate(field.Transliterate),
      FDisplayName(field.DisplayName()) {
  TDBF& t = FDBF;
  if (!t.Active()) throw EDatabaseError("Table is not opened");
  if (!field.IsBlob() || (t.FReadOnly && mode != bmRead))
    throw EDatabaseError("Invalid blob field access mode (" + FDisplayName + ")");
  FCapacity = kUnlimited;
  if (FColumn >= 0 && FColumn < static_cast<int>(t.FOffsets.size()) && t.FMemo) {
    FBlock = t.ReadBlockNumber(FColumn);
    int64_t size = t.FMemo->GetSize();
    FNextFree = BlocksOf(size);
    t.RefreshMemoHeader(FNextFree);
    bool have = false;
    // A block whose 8-byte header does not lie wholly inside the memo file
    // gives an empty value, as a blank column does. The record keeps its
    // block number until a new value is written (Finish).
    if (FBlock > 0 && FBlock * kBlockSize + 8 <= size) {
      uint8_t head[8];
      if (SeekTo(*t.FMemo, FBlock * kBlockSize) && t.FMemo->Read(head, 8) == 8) {
        FLength = GetBE32(head + 4);
        FCapacity = FBlock * kBlockSize + 8 + FLength + 10 < size ? FLength : kUnlimited;
        have = true;
      }
    }
    if (!have) {
      FBlock = FNextFree;
      FLength = 0;
      FCapacity = kUnlimited;
    }
  }
  if (mode == bmWrite) {
    FLength = FPosition;
    FModified = true;
  }
}

TDBFBlobStream::~TDBFBlobStream() {
  try {
    Finish();
  } catch (const std::exception& e) {
    // The application's error handler: report and go no further.
    ServerMessageBox(nullptr, e.what(), "Error", MB_OK | MB_ICONSTOP);
  }
}

void TDBFBlobStream::Finish() {
  TDBF& t = FDBF;
  if (!FModified || !t.Active() || !t.FMemo) return;
  t.RefreshMemoHeader(FNextFree);
  t.WriteBlockNumber(FColumn, FBlock, FLength);
  if (FLength > 0) {
    uint8_t head[8];
    PutBE32(head, 1);
    PutBE32(head + 4, static_cast<uint32_t>(FLength));
    if (!SeekTo(*t.FMemo, FBlock * kBlockSize)) throw EWriteError();
    t.FMemo->WriteBuffer(head, 8);
  }
  t.DataChanged();
}

int32_t TDBFBlobStream::Read(void* buffer, int32_t count) {
  if (FMode == bmWrite)
    throw EDatabaseError("Invalid blob field access mode (" + FDisplayName + ")");
  TStream* memo = FDBF.FMemo;
  if (!memo || !FDBF.Active() || FPosition < 0) return 0;
  if (count > FLength - FPosition) count = static_cast<int32_t>(FLength - FPosition);
  if (count <= 0 || !SeekTo(*memo, FBlock * kBlockSize + 8 + FPosition)) return 0;
  int32_t n = memo->Read(buffer, count);
  if (n <= 0) return 0;
  FPosition += n;
  if (FTransliterate && !FDBF.IsAnsi())
    OemToCharBuffA(static_cast<char*>(buffer), static_cast<char*>(buffer), static_cast<DWORD>(n));
  return n;
}

int32_t TDBFBlobStream::Write(const void* buffer, int32_t count) {
  if (FMode == bmRead)
    throw EDatabaseError("Invalid blob field access mode (" + FDisplayName + ")");
  TDBF& t = FDBF;
  TStream* memo = t.FMemo;
  if (!memo || !t.Active() || count <= 0 || FPosition < 0) return 0;
  FModified = true;
  if (FCapacity != kUnlimited && FCapacity - FPosition < count) {
    // Move the value to the end of the memo file first.
    std::vector<char> old(static_cast<size_t>(FLength));
    int32_t got = 0;
    if (FLength > 0 && SeekTo(*memo, FBlock * kBlockSize + 8))
      got = memo->Read(old.data(), static_cast<int32_t>(FLength));
    if (got < 0) got = 0;
    int64_t block = BlocksOf(memo->GetSize());
    if (block < kHeaderBlocks) block = kHeaderBlocks;
    if (!SeekTo(*memo, block * kBlockSize + 8)) throw EWriteError();
    int32_t put = got ? memo->Write(old.data(), got) : 0;
    FBlock = block;
    FLength = put;
    FCapacity = kUnlimited;
    t.WriteBlockNumber(FColumn, FBlock, FLength);
    t.RefreshMemoHeader(FNextFree);
  }
  std::string bytes(static_cast<const char*>(buffer), count);
  if (FTransliterate && !t.IsAnsi()) CharToOemBuffA(bytes.data(), bytes.data(), count);
  if (!SeekTo(*memo, FBlock * kBlockSize + 8 + FPosition)) return 0;
  int32_t n = memo->Write(bytes.data(), count);
  if (n < 0) n = 0;
  if (FPosition + n > FLength) FLength = FPosition + n;
  FPosition += n;
  return n;
}

int64_t TDBFBlobStream::Seek(int64_t offset, int origin) {
  if (!FDBF.FMemo) return FPosition = 0;
  switch (origin) {
    case soFromBeginning: FPosition = offset; break;
    case soFromCurrent: FPosition += offset; break;
    case soFromEnd: FPosition = FLength + offset; break;
  }
  return FPosition;
}
