// qrvx unzip as a person at a terminal sees it: the text listing, progress
// of large entries, and entries or archives that cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/Process.h"
#include "support/TempDir.h"

#if defined(QRVX_CLI) && !defined(_WIN32)
namespace {

using json = nlohmann::json;

std::string Data(const std::string& name) {
  return std::string(QRVX_TEST_DATA_DIR) + "/unzip/" + name;
}

TRunResult Unzip(const std::string& args) {
  return RunCommand(std::string(QRVX_CLI) + " unzip " + args + " 2>&1");
}

// Index, method (* when encrypted), sizes, CRC, the stored DOS time, E for
// encrypted, and the stored path.
TEST(UnzipCommand, TextListing) {
  TRunResult r = Unzip("-l " + Data("go-test.zip"));
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out,
            "    0 m8               25         26 c3edd7c0 2010-09-05 12:12:02 - test.txt\n"
            "    1 m0              785        785 54d531fe 2010-09-05 15:52:58 - "
            "gophercolor16x16.png\n");
  r = Unzip("-l " + Data("zipcrypto.zip"));
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n') + 1),
            "    0 m0*              18          6 5ebc8aea 2021-04-25 14:44:50 E brown.txt\n");
  r = Unzip("-l " + Data("Infozip.nocomp.multi.zip"));
  EXPECT_NE(r.Out.find(" - exe\\test.exe\n"), std::string::npos) << r.Out;
}

// An archive that is none, or a target folder that cannot be made, ends the
// run with its message and exit code 1. An entry whose data is not there (its
// volume of a split set is missing) fails with exit code 2, not as a skip.
TEST(UnzipCommand, WhatCannotBeHadIsAnError) {
  TTestDir dir{"qrvx_unzip_"};
  TRunResult r = Unzip("-t " + Data("readme.notzip"));
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Out, "qrvx unzip: Incomplete Zip File\n");
  std::string file = (dir.Path / "file").string();
  std::ofstream(file) << "x";
  r = Unzip("-o -d " + file + "/sub " + Data("go-test.zip"));
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Out.rfind("qrvx unzip: ", 0), 0u) << r.Out;

  std::string alone = (dir.Path / "set.zip").string();
  std::filesystem::copy_file(Data("Infozip.nocomp.multi.zip"), alone);  // without set.z01
  r = Unzip("-t " + alone + " 'exe/*'");
  EXPECT_EQ(r.Code, 2);
  EXPECT_EQ(r.Out, "unreadable  exe\\test.exe\n");
  r = Unzip("-t --json " + alone + " 'exe/*'");
  EXPECT_EQ(r.Code, 2);
  json doc = json::parse(r.Out, nullptr, false);
  ASSERT_TRUE(doc.is_object()) << r.Out;
  EXPECT_EQ(doc["entries"][1]["name"], "test.exe");
  EXPECT_EQ(doc["entries"][1]["result"], "unreadable");
  EXPECT_EQ(doc["entries"][4]["result"], "skipped");
  // With its first volume beside it, the same entry is whole.
  std::filesystem::copy_file(Data("Infozip.nocomp.multi.z01"), dir.Path / "set.z01");
  r = Unzip("-t " + alone + " 'exe/*'");
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out, "ok          exe\\test.exe\n");
}

// A split set made by Info-ZIP whose central directory runs over several
// volumes after the entries: a run goes back to volumes it has left, and
// extraction (which makes the target folder current) still finds them when
// the archive was named relative to the folder the command started in.
TEST(UnzipCommand, SplitSetsWhoseDirectorySpansVolumes) {
  TTestDir dir{"qrvx_unzip_"};
  std::filesystem::create_directory(dir.Path / "in");
  const int kFiles = 600;
  auto name = [](int i) { return std::string(140, 'n') + std::to_string(i) + ".txt"; };
  for (int i = 0; i < kFiles; ++i) std::ofstream(dir.Path / "in" / name(i)) << "file " << i;
  std::string cd = "cd " + ShellQuote(dir.Path.string()) + " && ";
  ASSERT_EQ(RunCommand(cd + "cd in && zip -q -X -s 64k ../set.zip *").Code, 0);
  ASSERT_TRUE(std::filesystem::exists(dir.Path / "set.z03"));
  std::string qrvx = std::string(QRVX_CLI) + " unzip ";
  TRunResult r = RunCommand(cd + qrvx + "-t set.zip 2>&1");
  EXPECT_EQ(r.Code, 0) << r.Out.substr(0, 200);
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), kFiles);
  EXPECT_EQ(r.Out.find("ok          " + name(0) + "\n"), 0u) << r.Out.substr(0, 200);
  r = RunCommand(cd + qrvx + "-d out set.zip 2>&1");
  EXPECT_EQ(r.Code, 0) << r.Out.substr(0, 200);
  for (int i : {0, 299, kFiles - 1}) {
    std::ifstream in(dir.Path / "out" / name(i));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "file " + std::to_string(i));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path / "out"), {}), kFiles);
}

// Entries over 4 MB show their progress on a terminal, and only there.
TEST(UnzipCommand, ProgressOfLargeEntriesOnATerminal) {
  TTestDir dir{"qrvx_unzip_"};
  std::string big(5 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  std::ofstream(dir.Path / "big.bin", std::ios::binary) << big;
  std::ofstream(dir.Path / "small.txt") << "small";
  std::string d = ShellQuote(dir.Path.string());
  ASSERT_EQ(RunCommand("cd " + d + " && zip -q -X a.zip big.bin small.txt").Code, 0);
  std::string cmd = std::string(QRVX_CLI) + " unzip -o -d " + d + "/out " + d + "/a.zip";
  TRunResult r = RunCommand("script -qec " + ShellQuote(cmd) + " /dev/null");
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out.rfind("\rbig.bin:   0%", 0), 0u) << r.Out.substr(0, 80);
  EXPECT_NE(r.Out.find("\rbig.bin: 100%\r\n"), std::string::npos);
  EXPECT_EQ(r.Out.find("small.txt:"), std::string::npos);
  EXPECT_NE(r.Out.find("ok          big.bin\r\nok          small.txt\r\n"), std::string::npos);
  r = Unzip("-o -d " + d + "/out " + d + "/a.zip");
  EXPECT_EQ(r.Out, "ok          big.bin\nok          small.txt\n");
}

}  // namespace
#endif
