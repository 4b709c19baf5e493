// Archives built by hand for shapes no archiver writes: entries stored (or
// declared with another method) with any sizes, flags and checksums.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

struct TFakeZipEntry {
  std::string Name, Data;
  int64_t Crc = -1;  // -1: the data's CRC-32
  uint16_t Method = 0, Flags = 0;
  int64_t Packed = -1;  // -1: the data's length
  int64_t Unpacked = -1;
};

inline uint32_t FakeZipCrc(const std::string& s) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

inline std::string FakeZip(const std::vector<TFakeZipEntry>& entries) {
  std::string out, central;
  for (const TFakeZipEntry& e : entries) {
    uint32_t crc = e.Crc < 0 ? FakeZipCrc(e.Data) : uint32_t(e.Crc);
    uint32_t packed = e.Packed < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Packed);
    uint32_t unpacked = e.Unpacked < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Unpacked);
    uint32_t offset = uint32_t(out.size());
    Put32(out, 0x04034B50), Put16(out, 20), Put16(out, e.Flags), Put16(out, e.Method);
    Put32(out, 0x58A76000), Put32(out, crc), Put32(out, packed), Put32(out, unpacked);
    Put16(out, uint32_t(e.Name.size())), Put16(out, 0);
    out += e.Name + e.Data;
    Put32(central, 0x02014B50), Put16(central, 20), Put16(central, 20), Put16(central, e.Flags);
    Put16(central, e.Method), Put32(central, 0x58A76000), Put32(central, crc);
    Put32(central, packed), Put32(central, unpacked), Put16(central, uint32_t(e.Name.size()));
    Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
    Put32(central, 32), Put32(central, offset);
    central += e.Name;
  }
  uint32_t at = uint32_t(out.size());
  out += central;
  Put32(out, 0x06054B50), Put16(out, 0), Put16(out, 0), Put16(out, uint32_t(entries.size()));
  Put16(out, uint32_t(entries.size())), Put32(out, uint32_t(central.size())), Put32(out, at);
  Put16(out, 0);
  return out;
}
