// File times over the C library's calendar functions.
#include <windows.h>

#include <sys/time.h>
#include <time.h>

namespace {

constexpr int64_t kEpochDelta = 11644473600LL;  // seconds from 1601 to 1970

int64_t DaysFromCivil(int y, unsigned m, unsigned d) {  // days since 1970-01-01
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
}

void Store(int64_t unixSeconds, int64_t hundredNs, LPFILETIME ft) {
  uint64_t t = static_cast<uint64_t>(unixSeconds + kEpochDelta) * 10000000ULL + hundredNs;
  ft->dwLowDateTime = static_cast<DWORD>(t);
  ft->dwHighDateTime = static_cast<DWORD>(t >> 32);
}

}  // namespace

/***********************************************************************
 * DosDateTimeToFileTime (KERNEL32.@)
 * RETURNS FALSE with ERROR_INVALID_PARAMETER for a date or time that does not
 *         exist (month 0, February 30, hour 24, ...).
 */
extern "C" BOOL WINAPI DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME ft) {
  int year = 1980 + (date >> 9), month = (date >> 5) & 15, day = date & 31;
  int hour = time >> 11, minute = (time >> 5) & 63, second = (time & 31) * 2;
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (!ft || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Store(DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second, 0, ft);
  return TRUE;
}

/***********************************************************************
 * LocalFileTimeToFileTime, GetSystemTimeAsFileTime (KERNEL32.@)
 * Local time is that of the C library's time zone, daylight saving included.
 */
extern "C" BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc) {
  if (!local || !utc) return FALSE;
  uint64_t t = (static_cast<uint64_t>(local->dwHighDateTime) << 32) | local->dwLowDateTime;
  time_t secs = static_cast<time_t>(t / 10000000ULL) - kEpochDelta;
  struct tm tmv;
  gmtime_r(&secs, &tmv);  // the local wall clock, read as fields
  tmv.tm_isdst = -1;
  time_t real = mktime(&tmv);  // those fields as local time
  Store(static_cast<int64_t>(real), static_cast<int64_t>(t % 10000000ULL), utc);
  return TRUE;
}

extern "C" void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  Store(ts.tv_sec, ts.tv_nsec / 100, ft);
}
