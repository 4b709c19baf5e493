#include <windows.h>

#include "unzip/Helpers.h"

#include <cstring>
#include <utility>

#include "common/Ascii.h"
#include "common/Classes.h"
#include "unzip/SafePath.h"

namespace {

// Format notes (wildcards). Pattern and text are compared with ASCII letters
// folded to lower case, byte by byte otherwise; there is no escape character.
//  - The text running out while pattern remains matches only when exactly one
//    "*" remains ("a*" matches "a", "a**" does not).
//  - "[" opens a set: "!" or "^" first negates it; a "]" right after that is
//    invalid; members are characters or ranges a-b in either order; a "-"
//    before "]" or the pattern's end, or a set without "]", is invalid. Once a
//    member matched, the rest of the set is skipped up to its "]". A set is
//    read afresh at each text character, so whether it is found invalid can
//    depend on that character; the first invalid set met ends the match with
//    no match.
//  - A "*" swallows the "*" and "?" that follow it ("?" taking one character
//    each, failing when the text runs out) and then tries the rest of the
//    pattern at each later text position whose character can start it.
//
// The match is the two-pointer walk that returns to the last "*": when the
// rest fails at one position of the last star, it is tried at the next one;
// stars before it are never revisited. That loses nothing: whatever an
// earlier star could try next reaches the last star further along the text,
// where every position has already failed. Time O(|pattern| x |text|), no
// recursion, no copies.
enum TMatch { mNo, mYes, mInvalid, mStar };

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
    char lo = LowerAscii(*p++);
    char hi = lo;
    if (p < pe && *p == '-') {
      ++p;
      if (p >= pe || *p == ']') return mInvalid;
      hi = LowerAscii(*p++);
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

// Walks pattern p and text t together from where they stand, through
// characters, "?" and sets, up to the next "*" (mStar, p on it), the end of
// either (mYes or mNo) or a mismatch. steps counts the characters visited.
TMatch MatchRun(const char*& p, const char* pe, const char*& t, const char* te, int64_t& steps) {
  for (;; ++steps) {
    if (p >= pe) return t >= te ? mYes : mNo;
    if (t >= te) return pe - p == 1 && *p == '*' ? mYes : mNo;
    switch (*p) {
      case '*': return mStar;
      case '?': break;
      case '[': {
        const char* set = ++p;
        TMatch m = MatchSet(p, pe, LowerAscii(*t));
        steps += p - set;
        if (m != mYes) return m;
        ++t;
        continue;
      }
      default:
        if (LowerAscii(*p) != LowerAscii(*t)) return mNo;
    }
    ++p;
    ++t;
  }
}

// The match with a limit on its work: false with *steps below 0 when it
// would have to visit more than *steps characters.
bool MatchLimited(const std::string& pattern, const std::string& text, int64_t* steps) {
  const char* p = pattern.data();
  const char* const pe = p + pattern.size();
  const char* t = text.data();
  const char* const te = t + text.size();
  const char* star = nullptr;  // the pattern after the last star and its "*", "?"
  const char* from = nullptr;  // the text position last tried for that star
  int64_t used = 0;
  for (;;) {
    TMatch m = MatchRun(p, pe, t, te, used);
    if (used > *steps) break;
    if (m == mYes) {
      *steps -= used;
      return true;
    }
    if (m == mInvalid) break;
    if (m == mStar) {
      bool starved = false;
      for (++p; p < pe && (*p == '*' || *p == '?') && !starved; ++p) {
        if (*p != '?') continue;
        if (t >= te)
          starved = true;  // a "?" after the star finds no character
        else
          ++t;
      }
      if (starved) break;
      if (p >= pe) {
        *steps -= used;
        return true;
      }
      star = p;
      from = t;
    } else {
      if (!star) break;
      ++from;
    }
    // The next position where the rest after the star can start.
    char first = LowerAscii(*star);
    while (from < te && *star != '[' && LowerAscii(*from) != first) ++from, ++used;
    if (from >= te) break;
    p = star;
    t = from;
  }
  *steps -= used;
  return false;
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
  int64_t steps = INT64_MAX;
  return MatchLimited(pattern, text, &steps);
}

bool WildcardMatch(const std::string& pattern, const std::string& text, int64_t* steps) {
  return MatchLimited(pattern, text, steps);
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
