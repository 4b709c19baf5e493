// The uninstall record: where it lives, how lines are appended by one or two
// installations, and how they are read back.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "setup/UninstallRecord.h"
#include "support/Automation.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class Record : public ::testing::Test {
 protected:
  std::vector<std::string> ReadWith(const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return ReadRecordLines(path);
  }

  TTestDir temp{"qrvx_record_"};
  const fs::path& dir = temp.Path;
  std::string path = (dir / "QRVXUnst.dat").string();
};

using Lines = std::vector<std::string>;

TEST_F(Record, LivesInTheSystemDirectory) {
  char sys[MAX_PATH];
  UINT n = GetSystemDirectoryA(sys, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::string dirName(sys, n);
  EXPECT_EQ(SystemDirectory(), dirName + "\\");
  EXPECT_EQ(UninstallRecordPath(), dirName + "\\QRVXUnst.dat");
  EXPECT_EQ(GetSystemDirectoryA(sys, 1), n + 1) << "too small a buffer gives the size needed";
}

TEST_F(Record, TwoInstallationsAppendTheirLines) {
  TUninstallList list;
  ASSERT_TRUE(list.Add(path));
  ASSERT_TRUE(list.Add("C:\\Program Files\\QRVX\\Doc"));
  ASSERT_TRUE(list.Add(" C:\\odd name \\x.htm "));
  ASSERT_TRUE(AppendRecordLines(path, list));
  ASSERT_TRUE(AppendRecordLines(path, list));
  std::string one = path + "\r\nC:\\Program Files\\QRVX\\Doc\r\n C:\\odd name \\x.htm \r\n";
  EXPECT_EQ(ReadWholeFile(path), one + one);
  Lines expected = {path, "C:\\Program Files\\QRVX\\Doc", " C:\\odd name \\x.htm "};
  Lines twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(ReadRecordLines(path), twice);
  // A record that can be neither opened nor created.
  EXPECT_FALSE(AppendRecordLines((dir / "no" / "such" / "QRVXUnst.dat").string(), list));
}

TEST_F(Record, ListHoldsAtMost301Lines) {
  auto list = std::make_unique<TUninstallList>();
  for (int i = 0; i < kUninstallCapacity; ++i) ASSERT_TRUE(list->Add(std::to_string(i)));
  EXPECT_FALSE(list->Add("one too many"));
  EXPECT_EQ(list->Count, 301);
  ASSERT_TRUE(AppendRecordLines(path, *list));
  Lines lines = ReadRecordLines(path);
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines.back(), "300");
}

// A record another tool left with a Ctrl-Z at its end (or in its middle),
// or without a final line break: the appended lines are read back.
TEST_F(Record, AppendedLinesStayReadable) {
  TUninstallList list;
  ASSERT_TRUE(list.Add("C:\\new.txt"));
  ASSERT_TRUE(list.Add("C:\\new"));
  const Lines added = {"C:\\new.txt", "C:\\new"};
  struct {
    const char* Before;
    Lines Old;
  } const kCases[] = {
      {"a\r\nb\r\n\x1A", {"a", "b"}},
      {"a\r\n\x1A\x1A\x1A", {"a"}},
      {"a\r\nb\x1A\r\nlost\r\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"\x1A", {}},
  };
  for (const auto& c : kCases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.Before;
    ASSERT_TRUE(AppendRecordLines(path, list)) << c.Before;
    Lines expected = c.Old;
    expected.insert(expected.end(), added.begin(), added.end());
    EXPECT_EQ(ReadRecordLines(path), expected) << c.Before;
  }
  // A record that is fine is only appended to.
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "a\r\n";
  ASSERT_TRUE(AppendRecordLines(path, list));
  EXPECT_EQ(ReadWholeFile(path), "a\r\nC:\\new.txt\r\nC:\\new\r\n");
}

TEST_F(Record, LineEndsAndEndOfFile) {
  EXPECT_EQ(ReadRecordLines(path), Lines{}) << "a missing record has no lines";
  EXPECT_EQ(ReadWith(""), Lines{});
  EXPECT_EQ(ReadWith("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(ReadWith("a\rb\r\rc"), (Lines{"a", "b", "", "c"})) << "a lone CR ends a line";
  EXPECT_EQ(ReadWith("a\nb\r\n"), (Lines{"a\nb"})) << "a lone LF does not";
  EXPECT_EQ(ReadWith("a\r\n\nb"), (Lines{"a", "\nb"})) << "only one LF after CR is skipped";
  EXPECT_EQ(ReadWith("a\r\nb\x1A\r\nc\r\n"), (Lines{"a", "b"})) << "Ctrl-Z ends the file";
  EXPECT_EQ(ReadWith("  \r\n\t\r\nx"), (Lines{"  ", "\t", "x"}));
}

}  // namespace
