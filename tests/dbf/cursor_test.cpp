// The header and descriptors, the walk over live records, RecNo, the filter,
// and tables whose bytes lie.
#include <gtest/gtest.h>

#include "DbfTestUtil.h"

namespace {

const std::vector<Column> kPeople = {{"NAME", 'C', 10}, {"AGE", 'N', 3}, {"BORN", 'D', 8}};

std::string Person(const char* flag, const char* name, const char* age, const char* born) {
  std::string r = flag;
  std::string n = name;
  n.resize(10, ' ');
  return r + n + age + born;
}

std::string PeopleTable() {
  return MakeTable(
      kPeople,
      {Person(" ", "Smith", " 30", "19691231"), Person("*", "Gone", " 99", "19500101"),
       Person(" ", "  Smith  ", " 45", "19700101"), Person(" ", "Jones", "  7", "20010615"),
       Person(" ", "Smithers", "   ", "        ")});
}

TEST(DbfCursor, WalkSkipsDeletedRecordsBothWays) {
  MemTable m(
      MakeTable(kPeople, {Person(" ", "A", "  1", "20000101"), Person("*", "B", "  2", "20000101"),
                          Person(" ", "C", "  3", "20000101")}));
  TDBF& t = m.table;
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3}));
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecNo(), 3);
  t.Prior();
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_FALSE(t.Bof());
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.RecNo(), 1);

  // RecNo outside 1..RecordCount leaves the cursor where it was; a deleted
  // record is never current.
  t.SetRecNo(3);
  t.SetRecNo(0);
  EXPECT_EQ(t.RecNo(), 3);
  t.SetRecNo(4);
  EXPECT_EQ(t.RecNo(), 3);
  t.SetRecNo(2);
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_EQ(t.Fields()[0]->AsString(), "C");
}

TEST(DbfCursor, EmptyAndAllDeletedTables) {
  MemTable empty(MakeTable(kPeople, {}));
  EXPECT_TRUE(empty.table.Eof());
  EXPECT_EQ(empty.table.RecordCount(), 0);
  for (int i = 0; i < empty.table.Fields().Count(); ++i)
    EXPECT_TRUE(empty.table.Fields()[i]->IsNull());
  EXPECT_TRUE(empty.Walk().empty());

  MemTable gone(MakeTable(
      kPeople, {Person("*", "A", "  1", "20000101"), Person("*", "B", "  2", "20000101")}));
  EXPECT_TRUE(gone.table.Eof());
  EXPECT_TRUE(gone.Walk().empty());
  EXPECT_EQ(gone.table.RecordCount(), 2);
  EXPECT_TRUE(gone.table.Fields()[0]->IsNull());
}

TEST(DbfCursor, ColumnCountComesFromTheHeaderLength) {
  std::string t = MakeTable({{"A", 'C', 2}}, {" xy"});
  t[8] = 65;  // 32 * 1 + 33
  EXPECT_EQ(MemTable(t).table.FieldDefs().Count(), 1);
  t[8] = 63;
  MemTable none(t);
  EXPECT_EQ(none.table.FieldDefs().Count(), 0);
  EXPECT_EQ(none.table.Fields().Count(), 0);

  // An unknown type letter between two text columns: three definitions,
  // two fields; the second text column is the second field.
  MemTable mixed(MakeTable({{"A", 'C', 2}, {"N", 'I', 4}, {"B", 'C', 3}},
                           {std::string(" ab\1\0\0\0xyz", 10)}));
  TDBF& m = mixed.table;
  EXPECT_EQ(m.FieldDefs().Count(), 3);
  ASSERT_EQ(m.Fields().Count(), 2);
  EXPECT_EQ(m.Fields()[1]->FieldName(), "B");
  EXPECT_EQ(m.Fields()[1]->FieldNo(), 3);
  EXPECT_EQ(m.FieldOfDef(1), nullptr);
  EXPECT_EQ(m.FieldOfDef(2)->AsString(), "xyz");
}

TEST(DbfCursor, ClosedTableRefusesRecordCount) {
  TDBF t;
  try {
    t.RecordCount();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Cannot perform this operation on a closed dataset");
  }
  t.TableName = DataPath("dbf/no_such_table.dbf");
  try {
    t.Open();
    FAIL();
  } catch (const EDBFError& e) {
    EXPECT_EQ(e.Message, "Open: Table file not found");
  }
  EXPECT_FALSE(t.Active());
}

