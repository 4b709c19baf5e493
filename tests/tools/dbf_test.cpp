// qrvx dbf: a table file and its memo file read by name, printed as text or
// JSON, optionally filtered; values that cannot be read are reported.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "support/Multipart.h"
#include "support/Process.h"
#include "support/TempDir.h"

#if defined(QRVX_CLI) && !defined(_WIN32)
namespace {

using json = nlohmann::json;

const std::vector<TColumn> kCols = {{"NAME", 'C', 5, 0},
                                    {"QTY", 'N', 4, 1},
                                    {"DAY", 'D', 8, 0},
                                    {"OK", 'L', 1, 0},
                                    {"NOTE", 'M', 10, 0}};

// A memo file with one value, "memo text", at block 8.
std::string Memo() {
  std::string m(512, '\0');
  m[3] = 10;
  m[7] = 64;
  std::string block(8, '\0');
  block[3] = 1;
  block[7] = 9;
  return m + block + "memo text" + std::string(64 - 17, '\0');
}

class Dbf : public ::testing::Test {
 protected:
  TTestDir dir{"qrvx_dbf_"};
  std::string Put(const std::string& name, const std::string& bytes) {
    std::string path = (dir.Path / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Table() {
    Put("t.dbt", Memo());
    return Put("t.dbf",
               DbfTable(kCols, {" Tea   2.520261201T         8", "*Gone  1.020250101F          ",
                                " Milk  0.5        N          "}));
  }
  static TRunResult Qrvx(const std::string& args) {
    return RunCommand("LANG=C.UTF-8 " + std::string(QRVX_CLI) + " dbf " + args);
  }
};

TEST_F(Dbf, TextListsColumnsAndLiveRecords) {
  TRunResult r = Qrvx(Table());
  ASSERT_EQ(r.Code, 0) << r.Out;
  EXPECT_EQ(r.Out,
            "columns: 5\n  NAME\tC\t5\t0\n  QTY\tN\t4\t1\n  DAY\tD\t8\t0\n  OK\tL\t1\t0\n"
            "  NOTE\tM\t10\t0\nrecord_count: 3\n"
            "1\tTea\t2.5\t2026-12-01\ttrue\tmemo text\n"
            "3\tMilk\t0.5\tnull\tfalse\t\n");
}

TEST_F(Dbf, JsonAndFilters) {
  std::string t = Table();
  json doc = json::parse(Qrvx("--json " + t).Out);
  EXPECT_EQ(doc["columns"][1], json::parse(R"({"name":"QTY","type":"N","length":4,"decimals":1})"));
  EXPECT_EQ(doc["record_count"], 3);
  EXPECT_EQ(doc["rows"],
            json::parse(R"([{"recno":1,"values":["Tea",2.5,"2026-12-01",true,"memo text"]},
                                         {"recno":3,"values":["Milk",0.5,null,false,""]}])"));
  auto recnos = [&](const std::string& filter) {
    std::vector<int> out;
    json filtered = json::parse(Qrvx("--json --filter " + ShellQuote(filter) + " " + t).Out);
    for (const json& row : filtered["rows"]) out.push_back(row["recno"]);
    return out;
  };
  EXPECT_EQ(recnos("QTY<=0.5"), std::vector<int>{3});
  EXPECT_EQ(recnos("name='Tea'"), std::vector<int>{1});
  EXPECT_EQ(recnos("DAY>20260000"), std::vector<int>{1});
  EXPECT_EQ(recnos("DAY="), std::vector<int>{3});
  // Logical and memo columns are not filtered: every live record passes.
  EXPECT_EQ((recnos("OK=F")), (std::vector<int>{1, 3}));
  EXPECT_EQ((recnos("NOTE=x")), (std::vector<int>{1, 3}));
}

TEST_F(Dbf, ErrorsAreReported) {
  TRunResult r = Qrvx((dir.Path / "none.dbf").string() + " 2>&1");
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Out, "qrvx dbf: Open: Table file not found\n");
  // A date that is no date: the record is still listed, the value is null,
  // and the reason goes to standard error.
  std::string t = Put("bad.dbf", DbfTable({{"DAY", 'D', 8, 0}}, {" 20001345"}));
  r = Qrvx("--json " + t + " 2>&1");
  EXPECT_EQ(r.Code, 0);
  EXPECT_NE(r.Out.find("record 1, column DAY: '45/13/2000' is not a valid date\n"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find(R"("rows":[{"recno":1,"values":[null]}])"), std::string::npos) << r.Out;
}

}  // namespace
#endif
