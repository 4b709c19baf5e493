// qrvx receive: a posted body from a file or standard input, as bytes or as
// a string, printed as text or JSON, files saved under names that never clash.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "support/Multipart.h"
#include "support/Process.h"
#include "support/TempDir.h"

#if defined(QRVX_CLI) && !defined(_WIN32)
namespace {

using json = nlohmann::json;

const std::vector<TColumn> kGoods = {{"NAME", 'C', 6, 0}, {"PRICE", 'N', 5, 2}, {"OK", 'L', 1, 0}};
const std::string kHelloSha = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";

class Receive : public ::testing::Test {
 protected:
  TTestDir dir{"qrvx_receive_"};
  std::string Put(const std::string& name, const std::string& bytes) {
    std::string path = (dir.Path / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Slurp(const std::string& name) {
    std::ifstream in(dir.Path / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static TRunResult Qrvx(const std::string& args) {
    return RunCommand("LANG=C.UTF-8 " + std::string(QRVX_CLI) + " receive " + args);
  }
  static std::string Goods() {
    return DbfTable(kGoods, {" Tea    4.50T", "*Gone   0.00F", " Milk       ?"});
  }
  std::string Body() {
    return FieldPart("User", "Ann") + FilePart("Doc", "C:\\Docs\\Hello.TXT", "hello") +
           FilePart("T", "goods.dbf", Goods()) + kBodyEnd;
  }
};

TEST_F(Receive, TextListsVariablesFilesAndTables) {
  TRunResult r = Qrvx("--dbf " + Put("body", Body()));
  ASSERT_EQ(r.Code, 0) << r.Out;
  EXPECT_NE(r.Out.find("Variables: 1\n  user = \"Ann\"\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Files: 2\n  hello.txt\n    path:   c:\\docs\\\n    field:  doc\n"
                       "    size:   5\n    sha256: " +
                       kHelloSha + "\n  goods.dbf\n"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("Tables: 1\n  goods (field t), 2 rows\n"
                       "    columns: [\"name\",\"price\",\"ok\"]\n"
                       "    [\"Tea\",4.5,true]\n    [\"Milk\",null,null]\n"),
            std::string::npos)
      << r.Out;
  // Without --dbf the table is only a file.
  r = Qrvx(Put("body", Body()));
  EXPECT_NE(r.Out.find("Tables: 0\n"), std::string::npos) << r.Out;
}

TEST_F(Receive, JsonFromAFileStandardInputOrAString) {
  std::string body = Put("body", Body());
  TRunResult bytes = Qrvx("--json --dbf " + body);
  ASSERT_EQ(bytes.Code, 0);
  json doc = json::parse(bytes.Out);
  EXPECT_EQ(doc["variables"], json::parse(R"([{"name":"user","value":"Ann"}])"));
  ASSERT_EQ(doc["files"].size(), 2u);
  EXPECT_EQ(doc["files"][0], json::parse(R"({"name":"hello.txt","path":"c:\\docs\\","field":"doc",
      "size":5,"sha256":")" + kHelloSha + "\"}"));
  EXPECT_EQ(doc["tables"][0]["rows"], json::parse(R"([["Tea",4.5,true],["Milk",null,null]])"));
  EXPECT_EQ(doc["tables"][0]["field"], "t");

  TRunResult piped = Qrvx("--json --dbf - < " + body);
  EXPECT_EQ(piped.Code, 0);
  EXPECT_EQ(piped.Out, bytes.Out);
  // An ASCII body reads the same as a string; a string passes through the
  // ANSI code page, so a byte that code page lacks no longer matches.
  TRunResult text = Qrvx("--json --dbf --string " + body);
  EXPECT_EQ(text.Code, 0);
  EXPECT_EQ(json::parse(text.Out)["files"], doc["files"]);
  EXPECT_EQ(json::parse(text.Out)["variables"], doc["variables"]);
}

TEST_F(Receive, ArchivesAreUnpackedWithZip) {
  Put("a.txt", "hello");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.Path.string()) + " && zip -q -X in.zip a.txt").Code,
            0);
  std::string body = Put("body", FilePart("Z", "in.zip", Slurp("in.zip")) + kBodyEnd);
  json plain = json::parse(Qrvx("--json " + body).Out);
  EXPECT_EQ(plain["files"].size(), 1u);
  json unpacked = json::parse(Qrvx("--json --zip " + body).Out);
  ASSERT_EQ(unpacked["files"].size(), 2u);
  EXPECT_EQ(unpacked["files"][1]["name"], "a.txt");
  EXPECT_EQ(unpacked["files"][1]["field"], "z");
  EXPECT_EQ(unpacked["files"][1]["sha256"], kHelloSha);
}

TEST_F(Receive, SavedFilesGetNamesThatCannotClashOrEscape) {
  std::string body = FilePart("a", "a.txt", "one") + FilePart("b", "C:\\x\\A.TXT", "two") +
                     FilePart("c", "a.txt", "three") + FilePart("d", "..", "dots") +
                     FilePart("e", "up/../x", "slash") + kBodyEnd;
  std::filesystem::create_directory(dir.Path / "out");
  std::string out = (dir.Path / "out").string();
  TRunResult r = Qrvx("--json --save-dir " + out + " " + Put("body", body));
  ASSERT_EQ(r.Code, 0) << r.Out;
  json doc = json::parse(r.Out);
  std::vector<std::string> saved;
  for (const json& f : doc["files"]) saved.push_back(f["saved_to"].get<std::string>());
  EXPECT_EQ(saved, (std::vector<std::string>{out + "/a.txt", out + "/1_a.txt", out + "/2_a.txt",
                                             out + "/file3", out + "/up_.._x"}));
  EXPECT_EQ(Slurp("out/a.txt"), "one");
  EXPECT_EQ(Slurp("out/1_a.txt"), "two");
  EXPECT_EQ(Slurp("out/2_a.txt"), "three");
  EXPECT_EQ(Slurp("out/file3"), "dots");
  EXPECT_EQ(Slurp("out/up_.._x"), "slash");
  // The text form names the target too.
  r = Qrvx("--save-dir " + out + " " + Put("body", FilePart("a", "b.txt", "x") + kBodyEnd));
  EXPECT_NE(r.Out.find("    saved:  " + out + "/b.txt\n"), std::string::npos) << r.Out;
}

TEST_F(Receive, ErrorsEndWithAMessageAndExitCodeOne) {
  TRunResult r = Qrvx((dir.Path / "missing").string() + " 2>&1");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find("qrvx: cannot open "), std::string::npos) << r.Out;
  // A directory that does not exist: every file is listed, each failed save
  // is named, and the exit code says so.
  std::string body = Put("body", FilePart("a", "a.txt", "x") + kBodyEnd);
  r = Qrvx("--save-dir " + (dir.Path / "nowhere").string() + " " + body + " 2>&1");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find("qrvx: could not save " + (dir.Path / "nowhere").string() + "/a.txt"),
            std::string::npos)
      << r.Out;
  EXPECT_NE(r.Out.find("Files: 1\n"), std::string::npos);
  r = Qrvx("2>&1");
  EXPECT_NE(r.Code, 0);
  EXPECT_NE(r.Out.find("body is required"), std::string::npos) << r.Out;
  // An empty body and a body of its closing delimiter alone receive nothing.
  for (const std::string& b : {std::string(), std::string("--b--")}) {
    r = Qrvx("--json " + Put("body", b));
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(json::parse(r.Out), json::parse(R"({"variables":[],"files":[],"tables":[]})"));
  }
}

// Standard input through a pipe has no size to read ahead: the body is read
// whole however long it is, and a directory given as the body is an error.
TEST_F(Receive, PipedBodiesOfAnyLengthAndUnreadableInput) {
  std::string big((1 << 20) + 17, '\0');  // past the first 1 MiB read
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
  for (const std::string& content : {std::string("short"), big}) {
    std::string body =
        Put("body", FieldPart("n", "v") + FilePart("f", "f.bin", content) + kBodyEnd);
    TRunResult fromFile = Qrvx("--json " + body);
    ASSERT_EQ(fromFile.Code, 0);
    TRunResult piped = RunCommand("cat " + body + " | LANG=C.UTF-8 " + std::string(QRVX_CLI) +
                                  " receive --json -");
    EXPECT_EQ(piped.Code, 0);
    EXPECT_EQ(piped.Out, fromFile.Out);
    json doc = json::parse(piped.Out);
    EXPECT_EQ(doc["files"][0]["size"], content.size());
    EXPECT_EQ(doc["variables"][0]["value"], "v");
  }
  TRunResult r = Qrvx(dir.Path.string() + " 2>&1");
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find("qrvx: cannot read " + dir.Path.string()), std::string::npos) << r.Out;
}

// Date columns are given as ISO dates, in both forms of output.
TEST_F(Receive, TableDatesAreIsoDates) {
  std::string table = DbfTable({{"WHEN", 'D', 8, 0}, {"N", 'N', 3, 0}},
                               {" 20240131  1", " 19991231  2", "           3"});
  std::string body = Put("body", FilePart("t", "days.dbf", table) + kBodyEnd);
  json doc = json::parse(Qrvx("--json --dbf " + body).Out);
  EXPECT_EQ(doc["tables"][0]["rows"],
            json::parse(R"([["2024-01-31",1.0],["1999-12-31",2.0],[null,3.0]])"))
      << doc.dump();
  TRunResult text = Qrvx("--dbf " + body);
  EXPECT_NE(text.Out.find("    [\"2024-01-31\",1.0]\n"), std::string::npos) << text.Out;
}

}  // namespace
#endif
