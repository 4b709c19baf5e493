// Real tables: column definitions, record counts, the live-record walk and
// values, against upstream's expectations and against python3-dbfread.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "DbfTestUtil.h"
#include "support/Process.h"

namespace {

DATE Ymd(int y, int m, int d) {
  DATE v = 0;
  DBFEncodeDate(y, m, d, v);
  return v;
}

TEST(DbfCorpus, PeopleWalkSkipsTheDeletedRecord) {
  MemTable m(ReadWholeFile(DataPath("dbf/people.dbf")));
  TDBF& t = m.table;
  EXPECT_EQ(t.RecordCount(), 3);
  ASSERT_EQ(t.FieldDefs().Count(), 2);
  EXPECT_EQ(t.FieldDefs()[0].Name, "NAME");
  EXPECT_EQ(t.FieldDefs()[0].DataType, ftString);
  EXPECT_EQ(t.FieldDefs()[0].Size, 16);
  EXPECT_EQ(t.FieldDefs()[1].DataType, ftDate);
  EXPECT_EQ(t.FieldDefs()[1].Size, 0);
  EXPECT_EQ(t.FieldDefs()[1].FieldNo, 2);
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 2}));
  t.SetRecNo(2);
  EXPECT_EQ(Str(t.Fields()[0]->Value()), "Bob");
  TDBFValue born = t.Fields()[1]->Value();
  EXPECT_EQ(born.vt, VT_DATE);
  EXPECT_EQ(born.Num, Ymd(1980, 11, 12));
}

TEST(DbfCorpus, Dbase83MatchesUpstreamRecord0) {
  MemTable m(ReadWholeFile(DataPath("dbf/dbase_83.dbf")));
  TDBF& t = m.table;
  EXPECT_EQ(t.RecordCount(), 67);
  EXPECT_EQ(m.Walk().size(), 67u);
  t.First();
  EXPECT_EQ(t.FieldByName("ID")->Value().Num, 87);
  EXPECT_EQ(Str(t.FieldByName("name")->Value()), "Assorted Petits Fours");
  EXPECT_DOUBLE_EQ(t.FieldByName("WEIGHT")->Value().Num, 5.51);
  EXPECT_TRUE(t.FieldByName("TAXABLE")->Value().Bool);
  EXPECT_TRUE(t.FieldByName("ACTIVE")->Value().Bool);
  // No memo stream, as the receiver opens tables: the memo is an empty
  // string, never Null.
  TDBFValue desc = t.FieldByName("DESC")->Value();
  EXPECT_EQ(desc.vt, varString);
  EXPECT_EQ(desc.Str, "");
}

TEST(DbfCorpus, Dbase8bValuesAndDisplayFormats) {
  MemTable m(ReadWholeFile(DataPath("dbf/dbase_8b.dbf")));
  TDBF& t = m.table;
  EXPECT_EQ(t.RecordCount(), 10);
  std::vector<std::string> names;
  std::vector<bool> hasDate;
  for (t.First(); !t.Eof(); t.Next()) {
    names.push_back(t.FieldByName("CHARACTER")->AsString());
    hasDate.push_back(!t.FieldByName("DATE")->IsNull());
  }
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[0], "One");
  EXPECT_EQ(names[9], "Ten records stored in this database");
  EXPECT_EQ(hasDate,
            (std::vector<bool>{true, true, true, true, true, true, true, true, false, false}));
  t.SetRecNo(1);
  EXPECT_DOUBLE_EQ(t.FieldByName("FLOAT")->AsFloat(), 1.23456789012346);
  EXPECT_EQ(t.FieldByName("NUMERICAL")->DisplayFormat, "0.00");
  EXPECT_EQ(t.FieldByName("NUMERICAL")->DisplayText(), "1.00");
  EXPECT_EQ(t.FieldByName("DATE")->AsDateTime(), Ymd(1970, 1, 1));
  t.SetRecNo(3);
  EXPECT_TRUE(t.FieldByName("LOGICAL")->IsNull());
}

