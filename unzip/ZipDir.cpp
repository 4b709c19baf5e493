#include <windows.h>

#include "unzip/ZipDir.h"

#include <cstring>
#include <memory>

#include "common/Ascii.h"
#include "common/Bytes.h"
#include "common/Classes.h"
#include "unzip/Helpers.h"

// ---- TZipHeaderInfo -----------------------------------------------------------

void TZipHeaderInfo::SetDefaults() {
  MadeBy = 20;
  NeedVersion = 20;
  GeneralFlags = 0;
  Method = 8;
  DosDateTime = 0;
  Crc = 0xFFFFFFFFu;
  PackedSize = UnpackedSize = 0;
  NameLength = ExtraLength = CommentLength = StartDisk = 0;
  InternalAttr = 1;
  ExternalAttr = 32;
  LocalHeaderOffset = CentralHeaderOffset = 0;
  FFileName.clear();
  FDirectory.clear();
  delete[] FComment;
  FComment = nullptr;
  Selected = false;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo& s) {
  if (&s == this) return;
  MadeBy = s.MadeBy;
  NeedVersion = s.NeedVersion;
  GeneralFlags = s.GeneralFlags;
  Method = s.Method;
  DosDateTime = s.DosDateTime;
  Crc = s.Crc;
  PackedSize = s.PackedSize;
  UnpackedSize = s.UnpackedSize;
  NameLength = s.NameLength;
  ExtraLength = s.ExtraLength;
  CommentLength = s.CommentLength;
  StartDisk = s.StartDisk;
  InternalAttr = s.InternalAttr;
  ExternalAttr = s.ExternalAttr;
  LocalHeaderOffset = s.LocalHeaderOffset;
  CentralHeaderOffset = s.CentralHeaderOffset;
  FFileName = s.FFileName;
  FDirectory = s.FDirectory;
  Selected = s.Selected;
  if (s.CommentLength != 0 && s.FComment) {
    delete[] FComment;
    FComment = StrNewCopy(s.FComment);
  }
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
  if (name == FFileName) return;
  FFileName = name;
  NameLength = static_cast<uint16_t>(FDirectory.size() + FFileName.size());
}

void TZipHeaderInfo::SetDirectory(std::string dir) {
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  if (dir == FDirectory) return;
  FDirectory = std::move(dir);
  NameLength = static_cast<uint16_t>(FDirectory.size() + FFileName.size());
}

void TZipHeaderInfo::SetComment(const char* text) {
  delete[] FComment;
  FComment = text ? StrNewCopy(text) : nullptr;
  CommentLength = static_cast<uint16_t>(text ? std::strlen(text) : 0);
}

// Stored names use "/" (APPNOTE 4.4.17) and the OEM code page; ours use "\"
// and the ANSI code page. The file name is what follows the last "\" or ":";
// the directory part always ends in "\" (c:x.txt gives c:\ and x.txt), so
// NameLength, the sum of both, can exceed the stored length by one.
void TZipHeaderInfo::SetStoredName(std::string name) {
  for (char& c : name)
    if (c == '/') c = '\\';
  if (!name.empty()) OemToCharBuffA(name.data(), name.data(), static_cast<DWORD>(name.size()));
  size_t cut = name.find_last_of("\\:");
  FDirectory = cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
  FFileName = cut == std::string::npos ? name : name.substr(cut + 1);
  if (!FDirectory.empty() && FDirectory.back() != '\\') FDirectory += '\\';
  NameLength = static_cast<uint16_t>(FDirectory.size() + FFileName.size());
}

