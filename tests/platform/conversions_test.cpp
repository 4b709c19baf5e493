// The automation conversions the scripting members make: identifiers and
// column numbers of every numeric type to an index, any identifier or body
// to text, switches to booleans; and the safe arrays that carry bodies and
// blocks. Run natively against the stand-in and, cross-built, against the
// real oleaut32.
#include <gtest/gtest.h>

#include <cstring>

#include "support/Automation.h"

namespace {

// Gives v new text, releasing what it held.
void Retext(VARIANT* v, const char* text) {
  VariantClear(v);
  SetText(v, text);
}

// Converts src to vt; gives the result code, the converted value in out.
HRESULT Change(VARIANT& src, VARTYPE vt, VARIANT* out, USHORT flags = 0) {
  return VariantChangeType(out, &src, flags, vt);
}

LONG AsI4(VARIANT& src, HRESULT expect = S_OK) {
  Var out;
  EXPECT_EQ(Change(src, VT_I4, &out), expect) << "from type " << src.vt;
  return out.vt == VT_I4 ? out.lVal : -12345;
}

std::string AsText(VARIANT& src, USHORT flags = 0) {
  Var out;
  HRESULT hr = Change(src, VT_BSTR, &out, flags);
  EXPECT_EQ(hr, S_OK) << "from type " << src.vt;
  if (FAILED(hr)) return "<failed>";
  std::string s = TakeAnsi(out.bstrVal);
  out.vt = VT_EMPTY;
  return s;
}

}  // namespace

TEST(Conversions, EveryNumericTypeToAnIndex) {
  Var v;
  v.vt = VT_I2, v.iVal = -3;
  EXPECT_EQ(AsI4(v), -3);
  v.vt = VT_UI1, v.bVal = 250;
  EXPECT_EQ(AsI4(v), 250);
  v.vt = VT_R4, v.fltVal = 2.5f;
  EXPECT_EQ(AsI4(v), 2);
  v.vt = VT_R4, v.fltVal = -1.5f;
  EXPECT_EQ(AsI4(v), -2);
  v.vt = VT_R8, v.dblVal = 7.5;
  EXPECT_EQ(AsI4(v), 8);
  v.vt = VT_R8, v.dblVal = 2147483647.0;
  EXPECT_EQ(AsI4(v), 2147483647);
  v.vt = VT_R8, v.dblVal = -2147483649.0;
  AsI4(v, DISP_E_OVERFLOW);
  v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(AsI4(v), -1);
  v.vt = VT_CY, v.cyVal.int64 = 25000;  // 2.5
  EXPECT_EQ(AsI4(v), 2);
  v.vt = VT_DATE, v.date = 3.75;
  EXPECT_EQ(AsI4(v), 4);
  v.vt = VT_I8, v.llVal = -5;
  EXPECT_EQ(AsI4(v), -5);
  v.vt = VT_EMPTY;
  EXPECT_EQ(AsI4(v), 0);
  v.vt = VT_NULL;
  AsI4(v, DISP_E_TYPEMISMATCH);

  // Narrower targets overflow instead of wrapping.
  Var out;
  v.vt = VT_I4, v.lVal = 70000;
  EXPECT_EQ(Change(v, VT_I2, &out), DISP_E_OVERFLOW);
  v.lVal = 256;
  EXPECT_EQ(Change(v, VT_UI1, &out), DISP_E_OVERFLOW);
  v.lVal = -1;
  EXPECT_EQ(Change(v, VT_UI1, &out), DISP_E_OVERFLOW);
  v.lVal = 255;
  ASSERT_EQ(Change(v, VT_UI1, &out), S_OK);
  EXPECT_EQ(out.vt, VT_UI1);
  EXPECT_EQ(out.bVal, 255);
  v.vt = VT_R8, v.dblVal = 1e40;
  EXPECT_EQ(Change(v, VT_R4, &out), DISP_E_OVERFLOW);
  v.vt = VT_R8, v.dblVal = -0.5;
  ASSERT_EQ(Change(v, VT_UI2, &out), S_OK);
  EXPECT_EQ(out.uiVal, 0);
}

