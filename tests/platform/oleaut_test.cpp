// The automation functions as the receiver and its hosts rely on them. The
// same tests run against the real oleaut32 when cross-built, so the Linux
// stand-in is checked against it.
#include <gtest/gtest.h>

#include <cstring>

#include "support/Automation.h"

TEST(Bstr, CarriesItsByteCountAndAnyBytes) {
  BSTR b = SysAllocStringByteLen("a\0bc", 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringByteLen(b), 4u);
  EXPECT_EQ(SysStringLen(b), 2u);
  EXPECT_EQ(reinterpret_cast<const DWORD*>(b)[-1], 4u);
  EXPECT_EQ(std::memcmp(b, "a\0bc", 4), 0);
  EXPECT_EQ(reinterpret_cast<const char*>(b)[4], 0);
  SysFreeString(b);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(SafeArray, VectorBoundsRedimAndLocks) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, 5);
  ASSERT_NE(psa, nullptr);
  LONG lo = -7, hi = -7;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 4);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &hi), DISP_E_BADINDEX);

  void* data;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  std::memcpy(data, "hello", 5);
  SAFEARRAYBOUND b = {2, 0};
  EXPECT_EQ(SafeArrayRedim(psa, &b), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);

  ASSERT_EQ(SafeArrayRedim(psa, &b), S_OK);
  SafeArrayGetUBound(psa, 1, &hi);
  EXPECT_EQ(hi, 1);
  EXPECT_EQ(std::memcmp(psa->pvData, "he", 2), 0);
  b.cElements = 0;
  ASSERT_EQ(SafeArrayRedim(psa, &b), S_OK);
  SafeArrayGetUBound(psa, 1, &hi);
  EXPECT_EQ(hi, -1);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(Variant, CopyIsDeepAndClearEmpties) {
  Var a, b;
  SetText(&a, "text");
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_EQ(b.vt, VT_BSTR);
  EXPECT_NE(b.bstrVal, a.bstrVal);
  EXPECT_EQ(SysStringLen(b.bstrVal), 4u);
  Var arr, arr2;
  SetBytes(&arr, "xyz");
  ASSERT_EQ(VariantCopy(&arr2, &arr), S_OK);
  EXPECT_NE(arr2.parray, arr.parray);
  EXPECT_EQ(ArrayBytes(arr2), "xyz");
  EXPECT_EQ(VariantClear(&arr2), S_OK);
  EXPECT_EQ(arr2.vt, VT_EMPTY);
  Var bad;
  bad.vt = 0x7FF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  bad.vt = VT_EMPTY;
}

namespace {

HRESULT ToI4(VARIANT& src, LONG* out) {
  Var dst;
  HRESULT hr = VariantChangeType(&dst, &src, 0, VT_I4);
  if (SUCCEEDED(hr)) *out = dst.lVal;
  return hr;
}

std::string ToText(VARIANT& src, USHORT flags = 0, HRESULT* result = nullptr) {
  Var dst;
  HRESULT hr = VariantChangeType(&dst, &src, flags, VT_BSTR);
  if (result) *result = hr;
  if (FAILED(hr)) return "<failed>";
  std::string s = TakeAnsi(dst.bstrVal);
  dst.vt = VT_EMPTY;
  return s;
}

}  // namespace

TEST(VariantChangeType, IntegersRoundHalfToEvenAndOverflow) {
  const struct {
    double in;
    LONG out;
  } cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.49, 0}, {1.51, 2}, {-0.5, 0}};
  for (auto c : cases) {
    Var v;
    v.vt = VT_R8;
    v.dblVal = c.in;
    LONG out = 99;
    EXPECT_EQ(ToI4(v, &out), S_OK) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
  Var big;
  big.vt = VT_R8;
  big.dblVal = 3e9;
  LONG out;
  EXPECT_EQ(ToI4(big, &out), DISP_E_OVERFLOW);
  Var f;
  f.vt = VT_R4;
  f.fltVal = 6.5f;
  EXPECT_EQ(ToI4(f, &out), S_OK);
  EXPECT_EQ(out, 6);
}

