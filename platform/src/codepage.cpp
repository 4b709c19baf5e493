// Code pages: single-byte pages from generated tables, UTF-8 by rule. The
// ANSI and OEM pages follow the process locale the way Windows follows the
// system locale.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage_tables.inc"

namespace {

struct LocalePages {
  UINT ansi, oem;
};

// Language (and region) of a POSIX locale name to the Windows pair.
LocalePages PagesForLocale(const char* name) {
  std::string s = name ? name : "";
  std::string lang = s.substr(0, s.find_first_of("_.@"));
  std::string region;
  if (size_t u = s.find('_'); u != std::string::npos) region = s.substr(u + 1, 2);
  static const char* const kCyrillic[] = {"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn"};
  for (const char* c : kCyrillic)
    if (lang == c) return {1251, 866};
  static const char* const kWestern[] = {"de", "fr", "es", "it", "nl", "pt", "sv", "da", "fi",
                                         "nb", "nn", "no", "is", "ca", "eu", "gl", "af", "ga"};
  for (const char* w : kWestern)
    if (lang == w) return {1252, 850};
  if (lang == "en" && !region.empty() && region != "US") return {1252, 850};
  return {1252, 437};
}

std::atomic<bool> g_overridden{false};
std::atomic<UINT> g_ansi{0}, g_oem{0};

LocalePages CurrentPages() {
  if (g_overridden.load()) return {g_ansi.load(), g_oem.load()};
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return PagesForLocale(v);
  }
  return {1252, 437};
}

UINT Resolve(UINT cp) {
  if (cp == CP_ACP || cp == CP_THREAD_ACP || cp == CP_MACCP) return CurrentPages().ansi;
  if (cp == CP_OEMCP) return CurrentPages().oem;
  return cp;
}

const char16_t* HighHalf(UINT cp) {
  switch (cp) {
    case 1251: return kCp1251High;
    case 866: return kCp866High;
    case 1252: return kCp1252High;
    case 850: return kCp850High;
    case 437: return kCp437High;
    default: return nullptr;
  }
}

// Reverse table of a single-byte page: UTF-16 unit -> byte, 0 when unmapped
// (NUL itself is handled before the lookup).
struct Reverse {
  unsigned char map[65536];
};
const Reverse& ReverseOf(UINT cp) {
  static Reverse* tables[5] = {};
  static const UINT pages[5] = {1251, 866, 1252, 850, 437};
  for (int i = 0; i < 5; ++i) {
    if (pages[i] != cp) continue;
    static std::atomic_flag busy = ATOMIC_FLAG_INIT;
    while (busy.test_and_set()) {
    }
    if (!tables[i]) {
      auto* r = new Reverse();
      for (int b = 1; b < 128; ++b) r->map[b] = static_cast<unsigned char>(b);
      const char16_t* h = HighHalf(cp);
      for (int b = 0; b < 128; ++b)
        if (!r->map[h[b]]) r->map[h[b]] = static_cast<unsigned char>(0x80 + b);
      tables[i] = r;
    }
    busy.clear();
    return *tables[i];
  }
  static Reverse empty{};
  return empty;
}

bool Known(UINT cp) {
  return HighHalf(cp) || cp == CP_UTF8 || cp == 20127;
}

}  // namespace

/***********************************************************************
 * QrvxSetSystemLocale (stand-in only)
 * Makes the ANSI and OEM code pages those of locale (a POSIX name such as
 * "ru_RU.UTF-8"), as if the system locale were changed; NULL goes back to
 * following LC_ALL, LC_CTYPE and LANG.
 */
extern "C" void QrvxSetSystemLocale(const char* locale) {
  if (!locale) {
    g_overridden = false;
    return;
  }
  LocalePages p = PagesForLocale(locale);
  g_ansi = p.ansi;
  g_oem = p.oem;
  g_overridden = true;
}

/***********************************************************************
 * GetACP, GetOEMCP (KERNEL32.@)
 * RETURNS the ANSI and the OEM code page of the process locale: 1251/866 for
 * the Cyrillic languages, 1252/850 for western Europe and English outside the
 * US, 1252/437 otherwise.
 */
