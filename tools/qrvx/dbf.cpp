// qrvx dbf [--json] [--filter EXPR] TABLE: opens a dBase table read-only by
// file name (its memo file found next to it), walks its live records and
// prints the columns, the record count and each record's number and values.
#include <windows.h>

#include "dbf/DBF.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "commands.h"

namespace {

// ANSI code page text to UTF-8.
std::string AnsiToUtf8(const std::string& s) {
  if (s.empty()) return s;
  int n = static_cast<int>(s.size());
  std::u16string wide(MultiByteToWideChar(CP_ACP, 0, s.data(), n, nullptr, 0), u'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), n, wide.data(), static_cast<int>(wide.size()));
  int m = static_cast<int>(wide.size());
  std::string out(WideCharToMultiByte(CP_UTF8, 0, wide.data(), m, nullptr, 0, nullptr, nullptr),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), m, out.data(), static_cast<int>(out.size()), nullptr,
                      nullptr);
  return out;
}

std::string IsoDate(DATE d) {
  int y, m, day;
  DBFDecodeDate(d, y, m, day);
  return Format("%04d-%02d-%02d", y, m, day);
}

nlohmann::ordered_json ToJson(const TDBFValue& v) {
  switch (v.vt) {
    case varString: return AnsiToUtf8(v.Str);
    case VT_R8: return v.Num;
    case VT_DATE: return IsoDate(v.Num);
    case VT_BOOL: return v.Bool;
    default: return nullptr;
  }
}

std::string ToText(const TDBFValue& v) {
  switch (v.vt) {
    case varString: return AnsiToUtf8(v.Str);
    case VT_R8: return nlohmann::ordered_json(v.Num).dump();
    case VT_DATE: return IsoDate(v.Num);
    case VT_BOOL: return v.Bool ? "true" : "false";
    default: return "null";
  }
}

int RunDbf(const std::string& table, bool json, const std::string* filter) {
  TDBF t;
  t.TableName = table;
  t.SetReadOnly(true);
  if (filter) {
    t.SetFilter(*filter);
    t.SetFiltered(true);
  }
  t.Open();
  const TFieldDefs& defs = t.FieldDefs();
  nlohmann::ordered_json out;
  out["columns"] = nlohmann::ordered_json::array();
  for (int i = 0; i < defs.Count(); ++i) {
    char type[2] = {t.ColumnType(i), 0};
    out["columns"].push_back({{"name", AnsiToUtf8(defs[i].Name)},
                              {"type", AnsiToUtf8(type)},
                              {"length", t.ColumnLength(i)},
                              {"decimals", t.ColumnDecimals(i)}});
  }
  out["record_count"] = t.RecordCount();
  if (!json) {
    std::cout << "columns: " << defs.Count() << "\n";
    for (const auto& c : out["columns"])
      std::cout << "  " << c["name"].get<std::string>() << "\t" << c["type"].get<std::string>()
                << "\t" << c["length"] << "\t" << c["decimals"] << "\n";
    std::cout << "record_count: " << t.RecordCount() << "\n";
  }
  out["rows"] = nlohmann::ordered_json::array();
  for (t.First(); !t.Eof(); t.Next()) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    std::string line = Format("%d", t.RecNo());
    for (int i = 0; i < defs.Count(); ++i) {
      TDBFValue v;
      if (TField* f = t.FieldOfDef(i)) {
        try {
          v = f->Value();
        } catch (const Exception& e) {
          std::fprintf(stderr, "record %d, column %s: %s\n", t.RecNo(), defs[i].Name.c_str(),
                       e.what());
        }
      }
      if (json)
        values.push_back(ToJson(v));
      else
        line += "\t" + ToText(v);
    }
    if (json)
      out["rows"].push_back({{"recno", t.RecNo()}, {"values", std::move(values)}});
    else
      std::cout << line << "\n";
  }
  if (json)
    std::cout << out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  return 0;
}

}  // namespace

void AddDbfCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("dbf", "Print the columns and live records of a dBase table");
  struct Options {
    std::string table, filter;
    bool json = false;
  };
  auto opt = std::make_shared<Options>();
  cmd->add_flag("--json", opt->json, "Print JSON");
  auto* filterOpt =
      cmd->add_option("--filter", opt->filter, "Filter text: NAME=value, AGE>=30, ...");
  cmd->add_option("TABLE", opt->table, "Table file (.dbf)")->required();
  cmd->callback([opt, filterOpt] {
    int rc;
    try {
      rc = RunDbf(opt->table, opt->json, filterOpt->count() ? &opt->filter : nullptr);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qrvx dbf: %s\n", e.what());
      rc = 1;
    }
    if (rc) throw CLI::RuntimeError(rc);
  });
}
