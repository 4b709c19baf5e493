// CRC-32 of the ZIP format (APPNOTE 4.4.7): reflected, polynomial 0xEDB88320,
// lowest bit first. The running value starts at 0xFFFFFFFF and is
// complemented at the end by the caller.
//
// Two methods, same results:
// - Carry-less multiplication (x86-64 with PCLMULQDQ, checked at run time):
//   four 128-bit lanes are folded forward 64 bytes at a time, then folded
//   into one lane, reduced to 64 bits and brought to 32 bits by Barrett
//   reduction (Intel, "Fast CRC Computation for Generic Polynomials Using
//   PCLMULQDQ Instruction"). The constants are x^n mod P for the fold
//   distances, bit-reflected and shifted as the reflected form needs.
// - Eight bytes per step ("slice-by-8") everywhere else and for short
//   pieces: table k holds the CRC of a byte followed by k zero bytes, so
//   eight table lookups fold eight input bytes.
#include <array>

#include "common/Bytes.h"
#include "unzip/Decoders.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QRVX_CRC_CLMUL 1
#include <immintrin.h>
#endif

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

uint32_t TableCrc32(uint32_t crc, const uint8_t* data, size_t n) {
  while (n >= 8) {
    uint32_t lo = crc ^ GetLE32(data);
    uint32_t hi = GetLE32(data + 4);
    crc = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^
          kCrc[4][lo >> 24] ^ kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^
          kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
    data += 8;
    n -= 8;
  }
  while (n--) crc = (crc >> 8) ^ kCrc[0][(crc ^ *data++) & 0xFF];
  return crc;
}

#ifdef QRVX_CRC_CLMUL

// Fold constants for P = 0x104C11DB7 in reflected form:
//   k1 = x^(4*128+32) mod P, k2 = x^(4*128-32) mod P   (64-byte stride)
//   k3 = x^(128+32) mod P,   k4 = x^(128-32) mod P     (16-byte stride)
//   k5 = x^64 mod P                                    (64 to 32 bits)
//   P' and mu = floor(x^64 / P) for the Barrett step.
constexpr uint64_t kK1 = 0x154442bd4, kK2 = 0x1c6e41596;
constexpr uint64_t kK3 = 0x1751997d0, kK4 = 0x0ccaa009e;
constexpr uint64_t kK5 = 0x163cd6124;
constexpr uint64_t kPoly = 0x1db710641, kMu = 0x1f7011641;

constexpr size_t kClmulBlock = 64;                 // four lanes of 16 bytes
constexpr size_t kClmulMinimum = 2 * kClmulBlock;  // below this the tables win

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// n >= kClmulMinimum. Handles the multiple of 16 bytes and leaves the tail
// to the tables.
__attribute__((target("pclmul,sse4.1"))) uint32_t ClmulCrc32(uint32_t crc, const uint8_t* data,
                                                             size_t n) {
  auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(int(crc)));
  __m128i x1 = load(data + 16), x2 = load(data + 32), x3 = load(data + 48);
  data += kClmulBlock;
  n -= kClmulBlock;

  const __m128i k12 = _mm_set_epi64x(int64_t(kK2), int64_t(kK1));
  while (n >= kClmulBlock) {
    x0 = Fold(x0, k12, load(data));
    x1 = Fold(x1, k12, load(data + 16));
    x2 = Fold(x2, k12, load(data + 32));
    x3 = Fold(x3, k12, load(data + 48));
    data += kClmulBlock;
    n -= kClmulBlock;
  }

  const __m128i k34 = _mm_set_epi64x(int64_t(kK4), int64_t(kK3));
  x0 = Fold(x0, k34, x1);
  x0 = Fold(x0, k34, x2);
  x0 = Fold(x0, k34, x3);
  while (n >= 16) {
    x0 = Fold(x0, k34, load(data));
    data += 16;
    n -= 16;
  }

  // 128 bits to 64: the low half times k4, added to the high half.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  __m128i t = _mm_clmulepi64_si128(x0, k34, 0x10);
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), t);
  // 64 bits to 32: the low 32 bits times k5, added to the rest.
  const __m128i k5 = _mm_set_epi64x(0, int64_t(kK5));
  t = _mm_srli_si128(x0, 4);
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, low32), k5, 0x00), t);
  // Barrett reduction: q = low32(x) * mu, x ^= low32(q) * P.
  const __m128i pmu = _mm_set_epi64x(int64_t(kMu), int64_t(kPoly));
  t = _mm_and_si128(x0, low32);
  t = _mm_clmulepi64_si128(t, pmu, 0x10);
  t = _mm_and_si128(t, low32);
  t = _mm_clmulepi64_si128(t, pmu, 0x00);
  x0 = _mm_xor_si128(x0, t);
  crc = uint32_t(_mm_extract_epi32(x0, 1));
  return TableCrc32(crc, data, n);
}

bool HaveClmul() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

const bool kHaveClmul = HaveClmul();

#endif

}  // namespace

uint32_t Crc32Byte(uint32_t crc, uint8_t b) {
  return (crc >> 8) ^ kCrc[0][(crc ^ b) & 0xFF];
}

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t n) {
#ifdef QRVX_CRC_CLMUL
  if (n >= kClmulMinimum && kHaveClmul) return ClmulCrc32(crc, data, n);
#endif
  return TableCrc32(crc, data, n);
}

uint32_t TableUpdateCrc32(uint32_t crc, const uint8_t* data, size_t n) {
  return TableCrc32(crc, data, n);
}
