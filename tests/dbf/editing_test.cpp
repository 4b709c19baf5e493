// Changing tables on disk: append, edit, delete, close, reopen; memo values
// written, grown and moved; the memo file's name and header; events.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "DbfTestUtil.h"
#include "common/Bytes.h"

namespace fs = std::filesystem;

namespace {

class DbfEditing : public testing::Test {
 protected:
  void SetUp() override {
    dir =
        fs::temp_directory_path() /
        ("qrvx_dbf_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
         "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  fs::path dir;
};

const std::vector<Column> kCols = {{"NAME", 'C', 8}, {"QTY", 'N', 5, 1}, {"MEMO", 'M', 10}};

uint32_t BE32(const std::string& s, size_t at) {
  return GetBE32(reinterpret_cast<const uint8_t*>(s.data()) + at);
}

TEST_F(DbfEditing, AppendEditDeleteSurviveCloseAndReopen) {
  std::string path = Write("stock.dbf", MakeTable(kCols, {}));
  {
    TDBF t;
    t.TableName = path;
    t.Open();
    for (const char* name : {"apple", "pear", "plum"}) {
      t.Append();
      t.FieldByName("NAME")->SetAsString(name);
      t.FieldByName("QTY")->SetAsFloat(1.5);
      t.Post();
    }
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.RecNo(), 3);
    t.SetRecNo(2);
    t.Edit();
    t.FieldByName("QTY")->SetAsFloat(20);
    t.Post();
    t.SetRecNo(1);
    t.Delete();
    EXPECT_EQ(t.RecNo(), 2);  // the next live record
    t.Close();
  }
  std::string bytes = ReadWholeFile(path);
  EXPECT_EQ(bytes[4], 3);                              // record count rewritten
  EXPECT_EQ(uint8_t(bytes[10]), 1 + 8 + 5 + 10);       // record length
  EXPECT_EQ(bytes.size(), 32 + 32 * 3 + 1 + 3 * 24u);  // no end-of-file marker
  EXPECT_EQ(bytes[32 + 96 + 1], '*');

  TDBF t;
  t.TableName = path;
  t.SetReadOnly(true);
  t.Open();
  std::vector<std::string> seen;
  for (t.First(); !t.Eof(); t.Next())
    seen.push_back(t.Fields()[0]->AsString() + "=" + t.Fields()[1]->DisplayText());
  EXPECT_EQ(seen, (std::vector<std::string>{"pear=20.0", "plum=1.5"}));
  // Read-only tables refuse changes up front.
  try {
    t.Edit();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Cannot modify a read-only dataset");
  }
  try {
    t.CreateBlobStream(*t.FieldByName("MEMO"), bmWrite);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Invalid blob field access mode (MEMO)");
  }
}

TEST_F(DbfEditing, CancelAndFieldsOutsideEditing) {
  std::string path = Write("t.dbf", MakeTable(kCols, {" old       1.0          "}));
  TDBF t;
  t.TableName = path;
  t.Open();
  EXPECT_THROW(t.FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  t.Edit();
  t.FieldByName("NAME")->SetAsString("new");
  EXPECT_EQ(t.FieldByName("NAME")->AsString(), "new");
  t.Cancel();
  EXPECT_EQ(t.FieldByName("NAME")->AsString(), "old");
  t.Append();
  t.Cancel();
  EXPECT_EQ(t.FieldByName("NAME")->AsString(), "old");
  t.Close();
  EXPECT_EQ(ReadWholeFile(path).size(), 32 + 32 * 3 + 1 + 24u);
}

TEST_F(DbfEditing, MemoValuesAreWrittenGrownAndMoved) {
  std::string path = Write("notes.dbf", MakeTable(kCols, {}));
  std::string memoPath = (dir / "notes.fpt").string();
  TDBF t;
  t.TableName = path;
  t.Open();
  EXPECT_TRUE(fs::exists(memoPath));  // made empty at open
  for (const char* text : {"first", "second"}) {
    t.Append();
    t.FieldByName("NAME")->SetAsString(text);
    t.FieldByName("MEMO")->SetAsString(text);
    t.Post();
  }
  t.Close();  // a table open for writing shares its files with nobody
  std::string memo = ReadWholeFile(memoPath);
  ASSERT_EQ(memo.size(), 9 * 64 + 8 + 6u);
  EXPECT_EQ(BE32(memo, 0), 10u);  // header blocks 0-7, one block per value
  EXPECT_EQ(memo[7], 64);
  EXPECT_EQ(BE32(memo, 8 * 64 + 4), 5u);
  EXPECT_EQ(memo.substr(8 * 64 + 8, 5), "first");
  EXPECT_EQ(memo.substr(9 * 64 + 8, 6), "second");

  // Growing the value in the middle moves it to the end of the file.
  t.Open();
  t.Edit();
  t.FieldByName("MEMO")->SetAsString(std::string(100, 'x'));
  t.Post();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), std::string(100, 'x'));
  t.Close();
  memo = ReadWholeFile(memoPath);
  std::string table = ReadWholeFile(path);
  ASSERT_EQ(memo.size(), 10 * 64 + 8 + 100u);
  EXPECT_EQ(table.substr(32 + 96 + 1 + 1 + 8 + 5, 10), "0000000010");
  EXPECT_EQ(BE32(memo, 10 * 64 + 4), 100u);
  EXPECT_EQ(memo.substr(8 * 64 + 8, 5), "first");  // old blocks are not reused
  EXPECT_EQ(BE32(memo, 0), 12u);

