// Archive and table intake: uploaded archives unpacked into further files,
// uploaded tables read row by row through the table members. Archives are
// made during the run by Info-ZIP zip and by Python's zipfile; tables are
// written here byte by byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "receiver/Acceptors.h"
#include "support/Automation.h"
#include "support/Multipart.h"

namespace fs = std::filesystem;

namespace {

const std::vector<TColumn> kGoods = {
    {"NAME", 'C', 10, 0}, {"PRICE", 'N', 6, 2}, {"ARRIVED", 'D', 8, 0}, {"INSTOCK", 'L', 1, 0}};

std::string Goods() {
  return DbfTable(kGoods, {" Tea         4.5020261201T", "*Gone        0.0020250101F",
                           " Coffee     12.00        F", " Sugar       1.2520261203?"});
}

// A file part without a Content-Type line.
std::string Part(const std::string& field, const std::string& file, const std::string& data) {
  return FilePart(field, file, data, "");
}

// A scratch folder with the given files; archives are made in it.
class Scratch {
 public:
  Scratch() {
    // One folder per test: CTest runs the tests in parallel processes.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    FDir = fs::path(::testing::TempDir()) / (std::string("qrvx_intake_") + test->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  ~Scratch() { fs::remove_all(FDir); }
  void Put(const std::string& rel, const std::string& bytes) {
    fs::path p = FDir / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // Runs a shell command inside the folder; false when it fails.
  bool Run(const std::string& cmd) {
#ifdef _WIN32
    (void)cmd;
    return false;
#endif
    return std::system(("cd '" + FDir.string() + "' && " + cmd + " >/dev/null 2>&1").c_str()) == 0;
  }
  std::string Read(const std::string& rel) {
    return ReadWholeFile((FDir / rel).string());
  }
  // An archive written by Python's zipfile: entries as name -> bytes (a name
  // ending in "/" is a directory entry).
  std::string PyZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string script =
        "import zipfile\nz = zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED)\n";
    int k = 0;
    for (const auto& e : entries) {
      std::string src = "in" + std::to_string(k++);
      Put(src, e.second);
      script += "z.writestr(" + Quote(e.first) + ", open('" + src + "', 'rb').read())\n";
    }
    script += "z.close()\n";
    Put("make.py", script);
    EXPECT_TRUE(Run("/usr/bin/python3 make.py"));
    return Read("py.zip");
  }

 private:
  static std::string Quote(const std::string& s) {
    std::string q = "b'";
    for (unsigned char c : s) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      q += buf;
    }
    return q + "'.decode('latin-1')";
  }
  fs::path FDir;
};

// Archives are made with Info-ZIP and Python, which the Windows build lacks.
#ifdef _WIN32
#define REQUIRE_ARCHIVE_TOOLS() GTEST_SKIP() << "needs Info-ZIP zip and Python"
#else
#define REQUIRE_ARCHIVE_TOOLS() (void)0
#endif

class Intake : public ::testing::Test {
 protected:
  void Post(const std::string& body, bool zip, bool dbf) {
    acc.put_ProcessZIP(zip ? VARIANT_TRUE : VARIANT_FALSE);
    acc.put_ProcessDBF(dbf ? VARIANT_TRUE : VARIANT_FALSE);
    Var v;
    SetBytes(&v, body);
    ASSERT_EQ(acc.ProcessRequest(v), S_OK);
  }
  std::vector<std::string> FileNames() {
    std::vector<std::string> names;
    for (const TFileInfo& f : acc.Files()) names.push_back(f.FileName);
    return names;
  }
  std::string Bytes(size_t i) {
    const TFileInfo& f = acc.Files().at(i);
    return std::string(reinterpret_cast<const char*>(f.Data->Memory()),
                       static_cast<size_t>(f.Data->GetSize()));
  }
  // DBF(table, column) on the current row.
  void Cell(int table, VARIANT* column, VARIANT* out) {
    Var t;
    SetI4(&t, table);
    ASSERT_EQ(acc.DBF(t, *column, out), S_OK);
  }
  void CellAt(int table, int column, VARIANT* out) {
    Var c;
    SetI4(&c, column);
    Cell(table, &c, out);
  }
  void SetRow(int table, LONG row) {
    Var t;
    SetI4(&t, table);
    ASSERT_EQ(acc.put_DBFRow(t, row), S_OK);
  }
  LONG Row(int table) {
    Var t;
    SetI4(&t, table);
    LONG r = -7;
    EXPECT_EQ(acc.get_DBFRow(t, &r), S_OK);
    return r;
  }
  LONG Rows(int table) {
    Var t;
    SetI4(&t, table);
    LONG r = -7;
    EXPECT_EQ(acc.DBFRowCount(t, &r), S_OK);
    return r;
  }

  TAcceptor acc;
  Scratch scratch;
};

}  // namespace

