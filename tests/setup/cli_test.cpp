// qrvx package: builds the fixture package byte for byte, and reads plain and
// compressed packages back through the installer's reader.
#include <gtest/gtest.h>

#if defined(QRVX_CLI) && !defined(_WIN32)
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/Automation.h"

namespace {

std::string Qrvx(const std::string& args, int* status) {
  std::string out;
  FILE* p = popen((std::string(QRVX_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
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
}

}  // namespace
#endif
