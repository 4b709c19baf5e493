// Archive and table intake, and the table members. Archives are not unpacked
// and tables are not opened yet: the switches are kept, no table is listed,
// and the members that read a table's columns and cells give their empty
// results.
#include "receiver/Acceptors.h"

namespace {

template <class Body>
HRESULT SafeCall(Body body) {
  try {
    body();
    return S_OK;
  } catch (const std::exception& e) {
    return HandleSafeCallException(&e);
  } catch (...) {
    return HandleSafeCallException(nullptr);
  }
}

}  // namespace

void TAcceptor::ExpandArchive(TMemoryStream&, const std::string&) {}

void TAcceptor::AddTable(const std::string&, const std::string&, TMemoryStream&) {}

HRESULT TAcceptor::DBFCount(LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = static_cast<LONG>(FDBFs.size());
  return S_OK;
}

HRESULT TAcceptor::DBFName(VARIANT DBFID, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    *Value = AnsiToBstr(i < 0 ? std::string_view() : std::string_view(FDBFs[i].Name));
  });
}

HRESULT TAcceptor::DBFVarName(VARIANT DBFID, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    *Value = AnsiToBstr(i < 0 ? std::string_view() : std::string_view(FDBFs[i].VarName));
  });
}

HRESULT TAcceptor::DBFColCount(VARIANT, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = 0;
  return S_OK;
}

HRESULT TAcceptor::DBFRowCount(VARIANT DBFID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = 0;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i >= 0) *Value = static_cast<LONG>(FDBFs[i].RecNos.size());
  });
}

HRESULT TAcceptor::DBFColName(VARIANT, VARIANT, BSTR* Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return SafeCall([&] { *Value = AnsiToBstr(std::string_view()); });
}

HRESULT TAcceptor::DBF(VARIANT, VARIANT, VARIANT* Value) {
  if (!Value) return E_POINTER;
  VariantInit(Value);
  Value->vt = VT_I4;
  Value->lVal = 0;
  return S_OK;
}

HRESULT TAcceptor::get_DBFRow(VARIANT DBFID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = -1;
  return SafeCall([&] {
    int i = FindDBF(DBFID);
    if (i >= 0) *Value = FDBFs[i].Row;
  });
}

HRESULT TAcceptor::put_DBFRow(VARIANT, LONG) {
  return S_OK;
}