extern "C" UINT WINAPI GetACP() {
  return CurrentPages().ansi;
}
extern "C" UINT WINAPI GetOEMCP() {
  return CurrentPages().oem;
}

/***********************************************************************
 * MultiByteToWideChar (KERNEL32.@)
 * PARAMS  [I] codePage  CP_ACP, CP_OEMCP, CP_UTF8 or one of the single-byte
 *             pages 1251, 866, 1252, 850, 437
 *         [I] src, srcLen  the bytes; -1 means up to and including the NUL
 *         [O] dst, dstLen  the UTF-16 units; dstLen 0 asks for the count
 * RETURNS the units written (or needed); 0 with ERROR_INVALID_PARAMETER for an
 *         unknown page or no input, ERROR_INSUFFICIENT_BUFFER when dst is short.
 * NOTES   Flags are ignored. Invalid UTF-8 becomes U+FFFD, as on Windows.
 */
extern "C" int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR src, int srcLen, LPWSTR dst,
                                          int dstLen) {
  UINT cp = Resolve(codePage);
  if (!src || srcLen == 0 || dstLen < 0 || !Known(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = srcLen < 0 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t out = 0;
  auto put = [&](char16_t c) -> bool {
    if (dstLen) {
      if (out >= static_cast<size_t>(dstLen)) return false;
      dst[out] = c;
    }
    ++out;
    return true;
  };
  if (cp == CP_UTF8) {
    for (size_t i = 0; i < n;) {
      unsigned c = s[i];
      uint32_t u = 0xFFFD;
      size_t len = 1;
      if (c < 0x80) {
        u = c;
      } else if ((c & 0xE0) == 0xC0 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80 && c >= 0xC2) {
        u = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
        len = 2;
      } else if ((c & 0xF0) == 0xE0 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
                 (s[i + 2] & 0xC0) == 0x80) {
        u = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
        len = 3;
        if (u < 0x800 || (u >= 0xD800 && u <= 0xDFFF)) u = 0xFFFD;
      } else if ((c & 0xF8) == 0xF0 && i + 3 < n && (s[i + 1] & 0xC0) == 0x80 &&
                 (s[i + 2] & 0xC0) == 0x80 && (s[i + 3] & 0xC0) == 0x80) {
        u = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
            (s[i + 3] & 0x3F);
        len = 4;
        if (u < 0x10000 || u > 0x10FFFF) u = 0xFFFD;
      }
      i += len;
      bool ok = u >= 0x10000 ? put(static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10))) &&
                                   put(static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF)))
                             : put(static_cast<char16_t>(u));
      if (!ok) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
    }
    return static_cast<int>(out);
  }
  const char16_t* high = HighHalf(cp);
  if (dstLen && static_cast<size_t>(dstLen) < n) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (dstLen) {
    for (size_t i = 0; i < n; ++i)
      dst[i] = s[i] < 0x80 ? s[i] : high ? high[s[i] - 0x80] : char16_t(0xFFFD);
  }
  return static_cast<int>(n);
}

/***********************************************************************
 * WideCharToMultiByte (KERNEL32.@)
 * PARAMS  as MultiByteToWideChar, the other way round; [I] defChar replaces
 *         what the page cannot hold ("?" when NULL), [O] usedDef tells whether
 *         it was used.
 * RETURNS the bytes written (or needed); 0 with ERROR_INVALID_PARAMETER or
 *         ERROR_INSUFFICIENT_BUFFER.
 */
