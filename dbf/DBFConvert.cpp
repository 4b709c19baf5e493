// Column bytes to values and back (GetFieldData, SetFieldData), with the
// user's decimal separator, date separator and short date format.
//
// Format notes (dBase column encodings):
//   C  text, space-padded; read trimmed of bytes up to 0x20 at both ends.
//   N  number as text, right-aligned; F the same.
//   D  8 bytes YYYYMMDD; blank or "00000000" is no date.
//   L  one byte: T, Y, S true; F, N false (upper case only); else no value.
//   M  first memo block as 10 characters, digits counted wherever they are.
#include <windows.h>

#include "dbf/DBFConvert.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>

#include "common/ServerMessageBox.h"
#include "dbf/DBF.h"

// ---- settings --------------------------------------------------------------------

namespace {

std::string LocaleItem(LCTYPE item) {
  char buf[128];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buf, sizeof buf);
  return n > 1 ? std::string(buf, n - 1) : std::string();
}

// Days from 0000-03-01 style civil date (proleptic Gregorian) to 1970-01-01.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

const int64_t kDateEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int CurrentYear() {
  auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return static_cast<int>(std::chrono::year_month_day{today}.year());
}

// A year written with at most two digits lies in the 100 years that begin
// 50 years before the current one.
int WindowYear(int y) {
  int base = CurrentYear() - 50;
  y += base / 100 * 100;
  return y < base ? y + 100 : y;
}

void ScanBlanks(std::string_view s, size_t& pos) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
}

// Digits at pos (after blanks); stops once the number reaches 1000.
bool ScanNumber(std::string_view s, size_t& pos, int& number, int& digits) {
  ScanBlanks(s, pos);
  size_t i = pos;
  int n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 1000) n = n * 10 + (s[i++] - '0');
  if (i == pos) return false;
  digits = static_cast<int>(i - pos);
  number = n;
  pos = i;
  return true;
}

