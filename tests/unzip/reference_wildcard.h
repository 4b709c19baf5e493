// The first, recursive wildcard matcher, kept as the oracle for the
// two-pointer one in unzip/Helpers.cpp: its recursion depth grows with the
// number of "*" in the pattern and its time with their product, so it is fed
// short patterns only.
#pragma once

#include <string>
#include <utility>

namespace reference_wildcard {

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

enum TMatch { mNo, mYes, mInvalid };

inline TMatch MatchFrom(const char* p, const char* pe, const char* t, const char* te);

// p points just after "["; on a match *p is moved past the closing "]".
inline TMatch MatchSet(const char*& p, const char* pe, char c) {
  bool negate = false;
  if (p < pe && (*p == '!' || *p == '^')) {
    negate = true;
    ++p;
  }
  if (p < pe && *p == ']') return mInvalid;
  bool member = false;
  for (;;) {
    if (p >= pe) return mInvalid;
    if (*p == ']') {
      ++p;
      break;
    }
    char lo = *p++;
    char hi = lo;
    if (p < pe && *p == '-') {
      ++p;
      if (p >= pe || *p == ']') return mInvalid;
      hi = *p++;
      if (hi < lo) std::swap(lo, hi);
    }
    if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(lo) &&
        static_cast<unsigned char>(c) <= static_cast<unsigned char>(hi)) {
      member = true;
      // Skip the rest of the set up to its "]".
      while (p < pe && *p != ']') ++p;
      if (p >= pe) return mInvalid;
      ++p;
      break;
    }
  }
  return member != negate ? mYes : mNo;
}

// Star rule: p points just after a "*".
inline TMatch MatchStar(const char* p, const char* pe, const char* t, const char* te) {
  for (; p < pe && (*p == '*' || *p == '?'); ++p) {
    if (*p == '?') {
      if (t >= te) return mNo;
      ++t;
    }
  }
  if (p >= pe) return mYes;
  for (; t < te; ++t) {
    if (*t == *p || *p == '[') {
      TMatch m = MatchFrom(p, pe, t, te);
      if (m != mNo) return m;
    }
  }
  return mNo;
}

inline TMatch MatchFrom(const char* p, const char* pe, const char* t, const char* te) {
  while (p < pe) {
    if (t >= te) return pe - p == 1 && *p == '*' ? mYes : mNo;
    switch (*p) {
      case '?':
        ++p;
        ++t;
        break;
      case '*': return MatchStar(p + 1, pe, t, te);
      case '[': {
        ++p;
        TMatch m = MatchSet(p, pe, *t);
        if (m != mYes) return m;
        ++t;
        break;
      }
      default:
        if (*p != *t) return mNo;
        ++p;
        ++t;
    }
  }
  return t >= te ? mYes : mNo;
}

inline bool Match(const std::string& pattern, const std::string& text) {
  std::string p = pattern, t = text;
  for (char& c : p) c = LowerAscii(c);
  for (char& c : t) c = LowerAscii(c);
  return MatchFrom(p.data(), p.data() + p.size(), t.data(), t.data() + t.size()) == mYes;
}

}  // namespace reference_wildcard
