// VARIANT: init, clear, copy and the type changes the automation rules give
// for the conversions QRVX and its script hosts make: numbers, booleans,
// dates, strings, byte arrays to strings and objects through their value
// property.
#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool VARIANT_ValidType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
  switch (base) {
    case VT_EMPTY:
    case VT_NULL: return !(vt & (VT_BYREF | VT_ARRAY));
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return true;
    case VT_VARIANT: return (vt & (VT_BYREF | VT_ARRAY)) != 0;
    default: return false;
  }
}

BSTR VARIANT_BstrFromAscii(const std::string& s) {
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(s.size()));
  if (b)
    for (size_t i = 0; i < s.size(); ++i) b[i] = static_cast<unsigned char>(s[i]);
  return b;
}

// A source value reduced to one of a few kinds.
struct Value {
  enum Kind {
    kEmpty,
    kNull,
    kInt,
    kUInt,
    kReal,
    kCy,
    kBool,
    kStr,
    kDisp,
    kUnk,
    kBytes,
    kDec,
    kOther
  } kind;
  int64_t i = 0;
  uint64_t u = 0;
  double r = 0;
  BSTR s = nullptr;
  IDispatch* disp = nullptr;
  SAFEARRAY* arr = nullptr;
  DECIMAL dec = {};
  VARTYPE vt = 0;  // base type of the source, for dates
};

Value VARIANT_Read(const VARIANT* v) {
  Value out;
  VARTYPE vt = v->vt;
  bool ref = (vt & VT_BYREF) != 0;
  VARTYPE base = vt & ~VT_BYREF;
  out.vt = base;
  if (base & VT_ARRAY) {
    SAFEARRAY* a = ref ? *v->pparray : v->parray;
    if ((base & VT_TYPEMASK) == VT_UI1 && a && SafeArrayGetDim(a) == 1) {
      out.kind = Value::kBytes;
      out.arr = a;
    } else {
      out.kind = Value::kOther;
    }
    return out;
  }
  switch (base) {
    case VT_EMPTY: out.kind = Value::kEmpty; break;
    case VT_NULL: out.kind = Value::kNull; break;
    case VT_I1:
      out.kind = Value::kInt;
      out.i = ref ? *v->pcVal : v->cVal;
      break;
    case VT_UI1:
      out.kind = Value::kInt;
      out.i = ref ? *v->pbVal : v->bVal;
      break;
    case VT_I2:
      out.kind = Value::kInt;
      out.i = ref ? *v->piVal : v->iVal;
      break;
    case VT_UI2:
      out.kind = Value::kInt;
      out.i = ref ? *v->puiVal : v->uiVal;
      break;
    case VT_I4:
      out.kind = Value::kInt;
      out.i = ref ? *v->plVal : v->lVal;
      break;
    case VT_UI4:
      out.kind = Value::kInt;
      out.i = ref ? *v->pulVal : v->ulVal;
      break;
    case VT_INT:
      out.kind = Value::kInt;
      out.i = ref ? *v->pintVal : v->intVal;
      break;
    case VT_UINT:
      out.kind = Value::kInt;
      out.i = ref ? *v->puintVal : v->uintVal;
      break;
    case VT_I8:
      out.kind = Value::kInt;
      out.i = ref ? *v->pllVal : v->llVal;
      break;
    case VT_UI8:
      out.kind = Value::kUInt;
      out.u = ref ? *reinterpret_cast<ULONGLONG*>(v->byref) : v->ullVal;
      break;
    case VT_R4:
      out.kind = Value::kReal;
      out.r = ref ? *v->pfltVal : v->fltVal;
      break;
    case VT_R8:
      out.kind = Value::kReal;
      out.r = ref ? *v->pdblVal : v->dblVal;
      break;
    case VT_DATE:
      out.kind = Value::kReal;
      out.r = ref ? *v->pdate : v->date;
      break;
    case VT_CY:
      out.kind = Value::kCy;
      out.i = (ref ? *v->pcyVal : v->cyVal).int64;
      break;
    case VT_BOOL:
      out.kind = Value::kBool;
      out.i = (ref ? *v->pboolVal : v->boolVal) ? -1 : 0;
      break;
    case VT_BSTR:
      out.kind = Value::kStr;
      out.s = ref ? *v->pbstrVal : v->bstrVal;
      break;
    case VT_DISPATCH:
      out.kind = Value::kDisp;
      out.disp = ref ? *v->ppdispVal : v->pdispVal;
      break;
    case VT_UNKNOWN: out.kind = Value::kUnk; break;
    case VT_DECIMAL:
      out.kind = Value::kDec;
      out.dec = ref ? *v->pdecVal : v->decVal;
      break;
    default: out.kind = Value::kOther; break;
  }
  return out;
}

