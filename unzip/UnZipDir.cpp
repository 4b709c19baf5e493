// TUnZip: properties, the archive stream, the directory and comments.
#include <windows.h>
// The dialog headers need <windows.h> first.
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/AnsiText.h"
#include "common/Ascii.h"
#include "common/Bytes.h"
#include "unzip/BufStream.h"
#include "unzip/Helpers.h"
#include "unzip/UnZip.h"

namespace {

// Last-write time of a file, 0 when it cannot be read.
int64_t FileAge(const std::string& name) {
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  FILETIME ft{};
  BOOL ok = GetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
  return ok ? (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime : 0;
}

int64_t Now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

int CALLBACK BrowseStart(HWND wnd, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED) SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

}  // namespace

TUnZip::TUnZip(void*) {}

TUnZip::~TUnZip() {
  try {
    ClearArchive();
  } catch (...) {
  }
}

// ---- properties ---------------------------------------------------------------

void TUnZip::SetZipName(std::string value) {
  if (AnsiSameText(value, FZipName)) return;
  if (!value.empty() && value.back() == '?') {
    value.pop_back();
    size_t cut = value.find_last_of("\\:");
    std::string dir = cut == std::string::npos ? std::string() : value.substr(0, cut + 1);
    if (dir.empty() || !DirectoryExists(dir)) dir = "C:\\";
    char file[MAX_PATH + 1] = {0};
    static const char kFilter[] =
        "Zip Files (*.ZIP)\0*.zip\0SFX Files (*.EXE)\0*.exe\0All Files (*.*)\0*.*\0";
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = dir.c_str();
    ofn.lpstrTitle = "Open a Zip File";
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameA(&ofn)) throw EUserCanceled("User canceled setting zip file name.");
    value = file;
  }
  FZipName = value;
  FreeDirectory();
  FTimeStamp = 0;
  FEnd.SetDefaults();
  FreeArchiveStream();
  if (FCallerStream) {
    delete FCallerStream;
    FCallerStream = nullptr;
  }
  FRebuilt = false;
  FIsCallerStream = false;
}

void TUnZip::SetDestDir(std::string value) {
  if (value == "?") {
    std::string start = DirectoryExists(FDestDir) ? FDestDir : GetCurrentDir();
    char path[MAX_PATH + 1] = {0};
    BROWSEINFOA bi;
    std::memset(&bi, 0, sizeof bi);
    bi.pszDisplayName = path;
    bi.lpszTitle = "Destination directory";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_USENEWUI;
    bi.lpfn = BrowseStart;
    bi.lParam = reinterpret_cast<LPARAM>(start.c_str());
    LPITEMIDLIST pidl = SHBrowseForFolderA(&bi);
    if (!pidl) throw EUserCanceled("User canceled Set Desination Directory");
    BOOL ok = SHGetPathFromIDListA(pidl, path);
    ILFree(pidl);
    if (!ok) throw EUserCanceled("User canceled Set Desination Directory");
    value = path;
    if (!value.empty() && !DirectoryExists(value)) ForceDirectories(value);
  }
  if (!value.empty() && value.back() == '\\') value.pop_back();
  FDestDir = value;
}

void TUnZip::SetRootDir(std::string value) {
  if (!value.empty() && value.back() != '\\') value += '\\';
  FRootDir = value;
}

// ---- the archive stream -----------------------------------------------------------

void TUnZip::SetArchiveStream(TStream* stream) {
  if (!stream) {
    // Hand the caller's stream back: forget it, so that it is not freed.
    if (FArchive == FCallerStream) FArchive = nullptr;
    FCallerStream = nullptr;
  }
  ClearArchive();
  FCallerStream = stream;
  FArchive = stream;
  FIsCallerStream = stream != nullptr;
  if (stream) KeepZipOpen = true;
}

// Frees the open stream unless it is the caller's (that one is freed only when
// the archive is cleared, so a volume switch cannot free it twice).
void TUnZip::FreeArchiveStream() {
  if (FArchive != FCallerStream) delete FArchive;
  FArchive = nullptr;
}

void TUnZip::FreeDirectory() {
  FLastSelected.clear();
  FNameIndex.clear();
  FIndexView = nullptr;
  FByHead.clear();
  FByTail.clear();
  FClaims.clear();
  if (FView != FEntries) delete FView;
  FView = nullptr;
  delete FEntries;
  FEntries = nullptr;
}

void TUnZip::OpenArchive() {
  if (!FArchive) {
    if (FCallerStream)
      FArchive = FCallerStream;
    else
      FArchive = new TLFNFileStream(FZipName, fmOpenRead | fmShareDenyWrite);
  }
  if (FEntries && (FIsCallerStream || FileAge(FZipName) == FTimeStamp)) return;
  LoadDirectory();
}

void TUnZip::CloseArchive() {
  if (!KeepZipOpen) FreeArchiveStream();
}

