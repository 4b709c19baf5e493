// TUnZip: selecting, positioning, decrypting, decoding and checking entries.
#include <windows.h>

#include "unzip/UnZip.h"

#include <algorithm>
#include <memory>

#include "common/Ascii.h"
#include "common/ScopeExit.h"
#include "unzip/BufStream.h"
#include "unzip/Decoders.h"
#include "unzip/Helpers.h"

namespace {

// The run context's buffers, allocated once per extraction run.
struct TRunBuffers {
  TRunBuffers() {
    Ctx.Window = Window.get();
    Ctx.InputBuffer = Input.get();
    Ctx.OutputBuffer = Output.get();
  }
  std::unique_ptr<uint8_t[]> Window{new uint8_t[kWindowBytes]()};
  std::unique_ptr<uint8_t[]> Input{new uint8_t[kChunkBytes + 1]};
  std::unique_ptr<uint8_t[]> Output{new uint8_t[kOutputBytes + 1]};
  TRunContext Ctx;
};

}  // namespace

// ---- run host ---------------------------------------------------------------

void TUnZip::ReadChunk(uint8_t* buf, int32_t n) {
  int32_t got = FArchive->Read(buf, n);
  if (got < 0) got = 0;
  while (got < n) {
    // Another volume helps only for an archive of several, and none follows
    // the volume holding the end record.
    if (FEnd.ThisDisk == 0 || !OnGetNextDisk || FCurrentDisk >= FEnd.ThisDisk)
      throw EFatalUnzipError("Premature end of file reached");
    RequestDisk(FCurrentDisk + 2);
    int32_t more = FArchive->Read(buf + got, n - got);
    if (more > 0) got += more;
  }
  if (FWork.Encrypted()) Decrypt(buf, n);
}

