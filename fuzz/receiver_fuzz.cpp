// Arbitrary bytes as a posted body, with both switches on, then every member
// that reads what was received. The first byte chooses how the body is passed
// (byte array or string) and is not part of it.
#include <windows.h>

#include <oleauto.h>

#include <cstdint>
#include <cstring>

#include "receiver/Acceptors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool asString = data[0] & 1;
  ++data;
  --size;
  TAcceptor acc;
  acc.put_ProcessZIP(VARIANT_TRUE);
  acc.put_ProcessDBF(VARIANT_TRUE);
  VARIANT body;
  VariantInit(&body);
  if (asString) {
    body.vt = VT_BSTR;
    body.bstrVal = AnsiToBstr(std::string_view(reinterpret_cast<const char*>(data), size));
  } else {
    body.vt = VT_ARRAY | VT_UI1;
    body.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
    if (size) std::memcpy(body.parray->pvData, data, size);
  }
  acc.ProcessRequest(body);
  VariantClear(&body);

  VARIANT id;
  id.vt = VT_I4;
  LONG n = 0;
  acc.VarCount(&n);
  for (LONG i = 0; i < n; ++i) {
    id.lVal = i;
    BSTR b;
    acc.VarName(id, &b);
    // Look the name up again, as text.
    VARIANT byName;
    byName.vt = VT_BSTR;
    byName.bstrVal = b;
    BSTR v;
    acc.VarValue(byName, &v);
    SysFreeString(v);
    SysFreeString(b);
  }
  acc.FileCount(&n);
  for (LONG i = 0; i < n; ++i) {
    id.lVal = i;
    LONG size32 = 0;
    acc.FileSize(id, &size32);
    VARIANT block;
    acc.FileRead(id, 0, 4096, &block);
    VariantClear(&block);
    BSTR t;
    acc.FileReadText(id, size32 / 2, 64, &t);
    SysFreeString(t);
  }
  acc.DBFCount(&n);
  for (LONG t = 0; t < n; ++t) {
    id.lVal = t;
    LONG rows = 0, cols = 0;
    acc.DBFRowCount(id, &rows);
    acc.DBFColCount(id, &cols);
    for (LONG r = 0; r < rows && r < 64; ++r) {
      acc.put_DBFRow(id, r);
      for (LONG c = 0; c < cols; ++c) {
        VARIANT col, cell;
        col.vt = VT_I4;
        col.lVal = c;
        acc.DBF(id, col, &cell);
        VariantClear(&cell);
      }
    }
  }
  return 0;
}
