#include <windows.h>

#include "unzip/Helpers.h"

#include <cstring>
#include <utility>

#include "common/Classes.h"
#include "unzip/SafePath.h"

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

enum TMatch { mNo, mYes, mInvalid };

TMatch MatchFrom(const char* p, const char* pe, const char* t, const char* te);

// p points just after "["; on a match *p is moved past the closing "]".
TMatch MatchSet(const char*& p, const char* pe, char c) {
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
TMatch MatchStar(const char* p, const char* pe, const char* t, const char* te) {
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

TMatch MatchFrom(const char* p, const char* pe, const char* t, const char* te) {
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

// a * 100 / b rounded half to even, for 0 <= a, 0 < b. Sizes beyond 2^56
// are scaled down first so that a * 100 stays in range.
int64_t RoundedPercent(int64_t a, int64_t b) {
  while (a > (int64_t(1) << 56)) a >>= 1, b = (b >> 1) | 1;
  int64_t num = a * 100;
  int64_t q = num / b, r = num % b;
  if (2 * r > b || (2 * r == b && (q & 1))) ++q;
  return q > 100 ? 100 : q;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& text) {
  std::string p = pattern, t = text;
  for (char& c : p) c = LowerAscii(c);
  for (char& c : t) c = LowerAscii(c);
  return MatchFrom(p.data(), p.data() + p.size(), t.data(), t.data() + t.size()) == mYes;
}

int PercentOf(int64_t total, int64_t part) {
  if (total < 1) return 0;
  if (part <= 0) return part == 0 ? 0 : static_cast<int>(-RoundedPercent(-part, total));
  return static_cast<int>(RoundedPercent(part, total));
}

int TotalPercent(int64_t done, int64_t total) {
  if (done > total) throw Exception("Total Done more than total");
  if (total <= 0) return 0;
  if (done <= 0) return 0;
  return static_cast<int>(RoundedPercent(done, total));
}

void SlashesToBackslashes(std::string& s) {
  for (char& c : s)
    if (c == '/') c = '\\';
}

std::string LeftStr(const std::string& s, size_t n) {
  return s.substr(0, n);
}
std::string RightStr(const std::string& s, size_t n) {
  return n >= s.size() ? s : s.substr(s.size() - n);
}

bool FileExists(const std::string& name) {
  DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& name) {
  DWORD a = GetFileAttributesA(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Walks the path from its root down, creating each missing directory in
// turn: a loop, so that a path of any depth costs no stack. A path longer
// than the platform takes is refused before anything is created.
void ForceDirectories(std::string dir) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  if (dir.empty()) throw Exception("Unable to create directory");
  if (dir.size() > kMaxDirectoryPath)
    throw EInOutError(Format("Unable to create directory %s", dir.c_str()),
                      ERROR_FILENAME_EXCED_RANGE);
  if (DirectoryExists(dir)) return;
  // The first component that can be created: after a drive ("C:\"), a
  // root or a server share ("\\server\share\") nothing is made.
  size_t from = 0;
  if (dir.size() >= 2 && dir[1] == ':') from = 2;
  if (dir.compare(from, 2, "\\\\") == 0 || dir.compare(from, 2, "//") == 0) {
    from = dir.find_first_of("\\/", from + 2);  // end of server
    from = from == std::string::npos ? dir.size() : dir.find_first_of("\\/", from + 1);  // of share
    if (from == std::string::npos) from = dir.size();
  }
  while (from < dir.size() && (dir[from] == '\\' || dir[from] == '/')) ++from;
  for (size_t end = from; end != std::string::npos && from < dir.size(); from = end + 1) {
    end = dir.find_first_of("\\/", from);
    if (end == from) continue;  // doubled separator
    std::string part = dir.substr(0, end);
    if (!CreateDirectoryA(part.c_str(), nullptr) && !DirectoryExists(part))
      throw EInOutError(Format("Unable to create directory %s", part.c_str()),
                        static_cast<int>(GetLastError()));
  }
}

std::string GetCurrentDir() {
  char buf[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
  if (n == 0) return std::string();
  if (n < sizeof buf) return std::string(buf, n);
  std::string big(n, '\0');
  n = GetCurrentDirectoryA(n, big.data());
  big.resize(n < big.size() ? n : big.size());
  return big;
}

void ChDir(const std::string& dir) {
  if (!SetCurrentDirectoryA(dir.c_str()))
    throw EInOutError(Format("I/O error %u", static_cast<unsigned>(GetLastError())),
                      static_cast<int>(GetLastError()));
}

std::string VolumeLabel(const std::string& root) {
  char label[14] = {0};
  if (!GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr,
                             0))
    return std::string();
  label[sizeof label - 1] = '\0';
  return label;
}

char* StrNewCopy(const std::string& s) {
  char* p = new char[s.size() + 1];
  std::memcpy(p, s.data(), s.size());
  p[s.size()] = '\0';
  return p;
}

int CompareText(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(LowerAscii(a[i]));
    unsigned char y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}
