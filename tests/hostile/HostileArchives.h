// Hostile uploads made at run time: ZIP archives shaped to make a receiver
// backtrack, recurse, loop over every pair of entries, balloon or count one
// run of bytes many times, and the multipart bodies that post them. Shared by
// the hostile-input tests, the hostile benchmark and the receiver fuzz
// target's seeds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "unzip/Decoders.h"

namespace hostile {

inline uint32_t Crc(const std::string& s) {
  return ~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// One entry as it is written: name, method, CRC, sizes and the compressed
// bytes.
struct TEntry {
  std::string Name;
  uint16_t Method = 0;
  uint32_t Crc = 0;
  uint32_t Packed = 0, Unpacked = 0;
  std::string Data;  // compressed bytes written after the local header
};

inline TEntry Stored(const std::string& name, const std::string& data) {
  TEntry e;
  e.Name = name;
  e.Crc = Crc(data);
  e.Packed = e.Unpacked = static_cast<uint32_t>(data.size());
  e.Data = data;
  return e;
}

// A 22-byte end record for count entries.
inline void PutEnd(std::string& out, size_t count, size_t centralSize, size_t centralAt) {
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(count));
  Put16(out, static_cast<uint32_t>(count));
  Put32(out, static_cast<uint32_t>(centralSize));
  Put32(out, static_cast<uint32_t>(centralAt));
  Put16(out, 0);
}

inline void PutCentral(std::string& central, const TEntry& e, uint32_t offset) {
  Put32(central, 0x02014B50);
  Put16(central, 20);
  Put16(central, 20);
  Put16(central, 0);
  Put16(central, e.Method);
  Put32(central, 0x58A76000);
  Put32(central, e.Crc);
  Put32(central, e.Packed);
  Put32(central, e.Unpacked);
  Put16(central, static_cast<uint32_t>(e.Name.size()));
  Put32(central, 0);  // extra and comment lengths
  Put32(central, 0);  // disk, internal attributes
  Put32(central, 32);
  Put32(central, offset);
  central += e.Name;
}

inline void PutLocal(std::string& out, const TEntry& e) {
  Put32(out, 0x04034B50);
  Put16(out, 20);
  Put16(out, 0);
  Put16(out, e.Method);
  Put32(out, 0x58A76000);
  Put32(out, e.Crc);
  Put32(out, e.Packed);
  Put32(out, e.Unpacked);
  Put16(out, static_cast<uint32_t>(e.Name.size()));
  Put16(out, 0);
  out += e.Name;
}

// An archive of the entries, one after another, with its central directory.
inline std::string Zip(const std::vector<TEntry>& entries) {
  std::string out, central;
  for (const TEntry& e : entries) {
    PutCentral(central, e, static_cast<uint32_t>(out.size()));
    PutLocal(out, e);
    out += e.Data;
  }
  size_t at = out.size();
  out += central;
  PutEnd(out, entries.size(), central.size(), at);
  return out;
}

// Deflate (RFC 1951) of 1 + 258 * runs zero bytes in one dynamic block whose
// codes are 1 and 2 bits long: a literal 0, then runs of "copy 258 from
// distance 1" at 2 bits each, so the data packs about 1000 to 1.
inline std::string DeflatedZeros(uint32_t runs) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](uint32_t v, int n) {  // n bits of v, least significant first
    for (int i = 0; i < n; ++i) {
      acc |= ((v >> i) & 1u) << bits;
      if (++bits == 8) out += static_cast<char>(acc), acc = 0, bits = 0;
    }
  };
  auto code = [&](uint32_t c, int n) {  // a Huffman code, most significant bit first
    for (int i = n - 1; i >= 0; --i) put((c >> i) & 1u, 1);
  };
  put(1, 1);   // BFINAL
  put(2, 2);   // dynamic Huffman codes
  put(29, 5);  // HLIT: 286 literal/length codes
  put(1, 5);   // HDIST: 2 distance codes
  put(14, 4);  // HCLEN: 18 code length codes
  // Code length code: 18 one bit (0), 1 and 2 two bits (10, 11); RFC 1951
  // 3.2.7 order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1.
  const int kOrder[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
  for (int sym : kOrder) put(sym == 18 ? 1 : (sym == 1 || sym == 2) ? 2 : 0, 3);
  // Literal/length lengths: 0 -> 2, 1..255 -> 0, 256 -> 2, 257..284 -> 0,
  // 285 -> 1; distance lengths 1, 1.
  code(3, 2);                                                  // 2
  code(0, 1), put(127, 7);                                     // 138 zeros
  code(0, 1), put(106, 7);                                     // 117 zeros
  code(3, 2);                                                  // 2
  code(0, 1), put(17, 7);                                      // 28 zeros
  code(2, 2);                                                  // 1
  code(2, 2), code(2, 2);                                      // distances 0 and 1: 1 bit each
  code(2, 2);                                                  // the literal 0 (code 10)
  for (uint32_t i = 0; i < runs; ++i) code(0, 1), code(0, 1);  // 285, distance 1
  code(3, 2);                                                  // end of block (code 11)
  if (bits) out += static_cast<char>(acc);
  return out;
}

// A block of n bytes moves the CRC register by an affine map:
// f(r, block) = L_n(r) ^ f(0, block), where L_n = f(., n zeros) is linear and
// is kept as the images of the 32 single bits.
using TLinear = std::vector<uint32_t>;

inline uint32_t Apply(const TLinear& l, uint32_t r) {
  uint32_t x = 0;
  for (int b = 0; b < 32; ++b)
    if (r >> b & 1u) x ^= l[b];
  return x;
}