void TUnZip::ClearArchive() {
  FreeArchiveStream();
  delete FCallerStream;
  FCallerStream = nullptr;
  FreeDirectory();
  FEnd.SetDefaults();
  FRebuilt = false;
  FTimeStamp = 0;
  FVolumeKind = vkSingle;
  if (!FIsCallerStream) FZipName.clear();
}

// Opens volume disk (1-based) through OnGetNextDisk.
TStream* TUnZip::RequestDisk(int disk) {
  // Without a handler no volume can be had; say so before letting go of the
  // stream in hand.
  if (!OnGetNextDisk) throw EUserCanceled("User canceled loading new disk.");
  FreeArchiveStream();
  std::string name = FZipName;
  for (;;) {
    OnGetNextDisk(this, disk, name);
    if (FVolumeKind == vkRemovable && !name.empty()) {
      std::string label = VolumeLabel(UpperAscii(LeftStr(FZipName, 3)));
      if (RightStr(LeftStr(label, 11), 3) != Format("%3.3d", disk)) continue;
    }
    if (name.empty()) throw EUserCanceled("User canceled loading new disk.");
    if (FileExists(name)) break;
  }
  FArchive = new TLFNFileStream(name, fmOpenRead);
  FCurrentDisk = disk - 1;
  FTimeStamp = FileAge(name);
  FZipName = name;
  return FArchive;
}

// ---- the directory ------------------------------------------------------------------

void TUnZip::LoadDirectory() {
  FTimeStamp = FIsCallerStream ? Now() : FileAge(FZipName);
  FreeDirectory();
  FEnd.SetDefaults();
  FRebuilt = false;
  FVolumeKind = vkSingle;
  if (FEnd.LocateEndCentral(*FArchive)) {
    FCurrentDisk = FEnd.ThisDisk;
    if (FEnd.ThisDisk != 0) {
      bool removable = FZipName.size() >= 2 && FZipName[1] == ':' &&
                       GetDriveTypeA(UpperAscii(LeftStr(FZipName, 3)).c_str()) == DRIVE_REMOVABLE;
      FVolumeKind = removable ? vkRemovable : vkSplit;
    }
    if (FEnd.CentralDisk != FCurrentDisk) RequestDisk(FEnd.CentralDisk + 1);
    FArchive->Seek(FEnd.CentralOffset, soFromBeginning);
    uint8_t sig[4] = {0, 0, 0, 0};
    if (FArchive->Read(sig, 4) == 4 && GetLE32(sig) == kCentralSig) {
      FArchive->Seek(-4, soFromCurrent);
      FEntries = new TSortedZip(ByNone, ErrorDup, true);
      FView = FEntries;
    } else if (!ScanLocalHeaders()) {
      ApplySortMode(SortMode);
      return;
    }
  } else {
    TIncompleteZipMode mode = IncompleteZipMode;
    if (OnInCompleteZip) OnInCompleteZip(this, mode);
    IncompleteZipMode = mode;
    if (mode == izAssumeMulti) throw EIncompleteZip("Incomplete Zip File");
    if (!ScanLocalHeaders()) {
      ApplySortMode(SortMode);
      return;
    }
  }

  TNextVolume next;
  if (!FRebuilt && FVolumeKind != vkSingle)
    next = [this]() -> TStream* {
      // No volume follows the one holding the end record.
      return FCurrentDisk >= FEnd.ThisDisk ? nullptr : RequestDisk(FCurrentDisk + 2);
    };
  for (int i = 0; i < FEnd.TotalEntries; ++i) {
    auto entry = std::make_unique<TZipHeaderInfo>();
    // A record that cannot be read ends the directory: where the next one
    // would start is unknown.
    if (!entry->ReadCentralHeader(FArchive, next)) break;
    TZipHeaderInfo* e = entry.get();
    if (!FRebuilt) {
      FEntries->Add(e);
      entry.release();
    } else {
      int32_t index;
      if (!FEntries->Find(e, index)) continue;
      e = FEntries->Entry(index);
      int32_t scanned = e->LocalHeaderOffset;
      e->Assign(*entry);
      e->LocalHeaderOffset = scanned;
    }
    if (FEnd.ThisDisk != 0 && e->CommentLength != 0) LoadEntryComment(*e);
  }
  if (FEnd.ThisDisk != 0 && FEnd.CommentLength != 0) {
    if (FCurrentDisk != FEnd.ThisDisk) RequestDisk(FEnd.ThisDisk + 1);
    LoadArchiveComment();
  }
  ApplySortMode(SortMode);
}