extern "C" int WINAPI WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR src, int srcLen, LPSTR dst,
                                          int dstLen, LPCSTR defChar, LPBOOL usedDef) {
  UINT cp = Resolve(codePage);
  if (!src || srcLen == 0 || dstLen < 0 || !Known(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = 0;
  if (srcLen < 0) {
    while (src[n]) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(srcLen);
  }
  if (usedDef) *usedDef = FALSE;
  size_t out = 0;
  auto put = [&](char c) -> bool {
    if (dstLen) {
      if (out >= static_cast<size_t>(dstLen)) return false;
      dst[out] = c;
    }
    ++out;
    return true;
  };
  if (cp == CP_UTF8) {
    for (size_t i = 0; i < n; ++i) {
      uint32_t u = src[i];
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (src[i + 1] - 0xDC00);
        ++i;
      } else if (u >= 0xD800 && u <= 0xDFFF) {
        u = 0xFFFD;
      }
      bool ok;
      if (u < 0x80) {
        ok = put(static_cast<char>(u));
      } else if (u < 0x800) {
        ok = put(static_cast<char>(0xC0 | (u >> 6))) && put(static_cast<char>(0x80 | (u & 0x3F)));
      } else if (u < 0x10000) {
        ok = put(static_cast<char>(0xE0 | (u >> 12))) &&
             put(static_cast<char>(0x80 | ((u >> 6) & 0x3F))) &&
             put(static_cast<char>(0x80 | (u & 0x3F)));
      } else {
        ok = put(static_cast<char>(0xF0 | (u >> 18))) &&
             put(static_cast<char>(0x80 | ((u >> 12) & 0x3F))) &&
             put(static_cast<char>(0x80 | ((u >> 6) & 0x3F))) &&
             put(static_cast<char>(0x80 | (u & 0x3F)));
      }
      if (!ok) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
    }
    return static_cast<int>(out);
  }
  const Reverse& rev = ReverseOf(cp);
  const char fallback = defChar ? *defChar : '?';
  if (dstLen && static_cast<size_t>(dstLen) < n) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (!dstLen) return static_cast<int>(n);
  for (size_t i = 0; i < n; ++i) {
    char16_t c = src[i];
    unsigned char b;
    if (c == 0) {
      b = 0;
    } else if (cp == 20127) {
      b = c < 0x80 ? static_cast<unsigned char>(c) : 0;
    } else {
      b = rev.map[c];
    }
    if (c != 0 && b == 0) {
      b = static_cast<unsigned char>(fallback);
      if (usedDef) *usedDef = TRUE;
    }
    dst[i] = static_cast<char>(b);
  }
  return static_cast<int>(n);
}

namespace {

// OEM -> ANSI (or back) through UTF-16, byte for byte; in place is allowed.
void Translate(UINT from, UINT to, const char* src, char* dst, size_t n) {
  const char16_t* high = HighHalf(Resolve(from));
  const Reverse& rev = ReverseOf(Resolve(to));
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = static_cast<unsigned char>(src[i]);
    if (b >= 0x80) {
      unsigned char t = high ? rev.map[high[b - 0x80]] : 0;
      b = t ? t : '?';
    }
    dst[i] = static_cast<char>(b);
  }
}

}  // namespace

/***********************************************************************
 * OemToCharBuffA, CharToOemBuffA, OemToCharA, CharToOemA (USER32.@)
 * Translate n bytes (the Buff forms) or a zero-terminated string between the
 * OEM and the ANSI code page, in place when src and dst are the same. A byte
 * with no counterpart becomes "?".
 * RETURNS FALSE for a NULL argument, else TRUE.
 */
extern "C" BOOL WINAPI OemToCharBuffA(LPCSTR src, LPSTR dst, DWORD n) {
  if (!src || !dst) return FALSE;
  Translate(CP_OEMCP, CP_ACP, src, dst, n);
  return TRUE;
}

extern "C" BOOL WINAPI CharToOemBuffA(LPCSTR src, LPSTR dst, DWORD n) {
  if (!src || !dst) return FALSE;
  Translate(CP_ACP, CP_OEMCP, src, dst, n);
  return TRUE;
}

extern "C" BOOL WINAPI OemToCharA(LPCSTR src, LPSTR dst) {
  if (!src || !dst) return FALSE;
  Translate(CP_OEMCP, CP_ACP, src, dst, std::strlen(src) + 1);
  return TRUE;
}

extern "C" BOOL WINAPI CharToOemA(LPCSTR src, LPSTR dst) {
  if (!src || !dst) return FALSE;
  Translate(CP_ACP, CP_OEMCP, src, dst, std::strlen(src) + 1);
  return TRUE;
}