TEST(DbfCorpus, ContainerWithDeletedRecordsAndTrailingDescriptorArea) {
  MemTable m(ReadWholeFile(DataPath("dbf/FOXPRO-DB-TEST.DBC")));
  EXPECT_EQ(m.table.RecordCount(), 58);
  EXPECT_EQ(m.Walk().size(), 56u);
  // The 263-byte area after the descriptors reads as further columns.
  MemTable memo(ReadWholeFile(DataPath("dbf/memotest.dbf")));
  EXPECT_EQ(memo.table.FieldDefs().Count(), (memo.table.HeaderSize() - 32) / 32);
  EXPECT_EQ(memo.Walk(), (std::vector<int>{1, 2}));
}

TEST(DbfCorpus, TablesWithoutColumnsOrWithUnknownKinds) {
  MemTable poly(ReadWholeFile(DataPath("dbf/polygon.dbf")));
  EXPECT_EQ(poly.table.FieldDefs().Count(), 0);
  EXPECT_EQ(poly.table.RecordCount(), 1);
  EXPECT_EQ(poly.Walk(), (std::vector<int>{1}));

  // I and Y columns are of unknown kind: definitions without fields.
  MemTable fox(ReadWholeFile(DataPath("dbf/dbase_31.dbf")));
  TDBF& t = fox.table;
  EXPECT_EQ(t.FieldDefs()[0].Name, "PRODUCTID");
  EXPECT_EQ(t.FieldDefs()[0].DataType, ftUnknown);
  EXPECT_EQ(t.FieldOfDef(0), nullptr);
  EXPECT_LT(t.Fields().Count(), t.FieldDefs().Count());
  EXPECT_EQ(t.Fields()[0]->FieldName(), "PRODUCTNAM");
  EXPECT_EQ(t.FieldOfDef(1), t.Fields()[0]);
  EXPECT_EQ(Str(t.Fields()[0]->Value()), "Chai");
  EXPECT_EQ(fox.Walk().size(), 77u);
}

TEST(DbfCorpus, OemTextIsConvertedByTheLanguageByte) {
  // cp1251.dbf says 0xC9, mazovia.dbf 0x69: both are OEM text to this table.
  for (const char* name : {"cp1251.dbf", "mazovia.dbf"}) {
    std::string bytes = ReadWholeFile(DataPath(std::string("dbf/") + name));
    MemTable m(bytes);
    TDBF& t = m.table;
    ASSERT_NE(t.LanguageByte(), 0x57);
    TField* f = t.Fields()[1];
    int col = f->FieldNo() - 1;
    for (t.First(); !t.Eof(); t.Next()) {
      size_t at = t.HeaderSize() + size_t(t.RecNo() - 1) * t.RecordSize() + 1;
      for (int i = 0; i < col; ++i) at += t.ColumnLength(i);
      std::string raw = TrimCtl(bytes.substr(at, t.ColumnLength(col)));
      std::string ansi = raw;
      OemToCharBuffA(ansi.data(), ansi.data(), static_cast<DWORD>(ansi.size()));
      EXPECT_EQ(f->AsString(), ansi) << name << " record " << t.RecNo();
    }
  }
  // Both mazovia records begin with 0x00, which is not "*": live.
  MemTable maz(ReadWholeFile(DataPath("dbf/mazovia.dbf")));
  EXPECT_EQ(maz.Walk(), (std::vector<int>{1, 2}));
  maz.table.First();
  EXPECT_EQ(maz.table.FieldByName("A2")->AsString(), "English");
}