// a after b.
inline TLinear Compose(const TLinear& a, const TLinear& b) {
  TLinear r(32);
  for (int i = 0; i < 32; ++i) r[i] = Apply(a, b[i]);
  return r;
}

// L_n by repeated squaring of the map of one zero byte.
inline TLinear ZeroShift(uint64_t n) {
  TLinear step(32), result(32);
  const uint8_t zero = 0;
  for (int b = 0; b < 32; ++b) step[b] = UpdateCrc32(1u << b, &zero, 1), result[b] = 1u << b;
  for (; n; n >>= 1) {
    if (n & 1) result = Compose(step, result);
    step = Compose(step, step);
  }
  return result;
}

inline uint32_t CrcOfZeros(uint64_t n) {
  return ~Apply(ZeroShift(n), 0xFFFFFFFFu);
}

// ---- the rows -----------------------------------------------------------

// Two entries: a name of stars that backtracks exponentially when matched
// recursively against the other, 200 "a".
inline std::string BacktrackingNames() {
  std::string stars;
  for (int i = 0; i < 12; ++i) stars += "*a";
  return Zip({Stored(stars + "*b", "stars\r\n"), Stored(std::string(200, 'a'), "letters\r\n")});
}

// One entry named 30,000 times "*a": deep recursion in a recursive matcher.
inline std::string DeepStarName() {
  std::string name;
  for (int i = 0; i < 30000; ++i) name += "*a";
  return Zip({Stored(name, std::string(60000, 'x'))});
}

// count entries named "?00000", "?00001", ...: wildcard names, each
// selecting only itself.
inline std::string ManyWildcardNames(int count = 30000) {
  std::vector<TEntry> entries;
  char name[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "?%05d", i);
    entries.push_back(Stored(name, name));
  }
  return Zip(entries);
}

// count entries all named "*": each name, as a pattern, has every entry as
// a candidate (no literal head or tail narrows them) and selects the first
// two it meets.
inline std::string ManyStarNames(int count = 13000) {
  std::vector<TEntry> entries;
  for (int i = 0; i < count; ++i) entries.push_back(Stored("*", "s"));
  return Zip(entries);
}

// Eight entries of 104,857,393 zero bytes each, deflated about 1000 to 1.
constexpr uint32_t kZeroRuns = 406424;
constexpr uint64_t kZeroBytes = 1 + 258ull * kZeroRuns;
inline std::string ZeroBombs(int count = 8) {
  TEntry e;
  e.Method = 8;
  e.Data = DeflatedZeros(kZeroRuns);
  e.Crc = CrcOfZeros(kZeroBytes);
  e.Packed = static_cast<uint32_t>(e.Data.size());
  e.Unpacked = static_cast<uint32_t>(kZeroBytes);
  std::vector<TEntry> entries;
  for (int i = 0; i < count; ++i) {
    e.Name = "zeros" + std::to_string(i) + ".txt";
    entries.push_back(e);
  }
  return Zip(entries);
}

// one/same.txt and two/same.txt; the second fails its CRC check.
inline std::string SameNameOneBad() {
  TEntry bad = Stored("two/same.txt", "second entry\r\n");
  bad.Crc ^= 1;
  return Zip({Stored("one/same.txt", "first entry\r\n"), bad});
}

// count stored entries whose data ranges all run to the end of one run of
// run bytes: entry k's data is the local headers after it and the run, with
// a correct CRC each. Walking from the last entry back, the suffix S that
// entry k covers grows by one header each step: f(r, H S) = L_S(L_H(r)) ^
// L_S(f(0, H)) ^ f(0, S), so every CRC costs one header's worth of work.
inline std::string OverlappingEntries(int count = 2000, size_t run = 1 << 20) {
  std::string bytes(run, '\0');
  for (size_t i = 0; i < run; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
  std::vector<TEntry> entries(count);
  char name[16];
  for (int k = 0; k < count; ++k) {
    std::snprintf(name, sizeof name, "e%04d.bin", k);
    entries[k].Name = name;
  }
  const size_t headerSize = 30 + entries[0].Name.size();
  const TLinear byHeader = ZeroShift(headerSize);
  TLinear l = ZeroShift(run);                                                        // L_S
  uint32_t c = UpdateCrc32(0, reinterpret_cast<const uint8_t*>(bytes.data()), run);  // f(0, S)
  std::vector<std::string> headers(count);
  size_t covered = run;
  for (int k = count - 1; k >= 0; --k) {
    TEntry& e = entries[k];
    e.Packed = e.Unpacked = static_cast<uint32_t>(covered);
    e.Crc = ~(Apply(l, 0xFFFFFFFFu) ^ c);
    PutLocal(headers[k], e);
    c ^= Apply(l, UpdateCrc32(0, reinterpret_cast<const uint8_t*>(headers[k].data()), headerSize));
    l = Compose(l, byHeader);
    covered += headerSize;
  }
  std::string out, central;
  for (const std::string& h : headers) out += h;
  out += bytes;
  for (int k = 0; k < count; ++k)
    PutCentral(central, entries[k], static_cast<uint32_t>(headerSize * k));
  size_t at = out.size();
  out += central;
  PutEnd(out, entries.size(), central.size(), at);
  return out;
}

// A multipart body posting archive as "upload.zip" in the field "f", then a
// field "after" holding "seen".
inline std::string Body(const std::string& archive) {
  return "--QRVX\r\nContent-Disposition: form-data; name=\"f\"; filename=\"upload.zip\"\r\n"
         "Content-Type: application/zip\r\n\r\n" +
         archive +
         "\r\n--QRVX\r\nContent-Disposition: form-data; name=\"after\"\r\n\r\nseen\r\n"
         "--QRVX--\r\n";
}

}  // namespace hostile
