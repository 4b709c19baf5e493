// A field value as an automation VARIANT. Kept apart from the table so that
// a program reading tables without automation does not need oleaut32.
#include <windows.h>

#include "dbf/DBF.h"

HRESULT DBFValueToVariant(const TDBFValue& value, VARIANT* dest) {
  if (!dest) return E_POINTER;
  VariantInit(dest);
  switch (value.vt) {
    case varString: {
      int n = static_cast<int>(value.Str.size());
      int wide = n ? MultiByteToWideChar(CP_ACP, 0, value.Str.data(), n, nullptr, 0) : 0;
      BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
      if (!b) return E_OUTOFMEMORY;
      if (wide) MultiByteToWideChar(CP_ACP, 0, value.Str.data(), n, b, wide);
      dest->vt = VT_BSTR;
      dest->bstrVal = b;
      return S_OK;
    }
    case VT_R8:
      dest->vt = VT_R8;
      dest->dblVal = value.Num;
      return S_OK;
    case VT_DATE:
      dest->vt = VT_DATE;
      dest->date = value.Num;
      return S_OK;
    case VT_BOOL:
      dest->vt = VT_BOOL;
      dest->boolVal = value.Bool ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    default: dest->vt = VT_NULL; return S_OK;
  }
}
