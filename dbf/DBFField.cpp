// Column definitions and value fields of a TDBF.
#include <algorithm>

#include "common/FoldLower.h"
#include "dbf/DBF.h"
#include "dbf/DBFConvert.h"

int TFieldDefs::IndexOf(const std::string& name) const {
  std::string folded = FoldLower(name);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FoldLower(FItems[i].Name) == folded) return static_cast<int>(i);
  return -1;
}

const TFieldDef* TFieldDefs::Find(const std::string& name) const {
  int i = IndexOf(name);
  return i < 0 ? nullptr : &FItems[i];
}

TField* TFields::FindField(const std::string& name) const {
  std::string folded = FoldLower(name);
  for (const auto& f : FItems)
    if (FoldLower(f->FieldName()) == folded) return f.get();
  return nullptr;
}

TField* TFields::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError(Format("Field '%s' not found", name.c_str()));
  return f;
}

TField::TField(TDBF* dataSet, const TFieldDef& def, int index)
    : Transliterate(def.DataType != ftBlob),
      FDataSet(dataSet),
      FFieldName(def.Name),
      FDataType(def.DataType),
      FFieldNo(def.FieldNo),
      FSize(def.Size),
      FIndex(index) {}

// ---- reading ----------------------------------------------------------------------

bool TField::IsNull() const {
  if (IsBlob()) return Value().Str.empty();
  return !FDataSet->GetFieldData(*this, nullptr);
}

namespace {

// All bytes of a memo value, through a blob stream.
[[gnu::noinline]] TDBFValue BlobValue(const TField& field) {
  std::unique_ptr<TStream> s =
      field.DataSet()->CreateBlobStream(const_cast<TField&>(field), bmRead);
  std::string bytes;
  char chunk[8192];
  for (int32_t n; (n = s->Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, n);
  return TDBFValue::String(std::move(bytes));
}

}  // namespace

// Built where the caller receives it: a walk reads every value of every
// record this way.
TDBFValue TField::Value() const {
  TDBFValue v;
  if (IsBlob())
    v = BlobValue(*this);
  else if (!FDataSet->GetFieldData(*this, &v))
    v = TDBFValue::Null();
  return v;
}

std::string TField::AsString() const {
  TDBFValue v = Value();
  if (v.IsNull()) return std::string();
  return TextOf(v);
}

std::string TField::DisplayText() const {
  if (FDataType == ftFloat && !DisplayFormat.empty()) {
    TDBFValue v = Value();
    if (v.IsNull()) return std::string();
    std::string s = DBFFloatToFixed(v.Num, static_cast<int>(DisplayFormat.size()) - 2);
    if (size_t p = s.find('.'); p != std::string::npos)
      s[p] = FDataSet->FormatSettings().DecimalSeparator;
    return s;
  }
  return AsString();
}

double TField::AsFloat() const {
  TDBFValue v = Value();
  return v.IsNull() ? 0 : NumberOf(v);
}

DATE TField::AsDateTime() const {
  TDBFValue v = Value();
  return v.IsNull() ? 0 : DateOf(v);
}

bool TField::AsBoolean() const {
  TDBFValue v = Value();
  return v.IsNull() ? false : BoolOf(v);
}

// ---- conversions -----------------------------------------------------------------

std::string TField::TextOf(const TDBFValue& v) const {
  const TDBFFormatSettings& fs = FDataSet->FormatSettings();
  switch (v.vt) {
    case varString: return v.Str;
    case VT_R8: return DBFFloatToStr(v.Num, fs.DecimalSeparator);
    case VT_DATE: return DBFFormatDate(v.Num, fs.ShortDateFormat, fs.DateSeparator);
    case VT_BOOL: return v.Bool ? "True" : "False";
    default: return std::string();
  }
}

double TField::NumberOf(const TDBFValue& v) const {
  switch (v.vt) {
    case VT_R8:
    case VT_DATE: return v.Num;
    case VT_BOOL: return v.Bool ? -1 : 0;
    case varString: {
      double d;
      if (!DBFTextToFloat(v.Str, FDataSet->FormatSettings().DecimalSeparator, d))
        throw EConvertError(Format("'%s' is not a valid floating point value", v.Str.c_str()));
      return d;
    }
    default: return 0;
  }
}

DATE TField::DateOf(const TDBFValue& v) const {
  switch (v.vt) {
    case VT_R8:
    case VT_DATE: return v.Num;
    case varString: {
      DATE d;
      if (!DBFScanDate(v.Str, FDataSet->FormatSettings(), d))
        throw EConvertError(Format("'%s' is not a valid date", v.Str.c_str()));
      return d;
    }
    default: throw EConvertError("Invalid variant type conversion");
  }
}

bool TField::BoolOf(const TDBFValue& v) const {
  switch (v.vt) {
    case VT_BOOL: return v.Bool;
    case VT_R8: return v.Num != 0;
    case varString: {
      std::string t = FoldLower(DBFTrim(v.Str));
      if (t == "true" || t == "t" || t == "yes" || t == "y") return true;
      if (t == "false" || t == "f" || t == "no" || t == "n") return false;
      throw EConvertError(Format("'%s' is not a valid boolean value", v.Str.c_str()));
    }
    default: throw EConvertError("Invalid variant type conversion");
  }
}

// ---- writing ----------------------------------------------------------------------

void TField::SetValue(const TDBFValue& value) {
  TDataSetState st = FDataSet->State();
  if (st != dsEdit && st != dsInsert) throw EDatabaseError("Dataset not in edit or insert mode");
  if (IsBlob()) {
    std::string bytes = value.IsNull() ? std::string() : TextOf(value);
    std::unique_ptr<TStream> s = FDataSet->CreateBlobStream(*this, bmWrite);
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    return;
  }
  // Convert first, so that a value of the wrong kind changes nothing.
  switch (FDataType) {
    case ftFloat: {
      TDBFValue v = value.IsNull() ? value : TDBFValue::Float(NumberOf(value));
      FDataSet->SetFieldData(*this, &v);
      return;
    }
    case ftDate: {
      TDBFValue v = value.IsNull() ? value : TDBFValue::Date(DateOf(value));
      FDataSet->SetFieldData(*this, &v);
      return;
    }
    case ftBoolean: {
      TDBFValue v = value.IsNull() ? value : TDBFValue::Boolean(BoolOf(value));
      FDataSet->SetFieldData(*this, &v);
      return;
    }
    default: FDataSet->SetFieldData(*this, &value); return;
  }
}

void TField::SetAsString(const std::string& s) {
  if (s.empty() && FDataType != ftString && !IsBlob()) {
    Clear();
    return;
  }
  SetValue(TDBFValue::String(s));
}
