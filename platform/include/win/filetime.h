// File times (kernel32): FILETIME is 100-ns intervals since 1601-01-01 UTC.
#pragma once

#include "types.h"

// DosDateTimeToFileTime: MS-DOS date (bits 9-15 year-1980, 5-8 month, 0-4
// day) and time (11-15 hour, 5-10 minute, 0-4 seconds/2) to a FILETIME, taken
// as is (no time zone). RETURNS FALSE for a month, day, hour, minute or
// second out of range.
extern "C" BOOL WINAPI DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime);
// LocalFileTimeToFileTime: local time to UTC with the current time zone bias.
extern "C" BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime,
                                               LPFILETIME lpFileTime);
// GetSystemTimeAsFileTime: the current time (UTC).
extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
