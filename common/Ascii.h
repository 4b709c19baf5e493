// The ASCII case rule: "A" to "Z" and "a" to "z" pair up, every other byte
// stands for itself, whatever the code page. Names of the formats (ZIP
// entry names, MIME header lines, resource table names) are compared this
// way. Names a person reads in the ANSI code page are folded with FoldLower
// or compared by the system locale instead.
#pragma once

#include <string>
#include <string_view>

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline std::string LowerAscii(std::string s) {
  for (char& c : s) c = LowerAscii(c);
  return s;
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
