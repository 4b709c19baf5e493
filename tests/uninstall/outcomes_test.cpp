// The uninstaller's boxes: the question and the summary with their styles,
// and the summary of a run that a failure abandoned (natively, where boxes
// are answered and an allocation can be made to fail).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include "support/TempDir.h"
#include "uninstall/Uninstall.h"

#ifndef _WIN32
#include "support/ReplacedAllocator.h"

namespace {

// The next allocation of at least this many bytes fails once (0: none).
std::size_t g_failFrom = 0;

}  // namespace

// The program's operator new and delete (support/ReplacedAllocator.h): the
// nothrow forms, which the file functions use, answer null where the others
// raise.
bool FailAllocation(std::size_t n) {
  if (!g_failFrom || n < g_failFrom) return false;
  g_failFrom = 0;
  return true;
}
void* AllocateBytes(std::size_t n) {
  return std::malloc(n);
}

namespace {

namespace fs = std::filesystem;

class Outcome : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp.Path / "sys");
    fs::create_directories(temp.Path / "reg");
    setenv("QRVX_SYSTEM_DIR", (temp.Path / "sys").c_str(), 1);
    setenv("QRVX_REGISTRY_DIR", (temp.Path / "reg").c_str(), 1);
    file = (temp.Path / "doc.htm").string();
    std::ofstream(file) << "x";
    std::ofstream(temp.Path / "sys" / "QRVXUnst.dat") << file << "\r\n";
  }
  void TearDown() override {
    unsetenv("QRVX_MESSAGEBOX_ANSWER");
    unsetenv("QRVX_SYSTEM_DIR");
    unsetenv("QRVX_REGISTRY_DIR");
  }
  // Runs the program; gives what its boxes showed.
  static std::string Run() {
    testing::internal::CaptureStderr();
    EXPECT_EQ(UninstallMain(), 0);
    return testing::internal::GetCapturedStderr();
  }
  TTestDir temp{"qrvx_outcome_"};
  std::string file;
};

TEST_F(Outcome, QuestionIsYesNoAndSummaryIsInformation) {
  setenv("QRVX_MESSAGEBOX_ANSWER", "2", 1);  // any answer but "Yes" ends the program
  EXPECT_EQ(Run(),
            "[QRVX Setup] Du you really want to completely remove Quorvex v2.0 from your "
            "computer?\n");
  EXPECT_EQ(QrvxLastMessageBoxType(), static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(QrvxLastMessageBoxType(), 0x24u);
  EXPECT_TRUE(fs::exists(file));

  unsetenv("QRVX_MESSAGEBOX_ANSWER");  // the default button, "Yes"
  EXPECT_NE(Run().find("\n[Uninstal summary...] Quorvex was successfuly uninstalled\n"),
            std::string::npos);
  EXPECT_EQ(QrvxLastMessageBoxType(), 0x40u);
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(Outcome, AFailureAbandonsTheRemovalAndSaysSo) {
  g_failFrom = sizeof(TPathTable);
  std::string shown = Run();
  g_failFrom = 0;
  EXPECT_NE(shown.find("\n[Uninstal summary...] The installation of Quorvex was aborted\n"),
            std::string::npos)
      << shown;
  EXPECT_EQ(QrvxLastMessageBoxType(), 0x40u);
  EXPECT_TRUE(fs::exists(file)) << "nothing is removed after the failure";
  EXPECT_TRUE(fs::exists(temp.Path / "sys" / "QRVXUnst.dat"));
}

}  // namespace
#endif