TEST(VariantChangeType, TextToNumber) {
  Var a, b, c, d;
  SetText(&a, "42");
  SetText(&b, "  -17  ");
  SetText(&c, "abc");
  SetText(&d, "");
  LONG out = 0;
  EXPECT_EQ(ToI4(a, &out), S_OK);
  EXPECT_EQ(out, 42);
  EXPECT_EQ(ToI4(b, &out), S_OK);
  EXPECT_EQ(out, -17);
  EXPECT_EQ(ToI4(c, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ToI4(d, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ValuesToText) {
  Var i, r, e, n, bo, ui, arr, ref, inner;
  SetI4(&i, -7);
  r.vt = VT_R8;
  r.dblVal = 1.5;
  n.vt = VT_NULL;
  bo.vt = VT_BOOL;
  bo.boolVal = VARIANT_TRUE;
  ui.vt = VT_UI1;
  ui.bVal = 200;
  SetBytes(&arr, "AB");
  SetI4(&inner, 12);
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  EXPECT_EQ(ToText(i), "-7");
  EXPECT_EQ(ToText(r), "1.5");
  EXPECT_EQ(ToText(e), "");
  EXPECT_EQ(ToText(ui), "200");
  EXPECT_EQ(ToText(ref), "12");
  EXPECT_EQ(ToText(bo, VARIANT_ALPHABOOL), "True");
  EXPECT_EQ(ToText(bo), "-1");
  HRESULT hr;
  EXPECT_EQ(ToText(n, 0, &hr), "<failed>");
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  // A byte array converts to a string holding the same bytes.
  Var s;
  ASSERT_EQ(VariantChangeType(&s, &arr, 0, VT_BSTR), S_OK);
  EXPECT_EQ(SysStringByteLen(s.bstrVal), 2u);
  EXPECT_EQ(std::memcmp(s.bstrVal, "AB", 2), 0);
}

TEST(CodePages, SingleBytePagesRoundTrip) {
  WCHAR w[4] = {};
  ASSERT_EQ(MultiByteToWideChar(1251, 0, "\xC0\xB8\x41", 3, w, 4), 3);
  EXPECT_EQ(w[0], 0x0410);
  EXPECT_EQ(w[1], 0x0451);
  EXPECT_EQ(w[2], 0x0041);
  char a[4] = {};
  ASSERT_EQ(WideCharToMultiByte(1251, 0, w, 3, a, 4, nullptr, nullptr), 3);
  EXPECT_EQ(std::string(a, 3), "\xC0\xB8\x41");
  ASSERT_EQ(MultiByteToWideChar(866, 0, "\x80\xF1", 2, w, 4), 2);
  EXPECT_EQ(w[0], 0x0410);
  EXPECT_EQ(w[1], 0x0451);
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xD0\x90", 2, w, 4), 1);
  EXPECT_EQ(w[0], 0x0410);
  // Required size when no buffer is given.
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
}

#ifndef _WIN32
// The stand-in takes the ANSI and OEM pages from the locale the way Windows
// takes them from the system locale.
TEST(CodePages, PagesFollowTheLocale) {
  QrvxSetSystemLocale("ru_RU.UTF-8");
  EXPECT_EQ(GetACP(), 1251u);
  EXPECT_EQ(GetOEMCP(), 866u);
  char buf[3] = "\x80\xF1";
  OemToCharBuffA(buf, buf, 2);
  EXPECT_EQ(std::string(buf, 2), "\xC0\xB8");
  CharToOemBuffA(buf, buf, 2);
  EXPECT_EQ(std::string(buf, 2), "\x80\xF1");
  QrvxSetSystemLocale("de_DE.UTF-8");
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 850u);
  QrvxSetSystemLocale("en_US.UTF-8");
  EXPECT_EQ(GetOEMCP(), 437u);
  QrvxSetSystemLocale("C");
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
  QrvxSetSystemLocale(nullptr);
}
#endif
