// Code pages (kernel32, user32): the ANSI and OEM code pages of the system
// locale and conversions between them and UTF-16. The stand-in knows code
// pages 1251, 866, 1252, 850, 437, 20127 and UTF-8 (65001); it takes the ANSI
// and OEM pages from the process locale (LC_ALL, LC_CTYPE, LANG) the way
// Windows takes them from the system locale: Russian 1251/866, other Western
// 1252/850, English (US) and a locale that says nothing 1252/437.
#pragma once

#include "types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400

extern "C" UINT WINAPI GetACP();
extern "C" UINT WINAPI GetOEMCP();
extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
extern "C" BOOL WINAPI OemToCharA(LPCSTR pSrc, LPSTR pDst);
extern "C" BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst);
extern "C" BOOL WINAPI OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength);
extern "C" BOOL WINAPI CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength);

// Comparing strings (kernel32). The stand-in compares by characters of the
// ANSI code page; NORM_IGNORECASE folds the Latin, Latin-1 and Cyrillic
// capitals (no linguistic rules). Other flags are ignored.
#define NORM_IGNORECASE 0x00000001
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
extern "C" int WINAPI CompareStringA(LCID Locale, DWORD dwCmpFlags, LPCSTR lpString1, int cchCount1,
                                     LPCSTR lpString2, int cchCount2);

// The stand-in's own test hook (not a Windows function): makes the ANSI and
// OEM code pages those of the named locale ("ru_RU.UTF-8", "C", ...), as if
// the system locale had been changed. nullptr goes back to the environment.
extern "C" void QrvxSetSystemLocale(const char* locale);