// Rebuilds the entry list from the local headers, for an archive whose
// central directory is missing or not where the end record says.
bool TUnZip::ScanLocalHeaders() {
  FRebuilt = true;
  FreeDirectory();
  FArchive->Seek(0, soFromBeginning);
  static const uint8_t kSig[4] = {'P', 'K', 3, 4};
  int matched = 0;
  uint32_t others = 0;
  uint8_t b;
  while (matched < 4) {
    if (FArchive->Read(&b, 1) != 1) return false;
    if (b != 'P' && ++others % 10240 == 0) ProcessMessages();
    if (b == kSig[matched])
      ++matched;
    else
      matched = b == 'P' ? 1 : 0;  // a mismatch restarts at this byte
  }
  FArchive->Seek(-4, soFromCurrent);
  FEntries = new TSortedZip(ByNone, ErrorDup, true);
  FView = FEntries;
  for (;;) {
    auto entry = std::make_unique<TZipHeaderInfo>();
    if (!entry->ReadLocalHeader(*FArchive)) break;
    int64_t skip = static_cast<int64_t>(entry->PackedSize) + entry->ExtraLength +
                   (entry->HasDataDescriptor() ? 16 : 0);
    FEntries->Add(entry.get());  // a header seen twice raises "Duplicate Object index"
    entry.release();
    FArchive->Seek(skip, soFromCurrent);
  }
  FEnd.ThisDisk = 0;
  FCurrentDisk = 0;
  FEnd.CentralOffset = static_cast<uint32_t>(FArchive->GetPosition());
  FEnd.TotalEntries = static_cast<uint16_t>(FEntries->Count());
  return true;
}

void TUnZip::ApplySortMode(TZipSortMode mode) {
  FNameIndex.clear();
  FIndexView = nullptr;
  FByHead.clear();
  FByTail.clear();
  if (FView != FEntries) delete FView;
  FView = FEntries;
  if (mode != ByNone && FEntries) {
    auto view = std::make_unique<TSortedZip>(mode, AcceptDup, false);
    for (int32_t i = 0; i < FEntries->Count(); ++i) view->Add(FEntries->Items(i));
    FView = view.release();
  }
  SortMode = mode;
}

void TUnZip::ReadDirectory() {
  OpenArchive();
  CloseArchive();
}

int TUnZip::EntryCount() const {
  return FView ? FView->Count() : 0;
}

void TUnZip::CheckIndex(int index) const {
  if (index < 0 || index >= EntryCount())
    throw EListError(Format("Index %d is out of range", index));
}

std::string TUnZip::EntryName(int index) const {
  CheckIndex(index);
  return FView->Entry(index)->FileName();
}

const TZipHeaderInfo& TUnZip::Entry(int index) const {
  CheckIndex(index);
  return *FView->Entry(index);
}

// ---- comments ---------------------------------------------------------------------

// Reads entry's comment from its central record, keeping the stream position.
void TUnZip::LoadEntryComment(TZipHeaderInfo& entry) {
  int64_t back = FArchive->GetPosition();
  FArchive->Seek(entry.CentralHeaderOffset, soFromBeginning);
  uint8_t rec[kCentralSize];
  std::string text;
  if (FArchive->Read(rec, kCentralSize) == kCentralSize) {
    FArchive->Seek(static_cast<int64_t>(GetLE16(rec + 28)) + GetLE16(rec + 30), soFromCurrent);
    text.assign(entry.CommentLength, '\0');
    text.resize(std::max(FArchive->Read(text.data(), entry.CommentLength), 0));
  }
  uint16_t length = entry.CommentLength;
  entry.SetComment(text.c_str());
  entry.CommentLength = length;
  FArchive->Seek(back, soFromBeginning);
}

std::string TUnZip::EntryComment(int index) {
  CheckIndex(index);
  TZipHeaderInfo* e = FView->Entry(index);
  if (e->CommentLength == 0) return std::string();
  if (!e->Comment()) {
    OpenArchive();  // may read a changed archive again
    CheckIndex(index);
    e = FView->Entry(index);
    if (!e->Comment() && e->CommentLength != 0) LoadEntryComment(*e);
    CloseArchive();
  }
  return e->Comment() ? e->Comment() : "";
}

void TUnZip::SetEntryComment(int index, const std::string& text) {
  CheckIndex(index);
  TZipHeaderInfo* e = FView->Entry(index);
  if (e->Comment() && text == e->Comment()) return;
  e->SetComment(text.c_str());
  FEnd.CommentChanged = true;
}

void TUnZip::LoadArchiveComment() {
  std::string text;
  if (FEnd.CommentPosition >= 0) {
    FArchive->Seek(FEnd.CommentPosition, soFromBeginning);
    text.assign(FEnd.CommentLength, '\0');
    text.resize(std::max(FArchive->Read(text.data(), FEnd.CommentLength), 0));
  }
  uint16_t length = FEnd.CommentLength;
  FEnd.SetComment(text.c_str());
  FEnd.CommentLength = length;
}

std::string TUnZip::ArchiveComment() {
  if (FEnd.CommentLength == 0) return std::string();
  if (!FEnd.Comment) {
    OpenArchive();
    if (!FEnd.Comment && FEnd.CommentLength != 0) LoadArchiveComment();
    CloseArchive();
  }
  return FEnd.Comment ? FEnd.Comment : "";
}

void TUnZip::SetArchiveComment(const std::string& text) {
  if (FEnd.Comment && text == FEnd.Comment) return;
  FEnd.SetComment(text.c_str());
  FEnd.CommentChanged = true;
}