TEST(DbfFilter, OperatorsByColumnKind) {
  MemTable m(PeopleTable());
  TDBF& t = m.table;
  t.SetFilter("NAME='Smith'");
  t.SetFiltered(true);
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3}));  // trimmed, case-sensitive, exact
  t.SetFilter("name = \"Smith\"");
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3}));
  t.SetFilter("AGE>=30");
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3}));  // a blank AGE has no value
  t.SetFilter("AGE<10");
  EXPECT_EQ(m.Walk(), (std::vector<int>{4}));
  t.SetFilter("AGE=");
  EXPECT_EQ(m.Walk(), (std::vector<int>{5}));  // no value passes an empty filter value
  // Dates compare as "yyyymmdd" text: every date of 1969 and before is < "1970".
  t.SetFilter("BORN<1970");
  EXPECT_EQ(m.Walk(), (std::vector<int>{1}));
  t.SetFilter("BORN>=19700101");
  EXPECT_EQ(m.Walk(), (std::vector<int>{3, 4}));
  t.SetFilter("NAME>Smith");
  EXPECT_EQ(m.Walk(), (std::vector<int>{5}));
  t.SetFiltered(false);
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3, 4, 5}));

  // The filter is read again against the columns of the next table opened.
  t.SetFilter("BORN<1970");
  t.SetFiltered(true);
  TMemoryStream other;
  std::string bytes = MakeTable({{"X", 'C', 1}, {"BORN", 'D', 8}}, {" a19600101", " b19800101"});
  other.Assign(bytes.data(), bytes.size());
  t.AssignStreams(&other, nullptr, true);
  t.Open();
  EXPECT_EQ(m.Walk(), (std::vector<int>{1}));
  t.Close();
}

TEST(DbfFilter, TextsThatAcceptEveryRecord) {
  MemTable m(PeopleTable());
  TDBF& t = m.table;
  t.SetFiltered(true);
  // "<>" finds ">" first: the name "NAME<" names no column.
  for (const char* f : {"NAME<>'Smith'", "NOSUCH=1", "no operator", "", "=Smith"}) {
    t.SetFilter(f);
    EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3, 4, 5})) << f;
  }
  // The first ">" anywhere, also inside the value: name "NAME='a" is unknown.
  t.SetFilter("NAME='a>b'");
  EXPECT_EQ(m.Walk().size(), 4u);
  // A number filter value that is no number reads as 0.
  t.SetFilter("AGE>abc");
  EXPECT_EQ(m.Walk(), (std::vector<int>{1, 3, 4}));
}

TEST(DbfFilter, AnInvalidDateLeavesTheRecordAccepted) {
  MemTable m(MakeTable(kPeople,
                       {Person(" ", "A", "  1", "20001345"), Person(" ", "B", "  2", "20000101")}));
  m.table.SetFilter("BORN>20000101");
  m.table.SetFiltered(true);
  EXPECT_EQ(m.Walk(), (std::vector<int>{1}));
}

// ---- tables whose bytes lie -----------------------------------------------------------

TEST(DbfFaults, RecordsPastTheEndReadAsSpaces) {
  // The header says 3 records; the bytes hold one and a half. The missing
  // bytes read as spaces, never as the record read before.
  std::string full = Person(" ", "Alpha", " 10", "20000101");
  std::string t =
      MakeTable(kPeople, {full, Person(" ", "Beta", " 20", "20000202").substr(0, 8)}, 0x57, 3);
  MemTable m(t);
  EXPECT_EQ(m.table.RecordCount(), 3);
  std::vector<std::string> names, ages;
  std::vector<bool> dated;
  for (m.table.First(); !m.table.Eof(); m.table.Next()) {
    names.push_back(m.table.Fields()[0]->AsString());
    ages.push_back(m.table.Fields()[1]->AsString());
    dated.push_back(!m.table.Fields()[2]->IsNull());
  }
  EXPECT_EQ(dated, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", ""}));
  EXPECT_EQ(ages, (std::vector<std::string>{"10", "", ""}));
}

TEST(DbfFaults, LyingHeadersFailAtOpen) {
  std::string good = MakeTable(kPeople, {Person(" ", "A", "  1", "20000101")});
  auto opens = [](const std::string& bytes) {
    try {
      MemTable m(bytes);
      m.Walk();
      return true;
    } catch (const EDBFError&) {
      return false;
    } catch (const EReadError&) {
      return false;
    }
  };
  EXPECT_TRUE(opens(good));
  EXPECT_FALSE(opens(good.substr(0, 20)));  // short header
  EXPECT_FALSE(opens(good.substr(0, 70)));  // descriptors cut short
  std::string longHeader = good;
  longHeader[8] = char(0xFF), longHeader[9] = 0x7F;  // 32767: descriptors past the end
  EXPECT_FALSE(opens(longHeader));
  std::string huge = good;
  huge[4] = huge[5] = huge[6] = char(0xFF), huge[7] = 0x7F;  // two billion records
  EXPECT_FALSE(opens(huge));
  std::string wide =
      MakeTable({{"A", 'C', 255}, {"B", 'C', 255}, {"C", 'C', 255}}, {}, 0x57, 30000);
  EXPECT_FALSE(opens(wide));  // 23 MB of blank records announced by 129 bytes
  wide[4] = 100, wide[5] = 0;
  EXPECT_TRUE(opens(wide));
  std::string negative = good;
  negative[7] = char(0x80);
  EXPECT_FALSE(opens(negative));
  // A negative header length: no columns, records read as blanks.
  std::string negH = good;
  negH[9] = char(0x80);
  EXPECT_TRUE(opens(negH));
}

}  // namespace
