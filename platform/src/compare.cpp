// String comparison (kernel32 CompareStringA) over the ANSI code page.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

// One UTF-16 unit lowered: Latin, Latin-1 and Cyrillic capitals.
char16_t COMPARE_Lower(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

std::u16string COMPARE_Wide(LPCSTR s, int n) {
  if (n < 0) n = static_cast<int>(std::strlen(s));
  std::u16string w(static_cast<size_t>(n), u'\0');
  if (n) w.resize(MultiByteToWideChar(CP_ACP, 0, s, n, reinterpret_cast<LPWSTR>(w.data()), n));
  return w;
}

}  // namespace

/***********************************************************************
 * CompareStringA (KERNEL32.@)
 * PARAMS  [I] Locale      ignored: the ANSI code page of the stand-in serves
 *         [I] dwCmpFlags  NORM_IGNORECASE; other flags are ignored
 *         [I] lpString1, cchCount1, lpString2, cchCount2  the strings; a
 *             negative count means zero-terminated
 * RETURNS CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 with
 *         ERROR_INVALID_PARAMETER for a null string.
 * NOTES   Windows sorts linguistically by the locale; the stand-in orders by
 *         UTF-16 unit after the case fold, which agrees with it on equality
 *         of letters that differ only in case.
 */
extern "C" int WINAPI CompareStringA(LCID, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2) {
  if (!s1 || !s2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string a = COMPARE_Wide(s1, n1), b = COMPARE_Wide(s2, n2);
  if (flags & NORM_IGNORECASE) {
    for (char16_t& c : a) c = COMPARE_Lower(c);
    for (char16_t& c : b) c = COMPARE_Lower(c);
  }
  int r = a.compare(b);
  return r < 0 ? CSTR_LESS_THAN : r > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}
