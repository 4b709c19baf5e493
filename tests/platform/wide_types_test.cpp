// Conversions between the less common automation types a caller may hand a
// member (64-bit integers, currency, dates, DECIMAL from database fields,
// objects with a value property, references), run natively against the
// stand-in and, cross-built, against the real oleaut32: each expectation
// holds for both unless marked.
#include <gtest/gtest.h>

#include <string>

#include "support/Automation.h"

namespace {

HRESULT To(VARIANT& src, VARTYPE vt, VARIANT* out, USHORT flags = 0) {
  VariantClear(out);
  return VariantChangeType(out, &src, flags, vt);
}

std::string Text(VARIANT& src, USHORT flags = 0) {
  Var out;
  HRESULT hr = To(src, VT_BSTR, &out, flags);
  EXPECT_EQ(hr, S_OK) << "from type " << src.vt;
  if (FAILED(hr)) return "<failed>";
  std::string s = TakeAnsi(out.bstrVal);
  out.vt = VT_EMPTY;
  return s;
}

void SetDecimal(VARIANT* v, BYTE scale, bool negative, ULONG hi, ULONGLONG lo) {
  // decVal overlays the type field: set the value first, then the type.
  v->decVal.scale = scale;
  v->decVal.sign = negative ? 0x80 : 0;
  v->decVal.Hi32 = hi;
  v->decVal.Lo64 = lo;
  v->vt = VT_DECIMAL;
}

// An object whose value property (DISPID_VALUE) answers a fixed VARIANT, or
// fails; it counts its references.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(const VARIANT* value) {
    VariantInit(&value_);
    if (value) VariantCopy(&value_, const_cast<VARIANT*>(value));
  }
  ~ValueObject() { VariantClear(&value_); }
  ULONG refs = 1;
  VARIANT value_;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || !result)
      return DISP_E_MEMBERNOTFOUND;
    if (value_.vt == VT_EMPTY) return E_FAIL;  // no value: the property fails
    return VariantCopy(result, &value_);
  }
};

}  // namespace

