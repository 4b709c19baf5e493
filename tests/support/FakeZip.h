// Archives built by hand for shapes no archiver writes: entries stored (or
// declared with another method) with any sizes, flags and checksums.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  auto put16 = [](std::string& s, uint32_t v) { s += char(v & 0xFF), s += char((v >> 8) & 0xFF); };
  auto put32 = [&](std::string& s, uint32_t v) { put16(s, v & 0xFFFF), put16(s, v >> 16); };
  std::string out, central;
  for (const TFakeZipEntry& e : entries) {
    uint32_t crc = e.Crc < 0 ? FakeZipCrc(e.Data) : uint32_t(e.Crc);
    uint32_t packed = e.Packed < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Packed);
    uint32_t unpacked = e.Unpacked < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Unpacked);
    uint32_t offset = uint32_t(out.size());
    put32(out, 0x04034B50), put16(out, 20), put16(out, e.Flags), put16(out, e.Method);
    put32(out, 0x58A76000), put32(out, crc), put32(out, packed), put32(out, unpacked);
    put16(out, uint32_t(e.Name.size())), put16(out, 0);
    out += e.Name + e.Data;
    put32(central, 0x02014B50), put16(central, 20), put16(central, 20), put16(central, e.Flags);
    put16(central, e.Method), put32(central, 0x58A76000), put32(central, crc);
    put32(central, packed), put32(central, unpacked), put16(central, uint32_t(e.Name.size()));
    put16(central, 0), put16(central, 0), put16(central, 0), put16(central, 0);
    put32(central, 32), put32(central, offset);
    central += e.Name;
  }
  uint32_t at = uint32_t(out.size());
  out += central;
  put32(out, 0x06054B50), put16(out, 0), put16(out, 0), put16(out, uint32_t(entries.size()));
  put16(out, uint32_t(entries.size())), put32(out, uint32_t(central.size())), put32(out, at);
  put16(out, 0);
  return out;
}
