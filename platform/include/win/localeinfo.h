// Locale information (kernel32): the user's number and date settings. The
// stand-in answers with fixed defaults (decimal separator ".", date separator
// "/", short date "dd/MM/yyyy", day-month-year order), which a test may change
// with QrvxSetLocaleInfo.
#pragma once

#include "types.h"

typedef DWORD LCTYPE;

#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004L
#endif

#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_NOUSEROVERRIDE 0x80000000u
#define LOCALE_RETURN_NUMBER 0x20000000u

#define LOCALE_SDECIMAL 0x0000000E
#define LOCALE_STHOUSAND 0x0000000F
#define LOCALE_SDATE 0x0000001D
#define LOCALE_SSHORTDATE 0x0000001F
#define LOCALE_SLONGDATE 0x00000020
#define LOCALE_IDATE 0x00000021

// GetLocaleInfoA
//   PARAMS   Locale [I] locale (LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT or a
//                       language id; all give the same answer here)
//            LCType [I] LOCALE_* item, optionally with LOCALE_NOUSEROVERRIDE
//            lpLCData [O] buffer for the zero-terminated text, or nullptr
//            cchData [I] size of the buffer in chars; 0 asks for the size
//   RETURNS  Success: chars written (or needed, when cchData is 0), the
//            terminating NUL included. Failure: 0, with GetLastError
//            ERROR_INSUFFICIENT_BUFFER (buffer too small) or
//            ERROR_INVALID_FLAGS (an item the stand-in does not know).
//   NOTES    LOCALE_IDATE answers the order of the short date: "0" month-day-
//            year, "1" day-month-year, "2" year-month-day. LOCALE_RETURN_NUMBER
//            is not supported (ERROR_INVALID_FLAGS), as on Windows for the
//            A function with string items.
extern "C" int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData);

// The stand-in's own test hook (not a Windows function): makes GetLocaleInfoA
// answer value for the item LCType (LOCALE_SDECIMAL, LOCALE_SDATE,
// LOCALE_SSHORTDATE, ...), as if the user had changed the setting. A nullptr
// value goes back to the default of that item; LCType 0 resets every item.
extern "C" void QrvxSetLocaleInfo(LCTYPE LCType, LPCSTR value);
