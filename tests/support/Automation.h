// Test helpers for calling automation members: owning VARIANTs and strings.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "Data.h"

// A VARIANT that clears itself.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
  Var& operator=(const Var&) = delete;
};

inline BSTR AnsiBstr(std::string_view s) {
  if (s.empty()) return SysAllocStringLen(nullptr, 0);
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, n);
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), b, n);
  return b;
}

// The text of b in the ANSI code page, b left alone.
inline std::string AnsiOf(BSTR b) {
  std::string s;
  UINT n = SysStringLen(b);
  if (n) {
    int m = WideCharToMultiByte(CP_ACP, 0, b, n, nullptr, 0, nullptr, nullptr);
    s.resize(m);
    WideCharToMultiByte(CP_ACP, 0, b, n, s.data(), m, nullptr, nullptr);
  }
  return s;
}

// Takes ownership of b and gives its text in the ANSI code page.
inline std::string TakeAnsi(BSTR b) {
  std::string s = AnsiOf(b);
  SysFreeString(b);
  return s;
}

inline void SetBytes(VARIANT* v, std::string_view bytes) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* p;
  SafeArrayAccessData(psa, &p);
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  SafeArrayUnaccessData(psa);
  v->vt = VT_ARRAY | VT_UI1;
  v->parray = psa;
}

inline void SetText(VARIANT* v, std::string_view ansi) {
  v->vt = VT_BSTR;
  v->bstrVal = AnsiBstr(ansi);
}

inline void SetI4(VARIANT* v, LONG n) {
  v->vt = VT_I4;
  v->lVal = n;
}

// The bytes of a byte-array VARIANT.
inline std::string ArrayBytes(const VARIANT& v) {
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(v.parray, 1, &lo);
  SafeArrayGetUBound(v.parray, 1, &hi);
  void* p;
  SafeArrayAccessData(v.parray, &p);
  std::string s(static_cast<const char*>(p), static_cast<size_t>(hi - lo + 1));
  SafeArrayUnaccessData(v.parray);
  return s;
}