TEST(WideTypes, SmallAndSixtyFourBitIntegers) {
  Var v, out;
  v.vt = VT_I1, v.cVal = -5;
  EXPECT_EQ(Text(v), "-5");
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, -5);
  EXPECT_EQ(To(v, VT_UI2, &out), DISP_E_OVERFLOW);
  v.vt = VT_UI2, v.uiVal = 65535;
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 65535);
  v.vt = VT_INT, v.intVal = -7;
  EXPECT_EQ(Text(v), "-7");
  v.vt = VT_UINT, v.uintVal = 4000000000u;
  EXPECT_EQ(Text(v), "4000000000");
  v.vt = VT_I4, v.lVal = 3;
  ASSERT_EQ(To(v, VT_I1, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I1);
  ASSERT_EQ(To(v, VT_UINT, &out), S_OK);
  EXPECT_EQ(out.vt, VT_UINT);
  ASSERT_EQ(To(v, VT_INT, &out), S_OK);
  EXPECT_EQ(out.vt, VT_INT);

  // Unsigned 64-bit values beyond the signed range keep every digit.
  v.vt = VT_UI8, v.ullVal = 18446744073709551615ull;
  EXPECT_EQ(Text(v), "18446744073709551615");
  EXPECT_EQ(To(v, VT_I4, &out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(v, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  ASSERT_EQ(To(v, VT_R8, &out), S_OK);
  EXPECT_EQ(out.dblVal, 18446744073709551615.0);
  v.ullVal = 42;
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 42);

  v.vt = VT_I8, v.llVal = 9000000000LL;
  EXPECT_EQ(To(v, VT_I4, &out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(v, VT_UI8, &out), S_OK);
  EXPECT_EQ(out.ullVal, 9000000000ull);
  ASSERT_EQ(To(v, VT_CY, &out), S_OK);
  EXPECT_EQ(out.cyVal.int64, 90000000000000LL);
  v.llVal = INT64_MAX;
  EXPECT_EQ(To(v, VT_CY, &out), DISP_E_OVERFLOW);

  v.vt = VT_R8, v.dblVal = 1e300;
  EXPECT_EQ(To(v, VT_I8, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(v, VT_UI8, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(v, VT_CY, &out), DISP_E_OVERFLOW);
  v.dblVal = 2.5;
  ASSERT_EQ(To(v, VT_I8, &out), S_OK);
  EXPECT_EQ(out.llVal, 2);
  ASSERT_EQ(To(v, VT_UI8, &out), S_OK);
  EXPECT_EQ(out.ullVal, 2u);

  Var s;
  SetText(&s, "9000000000");
  ASSERT_EQ(To(s, VT_I8, &out), S_OK);
  EXPECT_EQ(out.llVal, 9000000000LL);
  ASSERT_EQ(To(s, VT_UI8, &out), S_OK);
  EXPECT_EQ(out.ullVal, 9000000000ull);
}

TEST(WideTypes, CurrencyAndDates) {
  Var v, out;
  // Currency holds four decimal places; whole numbers round half to even.
  v.vt = VT_CY, v.cyVal.int64 = 15000;
  ASSERT_EQ(To(v, VT_I8, &out), S_OK);
  EXPECT_EQ(out.llVal, 2);
  ASSERT_EQ(To(v, VT_R8, &out), S_OK);
  EXPECT_EQ(out.dblVal, 1.5);
  ASSERT_EQ(To(v, VT_DATE, &out), S_OK);
  EXPECT_EQ(out.date, 1.5);
  ASSERT_EQ(To(v, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  v.cyVal.int64 = -25000;
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, -2);
  EXPECT_EQ(To(v, VT_UI1, &out), DISP_E_OVERFLOW);
  v.vt = VT_R8, v.dblVal = 1.00015;
  ASSERT_EQ(To(v, VT_CY, &out), S_OK);
  EXPECT_EQ(out.cyVal.int64, 10002);

  // Dates: days since 1899-12-30; day 0 shows only the time, midnight only
  // the date.
  v.vt = VT_DATE, v.date = 0;
  EXPECT_EQ(Text(v), "12:00:00 AM");
  v.date = 0.25;
  EXPECT_EQ(Text(v), "6:00:00 AM");
  v.date = 2.75;
  EXPECT_EQ(Text(v), "1/1/1900 6:00:00 PM");
  v.date = -1.5;
  EXPECT_EQ(Text(v), "12/29/1899 12:00:00 PM");
  v.date = 36526;
  EXPECT_EQ(Text(v), "1/1/2000");
  v.date = 2.5;
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 2);
  v.vt = VT_R8;
  ASSERT_EQ(To(v, VT_DATE, &out), S_OK);
  EXPECT_EQ(out.date, 2.5);
}

TEST(WideTypes, DecimalsFromDatabaseFields) {
  Var v, out;
  SetDecimal(&v, 2, false, 0, 150);  // 1.50
  EXPECT_EQ(Text(v), "1.5");
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 2);
  ASSERT_EQ(To(v, VT_R8, &out), S_OK);
  EXPECT_EQ(out.dblVal, 1.5);
  ASSERT_EQ(To(v, VT_CY, &out), S_OK);
  EXPECT_EQ(out.cyVal.int64, 15000);
  SetDecimal(&v, 1, false, 0, 25);  // 2.5 and 3.5: half to even
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 2);
  SetDecimal(&v, 1, false, 0, 35);
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 4);
  SetDecimal(&v, 3, false, 0, 2501);  // 2.501: above the half
  ASSERT_EQ(To(v, VT_I2, &out), S_OK);
  EXPECT_EQ(out.iVal, 3);
  SetDecimal(&v, 0, true, 0, 250);
  EXPECT_EQ(Text(v), "-250");
  ASSERT_EQ(To(v, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, -250);
  EXPECT_EQ(To(v, VT_UI1, &out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(v, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  SetDecimal(&v, 4, true, 0, 12000);
  EXPECT_EQ(Text(v), "-1.2");
  SetDecimal(&v, 3, false, 0, 5);
  EXPECT_EQ(Text(v), "0.005");
  SetDecimal(&v, 0, false, 0, 0);
  EXPECT_EQ(Text(v), "0");
  ASSERT_EQ(To(v, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  // All 96 bits: 2^64 + 5 over ten.
  SetDecimal(&v, 1, false, 1, 5);
  EXPECT_EQ(Text(v), "1844674407370955162.1");
  SetDecimal(&v, 0, false, 0, 12345678901234567890ull);
  EXPECT_EQ(Text(v), "12345678901234567890");
  ASSERT_EQ(To(v, VT_UI8, &out), S_OK);
  EXPECT_EQ(out.ullVal, 12345678901234567890ull);
  EXPECT_EQ(To(v, VT_I8, &out), DISP_E_OVERFLOW);
  SetDecimal(&v, 0, false, 7, 0);
  EXPECT_EQ(To(v, VT_UI8, &out), DISP_E_OVERFLOW);
  // By reference, as a script host passes a field's value along.
  Var dec;
  SetDecimal(&dec, 2, false, 0, 1234);
  Var ref;
  ref.vt = VT_BYREF | VT_DECIMAL, ref.pdecVal = &dec.decVal;
  EXPECT_EQ(Text(ref), "12.34");
  ref.vt = VT_EMPTY;
}

TEST(WideTypes, HexadecimalAndOctalText) {
  Var s, out;
  auto i4 = [&](const char* text) {
    VariantClear(&s);
    SetText(&s, text);
    HRESULT hr = To(s, VT_I4, &out);
    return hr == S_OK ? std::to_string(out.lVal) : "error " + std::to_string(hr);
  };
  EXPECT_EQ(i4("&H10"), "16");
  EXPECT_EQ(i4("&O17"), "15");
  EXPECT_EQ(i4("&HFFFF"), "65535");
  EXPECT_EQ(i4("&HFFFFFFFF"), "-1");
  EXPECT_EQ(i4("1,000"), "1000");
  EXPECT_NE(i4("&HZZ").find("error"), std::string::npos);
  // A 16-bit target reads the same digits as a negative number.
  VariantClear(&s);
  SetText(&s, "&HFFFF");
  ASSERT_EQ(To(s, VT_I2, &out), S_OK);
  EXPECT_EQ(out.iVal, -1);
  VariantClear(&s);
  SetText(&s, "&H1FFFFFFFF");
  ASSERT_EQ(To(s, VT_I8, &out), S_OK);
  EXPECT_EQ(out.llVal, 0x1FFFFFFFFLL);
  VariantClear(&s);
  SetText(&s, "1e999");
  EXPECT_EQ(To(s, VT_R8, &out), DISP_E_OVERFLOW);
  VariantClear(&s);
  SetText(&s, "1e");
  EXPECT_EQ(To(s, VT_R8, &out), DISP_E_TYPEMISMATCH);
}

TEST(WideTypes, NullEmptyAndTargetsThatAreRefused) {
  Var v, out;
  v.vt = VT_NULL;
  ASSERT_EQ(To(v, VT_NULL, &out), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
  EXPECT_EQ(To(v, VT_EMPTY, &out), DISP_E_TYPEMISMATCH);
  v.vt = VT_EMPTY;
  ASSERT_EQ(To(v, VT_NULL, &out), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
  EXPECT_EQ(Text(v), "");
  ASSERT_EQ(To(v, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(Text(v, VARIANT_LOCALBOOL), "True");
  v.vt = VT_BSTR, v.bstrVal = nullptr;  // a null string is the empty string
  EXPECT_EQ(Text(v), "");
  EXPECT_EQ(To(v, VT_I4, &out), DISP_E_TYPEMISMATCH);
  v.vt = VT_I4, v.lVal = 3;
  EXPECT_EQ(To(v, VT_ERROR, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(v, VT_DISPATCH, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(v, VT_BYREF | VT_I4, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(v, 0x7FF, &out), DISP_E_BADVARTYPE);
  // Null interfaces stay null.
  v.vt = VT_UNKNOWN, v.punkVal = nullptr;
  EXPECT_EQ(To(v, VT_I4, &out), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(To(v, VT_DISPATCH, &out), S_OK);
  EXPECT_EQ(out.pdispVal, nullptr);
  v.vt = VT_DISPATCH, v.pdispVal = nullptr;
  ASSERT_EQ(To(v, VT_UNKNOWN, &out), S_OK);
  EXPECT_EQ(out.punkVal, nullptr);
  v.vt = VT_EMPTY;
}

TEST(WideTypes, ObjectsConvertThroughTheirValueProperty) {
  Var seven;
  SetI4(&seven, 7);
  ValueObject obj(&seven);
  {
    Var v, out;
    v.vt = VT_DISPATCH, v.pdispVal = &obj;
    obj.AddRef();
    EXPECT_EQ(Text(v), "7");
    ASSERT_EQ(To(v, VT_R8, &out), S_OK);
    EXPECT_EQ(out.dblVal, 7.0);
    EXPECT_EQ(To(v, VT_I4, &out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
    // As an object it stays the same object, one reference more.
    ASSERT_EQ(To(v, VT_UNKNOWN, &out), S_OK);
    EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&obj));
    EXPECT_EQ(obj.refs, 3u);
    VariantClear(&out);
    Var unk;
    unk.vt = VT_UNKNOWN, unk.punkVal = &obj;
    obj.AddRef();
    ASSERT_EQ(To(unk, VT_DISPATCH, &out), S_OK);
    EXPECT_EQ(out.pdispVal, static_cast<IDispatch*>(&obj));
    EXPECT_EQ(To(unk, VT_I4, &out), DISP_E_TYPEMISMATCH);
    // By reference too.
    IDispatch* held = &obj;
    Var ref;
    ref.vt = VT_BYREF | VT_DISPATCH, ref.ppdispVal = &held;
    EXPECT_EQ(Text(ref), "7");
    ref.vt = VT_EMPTY;
  }
  EXPECT_EQ(obj.refs, 1u);

  // An object whose value property fails cannot be converted.
  ValueObject silent(nullptr);
  Var v, out;
  v.vt = VT_DISPATCH, v.pdispVal = &silent;
  silent.AddRef();
  EXPECT_EQ(To(v, VT_BSTR, &out), DISP_E_TYPEMISMATCH);
}

#ifndef _WIN32
// An object whose value is itself loops in the real library; the stand-in
// gives up after a few rounds.
TEST(WideTypes, AnObjectWhoseValueIsItselfIsRefused) {
  ValueObject loop(nullptr);
  loop.value_.vt = VT_DISPATCH, loop.value_.pdispVal = &loop;
  loop.AddRef();
  Var v, out;
  v.vt = VT_DISPATCH, v.pdispVal = &loop;
  loop.AddRef();
  EXPECT_EQ(To(v, VT_I4, &out), DISP_E_TYPEMISMATCH);
  VariantClear(&v);
  VariantClear(&loop.value_);
  EXPECT_EQ(loop.refs, 1u);
}
#endif

// A reference to a VARIANT must hold a value, not another reference: a
// chain (or a variant that refers to itself) is refused, never followed.
TEST(WideTypes, ReferenceChainsAreRefused) {
  Var inner, out;
  SetI4(&inner, 7);
  VARIANT one, two, self;
  one.vt = VT_BYREF | VT_VARIANT, one.pvarVal = &inner;
  two.vt = VT_BYREF | VT_VARIANT, two.pvarVal = &one;
  self.vt = VT_BYREF | VT_VARIANT, self.pvarVal = &self;
  EXPECT_EQ(Text(one), "7");
  EXPECT_EQ(To(two, VT_BSTR, &out), E_INVALIDARG);
  EXPECT_EQ(To(two, VT_I4, &out), E_INVALIDARG);
  EXPECT_EQ(To(self, VT_I4, &out), E_INVALIDARG);
  ASSERT_EQ(VariantCopyInd(&out, &one), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 7);
  EXPECT_EQ(VariantCopyInd(&out, &two), E_INVALIDARG);
  EXPECT_EQ(VariantCopyInd(&out, &self), E_INVALIDARG);
  // A reference to a by-reference number is one level: it is followed.
  LONG five = 5;
  VARIANT refNumber, refVariant;
  refNumber.vt = VT_BYREF | VT_I4, refNumber.plVal = &five;
  refVariant.vt = VT_BYREF | VT_VARIANT, refVariant.pvarVal = &refNumber;
  EXPECT_EQ(Text(refVariant), "5");
  ASSERT_EQ(VariantCopyInd(&out, &refVariant), S_OK);
  EXPECT_EQ(out.lVal, 5);
  // In place, the reference is replaced by the value.
  VARIANT inPlace = one;
  ASSERT_EQ(VariantCopyInd(&inPlace, &inPlace), S_OK);
  EXPECT_EQ(inPlace.vt, VT_I4);
  EXPECT_EQ(inPlace.lVal, 7);
}

// Arrays of objects and of VARIANTs hold a reference per cell: putting,
// getting, copying and destroying keep the object's count exact.
TEST(WideTypes, ArraysOfObjectsHoldTheirReferences) {
  ValueObject obj(nullptr);
  IDispatch* d = &obj;
  SAFEARRAY* a = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
  ASSERT_NE(a, nullptr);
  VARTYPE vt = 0;
  ASSERT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
  EXPECT_EQ(vt, VT_DISPATCH);
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(a, &i, d), S_OK);
  ASSERT_EQ(SafeArrayPutElement(a, &i, d), S_OK);  // the old reference goes
  EXPECT_EQ(obj.refs, 2u);
  IDispatch* got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(a, &i, &got), S_OK);
  EXPECT_EQ(got, d);
  EXPECT_EQ(obj.refs, 3u);
  got->Release();
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
  EXPECT_EQ(obj.refs, 3u);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  EXPECT_EQ(obj.refs, 1u);

  SAFEARRAY* u = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  ASSERT_NE(u, nullptr);
  ASSERT_EQ(SafeArrayGetVartype(u, &vt), S_OK);
  EXPECT_EQ(vt, VT_UNKNOWN);
  ASSERT_EQ(SafeArrayPutElement(u, &i, static_cast<IUnknown*>(d)), S_OK);
  EXPECT_EQ(obj.refs, 2u);
  EXPECT_EQ(SafeArrayDestroy(u), S_OK);
  EXPECT_EQ(obj.refs, 1u);

  SAFEARRAY* vars = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  ASSERT_NE(vars, nullptr);
  VARIANT cell;
  cell.vt = VT_DISPATCH, cell.pdispVal = d;
  ASSERT_EQ(SafeArrayPutElement(vars, &i, &cell), S_OK);
  EXPECT_EQ(obj.refs, 2u);
  ASSERT_EQ(SafeArrayCopy(vars, &copy), S_OK);
  EXPECT_EQ(obj.refs, 3u);
  Var back;
  i = 1;  // the untouched cell is EMPTY in the copy too
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &back), S_OK);
  EXPECT_EQ(back.vt, VT_EMPTY);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(vars), S_OK);
  EXPECT_EQ(obj.refs, 1u);
}

TEST(WideTypes, ArrayCellSizesFollowTheType) {
  struct {
    VARTYPE vt;
    UINT size;
  } const kinds[] = {
      {VT_I2, 2}, {VT_BOOL, 2}, {VT_R8, 8},    {VT_CY, 8},       {VT_DATE, 8},
      {VT_I8, 8}, {VT_UI8, 8},  {VT_ERROR, 4}, {VT_DECIMAL, 16}, {VT_BSTR, sizeof(BSTR)}};
  for (const auto& k : kinds) {
    SAFEARRAY* a = SafeArrayCreateVector(k.vt, 0, 3);
    ASSERT_NE(a, nullptr) << k.vt;
    EXPECT_EQ(SafeArrayGetElemsize(a), k.size) << k.vt;
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  }
  SAFEARRAYBOUND one = {1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &one), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &one), nullptr);
  EXPECT_EQ(SafeArrayGetVartype(nullptr, nullptr), E_INVALIDARG);
#ifndef _WIN32
  // Dimensions whose product of cells does not fit are refused (the 64-bit
  // system library computes the count in 32 bits and cannot be asked this).
  SAFEARRAYBOUND huge[3] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 3, huge), nullptr);
  SAFEARRAYBOUND big[2] = {{0x80000000u, 0}, {0x80000000u, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 2, big), nullptr);
#endif
}
