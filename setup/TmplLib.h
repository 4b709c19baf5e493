// The installer's package reader. "setup.dat" holds a header ("WLib" and an
// entry count), a directory of 32-byte entries (name, offset, size) and the
// members' bytes; the whole file may be compressed by compress.exe, and is
// read through the LZ expansion API either way. One package per process.
#pragma once

#include <cstdint>
#include <string>

#pragma pack(push, 1)
struct PackageHeader {
  int32_t Magic;
  int32_t Count;
};

struct PackageEntry {
  uint8_t NameLength;  // 0 to 23
  char Name[23];       // ANSI, no directory part; bytes after NameLength ignored
  int32_t Offset;      // in the expanded content
  int32_t Size;
};
#pragma pack(pop)
static_assert(sizeof(PackageHeader) == 8 && sizeof(PackageEntry) == 32);

constexpr int32_t kPackageMagic = 0x62694C57;  // "WLib"

// Loads the header and directory of the package at path. True only when the
// file opened, the header was whole, the magic matched and the whole
// directory was read; only then is path kept for ReadPackageMember.
bool OpenPackage(const std::string& path);

// The bytes of the first member whose name equals name with its blanks
// trimmed (byte for byte, case-sensitive), read from the package last opened
// successfully. Empty when the package cannot be reopened, no entry matches,
// or nothing could be read.
std::string ReadPackageMember(const std::string& name);

// The header last read; all zero before the first OpenPackage.
const PackageHeader& PackageHeaderRead();
// The directory entries held: the header's count after a successful open;
// after a short directory read, the entries that arrived (the last one
// completed with zeros); none after a failure otherwise.
int PackageEntryCount();
// Entry i of those held; an all-zero entry (empty name, offset and size 0)
// for an index outside them, such as one the header's count allows after a
// short directory read.
const PackageEntry& PackageEntryAt(int i);
// An entry's name: its first NameLength bytes, at most 23.
std::string PackageEntryName(const PackageEntry& e);