// DECIMAL: a 96-bit magnitude (Hi32:Lo64) over 10^scale, negative when
// sign has its top bit (0x80). Exact operations work on three 32-bit limbs,
// most significant first.
struct Dec96 {
  uint32_t limb[3];
};

Dec96 DEC_Magnitude(const DECIMAL& d) {
  return {{static_cast<uint32_t>(d.Hi32), static_cast<uint32_t>(d.Lo64 >> 32),
           static_cast<uint32_t>(d.Lo64)}};
}

bool DEC_IsZero(const Dec96& m) {
  return !(m.limb[0] | m.limb[1] | m.limb[2]);
}

// m /= 10; gives the remainder.
unsigned DEC_DivTen(Dec96* m) {
  uint64_t rem = 0;
  for (uint32_t& l : m->limb) {
    uint64_t cur = (rem << 32) | l;
    l = static_cast<uint32_t>(cur / 10);
    rem = cur % 10;
  }
  return static_cast<unsigned>(rem);
}

double DEC_ToReal(const DECIMAL& d) {
  double r = static_cast<double>(d.Hi32) * 18446744073709551616.0 + static_cast<double>(d.Lo64);
  r /= std::pow(10.0, d.scale);
  return (d.sign & 0x80) ? -r : r;
}

// The whole number nearest d (half to even), as a kInt or kUInt value;
// DISP_E_OVERFLOW when it needs more than 64 bits.
HRESULT DEC_ToInteger(const DECIMAL& d, Value* out) {
  Dec96 m = DEC_Magnitude(d);
  unsigned first = 0;  // the most significant digit dropped
  bool rest = false;   // any other dropped digit non-zero
  for (unsigned k = 0; k < d.scale; ++k) {
    rest = rest || first != 0;
    first = DEC_DivTen(&m);
  }
  if (m.limb[0]) return DISP_E_OVERFLOW;
  uint64_t mag = (static_cast<uint64_t>(m.limb[1]) << 32) | m.limb[2];
  if (first > 5 || (first == 5 && (rest || (mag & 1)))) {
    if (mag == UINT64_MAX) return DISP_E_OVERFLOW;
    ++mag;
  }
  bool neg = (d.sign & 0x80) && mag != 0;
  if (neg) {
    if (mag > (uint64_t{1} << 63)) return DISP_E_OVERFLOW;
    out->kind = Value::kInt;
    out->i = static_cast<int64_t>(0 - mag);
  } else if (mag > static_cast<uint64_t>(INT64_MAX)) {
    out->kind = Value::kUInt;
    out->u = mag;
  } else {
    out->kind = Value::kInt;
    out->i = static_cast<int64_t>(mag);
  }
  return S_OK;
}

// Exact decimal text: no exponent, no trailing zeros after the point.
std::string DEC_ToText(const DECIMAL& d) {
  Dec96 m = DEC_Magnitude(d);
  std::string digits;  // least significant first
  do digits.push_back(static_cast<char>('0' + DEC_DivTen(&m)));
  while (!DEC_IsZero(m));
  while (digits.size() <= d.scale) digits.push_back('0');
  std::string whole(digits.rbegin(), digits.rend() - d.scale);
  std::string fraction(digits.rend() - d.scale, digits.rend());
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = fraction.empty() ? whole : whole + "." + fraction;
  bool zero = whole == "0" && fraction.empty();
  return (d.sign & 0x80) && !zero ? "-" + text : text;
}