void TUnZip::ProcessMessages() {
  if (!DoProcessMessages) return;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void TUnZip::Progress(int64_t entryBytesWritten, int32_t justWritten) {
  if (OnFilePercentDone) OnFilePercentDone(this, PercentOf(FWork.UnpackedSize, entryBytesWritten));
  if (OnTotalPercentDone) {
    FDone += justWritten;
    // Entries may hold more than they declare; the total stays at 100.
    OnTotalPercentDone(this, TotalPercent(FDone < FTotal ? FDone : FTotal, FTotal));
  }
}

// ---- traditional PKWARE decryption (APPNOTE 6.1) ------------------------------------

namespace {

inline void UpdateKeys(uint32_t* k, uint8_t c) {
  k[0] = Crc32Byte(k[0], c);
  k[1] = (k[1] + (k[0] & 0xFF)) * 134775813u + 1;
  k[2] = Crc32Byte(k[2], static_cast<uint8_t>(k[1] >> 24));
}

inline uint8_t KeyStreamByte(const uint32_t* k) {
  uint32_t t = (k[2] | 2) & 0xFFFF;  // unsigned: the product needs 32 bits
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

}  // namespace

void TUnZip::Decrypt(uint8_t* buf, int32_t n) {
  uint32_t k[3] = {FKeys[0], FKeys[1], FKeys[2]};
  for (int32_t i = 0; i < n; ++i) {
    uint8_t c = buf[i] ^ KeyStreamByte(k);
    buf[i] = c;
    UpdateKeys(k, c);
  }
  FKeys[0] = k[0], FKeys[1] = k[1], FKeys[2] = k[2];
}

// Reads the 12-byte encryption header (APPNOTE 6.1.5) and tells whether the
// password fits its check byte.
bool TUnZip::CheckPassword() {
  uint8_t header[12] = {0};
  FArchive->Read(header, 12);
  FWork.PackedSize -= 12;
  FKeys[0] = 0x12345678u, FKeys[1] = 0x23456789u, FKeys[2] = 0x34567890u;
  for (char c : Password) UpdateKeys(FKeys, static_cast<uint8_t>(c));
  Decrypt(header, 12);
  uint8_t check = FWork.HasDataDescriptor() ? static_cast<uint8_t>(FWork.DosDateTime >> 8)
                                            : static_cast<uint8_t>(FWork.Crc >> 24);
  return header[11] == check;
}

// ---- extraction ---------------------------------------------------------------

int TUnZip::ExtractToStream(TStream* stream, const std::string& pattern) {
  return RunToStream(stream, &pattern);
}

int TUnZip::ExtractToStream(TStream* stream) {
  return RunToStream(stream, nullptr);
}

// One stream-mode run: the sink is set for the run only, and the archive is
// closed again however the run ends. A pattern replaces FilesList once the
// archive is open.
int TUnZip::RunToStream(TStream* stream, const std::string* pattern) {
  FToStream = true;
  FSink = stream;
  TScopeExit done([this] {
    FToStream = false;
    FSink = nullptr;
    CloseArchive();
  });
  OpenArchive();
  if (pattern) FilesList.assign(1, *pattern);
  return ExtractSelected();
}

int TUnZip::ExtractToFiles() {
  FToStream = false;
  FSink = nullptr;
  TScopeExit done([this] { CloseArchive(); });
  OpenArchive();
  return ExtractSelected();
}

int TUnZip::ExtractSelected() {
  TRunBuffers run;
  FCtx = &run.Ctx;
  FCtx->Host = this;
  std::string remembered = GetCurrentDir();
  TZipSortMode savedMode = SortMode;
  bool modeChanged = false;
  // However the run ends, the current directory and the sort mode are given
  // back and the run context goes.
  TScopeExit done([&] {
    SetCurrentDirectoryA(remembered.c_str());
    FCtx = nullptr;
    if (modeChanged) ApplySortMode(savedMode);
  });
  if (!FDestDir.empty()) {
    if (!DirectoryExists(FDestDir)) ForceDirectories(FDestDir);
    ChDir(FDestDir);
  }
  // Targets are formed from DestDir, which is now current: a relative
  // DestDir is taken as the directory it named before.
  bool absolute = !FDestDir.empty() && (FDestDir[0] == '\\' || FDestDir[0] == '/' ||
                                        (FDestDir.size() > 1 && FDestDir[1] == ':'));
  FRunDestDir = FDestDir.empty() || absolute ? FDestDir : GetCurrentDir();
  // How long a target's path is before its part below the destination.
  FRunBaseLength = (FRunDestDir.empty() ? remembered.size() : FRunDestDir.size()) + 1;
  // A spanned archive is read in archive order, volume after volume.
  if (FEnd.ThisDisk != 0 && SortMode != ByNone) {
    ApplySortMode(ByNone);
    modeChanged = true;
  }
  std::vector<int> selected = Select();
  bool stop = false;
  if (OnStartUnZipInfo) OnStartUnZipInfo(this, FResult, FTotal, stop);
  if (FResult > 0 && !stop) {
    for (int i : selected) {
      do ExtractEntry(i);
      while (FRetry);
    }
  }
  return FResult;
}

namespace {

// A pattern that WildcardMatch reads as plain text: it matches a file name
// exactly when both are equal but for the case of ASCII letters.
bool IsLiteral(const std::string& p) {
  return !p.empty() && p.find_first_of("*?[\\") == std::string::npos;
}

}  // namespace

// Marks the entries of the run as Selected, sets the run's result (the number
// selected) and its selected total; gives the indexes to extract.
//
// The receiver extracts an archive one entry at a time by its name, so a
// plain name is looked up in an index of the file names instead of being
// matched against every entry: an archive of many entries stays linear.
std::vector<int> TUnZip::Select() {
  for (TZipHeaderInfo* e : FLastSelected) e->Selected = false;
  FLastSelected.clear();
  FResult = EntryCount();
  FTotal = FDone = 0;
  std::vector<int> run;
  if (FOnlyIndex >= 0) {
    FResult = 0;
    if (FOnlyIndex < EntryCount() && !FView->Entry(FOnlyIndex)->FileName().empty()) {
      TZipHeaderInfo* e = FView->Entry(FOnlyIndex);
      e->Selected = true;
      FLastSelected.push_back(e);
      FTotal = e->UnpackedSize;
      FResult = 1;
      run.push_back(FOnlyIndex);
    }
    return run;
  }
  if (!DoAll && FilesList.size() == 1 && IsLiteral(FilesList[0])) {
    BuildNameIndex();
    auto it = FNameIndex.find(LowerAscii(FilesList[0]));
    if (it != FNameIndex.end()) run = it->second;
    for (int i : run) {
      TZipHeaderInfo* e = FView->Entry(i);
      e->Selected = true;
      FLastSelected.push_back(e);
      FTotal += e->UnpackedSize;
    }
    FResult = static_cast<int>(run.size());
    return run;
  }
  for (int i = 0; i < EntryCount(); ++i) {
    TZipHeaderInfo* e = FView->Entry(i);
    e->Selected = DoAll;
    if (!e->FileName().empty() || RecreateDirs) {
      for (const std::string& line : FilesList) {
        bool whole = line.find('\\') != std::string::npos;
        if (WildcardMatch(line, whole ? e->Directory() + e->FileName() : e->FileName())) {
          e->Selected = true;
          break;
        }
      }
      if (e->Selected)
        FTotal += e->UnpackedSize;
      else
        --FResult;
    } else {
      e->Selected = false;
      --FResult;
    }
    if (e->Selected) FLastSelected.push_back(e);
    if (DoAll || e->Selected) run.push_back(i);
  }
  return run;
}

void TUnZip::BuildNameIndex() {
  if (FIndexView == FView && FIndexCount == EntryCount()) return;
  FNameIndex.clear();
  for (int i = 0; i < EntryCount(); ++i)
    FNameIndex[LowerAscii(FView->Entry(i)->FileName())].push_back(i);
  FIndexView = FView;
  FIndexCount = EntryCount();
}

void TUnZip::BuildNameOrder() {
  if (!FByHead.empty() || EntryCount() == 0) return;
  FByHead.reserve(EntryCount());
  FByTail.reserve(EntryCount());
  for (int i = 0; i < EntryCount(); ++i) {
    std::string name = LowerAscii(FView->Entry(i)->FileName());
    FByTail.emplace_back(std::string(name.rbegin(), name.rend()), i);
    FByHead.emplace_back(std::move(name), i);
  }
  std::sort(FByHead.begin(), FByHead.end());
  std::sort(FByTail.begin(), FByTail.end());
}

namespace {

using TNameOrder = std::vector<std::pair<std::string, int>>;

// The entries of order whose (lower-cased) names begin with head.
std::pair<TNameOrder::const_iterator, TNameOrder::const_iterator> Beginning(
    const TNameOrder& order, const std::string& head) {
  auto lo = std::lower_bound(order.begin(), order.end(), head,
                             [](const auto& e, const std::string& h) { return e.first < h; });
  auto hi = std::partition_point(
      lo, order.end(), [&](const auto& e) { return e.first.compare(0, head.size(), head) == 0; });
  return {lo, hi};
}

}  // namespace

// A pattern's characters before its first wildcard must begin the name, and
// those after its last wildcard or set must end it: only the entries whose
// names do so are matched, from the smaller of the two ranges.
int TUnZip::SingleSelection(const std::string& pattern, int64_t* work) {
  OpenArchive();
  CloseArchive();
  // An empty pattern matches only empty names, which only directory entries
  // have, and those are selected only with RecreateDirs.
  if (pattern.empty() && !RecreateDirs) return -1;
  if (IsLiteral(pattern)) {
    BuildNameIndex();
    auto it = FNameIndex.find(LowerAscii(pattern));
    if (it == FNameIndex.end()) return -1;
    return it->second.size() == 1 ? it->second[0] : -2;
  }
  int found = -1;
  auto consider = [&](int i) {
    const TZipHeaderInfo* e = FView->Entry(i);
    if (--*work < 0) return false;
    if (e->FileName().empty() && !RecreateDirs) return true;
    bool whole = pattern.find('\\') != std::string::npos;
    if (!WildcardMatch(pattern, whole ? e->Directory() + e->FileName() : e->FileName(), work))
      return *work >= 0;
    found = found == -1 ? i : -2;
    return found != -2;
  };
  if (pattern.find('\\') != std::string::npos) {
    for (int i = 0; i < EntryCount() && consider(i);) ++i;
  } else {
    BuildNameOrder();
    std::string p = LowerAscii(pattern);
    size_t first = p.find_first_of("*?["), last = p.find_last_of("*?[]");
    std::string head = p.substr(0, first);
    std::string tail(p.rbegin(), p.rbegin() + static_cast<std::ptrdiff_t>(p.size() - last - 1));
    auto byHead = Beginning(FByHead, head);
    auto byTail = Beginning(FByTail, tail);
    auto range = byHead.second - byHead.first <= byTail.second - byTail.first ? byHead : byTail;
    // Only whether one entry or more match counts, so the candidates are
    // taken in the index's order and the walk ends at the second match: a
    // name that selects many entries costs two candidates, not all of them.
    for (auto it = range.first; it != range.second; ++it)
      if (!consider(it->second)) break;
  }
  if (found == -2) return -2;
  return *work < 0 ? -3 : found;
}

int TUnZip::ExtractIndexToStream(TStream* stream, int index) {
  CheckIndex(index);
  FOnlyIndex = index;
  int result;
  try {
    result = RunToStream(stream, nullptr);
  } catch (...) {
    FOnlyIndex = -1;
    throw;
  }
  FOnlyIndex = -1;
  return result;
}

// Records that the compressed data of entry starts at start (on the current
// volume) and runs for its PackedSize; false when those bytes overlap
// another entry's data already extracted. An entry may be extracted again.
bool TUnZip::ClaimDataRange(const TZipHeaderInfo* entry, int64_t start) {
  if (FWork.PackedSize <= 0) return true;
  const int64_t end = start + FWork.PackedSize;
  const std::pair<int, int64_t> key(FCurrentDisk, start);
  auto next = FClaims.lower_bound(key);
  if (next != FClaims.end() && next->first.first == FCurrentDisk && next->first.second < end &&
      next->second.second != entry)
    return false;
  if (next != FClaims.begin()) {
    auto before = std::prev(next);
    if (before->first.first == FCurrentDisk && before->second.first > start &&
        before->second.second != entry)
      return false;
  }
  if (next != FClaims.end() && next->first == key) return next->second.second == entry;
  FClaims.emplace(key, std::make_pair(end, entry));
  return true;
}
