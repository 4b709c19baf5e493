// The archive directory: one TZipHeaderInfo per entry, the end-of-central-
// directory record TEndCentral, and TSortedZip, the list that keeps entries
// in one of the TZipSortMode orders. Record layouts as in APPNOTE 4.3.7
// (local header), 4.3.12 (central directory header) and 4.3.16 (end record).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "unzip/ObjList.h"

class TStream;

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr int32_t kLocalSize = 30;
constexpr int32_t kCentralSize = 46;
constexpr int32_t kEndSize = 22;
constexpr int32_t kEndSearch = 65528;  // the end record is looked for in this tail

// Switches to the next volume and gives its stream (nullptr: none to be had).
using TNextVolume = std::function<TStream*()>;

class TZipHeaderInfo : public TPersistentItem {
 public:
  TZipHeaderInfo() { SetDefaults(); }
  ~TZipHeaderInfo() override { delete[] FComment; }
  TZipHeaderInfo(const TZipHeaderInfo&) = delete;
  TZipHeaderInfo& operator=(const TZipHeaderInfo&) = delete;
  const char* ClassName() const override { return "TZipHeaderInfo"; }

  void SetDefaults();
  // Copies every field; the comment only when source has a non-zero
  // CommentLength and a loaded comment.
  void Assign(const TZipHeaderInfo& source);

  uint16_t MadeBy, NeedVersion, GeneralFlags, Method;
  uint32_t DosDateTime;  // DOS time in the low word, date in the high word
  uint32_t Crc;
  int32_t PackedSize;  // includes the 12-byte encryption header
  int32_t UnpackedSize;
  uint16_t NameLength, ExtraLength, CommentLength, StartDisk, InternalAttr;
  uint32_t ExternalAttr;
  int32_t LocalHeaderOffset;
  int32_t CentralHeaderOffset;  // stream position of the central record read
  bool Selected;

  const std::string& FileName() const { return FFileName; }
  const std::string& Directory() const { return FDirectory; }  // ends with "\" when set
  void SetFileName(const std::string& name);
  void SetDirectory(std::string dir);
  const char* Comment() const { return FComment; }  // nullptr: not loaded
  void SetComment(const char* text);                // sets CommentLength too

  bool Encrypted() const { return GeneralFlags & 1; }
  bool HasDataDescriptor() const { return GeneralFlags & 8; }

  // Reads the central record at the stream's position (APPNOTE 4.3.12).
  // nextVolume, when given, is asked for the next volume when the record is
  // cut at the end of this one; stream then refers to the new volume. On
  // failure the stream is back where the record began and false is given.
  bool ReadCentralHeader(TStream*& stream, const TNextVolume& nextVolume);
  // Reads the local header at the stream's position (APPNOTE 4.3.7), leaving
  // the stream after the name.
  bool ReadLocalHeader(TStream& stream);

  void WriteData(TStream& s) const override;
  void ReadData(TStream& s) override;

 private:
  void SetStoredName(std::string name);  // "/" to "\", OEM to ANSI, split

  std::string FFileName, FDirectory;
  char* FComment = nullptr;
};

class TEndCentral : public TPersistentItem {
 public:
  TEndCentral() { SetDefaults(); }
  ~TEndCentral() override { delete[] Comment; }
  TEndCentral(const TEndCentral&) = delete;
  TEndCentral& operator=(const TEndCentral&) = delete;
  const char* ClassName() const override { return "TEndCentral"; }

  void SetDefaults();
  void Assign(const TEndCentral& source);
  void SetComment(const char* text);

  // Finds the end record in the last 65528 bytes (the hit nearest the end).
  bool LocateEndCentral(TStream& stream);

  uint32_t Signature;
  uint16_t ThisDisk, CentralDisk, EntriesThisDisk, TotalEntries;
  uint32_t CentralSize, CentralOffset;
  uint16_t CommentLength;
  char* Comment = nullptr;
  int64_t CommentPosition;
  bool CommentChanged;
};

enum TZipSortMode : uint8_t {
  ByName,
  ByFileName,
  ByDirectoryName,
  ByDate,
  ByCompressedSize,
  ByUnCompressedSize,
  ByRate,
  ByNone
};

class TSortedZip : public TSortedObjectList {
 public:
  TSortedZip(TZipSortMode mode, TDuplicates duplicates, bool ownsItems)
      : TSortedObjectList(duplicates), Mode(mode) {
    OwnsItems = ownsItems;
  }
  const char* ClassName() const override { return "TSortedZip"; }
  TZipHeaderInfo* Entry(int32_t index) const { return static_cast<TZipHeaderInfo*>(Items(index)); }

  TZipSortMode Mode;
  int Compare(const TPersistentItem* a, const TPersistentItem* b) const override;
};

// Orders DOS date-times; 0 for a value that is not a valid date and time.
int64_t DosDateTimeOrdinal(uint32_t dosDateTime);
