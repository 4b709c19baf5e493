// qrvx package: builds the fixture package byte for byte, and reads plain and
// compressed packages back through the installer's reader.
#include <gtest/gtest.h>

#if defined(QRVX_CLI) && !defined(_WIN32)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "support/Automation.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace {

std::string Qrvx(const std::string& args, int* status) {
  TRunResult r = RunCommand(std::string(QRVX_CLI) + " " + args + " 2>/dev/null");
  *status = r.Code;
  return r.Out;
}

TEST(PackageCommand, CreatesListsAndReads) {
  const std::string d = DataPath("setup/");
  const std::string out = testing::TempDir() + "qrvx_cli_setup.dat";
  int status = -1;
  Qrvx("package create " + out + " " + d + "notes.txt " + d + "qrvx.dll " + d + "empty.txt",
       &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(d + "setup.dat"));
  std::remove(out.c_str());

  EXPECT_EQ(Qrvx("package list --json " + d + "setup.da_", &status),
            "{\"package\":\"" + d +
                "setup.da_\",\"entries\":[{\"name\":\"notes.txt\",\"offset\":104,\"size\":14350},"
                "{\"name\":\"qrvx.dll\",\"offset\":14454,\"size\":3000},"
                "{\"name\":\"empty.txt\",\"offset\":17454,\"size\":0}]}\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Qrvx("package read " + d + "setup.da_ qrvx.dll", &status),
            ReadWholeFile(d + "qrvx.dll"));
  EXPECT_EQ(status, 0);
  // An empty member cannot be told from a missing one.
  for (const char* name : {"empty.txt", "missing.txt"}) {
    EXPECT_EQ(Qrvx("package read " + d + "setup.dat " + name, &status), "");
    EXPECT_EQ(status, 2);
  }
  Qrvx("package list " + d + "notes.txt", &status);
  EXPECT_EQ(status, 2) << "not a package";
  Qrvx("package create " + out + " " + d + "no_such_file", &status);
  EXPECT_EQ(status, 2);
  // Member names are at most 23 bytes: the installer's directory holds no more.
  TTestDir names{"qrvx_cli_names_"};
  for (std::string name : {"twenty_three_bytes_n.xy", "twenty_four_bytes_name.x"}) {
    std::ofstream(names.Path / name) << name;
    Qrvx("package create " + out + " " + (names.Path / name).string(), &status);
    EXPECT_EQ(status, name.size() <= 23 ? 0 : 2) << name;
    EXPECT_EQ(std::filesystem::exists(out), name.size() <= 23) << name;
    std::remove(out.c_str());
  }
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// What compress.exe's format must carry exactly: runs longer than a match,
// repeats exactly one window apart (out of reach) and just inside it,
// incompressible bytes, an empty member, machine code and the documentation. Read back through the
// installer's reader, and expanded by msexpand, an independent reader of the format, when it is
// installed.
TEST(PackageCommand, CompressedPackagesReadBackByteForByte) {
  TTestDir temp{"qrvx_cli_szdd_"};
  const std::string d = temp.Path.string() + "/";
  std::mt19937 rng(11);
  auto random = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = char(rng());
    return s;
  };
  std::string block = random(4096);
  std::string nearBlock = random(4095);
  std::vector<std::pair<std::string, std::string>> files = {
      {"run.txt", std::string(100000, 'a') + "b" + std::string(17, 'a')},
      {"window.bin", block + block + block + block.substr(0, 100)},
      {"inside.bin", nearBlock + nearBlock + nearBlock},
      {"noise.bin", random(20000)},
      {"empty.txt", ""},
      // The start of each program: real machine code, in a test that stays quick.
      {"qrvx.dll", ReadWholeFile(QRVX_PACKAGE_LIBRARY).substr(0, 200000)},
      {"QRVXUnst.exe", ReadWholeFile(QRVX_PACKAGE_UNINSTALLER).substr(0, 100000)},
  };
  for (const char* doc : {"Readme.txt", "Default.htm", "Upload.htm", "Upload.asp"})
    files.push_back({doc, ReadWholeFile(std::string(QRVX_DOC_DIR) + "/" + doc)});
  std::string args;
  size_t total = 0;
  for (const auto& [name, bytes] : files) {
    WriteFile(d + name, bytes);
    args += " " + d + name;
    total += bytes.size();
  }
  int status = -1;
  Qrvx("package create " + d + "plain.dat" + args, &status);
  ASSERT_EQ(status, 0);
  Qrvx("package create --compress " + d + "setup.dat" + args, &status);
  ASSERT_EQ(status, 0);
  const std::string packed = ReadWholeFile(d + "setup.dat");
  ASSERT_GE(packed.size(), 14u);
  EXPECT_EQ(packed.substr(0, 10), std::string("SZDD\x88\xF0\x27\x33", 8) + "At");
  const std::string plain = ReadWholeFile(d + "plain.dat");
  const uint32_t length = GetLE32(reinterpret_cast<const uint8_t*>(packed.data()) + 10);
  EXPECT_EQ(length, plain.size());
  EXPECT_LT(packed.size(), plain.size() / 2);

  std::string listed = Qrvx("package list " + d + "setup.dat", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(listed, Qrvx("package list " + d + "plain.dat", &status));
  for (const auto& [name, bytes] : files) {
    if (bytes.empty()) continue;  // an empty member reads as a missing one
    EXPECT_TRUE(Qrvx("package read " + d + "setup.dat " + name, &status) == bytes)
        << name << " does not read back byte for byte";
    EXPECT_EQ(status, 0) << name;
  }
  EXPECT_GT(total, 400000u);

  if (std::system("command -v msexpand >/dev/null 2>&1") == 0) {
    ASSERT_EQ(std::system(("msexpand <" + d + "setup.dat >" + d + "expanded.dat").c_str()), 0);
    EXPECT_TRUE(ReadWholeFile(d + "expanded.dat") == plain) << "msexpand reads it otherwise";
  }
}

}  // namespace
#endif
