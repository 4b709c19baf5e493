#include "unzip/SafePath.h"

#include "common/Ascii.h"

namespace {

// Windows opens these as devices in every directory, with any extension:
// "CON", "con.txt" and "Com1 .log" all name a device, not a file.
bool IsDeviceName(const char* p, size_t n) {
  size_t base = 0;
  while (base < n && p[base] != '.') ++base;
  while (base > 0 && p[base - 1] == ' ') --base;
  std::string u;
  for (size_t i = 0; i < base; ++i) u += UpperAscii(p[i]);
  static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kPlain)
    if (u == d) return true;
  return u.size() == 4 && (u.compare(0, 3, "COM") == 0 || u.compare(0, 3, "LPT") == 0) &&
         u[3] >= '1' && u[3] <= '9';
}

// last: the file name, which must name something below its directory.
TPathVerdict CheckComponent(const char* p, size_t n, bool last) {
  if (n > kMaxNameLength) return pvTooLong;
  size_t dots = 0;
  bool dotsAndBlanks = n > 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c < 0x20 || c == ':') return pvUnsafe;
    if (c == '.')
      ++dots;
    else if (c != ' ')
      dotsAndBlanks = false;
  }
  // Windows strips trailing dots and blanks: what is left of ". ." or "..."
  // is read as the parent. A lone "." stays where it is.
  if (dotsAndBlanks && dots >= 2) return pvUnsafe;
  // A file name of dots and blanks alone ("." or " ") is stripped to
  // nothing: it would name the directory itself.
  if (last && dotsAndBlanks) return pvUnsafe;
  // Other trailing dots and blanks are stripped by some Windows calls and
  // kept by others ("a..\b" is made as "a" but opened as "a.."): such a
  // name has no one meaning. "." alone, the directory itself, is harmless.
  if (n > 1 && (p[n - 1] == '.' || p[n - 1] == ' ')) return pvUnsafe;
  if (n > 0 && IsDeviceName(p, n)) return pvUnsafe;
  return pvSafe;
}

}  // namespace

TPathVerdict CheckRelativePath(const std::string& rel) {
  TPathVerdict verdict = pvSafe;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find_first_of("\\/", start);
    if (end == std::string::npos) end = rel.size();
    TPathVerdict v = CheckComponent(rel.data() + start, end - start, end == rel.size());
    if (v == pvUnsafe) return pvUnsafe;  // unsafe outranks too long
    if (v == pvTooLong) verdict = pvTooLong;
    start = end + 1;
  }
  return verdict;
}