TEST(Conversions, TextToNumbersAndBooleans) {
  Var s, out;
  Retext(&s, " 1.5e3 ");
  EXPECT_EQ(AsI4(s), 1500);
  Retext(&s, "-2.5");
  EXPECT_EQ(AsI4(s), -2);
  Retext(&s, "99999999999");
  AsI4(s, DISP_E_OVERFLOW);
  Retext(&s, "12abc");
  AsI4(s, DISP_E_TYPEMISMATCH);
  Retext(&s, "   ");
  AsI4(s, DISP_E_TYPEMISMATCH);
  Retext(&s, "0.25");
  ASSERT_EQ(Change(s, VT_R8, &out), S_OK);
  EXPECT_EQ(out.dblVal, 0.25);
  Retext(&s, "3.5");
  ASSERT_EQ(Change(s, VT_CY, &out), S_OK);
  EXPECT_EQ(out.cyVal.int64, 35000);

  Retext(&s, "True");
  ASSERT_EQ(Change(s, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  Retext(&s, "false");
  ASSERT_EQ(Change(s, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  Retext(&s, "0");
  ASSERT_EQ(Change(s, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  Retext(&s, "maybe");
  EXPECT_EQ(Change(s, VT_BOOL, &out), DISP_E_TYPEMISMATCH);
  Var n;
  SetI4(&n, 5);
  ASSERT_EQ(Change(n, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  n.vt = VT_R8, n.dblVal = 0.0;
  ASSERT_EQ(Change(n, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
}

TEST(Conversions, ValuesToText) {
  Var v;
  v.vt = VT_I2, v.iVal = -32768;
  EXPECT_EQ(AsText(v), "-32768");
  v.vt = VT_R4, v.fltVal = 0.1f;
  EXPECT_EQ(AsText(v), "0.1");
  v.vt = VT_R8, v.dblVal = 0.1;
  EXPECT_EQ(AsText(v), "0.1");
  v.vt = VT_R8, v.dblVal = 1e20;
  EXPECT_EQ(AsText(v), "1E+20");
  v.vt = VT_CY, v.cyVal.int64 = -12345;
  EXPECT_EQ(AsText(v), "-1.2345");
  v.vt = VT_CY, v.cyVal.int64 = 70000;
  EXPECT_EQ(AsText(v), "7");
  v.vt = VT_BOOL, v.boolVal = VARIANT_FALSE;
  EXPECT_EQ(AsText(v), "0");
  EXPECT_EQ(AsText(v, VARIANT_ALPHABOOL), "False");
  v.vt = VT_UI4, v.ulVal = 4000000000u;
  EXPECT_EQ(AsText(v), "4000000000");
  v.vt = VT_I8, v.llVal = -9000000000LL;
  EXPECT_EQ(AsText(v), "-9000000000");

  // By reference: the value referred to.
  LONG target = 41;
  Var ref;
  ref.vt = VT_BYREF | VT_I4, ref.plVal = &target;
  EXPECT_EQ(AsText(ref), "41");
  EXPECT_EQ(AsI4(ref), 41);
  BSTR text = AnsiBstr("ref");
  Var refText;
  refText.vt = VT_BYREF | VT_BSTR, refText.pbstrVal = &text;
  EXPECT_EQ(AsText(refText), "ref");
  SysFreeString(text);
  Var inner;
  SetText(&inner, "7");
  Var refVar;
  refVar.vt = VT_BYREF | VT_VARIANT, refVar.pvarVal = &inner;
  EXPECT_EQ(AsI4(refVar), 7);
  // In place: the source becomes the result.
  Var self;
  SetI4(&self, 12);
  ASSERT_EQ(VariantChangeType(&self, &self, 0, VT_BSTR), S_OK);
  ASSERT_EQ(self.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(self.bstrVal), 2u);
  // An array converts to nothing but text.
  Var arr, out;
  SetBytes(&arr, "x");
  EXPECT_EQ(Change(arr, VT_I4, &out), DISP_E_TYPEMISMATCH);
  Var bad;
  bad.vt = 0x7FF;
  EXPECT_EQ(Change(bad, VT_BSTR, &out), DISP_E_BADVARTYPE);
  bad.vt = VT_EMPTY;
}

TEST(Conversions, CopyIndirectTakesTheValue) {
  BSTR text = AnsiBstr("abc");
  Var ref, copy;
  ref.vt = VT_BYREF | VT_BSTR, ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, text);
  EXPECT_EQ(TakeAnsi(copy.bstrVal), "abc");
  copy.vt = VT_EMPTY;
  SysFreeString(text);
  double d = 2.25;
  Var refR8;
  refR8.vt = VT_BYREF | VT_R8, refR8.pdblVal = &d;
  ASSERT_EQ(VariantCopyInd(&copy, &refR8), S_OK);
  EXPECT_EQ(copy.vt, VT_R8);
  EXPECT_EQ(copy.dblVal, 2.25);
  Var inner;
  SetI4(&inner, 3);
  Var refVar;
  refVar.vt = VT_BYREF | VT_VARIANT, refVar.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&copy, &refVar), S_OK);
  EXPECT_EQ(copy.vt, VT_I4);
  EXPECT_EQ(copy.lVal, 3);
  // Copying a plain variant is VariantCopy.
  Var plain;
  SetText(&plain, "p");
  ASSERT_EQ(VariantCopyInd(&copy, &plain), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, plain.bstrVal);
}

TEST(SafeArrays, BoundsOfVectorsAndMatrices) {
  SAFEARRAY* v = SafeArrayCreateVector(VT_UI1, -2, 4);
  ASSERT_NE(v, nullptr);
  LONG lo = 0, hi = 0;
  EXPECT_EQ(SafeArrayGetLBound(v, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(v, 1, &hi), S_OK);
  EXPECT_EQ(lo, -2);
  EXPECT_EQ(hi, 1);
  EXPECT_EQ(SafeArrayGetLBound(v, 0, &lo), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetDim(v), 1u);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(v, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
  BYTE b = 7;
  LONG at = -2;
  EXPECT_EQ(SafeArrayPutElement(v, &at, &b), S_OK);
  at = 2;
  EXPECT_EQ(SafeArrayPutElement(v, &at, &b), DISP_E_BADINDEX);
  at = -3;
  EXPECT_EQ(SafeArrayGetElement(v, &at, &b), DISP_E_BADINDEX);
  at = -2;
  b = 0;
  EXPECT_EQ(SafeArrayGetElement(v, &at, &b), S_OK);
  EXPECT_EQ(b, 7);
  // Growing keeps the cells and zeroes the new ones.
  SAFEARRAYBOUND grow = {6, -2};
  ASSERT_EQ(SafeArrayRedim(v, &grow), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(v, 1, &hi), S_OK);
  EXPECT_EQ(hi, 3);
  EXPECT_EQ(static_cast<BYTE*>(v->pvData)[0], 7);
  EXPECT_EQ(static_cast<BYTE*>(v->pvData)[5], 0);
  EXPECT_EQ(SafeArrayDestroy(v), S_OK);

  // Two dimensions, given first dimension first: [0..2] x [1..4].
  SAFEARRAYBOUND dims[2] = {{3, 0}, {4, 1}};
  SAFEARRAY* m = SafeArrayCreate(VT_I4, 2, dims);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(SafeArrayGetDim(m), 2u);
  EXPECT_EQ(SafeArrayGetElemsize(m), 4u);
  EXPECT_EQ(SafeArrayGetUBound(m, 1, &hi), S_OK);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(SafeArrayGetLBound(m, 2, &lo), S_OK);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(SafeArrayGetUBound(m, 2, &hi), S_OK);
  EXPECT_EQ(hi, 4);
  EXPECT_EQ(SafeArrayGetUBound(m, 3, &hi), DISP_E_BADINDEX);
  LONG idx[2] = {2, 4};
  LONG value = 99;
  EXPECT_EQ(SafeArrayPutElement(m, idx, &value), S_OK);
  // The first index varies fastest: (2, 4) is the last cell, (1, 1) the
  // second, (0, 2) the fourth.
  EXPECT_EQ(static_cast<LONG*>(m->pvData)[11], 99);
  idx[0] = 1, idx[1] = 1, value = 11;
  EXPECT_EQ(SafeArrayPutElement(m, idx, &value), S_OK);
  EXPECT_EQ(static_cast<LONG*>(m->pvData)[1], 11);
  idx[0] = 0, idx[1] = 2, value = 2;
  EXPECT_EQ(SafeArrayPutElement(m, idx, &value), S_OK);
  EXPECT_EQ(static_cast<LONG*>(m->pvData)[3], 2);
  value = 0;
  EXPECT_EQ(SafeArrayGetElement(m, idx, &value), S_OK);
  EXPECT_EQ(value, 2);
  idx[1] = 0;
  EXPECT_EQ(SafeArrayPutElement(m, idx, &value), DISP_E_BADINDEX);
  idx[0] = 3, idx[1] = 1;
  EXPECT_EQ(SafeArrayGetElement(m, idx, &value), DISP_E_BADINDEX);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(m, &copy), S_OK);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->pvData, m->pvData);
  EXPECT_EQ(static_cast<LONG*>(copy->pvData)[11], 99);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(m), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
}

TEST(SafeArrays, LocksNestAndGuardTheData) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, 3);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SafeArrayLock(a), S_OK);
  void* p = nullptr;
  EXPECT_EQ(SafeArrayAccessData(a, &p), S_OK);
  EXPECT_EQ(p, a->pvData);
  EXPECT_EQ(a->cLocks, 2u);
  SAFEARRAYBOUND b = {1, 0};
  EXPECT_EQ(SafeArrayRedim(a, &b), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnlock(a), S_OK);
  EXPECT_EQ(SafeArrayUnlock(a), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
}

TEST(SafeArrays, StringCellsAreCopiesOwnedByTheArray) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(a, nullptr);
  BSTR s = AnsiBstr("one");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(a, &i, s), S_OK);
  EXPECT_NE(static_cast<BSTR*>(a->pvData)[0], s);
  SysFreeString(s);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(a, &i, &got), S_OK);
  EXPECT_EQ(TakeAnsi(got), "one");
  // Replacing a cell frees the old string (the sanitizer build sees a leak otherwise).
  s = AnsiBstr("two");
  ASSERT_EQ(SafeArrayPutElement(a, &i, s), S_OK);
  SysFreeString(s);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
  got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
  EXPECT_EQ(TakeAnsi(got), "two");
  i = 1;
  got = reinterpret_cast<BSTR>(1);
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);

  SAFEARRAY* vars = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  ASSERT_NE(vars, nullptr);
  Var in, out;
  SetText(&in, "cell");
  i = 0;
  ASSERT_EQ(SafeArrayPutElement(vars, &i, &in), S_OK);
  ASSERT_EQ(SafeArrayGetElement(vars, &i, &out), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_NE(out.bstrVal, in.bstrVal);
  EXPECT_EQ(SafeArrayDestroy(vars), S_OK);
}