// Parses a number as the automation string rules accept it: blanks around,
// a sign, digits with thousands commas, a decimal point, an exponent, or a
// hexadecimal (&H) or octal (&O) integer (*radix tells which: 10, 16 or 8).
HRESULT VARIANT_ParseNumber(BSTR s, double* out, int* radix = nullptr) {
  std::string a;
  UINT n = SysStringLen(s);
  for (UINT i = 0; i < n; ++i) {
    if (s[i] > 0x7F) return DISP_E_TYPEMISMATCH;
    a.push_back(static_cast<char>(s[i]));
  }
  size_t b = a.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return DISP_E_TYPEMISMATCH;
  size_t e = a.find_last_not_of(" \t\r\n");
  a = a.substr(b, e - b + 1);
  if (a.size() > 2 && a[0] == '&' && (a[1] == 'H' || a[1] == 'h' || a[1] == 'O' || a[1] == 'o')) {
    int base = (a[1] == 'H' || a[1] == 'h') ? 16 : 8;
    char* end;
    errno = 0;
    unsigned long long v = std::strtoull(a.c_str() + 2, &end, base);
    if (*end || errno) return DISP_E_TYPEMISMATCH;
    if (radix) *radix = base;
    *out = static_cast<double>(v);
    return S_OK;
  }
  std::string clean;
  size_t i = 0;
  if (a[i] == '+' || a[i] == '-') clean.push_back(a[i++]);
  bool digits = false, point = false;
  for (; i < a.size(); ++i) {
    char c = a[i];
    if (c >= '0' && c <= '9') {
      clean.push_back(c);
      digits = true;
    } else if (c == ',' && !point && digits) {
      continue;
    } else if (c == '.' && !point) {
      clean.push_back(c);
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  if (i < a.size() && (a[i] == 'e' || a[i] == 'E' || a[i] == 'd' || a[i] == 'D')) {
    clean.push_back('e');
    ++i;
    if (i < a.size() && (a[i] == '+' || a[i] == '-')) clean.push_back(a[i++]);
    bool exp = false;
    while (i < a.size() && a[i] >= '0' && a[i] <= '9') {
      clean.push_back(a[i++]);
      exp = true;
    }
    if (!exp) return DISP_E_TYPEMISMATCH;
  }
  if (i != a.size()) return DISP_E_TYPEMISMATCH;
  errno = 0;
  double v = std::strtod(clean.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(v)) return DISP_E_OVERFLOW;
  *out = v;
  return S_OK;
}

// "True"/"False" in English, case-insensitive, blanks allowed around.
bool VARIANT_ParseBoolWord(BSTR s, bool* out) {
  std::string a;
  for (UINT i = 0; i < SysStringLen(s); ++i) {
    if (s[i] > 0x7F) return false;
    a.push_back(static_cast<char>(std::tolower(static_cast<int>(s[i]))));
  }
  size_t b = a.find_first_not_of(" \t");
  if (b == std::string::npos) return false;
  a = a.substr(b, a.find_last_not_of(" \t") - b + 1);
  if (a == "true" || a == "#true#") return *out = true, true;
  if (a == "false" || a == "#false#") return *out = false, true;
  return false;
}

// Rounds half to even, as every automation conversion to an integer does.
double VARIANT_Round(double r) {
  double f = std::floor(r);
  double d = r - f;
  if (d > 0.5) return f + 1;
  if (d < 0.5) return f;
  return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

std::string VARIANT_FormatReal(double r, int digits) {
  if (r == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, r);
  return buf;
}

std::string VARIANT_FormatCy(int64_t v) {
  bool neg = v < 0;
  uint64_t a = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string s = std::to_string(a / 10000);
  uint64_t frac = a % 10000;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04llu", static_cast<unsigned long long>(frac));
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return neg ? "-" + s : s;
}

// Dates are days since 1899-12-30, the fraction being the time of day.
std::string VARIANT_FormatDate(double date) {
  double whole = date < 0 ? std::ceil(date) : std::floor(date);
  double frac = std::fabs(date - whole);
  int64_t days = static_cast<int64_t>(whole);
  // Civil date from a day count (1970-01-01 is day 25569).
  int64_t z = days - 25569 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp + (mp < 10 ? 3 : -9);
  y += (m <= 2);
  int64_t secs = static_cast<int64_t>(VARIANT_Round(frac * 86400.0));
  char buf[64];
  std::string out;
  // The day 0 (1899-12-30) shows only the time, midnight only the date.
  if (days != 0) {
    std::snprintf(buf, sizeof buf, "%lld/%lld/%lld", static_cast<long long>(m),
                  static_cast<long long>(d), static_cast<long long>(y));
    out = buf;
  }
  if (secs != 0 || days == 0) {
    int h = static_cast<int>(secs / 3600), mi = static_cast<int>(secs / 60 % 60),
        se = static_cast<int>(secs % 60);
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, mi, se,
                  h < 12 ? "AM" : "PM");
    if (!out.empty()) out += ' ';
    out += buf;
  }
  return out;
}

HRESULT VARIANT_ToReal(const Value& v, double* out) {
  switch (v.kind) {
    case Value::kEmpty: *out = 0; return S_OK;
    case Value::kInt:
    case Value::kBool: *out = static_cast<double>(v.i); return S_OK;
    case Value::kUInt: *out = static_cast<double>(v.u); return S_OK;
    case Value::kReal: *out = v.r; return S_OK;
    case Value::kCy: *out = static_cast<double>(v.i) / 10000.0; return S_OK;
    case Value::kDec: *out = DEC_ToReal(v.dec); return S_OK;
    case Value::kStr: {
      if (!v.s) return DISP_E_TYPEMISMATCH;
      HRESULT hr = VARIANT_ParseNumber(v.s, out);
      if (FAILED(hr)) {
        bool b;
        if (VARIANT_ParseBoolWord(v.s, &b)) return *out = b ? -1 : 0, S_OK;
      }
      return hr;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

HRESULT VARIANT_ToInt(const Value& v, int64_t lo, int64_t hi, int64_t* out) {
  if (v.kind == Value::kInt || v.kind == Value::kBool) {
    if (v.i < lo || v.i > hi) return DISP_E_OVERFLOW;
    *out = v.i;
    return S_OK;
  }
  if (v.kind == Value::kUInt) {
    if (v.u > static_cast<uint64_t>(hi)) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(v.u);
    return S_OK;
  }
  double r;
  int radix = 10;
  if (v.kind == Value::kStr && v.s && SUCCEEDED(VARIANT_ParseNumber(v.s, &r, &radix)) &&
      radix != 10) {
    // A hexadecimal or octal integer fills a 16- or 32-bit target's width:
    // &HFFFF is -1 as a 16-bit integer and 65535 as a 32-bit one.
    if (hi == INT16_MAX && r <= 0xFFFF)
      r = static_cast<int16_t>(static_cast<uint16_t>(r));
    else if (hi == INT32_MAX && r <= 0xFFFFFFFFu)
      r = static_cast<int32_t>(static_cast<uint32_t>(r));
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(r);
    return S_OK;
  }
  HRESULT hr = VARIANT_ToReal(v, &r);
  if (FAILED(hr)) return hr;
  if (std::isnan(r)) return DISP_E_OVERFLOW;
  r = VARIANT_Round(r);
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
  *out = static_cast<int64_t>(r);
  return S_OK;
}

HRESULT VARIANT_ToBstr(const Value& v, USHORT flags, BSTR* out) {
  std::string a;
  switch (v.kind) {
    case Value::kEmpty: break;
    case Value::kInt: a = std::to_string(v.i); break;
    case Value::kUInt: a = std::to_string(v.u); break;
    case Value::kBool:
      a = (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) ? (v.i ? "True" : "False")
                                                            : (v.i ? "-1" : "0");
      break;
    case Value::kReal:
      a = v.vt == VT_DATE ? VARIANT_FormatDate(v.r)
                          : VARIANT_FormatReal(v.r, v.vt == VT_R4 ? 7 : 15);
      break;
    case Value::kCy: a = VARIANT_FormatCy(v.i); break;
    case Value::kDec: a = DEC_ToText(v.dec); break;
    case Value::kStr:
      *out = v.s ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(v.s), SysStringByteLen(v.s))
                 : SysAllocStringLen(nullptr, 0);
      return *out ? S_OK : E_OUTOFMEMORY;
    case Value::kBytes: {
      // A byte array becomes a string holding the same bytes.
      LONG lo = 0, hi = -1;
      SafeArrayGetLBound(v.arr, 1, &lo);
      SafeArrayGetUBound(v.arr, 1, &hi);
      UINT n = hi >= lo ? static_cast<UINT>(hi - lo + 1) : 0;
      *out = SysAllocStringByteLen(static_cast<LPCSTR>(v.arr->pvData), n);
      return *out ? S_OK : E_OUTOFMEMORY;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
  *out = VARIANT_BstrFromAscii(a);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT VARIANT_Coerce(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt, int depth);

// An object converts through its value property (DISPID_VALUE).
HRESULT VARIANT_FromDispatch(VARIANT* dst, IDispatch* disp, USHORT flags, VARTYPE vt, int depth) {
  if (!disp || (flags & VARIANT_NOVALUEPROP) || depth > 8) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = disp->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value,
                            nullptr, nullptr);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  hr = VARIANT_Coerce(dst, &value, flags, vt, depth + 1);
  VariantClear(&value);
  return hr;
}

// Converts src to vt into dst, which the caller has initialised (VT_EMPTY).
HRESULT VARIANT_Coerce(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt, int depth) {
  if (src->vt == (VT_BYREF | VT_VARIANT)) {
    // One level only: a reference to another VARIANT reference is refused,
    // so a chain that refers back to itself ends here.
    if (!src->pvarVal || src->pvarVal->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
    return VARIANT_Coerce(dst, src->pvarVal, flags, vt, depth + 1);
  }
  Value v = VARIANT_Read(src);
  if (v.kind == Value::kDisp && vt != VT_DISPATCH && vt != VT_UNKNOWN)
    return VARIANT_FromDispatch(dst, v.disp, flags, vt, depth);
  // NULL becomes nothing but NULL; nothing (EMPTY) may become NULL.
  if (v.kind == Value::kNull || vt == VT_NULL) {
    if (vt != VT_NULL || (v.kind != Value::kNull && v.kind != Value::kEmpty))
      return DISP_E_TYPEMISMATCH;
    dst->vt = VT_NULL;
    return S_OK;
  }
  if (vt == VT_EMPTY) return S_OK;
  if ((v.vt & VT_ARRAY) && vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
  // A DECIMAL becomes an integer type through its nearest whole number.
  if (v.kind == Value::kDec && vt != VT_BSTR && vt != VT_BOOL && vt != VT_R4 && vt != VT_R8 &&
      vt != VT_DATE && vt != VT_CY) {
    HRESULT hr = DEC_ToInteger(v.dec, &v);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = S_OK;
  int64_t i = 0;
  double r = 0;
  switch (vt) {
    case VT_I1:
      hr = VARIANT_ToInt(v, -128, 127, &i);
      dst->cVal = static_cast<CHAR>(i);
      break;
    case VT_UI1:
      hr = VARIANT_ToInt(v, 0, 255, &i);
      dst->bVal = static_cast<BYTE>(i);
      break;
    case VT_I2:
      hr = VARIANT_ToInt(v, -32768, 32767, &i);
      dst->iVal = static_cast<SHORT>(i);
      break;
    case VT_UI2:
      hr = VARIANT_ToInt(v, 0, 65535, &i);
      dst->uiVal = static_cast<USHORT>(i);
      break;
    case VT_I4:
    case VT_INT:
      hr = VARIANT_ToInt(v, INT32_MIN, INT32_MAX, &i);
      dst->lVal = static_cast<LONG>(i);
      break;
    case VT_UI4:
    case VT_UINT:
      hr = VARIANT_ToInt(v, 0, UINT32_MAX, &i);
      dst->ulVal = static_cast<ULONG>(i);
      break;
    case VT_I8:
      hr = VARIANT_ToInt(v, INT64_MIN, INT64_MAX, &i);
      dst->llVal = i;
      break;
    case VT_UI8:
      if (v.kind == Value::kUInt) {
        dst->ullVal = v.u;
      } else {
        hr = VARIANT_ToInt(v, 0, INT64_MAX, &i);
        dst->ullVal = static_cast<ULONGLONG>(i);
      }
      break;
    case VT_R4:
      hr = VARIANT_ToReal(v, &r);
      if (SUCCEEDED(hr) && std::fabs(r) > 3.402823466e38) hr = DISP_E_OVERFLOW;
      dst->fltVal = static_cast<float>(r);
      break;
    case VT_R8:
    case VT_DATE:
      hr = VARIANT_ToReal(v, &r);  // date text other than a number is not read here
      dst->dblVal = r;
      break;
    case VT_CY:
      hr = VARIANT_ToReal(v, &r);
      if (SUCCEEDED(hr)) {
        r = VARIANT_Round(r * 10000.0);
        if (std::fabs(r) >= 9.2233720368547758e18) hr = DISP_E_OVERFLOW;
        dst->cyVal.int64 = static_cast<LONGLONG>(r);
      }
      break;
    case VT_BOOL:
      if (v.kind == Value::kStr && v.s) {
        bool b;
        if (VARIANT_ParseBoolWord(v.s, &b)) {
          dst->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        }
      }
      if (v.kind == Value::kInt || v.kind == Value::kBool || v.kind == Value::kEmpty) {
        dst->boolVal = v.i ? VARIANT_TRUE : VARIANT_FALSE;
      } else if (v.kind == Value::kUInt) {
        dst->boolVal = v.u ? VARIANT_TRUE : VARIANT_FALSE;
      } else {
        hr = VARIANT_ToReal(v, &r);
        dst->boolVal = r != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      }
      break;
    case VT_BSTR: hr = VARIANT_ToBstr(v, flags, &dst->bstrVal); break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (v.kind == Value::kDisp || (v.kind == Value::kUnk && vt == VT_UNKNOWN)) {
        IUnknown* p = (src->vt & VT_BYREF) ? *src->ppunkVal : src->punkVal;
        if (p) {
          if (vt == VT_DISPATCH) {
            hr = p->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dst->pdispVal));
            if (FAILED(hr)) hr = DISP_E_TYPEMISMATCH;
          } else {
            p->AddRef();
            dst->punkVal = p;
          }
        } else {
          dst->punkVal = nullptr;
        }
      } else if (v.kind == Value::kUnk) {
        // A null interface stays null; an object must answer IDispatch.
        IUnknown* p = (src->vt & VT_BYREF) ? *src->ppunkVal : src->punkVal;
        dst->pdispVal = nullptr;
        if (p && FAILED(p->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dst->pdispVal))))
          hr = DISP_E_TYPEMISMATCH;
      } else {
        hr = DISP_E_TYPEMISMATCH;
      }
      break;
    case VT_ERROR: return DISP_E_TYPEMISMATCH;
    default: return DISP_E_BADVARTYPE;
  }
  if (SUCCEEDED(hr)) dst->vt = vt;
  return hr;
}

}  // namespace

WINOLEAUTAPI_(void) VariantInit(VARIANTARG* pvarg) {
  if (pvarg) pvarg->vt = VT_EMPTY;
}

/***********************************************************************
 * VariantClear: releases what the variant owns (string, interface, array)
 * and makes it VT_EMPTY. A by-reference variant owns nothing.
 * RETURNS DISP_E_BADVARTYPE for an invalid type (left unchanged),
 * DISP_E_ARRAYISLOCKED for a locked array.
 */
WINOLEAUTAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  VARTYPE vt = pvarg->vt;
  if (!VARIANT_ValidType(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(pvarg->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

/***********************************************************************
 * VariantCopy: dest becomes a deep copy of src (a by-reference variant is
 * copied as the reference).
 */
WINOLEAUTAPI VariantCopy(VARIANTARG* dst, VARIANTARG* src) {
  if (!dst || !src) return E_INVALIDARG;
  if (!VARIANT_ValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (dst == src) return S_OK;
  HRESULT hr = VariantClear(dst);
  if (FAILED(hr)) return hr;
  VARIANT tmp = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      hr = SafeArrayCopy(src->parray, &tmp.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        tmp.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal),
                                            SysStringByteLen(src->bstrVal));
        if (!tmp.bstrVal) return E_OUTOFMEMORY;
      }
    } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  *dst = tmp;
  return S_OK;
}

/***********************************************************************
 * VariantCopyInd: like VariantCopy, but a by-reference source is copied
 * as the value it refers to.
 */
WINOLEAUTAPI VariantCopyInd(VARIANT* dst, VARIANTARG* src) {
  if (!dst || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dst, src);
  if (!VARIANT_ValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (src->vt == (VT_BYREF | VT_VARIANT)) {
    // As in the conversions: one level of VARIANT reference, never a chain.
    VARIANT* inner = src->pvarVal;
    if (!inner || inner->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
    return VariantCopyInd(dst, inner);
  }
  VARIANT val;
  val.vt = src->vt & ~VT_BYREF;
  VARTYPE base = val.vt;
  if (base & VT_ARRAY) {
    val.parray = *src->pparray;
  } else {
    switch (base) {
      case VT_I1:
      case VT_UI1: val.bVal = *src->pbVal; break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL: val.iVal = *src->piVal; break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
      case VT_R4: val.lVal = *src->plVal; break;
      case VT_R8:
      case VT_DATE:
      case VT_CY:
      case VT_I8:
      case VT_UI8: val.llVal = *src->pllVal; break;
      case VT_BSTR: val.bstrVal = *src->pbstrVal; break;
      case VT_DISPATCH:
      case VT_UNKNOWN: val.punkVal = *src->ppunkVal; break;
      case VT_DECIMAL:
        val.decVal = *src->pdecVal;
        val.vt = VT_DECIMAL;
        break;
      default: return DISP_E_BADVARTYPE;
    }
  }
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopy(&copy, &val);  // val borrows; the copy owns
  if (FAILED(hr)) return hr;
  if (dst != src) {
    hr = VariantClear(dst);
    if (FAILED(hr)) {
      VariantClear(&copy);
      return hr;
    }
  }
  *dst = copy;
  return S_OK;
}

/***********************************************************************
 * VariantChangeTypeEx: converts src to vt into dst (which may be src).
 * Integers round half to even and fail with DISP_E_OVERFLOW out of range;
 * strings parse as numbers (or True/False); numbers format with the
 * C locale's "."; booleans give "-1"/"0", or "True"/"False" with
 * VARIANT_ALPHABOOL; a byte array gives a string of the same bytes; an
 * object gives its value property. NULL converts to nothing but VT_NULL.
 * NOTES: date text is not parsed (DISP_E_TYPEMISMATCH).
 */
WINOLEAUTAPI VariantChangeTypeEx(VARIANTARG* dst, VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
  if (!dst || !src) return E_INVALIDARG;
  if (!VARIANT_ValidType(src->vt)) return DISP_E_BADVARTYPE;
  if (src->vt == vt) return dst == src ? S_OK : VariantCopy(dst, src);
  if (vt & (VT_BYREF | VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  VARIANT tmp;
  VariantInit(&tmp);
  HRESULT hr = VARIANT_Coerce(&tmp, src, flags, vt, 0);
  if (FAILED(hr)) {
    VariantClear(&tmp);
    return hr;
  }
  hr = VariantClear(dst);
  if (FAILED(hr)) {
    VariantClear(&tmp);
    return hr;
  }
  *dst = tmp;
  return S_OK;
}

WINOLEAUTAPI VariantChangeType(VARIANTARG* dst, VARIANTARG* src, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(dst, src, 0, flags, vt);
}
