// Holders of automation values that free what they hold when their scope
// ends, whether it ends normally or by an exception: a BSTR (SysFreeString)
// and a VARIANT (VariantClear). Neither copies; Release hands the value on.
#pragma once

#include <windows.h>

class TBstr {
 public:
  TBstr() = default;
  explicit TBstr(BSTR b) : FValue(b) {}
  ~TBstr() { SysFreeString(FValue); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;

  BSTR Get() const { return FValue; }
  // For an [out] argument: what was held is freed first.
  BSTR* Out() {
    SysFreeString(FValue);
    FValue = nullptr;
    return &FValue;
  }
  BSTR Release() {
    BSTR b = FValue;
    FValue = nullptr;
    return b;
  }

 private:
  BSTR FValue = nullptr;
};

class TVariant {
 public:
  TVariant() { VariantInit(&FValue); }
  ~TVariant() { VariantClear(&FValue); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;

  VARIANT& Get() { return FValue; }
  const VARIANT& Get() const { return FValue; }
  VARIANT* Ptr() { return &FValue; }

 private:
  VARIANT FValue;
};