TEST_F(Intake, SwitchesOffReceiveArchivesAndTablesAsFilesOnly) {
  REQUIRE_ARCHIVE_TOOLS();
  scratch.Put("a.txt", "alpha");
  ASSERT_TRUE(scratch.Run("zip -q a.zip a.txt"));
  Post(Part("arc", "a.zip", scratch.Read("a.zip")) + Part("tab", "goods.dbf", Goods()) + kBodyEnd,
       false, false);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"a.zip", "goods.dbf"}));
  LONG n = -1;
  acc.DBFCount(&n);
  EXPECT_EQ(n, 0);
}

TEST_F(Intake, ArchiveEntriesFollowTheArchiveWithoutDirectories) {
  REQUIRE_ARCHIVE_TOOLS();
  scratch.Put("a.txt", "alpha\r\n");
  scratch.Put("sub/b.txt", std::string(100000, 'b'));
  ASSERT_TRUE(scratch.Run("zip -q -9 -r a.zip a.txt sub"));
  Post(Part("Upload", "C:\\My\\A.ZIP", scratch.Read("a.zip")) + FieldPart("after", "1") + kBodyEnd,
       true, false);
  ASSERT_EQ(FileNames(), (std::vector<std::string>{"a.zip", "a.txt", "b.txt"}));
  for (const TFileInfo& f : acc.Files()) EXPECT_EQ(f.VarName, "upload");
  EXPECT_EQ(acc.Files()[0].FilePath, "c:\\my\\");
  EXPECT_EQ(acc.Files()[2].FilePath, "");
  EXPECT_EQ(Bytes(1), "alpha\r\n");
  EXPECT_EQ(Bytes(2), std::string(100000, 'b'));
  EXPECT_EQ(acc.Vars().size(), 1u);
}

TEST_F(Intake, EntriesThatDoNotExtractAloneAreNotReceived) {
  REQUIRE_ARCHIVE_TOOLS();
  std::string arc = scratch.PyZip({{"one/same.txt", "first"},
                                   {"two/same.txt", "second"},
                                   {"dir/", ""},
                                   {"\xC0\xC1.txt", "cyrillic capitals"},
                                   {"report[1].txt", "bracket"},
                                   {"inner.zip", "not unpacked"},
                                   {"ok.txt", "fine"}});
  Post(Part("f", "py.zip", arc) + kBodyEnd, true, false);
  // The same bare name twice gives two matches; a capital 1251 letter or a
  // "[" makes the name a pattern that matches nothing; archives inside
  // archives are received but not unpacked.
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"py.zip", "inner.zip", "ok.txt"}));
  EXPECT_EQ(Bytes(1), "not unpacked");
}

TEST_F(Intake, TablesInsideArchivesAreFilesAndTables) {
  REQUIRE_ARCHIVE_TOOLS();
  scratch.Put("data/goods.dbf", Goods());
  ASSERT_TRUE(scratch.Run("zip -q -r t.zip data"));
  Post(Part("pack", "t.zip", scratch.Read("t.zip")) + kBodyEnd, true, true);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"t.zip", "goods.dbf"}));
  ASSERT_EQ(acc.DBFs().size(), 1u);
  EXPECT_EQ(acc.DBFs()[0].Name, "goods");
  EXPECT_EQ(acc.DBFs()[0].VarName, "pack");
}

TEST_F(Intake, NotAnArchiveEndsTheRequestAtThatPart) {
  Post(FieldPart("before", "1") + Part("f", "fake.zip", "this is not an archive at all") +
           FieldPart("after", "2") + kBodyEnd,
       true, false);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"fake.zip"}));
  ASSERT_EQ(acc.Vars().size(), 1u);
  EXPECT_EQ(acc.Vars()[0].Name, "before");
}

