// CRC-32 of the ZIP format (APPNOTE 4.4.7): reflected, polynomial 0xEDB88320,
// lowest bit first. The running value starts at 0xFFFFFFFF and is
// complemented at the end by the caller.
//
// Eight bytes per step ("slice-by-8"): table k holds the CRC of a byte
// followed by k zero bytes, so eight table lookups fold eight input bytes.
#include <array>
#include <cstring>

#include "unzip/Decoders.h"

namespace {

using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TCrcTables MakeCrcTables() {
  TCrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}

constexpr TCrcTables kCrc = MakeCrcTables();
static_assert(kCrc[0][1] == 0x77073096u, "first entry of the standard table");

inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t Crc32Byte(uint32_t crc, uint8_t b) {
  return (crc >> 8) ^ kCrc[0][(crc ^ b) & 0xFF];
}

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t n) {
  while (n >= 8) {
    uint32_t lo = crc ^ LoadLE32(data);
    uint32_t hi = LoadLE32(data + 4);
    crc = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
          kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
          kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
    data += 8;
    n -= 8;
  }
  while (n--) crc = (crc >> 8) ^ kCrc[0][(crc ^ *data++) & 0xFF];
  return crc;
}
