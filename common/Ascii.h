// The ASCII case rule: "A" to "Z" and "a" to "z" pair up, every other byte
// stands for itself, whatever the code page. Names of the formats (ZIP
// entry names, MIME header lines, resource table names) are compared this
// way. Names a person reads in the ANSI code page are folded with FoldLower
// or compared by the system locale instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Without a branch per byte, so that the compiler takes a whole run of bytes
// at a time: only "A" to "Z" lie within 26 of "A" when counted unsigned.
inline char LowerAscii(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return static_cast<char>(u + (static_cast<unsigned char>(u - 'A') < 26 ? 32 : 0));
}

inline void LowerAscii(char* s, size_t n) {
  for (size_t i = 0; i < n; ++i) s[i] = LowerAscii(s[i]);
}

inline char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline std::string LowerAscii(std::string s) {
  LowerAscii(s.data(), s.size());
  return s;
}

// s becomes text in lower case, reusing s's buffer.
inline void AssignLowerAscii(std::string& s, std::string_view text) {
  s.assign(text);
  LowerAscii(s.data(), s.size());
}

// Eight bytes (one per lane) in lower case at once: a lane below 0x80 that
// lies between "A" and "Z" gets bit 5.
inline uint64_t LowerAscii8(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kLow7 = 0x7F * kOnes, kHigh = 0x80 * kOnes;
  uint64_t low = x & kLow7;
  uint64_t atLeastA = low + (0x80 - 'A') * kOnes;    // bit 7 set from "A" up
  uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;  // bit 7 set above "Z"
  uint64_t upper = atLeastA & ~aboveZ & ~x & kHigh;
  return x | (upper >> 2);
}

inline std::string UpperAscii(std::string s) {
  for (char& c : s) c = UpperAscii(c);
  return s;
}

// Compares with ASCII letters in lower case, other bytes by their unsigned
// value; a proper prefix sorts first. Negative, 0 or positive as a sorts
// before, with or after b.
inline int CompareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Orders by CompareText: the key order of a map whose names match in any case.
struct TTextLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};