bool ScanChar(std::string_view s, size_t& pos, char c) {
  ScanBlanks(s, pos);
  if (pos < s.size() && s[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

void TDBFFormatSettings::Load() {
  std::string s = LocaleItem(LOCALE_SDECIMAL);
  DecimalSeparator = s.empty() ? '.' : s[0];
  s = LocaleItem(LOCALE_SDATE);
  DateSeparator = s.empty() ? '/' : s[0];
  s = LocaleItem(LOCALE_SSHORTDATE);
  ShortDateFormat = s.empty() ? "dd/MM/yyyy" : s;
}

// ---- text helpers ----------------------------------------------------------------

namespace {

// Whether all eight bytes at p are at most 0x20: each byte's low seven bits
// plus 0x5F reach its top bit exactly when they are above 0x20 (no carry
// leaves a byte), and a byte of 0x80 or more has that bit already.
bool AllBlank8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu, kAdd = 0x5F5F5F5F5F5F5F5Fu;
  return ((((w & kLow7) + kAdd) | w) & ~kLow7) == 0;
}

}  // namespace

std::string_view DBFTrim(std::string_view s) {
  const char* p = s.data();
  size_t b = 0, e = s.size();
  // Padding comes in runs: eight bytes at a time, then byte by byte.
  while (e - b >= 8 && AllBlank8(p + b)) b += 8;
  while (b < e && static_cast<uint8_t>(p[b]) <= 0x20) ++b;
  while (e - b >= 8 && AllBlank8(p + e - 8)) e -= 8;
  while (e > b && static_cast<uint8_t>(p[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

bool DBFTextToFloat(std::string_view text, char sep, double& out) {
  size_t b = 0, e = text.size();
  while (b < e && text[b] == ' ') ++b;
  while (e > b && text[e - 1] == ' ') --e;
  // The number as from_chars reads it: each character of the text gives at
  // most one, so a column's text fits the buffer on the stack.
  char small[64];
  std::string large;
  char* t = small;
  if (e - b > sizeof small) {
    large.resize(e - b);
    t = large.data();
  }
  size_t n = 0;
  size_t i = b;
  bool negative = i < e && text[i] == '-';
  if (negative)
    t[n++] = text[i++];
  else if (i < e && text[i] == '+')
    ++i;
  int digits = 0, decimals = 0;
  uint64_t mantissa = 0;  // the digits as an integer while there are at most 19
  bool point = false;
  for (; i < e; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
      decimals += point;
      mantissa = mantissa * 10 + unsigned(c - '0');
      t[n++] = c;
    } else if (c == sep && !point) {
      point = true;
      t[n++] = '.';
    } else {
      break;
    }
  }
  if (!digits) return false;
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
  // Without an exponent, a mantissa below 2^53 and at most 22 decimals are
  // exact as doubles, and one correctly rounded division gives what
  // from_chars gives (so only where doubles are computed as doubles).
  constexpr double kExactPowersOf10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (i == e && digits <= 19 && mantissa <= (uint64_t(1) << 53) &&
      decimals < int(std::size(kExactPowersOf10))) {
    double v = double(mantissa) / kExactPowersOf10[decimals];
    out = negative ? -v : v;
    return true;
  }
#endif
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    t[n++] = 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) t[n++] = text[i++];
    int expDigits = 0;
    while (i < e && text[i] >= '0' && text[i] <= '9') {
      t[n++] = text[i++];
      ++expDigits;
    }
    if (!expDigits) return false;
  }
  if (i != e) return false;
  double v;
  auto r = std::from_chars(t, t + n, v);
  if (r.ec != std::errc() || r.ptr != t + n) return false;
  out = v;
  return true;
}

std::string DBFFloatToFixed(double value, int decimals) {
  char buf[720];  // 309 integer digits, 255 decimals, sign and point
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return std::string();
  return std::string(buf, r.ptr);
}

std::string DBFFloatToStr(double value, char sep) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
  if (size_t p = s.find('.'); p != std::string::npos) s[p] = sep;
  return s;
}

bool DBFEncodeDate(int y, int m, int d, DATE& out) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
  out = static_cast<DATE>(DaysFromCivil(y, m, d) - kDateEpoch);
  return true;
}

void DBFDecodeDate(DATE date, int& year, int& month, int& day) {
  double whole = date < 0 ? -std::floor(-date) : std::floor(date);  // days, toward zero
  int64_t z = static_cast<int64_t>(whole) + kDateEpoch + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

bool DBFScanDateDMY(std::string_view s, char sep, DATE& out) {
  size_t pos = 0;
  int d, m, y, dl, ml, yl;
  if (!ScanNumber(s, pos, d, dl) || !ScanChar(s, pos, sep) || !ScanNumber(s, pos, m, ml) ||
      !ScanChar(s, pos, sep) || !ScanNumber(s, pos, y, yl))
    return false;
  ScanBlanks(s, pos);
  if (pos != s.size()) return false;
  if (yl <= 2) y = WindowYear(y);
  return DBFEncodeDate(y, m, d, out);
}

bool DBFScanDate(std::string_view text, const TDBFFormatSettings& fs, DATE& out) {
  const std::string& f = fs.ShortDateFormat;
  size_t d = f.find_first_of("dD"), m = f.find_first_of("mM"), y = f.find_first_of("yY");
  size_t pos = 0;
  int n[3], len[3];
  for (int i = 0; i < 3; ++i)
    if ((i && !ScanChar(text, pos, fs.DateSeparator)) || !ScanNumber(text, pos, n[i], len[i]))
      return false;
  ScanBlanks(text, pos);
  if (pos != text.size()) return false;
  int day = n[0], month = n[1], year = n[2], yl = len[2];
  if (y < d && y < m) {  // year-month-day
    year = n[0], yl = len[0], month = n[1], day = n[2];
  } else if (m < d) {  // month-day-year
    month = n[0], day = n[1];
  }
  if (yl <= 2) year = WindowYear(year);
  return DBFEncodeDate(year, month, day, out);
}

std::string DBFFormatDate(DATE date, const std::string& f, char sep) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, d;
  DBFDecodeDate(date, y, m, d);
  std::string out;
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    size_t run = 1;
    while (i + run < f.size() && (f[i + run] | 0x20) == (c | 0x20)) ++run;
    switch (c | 0x20) {
      case 'd': out += run >= 2 ? Format("%02d", d) : Format("%d", d); break;
      case 'm':
        out += run >= 3   ? std::string(kMonths[m - 1])
               : run == 2 ? Format("%02d", m)
                          : Format("%d", m);
        break;
      case 'y': out += run <= 2 ? Format("%02d", y % 100) : Format("%04d", y); break;
      case '/': out.append(run, sep); break;
      case '\'': {
        size_t end = f.find('\'', i + 1);
        if (end == std::string::npos) end = f.size();
        out += f.substr(i + 1, end - i - 1);
        run = end + 1 - i;
        break;
      }
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

std::string DBFDateToYYYYMMDD(DATE date) {
  int y, m, d;
  DBFDecodeDate(date, y, m, d);
  if (y < 0 || y > 9999) return std::string(8, ' ');
  return Format("%04d%02d%02d", y, m, d);
}

// ---- reading a column ------------------------------------------------------------

// The value of column in buf. Reads only inside the record.
namespace {

// A number, date or boolean into dest in place (its text buffer kept for
// the next value read into it).
void SetScalar(TDBFValue& dest, VARTYPE vt, double num, bool b = false) {
  dest.vt = vt;
  dest.Str.clear();
  dest.Num = num;
  dest.Bool = b;
}

}  // namespace

bool TDBF::ReadColumn(const TRecordBuffer& buf, int column, TFieldType kind,
                      TDBFValue* dest) const {
  if (column < 0 || column >= static_cast<int>(FOffsets.size())) return false;
  const char* rec = buf.Data.data();
  int start = 1 + FOffsets[column];
  int len = FLengths[column];
  if (start > FRecordSize) start = FRecordSize;
  if (len > FRecordSize - start) len = FRecordSize - start;
  switch (kind) {
    case ftString: {
      std::string_view v = DBFTrim(std::string_view(rec + start, len));
      if (v.empty()) return false;
      if (dest) {
        // Delivered zero-terminated, into the value's own buffer.
        std::string& s = dest->Str;
        s.assign(v.substr(0, v.find('\0')));
        if (!IsAnsi() && !s.empty())
          OemToCharBuffA(s.data(), s.data(), static_cast<DWORD>(s.size()));
        dest->vt = varString;
        dest->Num = 0;
        dest->Bool = false;
      }
      return true;
    }
    case ftFloat: {
      std::string_view t = DBFTrim(std::string_view(rec + start, len));
      if (t.empty()) return false;
      char sep = FFormat.DecimalSeparator;
      char copy[256];  // a column is at most 255 bytes
      if (size_t p = t.find('.'); sep != '.' && p != std::string_view::npos) {
        // The stored point read as the user's separator.
        std::memcpy(copy, t.data(), t.size());
        copy[p] = sep;
        t = std::string_view(copy, t.size());
      }
      double v;
      if (!DBFTextToFloat(t, sep, v)) {
        if (dest) SetScalar(*dest, VT_R8, 0);
        return false;
      }
      if (dest) SetScalar(*dest, VT_R8, v);
      return true;
    }
    case ftDate: {
      // The 8 bytes from the column's start (also when the column declares
      // fewer), but never beyond the record: missing bytes count as spaces.
      char padded[8];
      const char* raw = rec + start;
      if (FRecordSize - start < 8) {
        int have = FRecordSize - start;
        std::memcpy(padded, raw, have);
        std::memset(padded + have, ' ', 8 - have);
        raw = padded;
      }
      std::string_view r(raw, 8);
      if (r.find('\0') != std::string_view::npos) return false;  // a NUL byte: no date
      if (DBFTrim(r).empty() || r == "00000000") return false;
      char sep = FFormat.DateSeparator;
      if (std::all_of(raw, raw + 8, [](char c) { return c >= '0' && c <= '9'; }) &&
          !(sep >= '0' && sep <= '9') && sep != ' ') {
        // YYYYMMDD read in place: what the day-month-year text below gives.
        auto number = [&](int at, int n) {
          int v = 0;
          for (int k = 0; k < n; ++k) v = v * 10 + (raw[at + k] - '0');
          return v;
        };
        DATE d;
        if (DBFEncodeDate(number(0, 4), number(4, 2), number(6, 2), d)) {
          if (dest) SetScalar(*dest, VT_DATE, d);
          return true;
        }
      }
      std::string text = std::string(r.substr(6, 2)) + sep + std::string(r.substr(4, 2)) + sep +
                         std::string(r.substr(0, 4));
      DATE d;
      if (!DBFScanDateDMY(text, sep, d))
        throw EConvertError(Format("'%s' is not a valid date", text.c_str()));
      if (dest) SetScalar(*dest, VT_DATE, d);
      return true;
    }
    case ftBoolean: {
      char c = start < FRecordSize ? rec[start] : ' ';
      bool value;
      if (c == 'T' || c == 'Y' || c == 'S') {
        value = true;
      } else if (c == 'F' || c == 'N') {
        value = false;
      } else {
        if (dest) SetScalar(*dest, VT_BOOL, 0, false);
        return false;
      }
      if (dest) SetScalar(*dest, VT_BOOL, 0, value);
      return true;
    }
    case ftMemo:
    case ftBlob: return false;  // read through a blob stream
    default:
      ServerMessageBox(nullptr, "very bad error in get field data", "Error", MB_OK | MB_ICONSTOP);
      return false;
  }
}

bool TDBF::GetFieldData(const TField& field, TDBFValue* dest) const {
  if (!Active() || field.FieldNo() <= 0 || field.FieldNo() > static_cast<int>(FOffsets.size()))
    return false;
  if (FRecordCount == 0 && FState != dsInsert) return false;
  const TRecordBuffer& buf = ReadBuffer();
  if (buf.Data.empty()) return false;
  return ReadColumn(buf, field.FieldNo() - 1, field.DataType(), dest);
}

// ---- writing a column ------------------------------------------------------------

void TDBF::SetFieldData(TField& field, const TDBFValue* value) {
  CheckActive();
  int column = field.FieldNo() - 1;
  if (column < 0 || column >= static_cast<int>(FOffsets.size())) return;
  char* rec = FActive.Data.data();
  int start = 1 + FOffsets[column];
  int len = FLengths[column];
  if (start > FRecordSize) start = FRecordSize;
  if (len > FRecordSize - start) len = FRecordSize - start;
  bool null = !value || value->IsNull();
  switch (field.DataType()) {
    case ftString: {
      std::string s = null                     ? std::string()
                      : value->vt == varString ? value->Str
                                               : field.TextOf(*value);
      if (s.size() > static_cast<size_t>(len)) s.resize(len);
      s.resize(len, ' ');
      if (!IsAnsi() && len) CharToOemBuffA(s.data(), s.data(), static_cast<DWORD>(len));
      std::memcpy(rec + start, s.data(), len);
      break;
    }
    case ftFloat: {
      std::string t;
      if (!null) t = DBFFloatToFixed(field.NumberOf(*value), FDecimals[column]);
      if (t.size() < static_cast<size_t>(len)) t.insert(0, len - t.size(), ' ');
      std::memcpy(rec + start, t.data(), len);  // a wider number loses its rightmost characters
      break;
    }
    case ftDate: {
      std::string t = null ? std::string(8, ' ') : DBFDateToYYYYMMDD(field.DateOf(*value));
      int n = FRecordSize - start < 8 ? FRecordSize - start : 8;
      std::memcpy(rec + start, t.data(), n);
      break;
    }
    case ftBoolean: {
      if (start < FRecordSize) rec[start] = null ? ' ' : field.BoolOf(*value) ? 'T' : 'F';
      break;
    }
    default:
      ServerMessageBox(nullptr, "very bad error in setfield data", "Error", MB_OK | MB_ICONSTOP);
      return;
  }
  DataChanged();
}

// ---- memo column -----------------------------------------------------------------

// The width of a memo column's block number: 10 characters, whatever the
// column declares, except that it never reaches into the next column or
// past the record.
int TDBF::MemoColumnWidth(int column) const {
  int start = 1 + FOffsets[column];
  int width = FLengths[column] < 10 ? FLengths[column] : 10;
  if (width > FRecordSize - start) width = FRecordSize - start;
  return width < 0 ? 0 : width;
}

int64_t TDBF::ReadBlockNumber(int column) const {
  const char* p = ReadBuffer().Data.data() + 1 + FOffsets[column];
  int64_t n = 0;
  for (int i = 0, w = MemoColumnWidth(column); i < w; ++i) {
    n *= 10;  // a space adds nothing, but still shifts
    if (p[i] >= '0' && p[i] <= '9') n += p[i] - '0';
  }
  return n;
}

void TDBF::WriteBlockNumber(int column, int64_t block, int64_t length) {
  int w = MemoColumnWidth(column);
  char* p = FActive.Data.data() + 1 + FOffsets[column];
  if (length == 0) {
    std::memset(p, ' ', w);
    return;
  }
  std::string digits = Format("%010lld", static_cast<long long>(block));
  if (digits.size() > 10 || digits.find_first_not_of('0') < digits.size() - w)
    throw EDBFError("Memo block number does not fit in its column");
  std::memcpy(p, digits.data() + digits.size() - w, w);
}
