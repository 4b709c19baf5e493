// ITypeInfo::Invoke's argument coercion, called directly over the type
// information of IAcceptor with a stand-in object: natively the platform
// layer's, under Wine the real automation library's. The expectations are
// those both give.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "receiver/IAcceptor.h"
#include "support/Automation.h"
#include "tests/server/Recorder.h"

namespace {

class Invoke : public ::testing::Test {
 protected:
  void SetUp() override {
    Info = AcceptorTypeInfo(QRVX_LIBRARY);
    ASSERT_NE(Info, nullptr) << QRVX_LIBRARY;
  }
  void TearDown() override {
    if (Info) Info->Release();
  }

  // Calls member id with the arguments in the order a script writes them.
  HRESULT Call(DISPID id, WORD flags, std::initializer_list<VARIANT*> args) {
    std::vector<VARIANT> reversed(args.size());
    size_t k = args.size();
    for (VARIANT* a : args) reversed[--k] = *a;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    DISPID put = DISPID_PROPERTYPUT;
    if (flags == DISPATCH_PROPERTYPUT) params.rgdispidNamedArgs = &put, params.cNamedArgs = 1;
    Var result;
    EXCEPINFO excep{};
    R.Called.clear();
    return Info->Invoke(static_cast<IAcceptor*>(&R), id, flags, &params, &result, &excep, &ArgErr);
  }

  ITypeInfo* Info = nullptr;
  TRecorder R;
  UINT ArgErr = 0;
};

// An argument of type vt with value n (VT_BOOL: n != 0).
VARIANT Arg(VARTYPE vt, double n) {
  VARIANT v, r8;
  VariantInit(&v);
  r8.vt = VT_R8;
  r8.dblVal = n;
  EXPECT_EQ(VariantChangeType(&v, &r8, 0, vt), S_OK);
  return v;
}

// Long parameters take numbers of any width, rounded half to even, numeric
// text, booleans and references to any of them.
TEST_F(Invoke, LongParametersCoerceNumbersTextAndReferences) {
  Var text;
  SetText(&text, "12");
  VARIANT id = Arg(VT_I4, 0), start = Arg(VT_I2, 7), half = Arg(VT_R8, 2.5), odd = Arg(VT_R8, 3.5),
          t = Arg(VT_BOOL, 1);
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &start, &half}), S_OK);
  EXPECT_EQ(R.Called, "FileRead");
  EXPECT_EQ(R.Longs, (std::vector<LONG>{7, 2}));
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &text, &odd}), S_OK);
  EXPECT_EQ(R.Longs, (std::vector<LONG>{12, 4}));
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &t, &id}), S_OK);
  EXPECT_EQ(R.Longs, (std::vector<LONG>{-1, 0}));

  // A script's variable arrives as a reference to a VARIANT, a typed
  // variable's as a reference to its value.
  LONG nine = 9;
  VARIANT byLong;
  byLong.vt = VT_BYREF | VT_I4;
  byLong.plVal = &nine;
  VARIANT counter = Arg(VT_I2, 5), byVariant;
  byVariant.vt = VT_BYREF | VT_VARIANT;
  byVariant.pvarVal = &counter;
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &byLong, &byVariant}), S_OK);
  EXPECT_EQ(R.Longs, (std::vector<LONG>{9, 5}));
  // The property put's value, named DISPID_PROPERTYPUT.
  EXPECT_EQ(Call(DISPID_DBFRow, DISPATCH_PROPERTYPUT, {&id, &text}), S_OK);
  EXPECT_EQ(R.Called, "put_DBFRow");
  EXPECT_EQ(R.Longs, (std::vector<LONG>{12}));
}

// What cannot become the parameter's type is refused before the method runs.
// (Windows also names the argument through puArgErr; Wine leaves it.)
TEST_F(Invoke, RefusalsNameTheArgumentAndSkipTheMethod) {
  Var word;
  SetText(&word, "four");
  VARIANT id = Arg(VT_I4, 0), one = Arg(VT_I4, 1), big = Arg(VT_R8, 3e9);
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &word, &one}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(R.Called, "");
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &one, &word}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &big, &one}), DISP_E_OVERFLOW);
  EXPECT_EQ(R.Called, "");
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &one}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&id, &one, &one, &one}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(R.Called, "");
  EXPECT_EQ(Call(15, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
}

// Text and boolean parameters take numbers; VARIANT parameters take the
// argument as it is, a reference included.
TEST_F(Invoke, TextBooleanAndVariantParameters) {
  VARIANT id = Arg(VT_I4, 0), n = Arg(VT_I4, 42), five = Arg(VT_I4, 5), zero = Arg(VT_I4, 0);
  EXPECT_EQ(Call(DISPID_FileSaveTo, DISPATCH_METHOD, {&id, &n}), S_OK);
  EXPECT_EQ(R.Called, "FileSaveTo");
  EXPECT_EQ(R.Text, "42");
  VARIANT neg = Arg(VT_I2, -7);
  EXPECT_EQ(Call(DISPID_FileSaveTo, DISPATCH_METHOD, {&id, &neg}), S_OK);
  EXPECT_EQ(R.Text, "-7");

  EXPECT_EQ(Call(DISPID_ProcessZIP, DISPATCH_PROPERTYPUT, {&five}), S_OK);
  EXPECT_EQ(R.Called, "put_ProcessZIP");
  EXPECT_EQ(R.Bool, VARIANT_TRUE);
  EXPECT_EQ(Call(DISPID_ProcessZIP, DISPATCH_PROPERTYPUT, {&zero}), S_OK);
  EXPECT_EQ(R.Bool, VARIANT_FALSE);

  Var text;
  SetText(&text, "a.txt");
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&text, &zero, &zero}), S_OK);
  EXPECT_EQ(R.FirstType, VT_BSTR);
  VARIANT counter = Arg(VT_I2, 3), byVariant;
  byVariant.vt = VT_BYREF | VT_VARIANT;
  byVariant.pvarVal = &counter;
  EXPECT_EQ(Call(DISPID_FileRead, DISPATCH_METHOD, {&byVariant, &zero, &zero}), S_OK);
  EXPECT_EQ(R.FirstType, VT_BYREF | VT_VARIANT);
}

}  // namespace