bool TZipHeaderInfo::ReadCentralHeader(TStream*& stream, const TNextVolume& nextVolume) {
  int64_t start = stream->GetPosition();
  uint8_t rec[kCentralSize];
  int32_t got = stream->Read(rec, kCentralSize);
  if (got < kCentralSize && nextVolume && (got == 0 || (got >= 4 && GetLE32(rec) == kCentralSig))) {
    TStream* next = nextVolume();
    if (!next) return false;
    stream = next;
    if (got == 0) start = stream->GetPosition();
    got += stream->Read(rec + got, kCentralSize - got);
  }
  if (got != kCentralSize || GetLE32(rec) != kCentralSig) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  uint16_t nameLen = GetLE16(rec + 28), extraLen = GetLE16(rec + 30),
           commentLen = GetLE16(rec + 32);
  std::string name(nameLen, '\0');
  if (nameLen && stream->Read(name.data(), nameLen) != nameLen) {
    stream->Seek(start, soFromBeginning);
    return false;
  }
  stream->Seek(static_cast<int64_t>(extraLen) + commentLen, soFromCurrent);
  SetDefaults();
  MadeBy = GetLE16(rec + 4);
  NeedVersion = GetLE16(rec + 6);
  GeneralFlags = GetLE16(rec + 8);
  Method = GetLE16(rec + 10);
  DosDateTime = GetLE32(rec + 12);
  Crc = GetLE32(rec + 16);
  PackedSize = static_cast<int32_t>(GetLE32(rec + 20));
  UnpackedSize = static_cast<int32_t>(GetLE32(rec + 24));
  ExtraLength = extraLen;
  CommentLength = commentLen;
  StartDisk = GetLE16(rec + 34);
  InternalAttr = GetLE16(rec + 36);
  ExternalAttr = GetLE32(rec + 38);
  LocalHeaderOffset = static_cast<int32_t>(GetLE32(rec + 42));
  CentralHeaderOffset = static_cast<int32_t>(start);
  SetStoredName(std::move(name));
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
  int64_t start = stream.GetPosition();
  uint8_t rec[kLocalSize];
  if (stream.Read(rec, kLocalSize) != kLocalSize || GetLE32(rec) != kLocalSig) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  uint16_t nameLen = GetLE16(rec + 26);
  std::string name(nameLen, '\0');
  if (nameLen && stream.Read(name.data(), nameLen) != nameLen) {
    stream.Seek(start, soFromBeginning);
    return false;
  }
  SetDefaults();
  MadeBy = 0;
  NeedVersion = GetLE16(rec + 4);
  GeneralFlags = GetLE16(rec + 6);
  Method = GetLE16(rec + 8);
  DosDateTime = GetLE32(rec + 10);
  Crc = GetLE32(rec + 14);
  PackedSize = static_cast<int32_t>(GetLE32(rec + 18));
  UnpackedSize = static_cast<int32_t>(GetLE32(rec + 22));
  ExtraLength = GetLE16(rec + 28);
  InternalAttr = 0;
  ExternalAttr = 0;
  LocalHeaderOffset = static_cast<int32_t>(start);
  SetStoredName(std::move(name));
  return true;
}

// Persistence: the numbers in field order, then the names and the comment.
void TZipHeaderInfo::WriteData(TStream& s) const {
  uint8_t b[48];
  uint8_t* p = b;
  auto put16 = [&p](uint16_t v) { std::memcpy(p, &v, 2), p += 2; };
  auto put32 = [&p](uint32_t v) { std::memcpy(p, &v, 4), p += 4; };
  put16(MadeBy), put16(NeedVersion), put16(GeneralFlags), put16(Method), put32(DosDateTime);
  put32(Crc), put32(PackedSize), put32(UnpackedSize), put16(NameLength), put16(ExtraLength);
  put16(CommentLength), put16(StartDisk), put16(InternalAttr), put32(ExternalAttr);
  put32(LocalHeaderOffset), put32(CentralHeaderOffset);
  s.WriteBuffer(b, static_cast<int32_t>(p - b));
  for (const std::string* t : {&FFileName, &FDirectory}) {
    uint16_t n = static_cast<uint16_t>(t->size());
    s.WriteBuffer(&n, 2);
    s.WriteBuffer(t->data(), n);
  }
  uint16_t n = static_cast<uint16_t>(FComment ? std::strlen(FComment) : 0xFFFF);
  s.WriteBuffer(&n, 2);
  if (FComment) s.WriteBuffer(FComment, n);
}

void TZipHeaderInfo::ReadData(TStream& s) {
  uint8_t b[46];
  s.ReadBuffer(b, sizeof b);
  const uint8_t* p = b;
  auto get16 = [&p] {
    uint16_t v = GetLE16(p);
    p += 2;
    return v;
  };
  auto get32 = [&p] {
    uint32_t v = GetLE32(p);
    p += 4;
    return v;
  };
  MadeBy = get16(), NeedVersion = get16(), GeneralFlags = get16(), Method = get16();
  DosDateTime = get32(), Crc = get32();
  PackedSize = static_cast<int32_t>(get32()), UnpackedSize = static_cast<int32_t>(get32());
  NameLength = get16(), ExtraLength = get16(), CommentLength = get16(), StartDisk = get16();
  InternalAttr = get16(), ExternalAttr = get32();
  LocalHeaderOffset = static_cast<int32_t>(get32());
  CentralHeaderOffset = static_cast<int32_t>(get32());
  for (std::string* t : {&FFileName, &FDirectory}) {
    uint16_t n = 0;
    s.ReadBuffer(&n, 2);
    t->assign(n, '\0');
    s.ReadBuffer(t->data(), n);
  }
  uint16_t n = 0;
  s.ReadBuffer(&n, 2);
  delete[] FComment;
  FComment = nullptr;
  if (n != 0xFFFF) {
    std::string c(n, '\0');
    s.ReadBuffer(c.data(), n);
    FComment = StrNewCopy(c);
  }
}

