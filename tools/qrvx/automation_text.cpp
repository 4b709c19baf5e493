#include "automation_text.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstdio>
#include <iostream>

#include "common/AutoHolders.h"
#include "receiver/Acceptors.h"

std::string TakeUtf8(BSTR b) {
  std::string s;
  UINT n = SysStringLen(b);
  if (n) {
    int m = WideCharToMultiByte(CP_UTF8, 0, b, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    s.resize(static_cast<size_t>(m));
    WideCharToMultiByte(CP_UTF8, 0, b, static_cast<int>(n), s.data(), m, nullptr, nullptr);
  }
  SysFreeString(b);
  return s;
}

std::string AnsiToUtf8(const std::string& s) {
  return TakeUtf8(AnsiToBstr(s));
}

namespace {

// True when s is well-formed UTF-8 (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsUtf8(const std::string& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char* end = p + s.size();
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more;
    unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    if (p[1] < lo || p[1] > hi) return false;
    for (int k = 2; k <= more; ++k)
      if (p[k] < 0x80 || p[k] > 0xBF) return false;
    p += more + 1;
  }
  return true;
}

}  // namespace

std::string TakePostedUtf8(BSTR b) {
  std::string bytes = BstrToAnsi(b);
  if (IsUtf8(bytes)) {
    SysFreeString(b);
    return bytes;
  }
  return TakeUtf8(b);
}

namespace {

// Days since 1899-12-30 to a civil date.
std::string DateText(double date) {
  int64_t days = static_cast<int64_t>(std::floor(date));
  int64_t z = days - 25569 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp + (mp < 10 ? 3 : -9);
  int64_t y = yoe + era * 400 + (m <= 2);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d));
  return buf;
}

VARIANT Index(LONG i) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

}  // namespace

// A table cell: the member gives text, numbers, dates, logical values, or
// NULL for an empty field.
nlohmann::ordered_json VariantToJson(const VARIANT& v) {
  switch (v.vt) {
    case VT_BSTR: {
      BSTR copy = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
      return TakeUtf8(copy);
    }
    case VT_BOOL: return v.boolVal != 0;
    case VT_DATE: return DateText(v.date);
    case VT_R8: return v.dblVal;
    default: return nullptr;
  }
}

nlohmann::ordered_json TablesAsJson(IAcceptor& acc) {
  nlohmann::ordered_json tables = nlohmann::ordered_json::array();
  LONG count = 0;
  acc.DBFCount(&count);
  for (LONG t = 0; t < count; ++t) {
    BSTR name, field;
    acc.DBFName(Index(t), &name);
    acc.DBFVarName(Index(t), &field);
    nlohmann::ordered_json table = {{"name", TakeUtf8(name)}, {"field", TakeUtf8(field)}};
    LONG cols = 0, rows = 0;
    acc.DBFColCount(Index(t), &cols);
    acc.DBFRowCount(Index(t), &rows);
    nlohmann::ordered_json colNames = nlohmann::ordered_json::array();
    for (LONG c = 0; c < cols; ++c) {
      BSTR col;
      acc.DBFColName(Index(t), Index(c), &col);
      colNames.push_back(TakeUtf8(col));
    }
    nlohmann::ordered_json rowList = nlohmann::ordered_json::array();
    for (LONG r = 0; r < rows; ++r) {
      acc.put_DBFRow(Index(t), r);
      nlohmann::ordered_json row = nlohmann::ordered_json::array();
      for (LONG c = 0; c < cols; ++c) {
        TVariant cell;
        acc.DBF(Index(t), Index(c), cell.Ptr());
        row.push_back(VariantToJson(cell.Get()));
      }
      rowList.push_back(row);
    }
    table["columns"] = colNames;
    table["rows"] = rowList;
    tables.push_back(table);
  }
  return tables;
}

// Read in 64 KB blocks until a block comes back short.
std::string FileDigest(IAcceptor& acc, LONG i) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
  const LONG kBlock = 65536;
  for (LONG pos = 0;; pos += kBlock) {
    TVariant block;
    acc.FileRead(Index(i), pos, kBlock, block.Ptr());
    if (block.Get().vt != (VT_ARRAY | VT_UI1)) break;
    SAFEARRAY* bytes = block.Get().parray;
    LONG hi = -1;
    SafeArrayGetUBound(bytes, 1, &hi);
    void* p;
    SafeArrayAccessData(bytes, &p);
    EVP_DigestUpdate(ctx, p, static_cast<size_t>(hi + 1));
    SafeArrayUnaccessData(bytes);
    if (hi + 1 < kBlock) break;
  }
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(ctx, d, &len);
  EVP_MD_CTX_free(ctx);
  char hex[2 * EVP_MAX_MD_SIZE + 1] = {};
  for (unsigned k = 0; k < len; ++k) std::snprintf(hex + 2 * k, 3, "%02x", d[k]);
  return hex;
}

nlohmann::ordered_json ReceivedAsJson(IAcceptor& acc, TextReader text) {
  nlohmann::ordered_json doc = {{"variables", nlohmann::ordered_json::array()},
                                {"files", nlohmann::ordered_json::array()},
                                {"tables", nlohmann::ordered_json::array()}};
  LONG n = 0;
  acc.VarCount(&n);
  for (LONG i = 0; i < n; ++i) {
    BSTR name, value;
    acc.VarName(Index(i), &name);
    acc.VarValue(Index(i), &value);
    doc["variables"].push_back({{"name", text(name)}, {"value", text(value)}});
  }
  acc.FileCount(&n);
  for (LONG i = 0; i < n; ++i) {
    BSTR name, path, field;
    LONG size = 0;
    acc.FileName(Index(i), &name);
    acc.FilePath(Index(i), &path);
    acc.FileVarName(Index(i), &field);
    acc.FileSize(Index(i), &size);
    doc["files"].push_back({{"name", text(name)},
                            {"path", text(path)},
                            {"field", text(field)},
                            {"size", size},
                            {"sha256", FileDigest(acc, i)}});
  }
  doc["tables"] = TablesAsJson(acc);
  return doc;
}

void PrintReceived(const nlohmann::ordered_json& doc) {
  std::cout << "Variables: " << doc["variables"].size() << "\n";
  for (const auto& v : doc["variables"])
    std::cout << "  " << v["name"].get<std::string>() << " = "
              << nlohmann::ordered_json(v["value"]).dump() << "\n";
  std::cout << "Files: " << doc["files"].size() << "\n";
  for (const auto& f : doc["files"]) {
    std::cout << "  " << f["name"].get<std::string>() << "\n"
              << "    path:   " << f["path"].get<std::string>() << "\n"
              << "    field:  " << f["field"].get<std::string>() << "\n"
              << "    size:   " << f["size"].get<long>() << "\n"
              << "    sha256: " << f["sha256"].get<std::string>() << "\n";
    if (f.contains("saved_to"))
      std::cout << "    saved:  " << f["saved_to"].get<std::string>() << "\n";
  }
  std::cout << "Tables: " << doc["tables"].size() << "\n";
  for (const auto& t : doc["tables"]) {
    std::cout << "  " << t["name"].get<std::string>() << " (field " << t["field"].get<std::string>()
              << "), " << t["rows"].size() << " rows\n";
    std::cout << "    columns: " << t["columns"].dump() << "\n";
    for (const auto& r : t["rows"]) std::cout << "    " << r.dump() << "\n";
  }
}
