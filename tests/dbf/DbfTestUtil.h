// Helpers of the table tests: real tables from tests/data/dbf, tables built
// byte by byte, and a table opened read-only over bytes in memory as the
// receiver opens uploads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/DBF.h"
#include "support/Data.h"

struct Column {
  std::string name;
  char type;
  int length;
  int decimals = 0;
};

// A dBase III table: header, descriptors, 0x0D, then the records as given
// (each the full record, deletion flag first). count < 0: the number of
// records given.
inline std::string MakeTable(const std::vector<Column>& cols, const std::vector<std::string>& recs,
                             uint8_t language = 0x57, int32_t count = -1) {
  std::string t(32, '\0');
  int h = 32 + 32 * static_cast<int>(cols.size()) + 1;
  int r = 1;
  for (const Column& c : cols) r += c.length;
  if (count < 0) count = static_cast<int32_t>(recs.size());
  t[0] = 0x03;
  t[1] = 99, t[2] = 1, t[3] = 1;
  for (int i = 0; i < 4; ++i) t[4 + i] = static_cast<char>(uint32_t(count) >> (8 * i));
  t[8] = char(h), t[9] = char(h >> 8), t[10] = char(r), t[11] = char(r >> 8);
  t[29] = static_cast<char>(language);
  for (const Column& c : cols) {
    std::string d(32, '\0');
    d.replace(0, c.name.size(), c.name);
    d[11] = c.type;
    d[16] = static_cast<char>(c.length);
    d[17] = static_cast<char>(c.decimals);
    t += d;
  }
  t += '\x0D';
  for (const std::string& rec : recs) t += rec;
  return t;
}

// A table opened read-only over its own copy of bytes, the receiver's way.
struct MemTable {
  explicit MemTable(const std::string& bytes, TStream* memo = nullptr) {
    data.Assign(bytes.data(), static_cast<int64_t>(bytes.size()));
    table.AssignStreams(&data, memo, true);
    table.SetReadOnly(true);
    table.Open();
  }
  // RecNo of every record a walk from the first visits.
  std::vector<int> Walk() {
    std::vector<int> recnos;
    for (table.First(); !table.Eof(); table.Next()) recnos.push_back(table.RecNo());
    return recnos;
  }
  TMemoryStream data;
  TDBF table;
};

inline std::string Str(const TDBFValue& v) {
  return v.vt == varString ? v.Str : "<not text>";
}

// s without bytes up to 0x20 at both ends.
inline std::string TrimCtl(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<uint8_t>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<uint8_t>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}