// ---- TEndCentral --------------------------------------------------------------

void TEndCentral::SetDefaults() {
  Signature = kEndSig;
  ThisDisk = CentralDisk = EntriesThisDisk = TotalEntries = 0;
  CentralSize = CentralOffset = 0;
  CommentLength = 0;
  delete[] Comment;
  Comment = nullptr;
  CommentPosition = 0;
  CommentChanged = false;
}

void TEndCentral::Assign(const TEndCentral& s) {
  if (&s == this) return;
  Signature = s.Signature;
  ThisDisk = s.ThisDisk;
  CentralDisk = s.CentralDisk;
  EntriesThisDisk = s.EntriesThisDisk;
  TotalEntries = s.TotalEntries;
  CentralSize = s.CentralSize;
  CentralOffset = s.CentralOffset;
  CommentLength = s.CommentLength;
  delete[] Comment;
  Comment = s.Comment ? StrNewCopy(s.Comment) : nullptr;
  CommentPosition = s.CommentPosition;
  CommentChanged = s.CommentChanged;
}

void TEndCentral::SetComment(const char* text) {
  delete[] Comment;
  Comment = text ? StrNewCopy(text) : nullptr;
  CommentLength = static_cast<uint16_t>(text ? std::strlen(text) : 0);
}

// APPNOTE 4.3.16: the end record is the last thing in the archive but for
// its comment (at most 65535 bytes), so it is looked for backwards from the
// end. The comment length is not checked against the bytes that follow.
bool TEndCentral::LocateEndCentral(TStream& stream) {
  int64_t size = stream.GetSize();
  if (size < kEndSize) return false;
  int32_t n = size < kEndSearch ? static_cast<int32_t>(size) : kEndSearch;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[n]);
  stream.Seek(size - n, soFromBeginning);
  if (stream.Read(buf.get(), n) < n) return false;
  for (int32_t i = n - kEndSize; i >= 0; --i) {
    if (buf[i] != 'P' || GetLE32(&buf[i]) != kEndSig) continue;
    const uint8_t* r = &buf[i];
    ThisDisk = GetLE16(r + 4);
    CentralDisk = GetLE16(r + 6);
    EntriesThisDisk = GetLE16(r + 8);
    TotalEntries = GetLE16(r + 10);
    CentralSize = GetLE32(r + 12);
    CentralOffset = GetLE32(r + 16);
    CommentLength = GetLE16(r + 20);
    CommentPosition = size - CommentLength;
    return true;
  }
  return false;
}

// ---- TSortedZip -----------------------------------------------------------------

int64_t DosDateTimeOrdinal(uint32_t v) {
  int sec = (v & 0x1F) * 2, min = (v >> 5) & 0x3F, hour = (v >> 11) & 0x1F;
  int day = (v >> 16) & 0x1F, month = (v >> 21) & 0x0F, year = 1980 + ((v >> 25) & 0x7F);
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || min > 59 ||
      sec > 59)
    return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return 0;
  return ((((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + min) * 60 +
         sec;
}

int TSortedZip::Compare(const TPersistentItem* ia, const TPersistentItem* ib) const {
  const auto* a = static_cast<const TZipHeaderInfo*>(ia);
  const auto* b = static_cast<const TZipHeaderInfo*>(ib);
  switch (Mode) {
    case ByName: return CompareText(a->Directory() + a->FileName(), b->Directory() + b->FileName());
    case ByFileName: return CompareText(a->FileName(), b->FileName());
    case ByDirectoryName: return CompareText(a->Directory(), b->Directory());
    case ByDate:
      return DosDateTimeOrdinal(b->DosDateTime) > DosDateTimeOrdinal(a->DosDateTime) ? 1 : -1;
    case ByCompressedSize: return b->PackedSize > a->PackedSize ? 1 : -1;
    case ByUnCompressedSize: return b->UnpackedSize > a->UnpackedSize ? 1 : -1;
    case ByRate:
      return PercentOf(b->UnpackedSize, b->PackedSize) - PercentOf(a->UnpackedSize, a->PackedSize);
    case ByNone:
    default:
      if (a->StartDisk != b->StartDisk) return a->StartDisk - b->StartDisk;
      return a->LocalHeaderOffset < b->LocalHeaderOffset   ? -1
             : a->LocalHeaderOffset > b->LocalHeaderOffset ? 1
                                                           : 0;
  }
}
