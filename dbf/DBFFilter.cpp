// The record filter: "name operator value" with one of =, >, >=, <, <=.
//
// Parsing notes: the first ">" anywhere in the text (also inside the value)
// is the operator, else the first "<"; either followed by "=" makes the
// two-character form. Without either, the first "=" is the operator; without
// any operator every record passes. "<>" therefore leaves a name ending in
// "<", which names no column, and every record passes. The name is trimmed
// and looked up among the definitions ignoring case; the value is trimmed,
// and a value beginning with a quote loses its first and last character.
#include "dbf/DBF.h"
#include "dbf/DBFConvert.h"

enum TFilterOp { foEqual, foGreater, foGreaterEqual, foLess, foLessEqual };

namespace {

template <class T>
bool Compare(const T& a, const T& b, int op) {
  switch (op) {
    case foEqual: return a == b;
    case foGreater: return a > b;
    case foGreaterEqual: return a >= b;
    case foLess: return a < b;
    case foLessEqual: return a <= b;
  }
  return true;
}

}  // namespace

void TDBF::SetFilter(const std::string& text) {
  FFilter = text;
  FFilterExpr.reset();
  if (Active() && FFiltered) First();
}

void TDBF::SetFiltered(bool on) {
  if (FFiltered == on) return;
  FFiltered = on;
  if (Active()) First();
}

bool TDBF::AcceptFiltered(const TRecordBuffer& buf) const {
  if (!FFilterExpr) {
    auto e = std::make_unique<TFilterExpr>();
    const std::string& t = FFilter;
    size_t op = t.find('>');
    if (op == std::string::npos) op = t.find('<');
    size_t valueStart = std::string::npos;
    if (op != std::string::npos && op + 1 < t.size() && t[op + 1] == '=') valueStart = op + 2;
    if (op == std::string::npos) op = t.find('=');
    if (op != std::string::npos) {
      if (valueStart == std::string::npos) valueStart = op + 1;
      int column = FFieldDefs.IndexOf(std::string(DBFTrim(std::string_view(t).substr(0, op))));
      if (column >= 0) {
        std::string value(DBFTrim(std::string_view(t).substr(valueStart)));
        if (!value.empty() && (value[0] == '"' || value[0] == '\''))
          value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string();
        bool two = valueStart == op + 2;
        e->AcceptAll = false;
        e->Column = column;
        e->Kind = FFieldDefs[column].DataType;
        e->Op = t[op] == '='   ? foEqual
                : t[op] == '>' ? (two ? foGreaterEqual : foGreater)
                               : (two ? foLessEqual : foLess);
        e->Value = std::move(value);
      }
    }
    FFilterExpr = std::move(e);
  }
  const TFilterExpr& e = *FFilterExpr;
  if (e.AcceptAll) return true;
  try {
    TDBFValue v;
    switch (e.Kind) {
      case ftString: {
        bool has = ReadColumn(buf, e.Column, ftString, &v);
        std::string s = has ? std::string(DBFTrim(v.Str)) : std::string();
        return Compare(s, e.Value, e.Op);
      }
      case ftFloat: {
        double want = 0;
        if (!DBFTextToFloat(e.Value, FFormat.DecimalSeparator, want)) want = 0;
        if (!ReadColumn(buf, e.Column, ftFloat, &v)) return e.Value.empty();
        return Compare(v.Num, want, e.Op);
      }
      case ftDate: {
        if (!ReadColumn(buf, e.Column, ftDate, &v)) return e.Value.empty();
        return Compare(DBFDateToYYYYMMDD(v.Num), e.Value, e.Op);
      }
      default: return true;
    }
  } catch (...) {
    return true;  // an error while evaluating leaves the record accepted
  }
}