TEST_F(Intake, TableNamesKeepTheirPathAndLoseOnlyAFinalDbf) {
  Post(Part("t", "C:\\Data\\Orders.DBF", Goods()) + Part("u", "report.dbf.txt", Goods()) +
           Part("v", "notes.dbf.txt", "plain text, not a table") + kBodyEnd,
       false, true);
  EXPECT_EQ(acc.Files().size(), 3u);
  ASSERT_EQ(acc.DBFs().size(), 2u);
  EXPECT_EQ(acc.DBFs()[0].Name, "c:\\data\\orders");
  EXPECT_EQ(acc.DBFs()[1].Name, "report.dbf.txt");
  Var byName, byIndex, byFull;
  SetText(&byName, "orders");
  SetI4(&byIndex, 0);
  SetText(&byFull, "C:\\DATA\\ORDERS");
  BSTR b;
  ASSERT_EQ(acc.DBFName(byName, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "");
  ASSERT_EQ(acc.DBFName(byIndex, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "c:\\data\\orders");
  ASSERT_EQ(acc.DBFVarName(byFull, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "t");
}

TEST_F(Intake, RowsAreTheLiveRecordsWithTypedValues) {
  Post(Part("t", "goods.dbf", Goods()) + kBodyEnd, false, true);
  ASSERT_EQ(acc.DBFs().size(), 1u);
  EXPECT_EQ(Rows(0), 3);  // the deleted record is skipped
  EXPECT_EQ(acc.DBFs()[0].RecNos, (std::vector<int32_t>{1, 3, 4}));
  EXPECT_EQ(Row(0), 0);
  Var t;
  SetI4(&t, 0);
  LONG cols = 0;
  acc.DBFColCount(t, &cols);
  EXPECT_EQ(cols, 4);
  Var c;
  SetText(&c, " instock ");
  BSTR b;
  ASSERT_EQ(acc.DBFColName(t, c, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "instock");

  Var name, price, date, stock;
  CellAt(0, 0, &name);
  CellAt(0, 1, &price);
  CellAt(0, 2, &date);
  Cell(0, &c, &stock);
  EXPECT_EQ(name.vt, VT_BSTR);
  EXPECT_EQ(TakeAnsi(SysAllocStringLen(name.bstrVal, SysStringLen(name.bstrVal))), "Tea");
  EXPECT_EQ(price.vt, VT_R8);
  EXPECT_DOUBLE_EQ(price.dblVal, 4.5);
  EXPECT_EQ(date.vt, VT_DATE);
  EXPECT_DOUBLE_EQ(date.date, 46357.0);  // 2026-12-01
  EXPECT_EQ(stock.vt, VT_BOOL);
  EXPECT_EQ(stock.boolVal, VARIANT_TRUE);

  SetRow(0, 1);
  Var blankDate;
  CellAt(0, 2, &blankDate);
  EXPECT_EQ(blankDate.vt, VT_NULL);
  Var byName;
  SetText(&byName, "PRICE");
  Var coffee;
  Cell(0, &byName, &coffee);
  EXPECT_DOUBLE_EQ(coffee.dblVal, 12.0);
}

TEST_F(Intake, RowPutIsClampedAndMissingThingsGiveIntegerZero) {
  std::vector<std::string> ten;
  for (int i = 0; i < 10; ++i) ten.push_back(" " + std::to_string(i));
  Post(Part("t", "ten.dbf", DbfTable({{"N", 'N', 1, 0}}, ten)) +
           Part("e", "empty.dbf", DbfTable({{"N", 'N', 1, 0}}, {})) + kBodyEnd,
       false, true);
  ASSERT_EQ(acc.DBFs().size(), 2u);
  SetRow(0, 99);
  EXPECT_EQ(Row(0), 9);
  SetRow(0, -5);
  EXPECT_EQ(Row(0), 0);
  EXPECT_EQ(Rows(1), 0);
  EXPECT_EQ(Row(1), -1);
  SetRow(1, 3);
  EXPECT_EQ(Row(1), -1);
  Var cell;
  CellAt(1, 0, &cell);
  EXPECT_EQ(cell.vt, VT_I4);
  EXPECT_EQ(cell.lVal, 0);
  Var missing;
  CellAt(0, 5, &missing);
  EXPECT_EQ(missing.vt, VT_I4);
  Var noTable, col, out;
  SetText(&noTable, "nothing");
  SetI4(&col, 0);
  ASSERT_EQ(acc.DBF(noTable, col, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(Row(7), -1);
}

TEST_F(Intake, ColumnOfUnknownKindHasADefinitionButNoValue) {
  Post(Part("t", "odd.dbf",
            DbfTable({{"A", 'C', 2, 0}, {"B", 'X', 3, 0}, {"C", 'N', 2, 0}}, {" abxyz42"})) +
           kBodyEnd,
       false, true);
  ASSERT_EQ(acc.DBFs().size(), 1u);
  Var t;
  SetI4(&t, 0);
  LONG cols = 0;
  acc.DBFColCount(t, &cols);
  EXPECT_EQ(cols, 3);
  Var b, c;
  CellAt(0, 1, &b);
  EXPECT_EQ(b.vt, VT_I4);
  EXPECT_EQ(b.lVal, 0);
  CellAt(0, 2, &c);
  EXPECT_EQ(c.vt, VT_R8);
  EXPECT_DOUBLE_EQ(c.dblVal, 42.0);
}

TEST_F(Intake, BrokenTablesAreFilesOnly) {
  std::string t = Goods();
  Post(Part("a", "short.dbf", t.substr(0, 20)) + Part("b", "ok.dbf", t) + kBodyEnd, false, true);
  EXPECT_EQ(acc.Files().size(), 2u);
  ASSERT_EQ(acc.DBFs().size(), 1u);
  EXPECT_EQ(acc.DBFs()[0].Name, "ok");
}

// The captured example upload: archive entries and both tables.
TEST_F(Intake, ExampleUploadFromChromium) {
  std::string body = ReadWholeFile(std::string(QRVX_TEST_DATA_DIR) + "/../../examples/upload.body");
  ASSERT_FALSE(body.empty());
  Post(body, true, true);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"notes.txt", "archive.zip", "readme.txt",
                                                   "prices.dbf", "prices.dbf"}));
  ASSERT_EQ(acc.DBFs().size(), 2u);
  EXPECT_EQ(acc.DBFs()[0].VarName, "archive");
  EXPECT_EQ(acc.DBFs()[1].VarName, "table");
  EXPECT_EQ(Rows(0), 3);
  EXPECT_EQ(Rows(1), 3);
}