  // The value last in the file grows in place.
  t.Open();
  t.First();
  t.Edit();
  {
    auto s = t.CreateBlobStream(*t.FieldByName("MEMO"), bmReadWrite);
    s->Seek(0, soFromEnd);
    s->WriteBuffer(" and more", 9);
  }
  t.Post();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), std::string(100, 'x') + " and more");
  t.Close();
  table = ReadWholeFile(path);
  EXPECT_EQ(table.substr(32 + 96 + 1 + 1 + 8 + 5, 10), "0000000010");
  EXPECT_EQ(BE32(ReadWholeFile(memoPath), 10 * 64 + 4), 109u);
}

TEST_F(DbfEditing, MemoFileNameRules) {
  std::string bytes = MakeTable(kCols, {" a         1.0         8"});
  ASSERT_EQ(bytes.size(), 32 + 96 + 1 + 24u);
  std::string memo(512, '\0');
  memo[3] = 9;
  memo += std::string("\0\0\0\1\0\0\0\3dbt", 11);
  // The name is cut at its first ".": "x.y.dbf" looks for "x.fpt", then "x.dbt".
  std::string path = Write("x.y.dbf", bytes);
  Write("x.dbt", memo);
  TDBF t;
  t.TableName = path;
  t.SetReadOnly(true);
  t.Open();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "dbt");
  t.Close();
  memo.replace(512 + 8, 3, "fpt");
  Write("x.fpt", memo);
  t.Open();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "fpt");
  t.Close();
  // Read-only without a memo file: no memo file is made, values are empty.
  std::string lone = Write("lone.dbf", bytes);
  t.TableName = lone;
  t.Open();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "");
  t.Close();
  EXPECT_FALSE(fs::exists(dir / "lone.fpt"));
}

// A damaged record or a cut memo file: the block number points past the
// memo's end. The value reads as empty, and the record keeps its number, in
// the buffer as on disk, even when another field of it is edited.
TEST_F(DbfEditing, MemoBlockPastTheEndReadsEmptyAndLeavesTheRecord) {
  const std::string bytes = MakeTable(kCols, {" a         1.0        99"});
  std::string path = Write("p.dbf", bytes);
  std::string memo(512, '\0');
  memo[3] = 9;
  memo[7] = 64;
  memo += std::string("\0\0\0\1\0\0\0\3abc", 11);
  Write("p.fpt", memo);
  for (bool readOnly : {true, false}) {
    TDBF t;
    t.TableName = path;
    t.SetReadOnly(readOnly);
    t.Open();
    EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "");
    EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "");
    t.Close();
    EXPECT_EQ(ReadWholeFile(path), bytes) << (readOnly ? "read-only" : "read-write");
  }
  TDBF t;
  t.TableName = path;
  t.Open();
  EXPECT_EQ(t.FieldByName("MEMO")->AsString(), "");
  t.Edit();
  t.FieldByName("NAME")->SetAsString("b");
  t.Post();
  t.Close();
  std::string table = ReadWholeFile(path);
  EXPECT_EQ(table.substr(32 + 96 + 1 + 1 + 8 + 5, 10), "        99");
  EXPECT_EQ(ReadWholeFile((dir / "p.fpt").string()).substr(512), memo.substr(512));
}

TEST_F(DbfEditing, ShortMemoFileGetsAFullHeader) {
  std::string path = Write("s.dbf", MakeTable(kCols, {" a         1.0          "}));
  Write("s.fpt", std::string(10, '\0'));
  TDBF t;
  t.TableName = path;
  t.Open();
  t.Edit();
  t.FieldByName("MEMO")->SetAsString("v");
  t.Post();
  t.Close();
  std::string memo = ReadWholeFile((dir / "s.fpt").string());
  EXPECT_EQ(BE32(memo, 0), 9u);
  EXPECT_EQ(memo[7], 64);
  EXPECT_EQ(memo.substr(8 * 64 + 8), "v");
}

TEST_F(DbfEditing, EventsRunInDatasetOrder) {
  std::string path = Write("e.dbf", MakeTable(kCols, {}));
  TDBF t;
  t.TableName = path;
  std::string log;
  auto note = [&log](const char* what) { return [&log, what](TDBF&) { log += what; }; };
  t.BeforeOpen = note("<open ");
  t.AfterOpen = note("open> ");
  t.BeforeInsert = note("<ins ");
  t.OnNewRecord = note("new ");
  t.AfterInsert = note("ins> ");
  t.BeforePost = note("<post ");
  t.AfterPost = note("post> ");
  t.BeforeDelete = note("<del ");
  t.AfterDelete = note("del> ");
  t.BeforeClose = note("<close ");
  t.AfterClose = note("close>");
  t.Open();
  t.Append();
  t.Post();
  t.Delete();
  t.Close();
  EXPECT_EQ(log, "<open open> <ins new ins> <post post> <del del> <close close>");

  // A refusing BeforePost leaves the record unposted and still in insert state.
  t.BeforePost = [](TDBF&) { throw EDatabaseError("refused"); };
  t.Open();
  t.Append();
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_EQ(t.State(), dsInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 1);
  t.Close();
}

#ifndef _WIN32  // the stand-in's message box writes to standard error
TEST_F(DbfEditing, VeryBadErrorGoesToTheMessageReport) {
  std::string path = Write("v.dbf", MakeTable(kCols, {" a         1.0          "}));
  TDBF t;
  t.TableName = path;
  t.Open();
  t.Edit();
  testing::internal::CaptureStderr();
  TDBFValue v = TDBFValue::String("x");
  t.SetFieldData(*t.FieldByName("MEMO"), &v);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("very bad error in setfield data"),
            std::string::npos);
  t.Cancel();
}
#endif

}  // namespace
