// SZDD writer.
//
// Format notes: after the header, a flag byte announces the next eight
// items, low bit first: 1 a literal byte, 0 a match of two bytes, the 12-bit
// window position (low 8 bits, then the high 4 bits in the top of the second
// byte) and the length minus 3 in its low 4 bits (3 to 18). The expander
// keeps a 4096-byte window filled with spaces and writes the first output
// byte at position 4080; a match copies byte by byte, so it may overlap the
// bytes it produces. The stream simply ends with the data: the last flag byte
// may announce fewer than eight items.
#include "Szdd.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/Bytes.h"

namespace {

constexpr unsigned kWindow = 4096;  // fixed by the format
constexpr unsigned kFirstPos = 4096 - 16;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 18;  // 4 bits of length + 3
constexpr unsigned kHashBits = 15;
constexpr int kMaxChain = 128;  // candidates tried per position
static_assert(kMaxMatch - kMinMatch == 15);

unsigned Hash(const unsigned char* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

std::string SzddCompress(std::string_view data, char lastNameChar) {
  std::string out = "SZDD\x88\xF0\x27\x33";
  out += 'A';
  out += lastNameChar;
  uint8_t size[4];
  PutLE32(size, static_cast<uint32_t>(data.size()));
  out.append(reinterpret_cast<const char*>(size), sizeof size);

  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  const size_t n = data.size();
  // head[h]: the last position whose three bytes hash to h, plus 1 (0: none);
  // prev[i % kWindow]: the position before i with the same hash, plus 1.
  std::vector<uint32_t> head(size_t(1) << kHashBits, 0);
  std::vector<uint32_t> prev(kWindow, 0);
  auto insert = [&](size_t i) {
    if (i + kMinMatch > n) return;
    unsigned h = Hash(in + i);
    prev[i % kWindow] = head[h];
    head[h] = static_cast<uint32_t>(i + 1);
  };

  size_t flagAt = 0;
  int items = 8;
  size_t i = 0;
  while (i < n) {
    if (items == 8) {
      flagAt = out.size();
      out += '\0';
      items = 0;
    }
    size_t bestLen = 0, bestPos = 0;
    if (i + kMinMatch <= n) {
      const size_t limit = std::min<size_t>(kMaxMatch, n - i);
      uint32_t cand = head[Hash(in + i)];
      // Candidates lie less than a window back: the oldest ones are
      // overwritten in the window by the time they would be reached.
      for (int chain = 0; cand && chain < kMaxChain; ++chain) {
        size_t c = cand - 1;
        if (i - c >= kWindow) break;
        size_t len = 0;
        while (len < limit && in[c + len] == in[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestPos = c;
          if (len == limit) break;
        }
        uint32_t next = prev[c % kWindow];
        if (next == 0 || next - 1 >= c) break;  // the chain left the window
        cand = next;
      }
    }
    if (bestLen >= kMinMatch) {
      unsigned pos = static_cast<unsigned>((bestPos + kFirstPos) % kWindow);
      out += static_cast<char>(pos & 0xFF);
      out += static_cast<char>(((pos >> 4) & 0xF0) | (bestLen - kMinMatch));
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      out[flagAt] = static_cast<char>(static_cast<unsigned char>(out[flagAt]) | (1u << items));
      out += static_cast<char>(in[i]);
      insert(i);
      ++i;
    }
    ++items;
  }
  return out;
}
