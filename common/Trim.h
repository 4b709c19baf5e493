// Trimming as the class library's Trim does it: bytes of value 32 or less
// (spaces and control characters) go from both ends.
#pragma once

#include <string_view>

inline bool IsBlankByte(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

inline std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlankByte(s[b])) ++b;
  while (e > b && IsBlankByte(s[e - 1])) --e;
  return s.substr(b, e - b);
}