TEST(DbfCorpus, BrokenTablesFailAtOpenOrPerValue) {
  // dBase II header read as dBase III: the header length lies.
  TMemoryStream s;
  std::string b = ReadWholeFile(DataPath("dbf/dbase_02.dbf"));
  s.Assign(b.data(), b.size());
  TDBF t;
  t.AssignStreams(&s, nullptr, true);
  t.SetReadOnly(true);
  EXPECT_ANY_THROW(t.Open());
  EXPECT_FALSE(t.Active());

  MemTable bad(ReadWholeFile(DataPath("dbf/invalid_value.dbf")));
  bad.table.First();
  try {
    bad.table.FieldByName("BIRTHDATE")->Value();
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'ar/Ye/NotA' is not a valid date");
  }
}

// ---- python3-dbfread as the oracle ----------------------------------------------------
#ifndef _WIN32

std::string RunOracle(const std::string& table) {
  std::string cmd = "/usr/bin/python3 " + std::string(QRVX_TEST_TOOLS_DIR) + "/dbf_oracle.py '" +
                    table + "' 2>/dev/null";
  TRunResult r = RunCommand(cmd);
  return r.Code == 0 ? r.Out : std::string();
}

std::string Token(const TField& f) {
  TDBFValue v;
  try {
    v = f.Value();
  } catch (const EConvertError&) {
    return "?";
  }
  switch (v.vt) {
    case varString: return "S:" + v.Str;
    case VT_R8: return Format("F:%.17g", v.Num);
    case VT_DATE: {
      int y, m, d;
      DBFDecodeDate(v.Num, y, m, d);
      return Format("D:%04d-%02d-%02d", y, m, d);
    }
    case VT_BOOL: return v.Bool ? "B:1" : "B:0";
    default: return "N";
  }
}

class DbfOracle : public testing::TestWithParam<const char*> {};

TEST_P(DbfOracle, SameLiveRecordsAndValuesAsDbfread) {
  if (system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-dbfread is not installed";
  std::string expected = RunOracle(DataPath(std::string("dbf/") + GetParam()));
  ASSERT_FALSE(expected.empty());
  MemTable m(ReadWholeFile(DataPath(std::string("dbf/") + GetParam())));
  TDBF& t = m.table;
  std::vector<TField*> kept;
  std::string got = "C:";
  for (int i = 0; i < t.FieldDefs().Count(); ++i)
    if (std::string("CNFDL").find(t.ColumnType(i)) != std::string::npos && t.ColumnType(i)) {
      got += (kept.empty() ? "" : "\x1f") + t.FieldDefs()[i].Name;
      kept.push_back(t.FieldOfDef(i));
    }
  got += "\n";
  for (t.First(); !t.Eof(); t.Next()) {
    for (size_t i = 0; i < kept.size(); ++i) got += (i ? "\x1f" : "") + Token(*kept[i]);
    got += "\n";
  }
  // dbfread gives the raw bytes; this table converts OEM text to ANSI.
  if (!t.IsAnsi()) {
    for (size_t at = 0; (at = expected.find("S:", at)) != std::string::npos;) {
      at += 2;
      size_t end = expected.find_first_of("\x1f\n", at);
      OemToCharBuffA(&expected[at], &expected[at], static_cast<DWORD>(end - at));
      at = end;
    }
  }
  std::istringstream a(expected), b(got);
  std::string la, lb;
  for (int line = 0; std::getline(a, la); ++line) {
    ASSERT_TRUE(std::getline(b, lb)) << "fewer records than dbfread at line " << line;
    EXPECT_EQ(lb, la) << GetParam() << " line " << line;
  }
  EXPECT_FALSE(std::getline(b, lb)) << "more records than dbfread";
}

INSTANTIATE_TEST_SUITE_P(AsciiTables, DbfOracle,
                         testing::Values("people.dbf", "dbase_03.dbf", "dbase_83.dbf",
                                         "dbase_8b.dbf", "dbase_30.dbf", "dbase_31.dbf",
                                         "FOXPRO-DB-TEST.DBC"));
#endif  // the oracle runs where /usr/bin/python3 does

}  // namespace
