// The uninstaller: which recorded objects it takes, the order it removes
// them in, what it reports, the library's unregistration, and (natively,
// where message boxes can be answered) the whole program.
#include <windows.h>

#include "uninstall/Uninstall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "support/Automation.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const char kClsidKey[] = "CLSID\\{7806FC75-04C2-45B7-A723-3DC129D6344A}";

bool KeyExists(HKEY root, const char* key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Registers the library at path the way setup does.
bool Register(const std::string& path) {
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) return false;
  typedef HRESULT(WINAPI * TExport)();
  auto reg = reinterpret_cast<TExport>(
      reinterpret_cast<void (*)()>(GetProcAddress(lib, "DllRegisterServer")));
  bool ok = reg && reg() == S_OK;
  FreeLibrary(lib);
  return ok && KeyExists(HKEY_CLASSES_ROOT, kClsidKey);
}

class Uninstall : public ::testing::Test {
 protected:
  std::string Path(const std::string& rel) const { return (dir / rel).string(); }
  std::string File(const std::string& rel) const {
    std::ofstream(Path(rel)) << "x";
    return Path(rel);
  }
  std::string Dir(const std::string& rel) const {
    fs::create_directories(Path(rel));
    return Path(rel);
  }
  void Record(const std::vector<std::string>& lines) const {
    auto list = std::make_unique<TUninstallList>();
    for (const std::string& l : lines) list->Add(l);
    ASSERT_TRUE(AppendRecordLines(record, *list));
  }

  TTestDir temp{"qrvx_uninstall_"};
  const fs::path& dir = temp.Path;
  std::string record = Path("QRVXUnst.dat");
};

TEST_F(Uninstall, TakesTheRecordedObjectsThatExist) {
  std::string doc = Dir("doc"), a = File("a.txt");
  std::ofstream(record, std::ios::binary) << "\r\n   \r\n"
                                          << doc << "\r\n"
                                          << Path("gone.txt") << "\r\n\t\r\n"
                                          << a << "\r\n";
  auto t = std::make_unique<TPathTable>();
  t->Paths[5] = "left over";
  ReadPathTable(record, *t);
  ASSERT_EQ(t->Count, 2);
  EXPECT_EQ(t->Paths[0], doc);
  EXPECT_TRUE(t->IsDirectory[0]);
  EXPECT_EQ(t->Paths[1], a);
  EXPECT_FALSE(t->IsDirectory[1]);
  EXPECT_EQ(t->Paths[5], "") << "the table is cleared first";
  ReadPathTable(Path("missing.dat"), *t);
  EXPECT_EQ(t->Count, 0);
#ifndef _WIN32
  // A path is used as written, spaces and all (Windows itself drops
  // trailing spaces from names).
  std::string spaced = File("b.txt "), plain = File("b.txt");
  std::ofstream(record, std::ios::binary) << spaced << "\r\n";
  ReadPathTable(record, *t);
  ASSERT_EQ(t->Count, 1);
  EXPECT_EQ(RemoveObjects(*t), "");
  EXPECT_FALSE(fs::exists(spaced));
  EXPECT_TRUE(fs::exists(plain));
#endif
}

TEST_F(Uninstall, FilesFirstThenDirectoriesInRecordOrder) {
  // As the installer records them: the directory before its contents.
  std::string doc = Dir("doc"), index = File("doc/index.htm"), sub = Dir("doc/sub");
  File("doc/sub/unrecorded.txt");
  std::string empty = Dir("empty");
  Record({record, doc, index, sub, empty});
  auto t = std::make_unique<TPathTable>();
  ReadPathTable(record, *t);
  ASSERT_EQ(t->Count, 5);
  EXPECT_EQ(RemoveObjects(*t), "directory \"" + doc + "\"\rdirectory \"" + sub + "\"\r");
  EXPECT_FALSE(fs::exists(record));
  EXPECT_FALSE(fs::exists(index));
  EXPECT_FALSE(fs::exists(empty));
  EXPECT_TRUE(fs::exists(sub));
}

TEST_F(Uninstall, TwoInstallationsNameEachObjectTwice) {
  std::string doc = Dir("doc"), index = File("doc/index.htm");
  Record({record, doc, index});
  Record({record, doc, index});
  auto t = std::make_unique<TPathTable>();
  ReadPathTable(record, *t);
  ASSERT_EQ(t->Count, 6);
  // The second deletion of each fails: named although gone.
  EXPECT_EQ(RemoveObjects(*t),
            "file \"" + record + "\" \rfile \"" + index + "\" \rdirectory \"" + doc + "\"\r");
  EXPECT_FALSE(fs::exists(doc));
}

TEST_F(Uninstall, ObjectsBeyondTheTableAreReportedNotRemoved) {
  std::ofstream out(record, std::ios::binary);
  for (int i = 0; i < 305; ++i) out << File("f" + std::to_string(i)) << "\r\n";
  out.close();
  auto t = std::make_unique<TPathTable>();
  ReadPathTable(record, *t);
  EXPECT_EQ(t->Count, 301);
  ASSERT_EQ(t->Overflow.size(), 4u);
  std::string notDeleted = RemoveObjects(*t);
  EXPECT_EQ(notDeleted, "file \"" + Path("f301") + "\" \rfile \"" + Path("f302") + "\" \rfile \"" +
                            Path("f303") + "\" \rfile \"" + Path("f304") + "\" \r");
  EXPECT_FALSE(fs::exists(Path("f300")));
  EXPECT_TRUE(fs::exists(Path("f301")));
}

TEST_F(Uninstall, SummaryTexts) {
  EXPECT_EQ(SummaryText(""), "Quorvex was successfuly uninstalled");
  EXPECT_EQ(SummaryText("file \"C:\\x\" \rdirectory \"C:\\d\"\r"),
            "Quorvex uninstall is complete, but the following component(s) was not deleted:\r\n"
            "file \"C:\\x\" \rdirectory \"C:\\d\"\r\r\n"
            "Please exit all programs and remove these objects manually.");
}

#ifndef _WIN32
// A registry and a system directory of the test's own.
void UseOwnMachine(const fs::path& dir) {
  fs::create_directories(dir / "sys");
  fs::create_directories(dir / "reg");
  setenv("QRVX_SYSTEM_DIR", (dir / "sys").c_str(), 1);
  setenv("QRVX_REGISTRY_DIR", (dir / "reg").c_str(), 1);
}
#endif

TEST_F(Uninstall, UnregistersTheLibraryInTheSystemDirectory) {
#ifndef _WIN32
  UseOwnMachine(dir);
#endif
  std::string sys = Dir("sys") + "\\";
  EXPECT_FALSE(UnregisterLibrary(sys)) << "no library";
  fs::copy_file(QRVX_LIBRARY_FILE, dir / "sys" / "qrvx.dll");
  ASSERT_TRUE(Register(sys + "qrvx.dll"));
  EXPECT_TRUE(UnregisterLibrary(sys));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_TRUE(fs::remove(dir / "sys" / "qrvx.dll")) << "the library is not held open";
}

#ifndef _WIN32
TEST_F(Uninstall, WholeProgram) {
  UseOwnMachine(dir);
  fs::path sys = dir / "sys";
  fs::copy_file(QRVX_LIBRARY_FILE, sys / "qrvx.dll");
  ASSERT_TRUE(Register((sys / "qrvx.dll").string()));
  std::ofstream(sys / "QRVXUnst.exe") << "program";
  std::string doc = Dir("doc"), index = File("doc/index.htm");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  record = UninstallRecordPath();
  Record({record, doc, index, (sys / "qrvx.dll").string(), (sys / "QRVXUnst.exe").string()});

  setenv("QRVX_MESSAGEBOX_ANSWER", "7", 1);  // "No": nothing changes, nothing more is shown
  testing::internal::CaptureStderr();
  EXPECT_EQ(UninstallMain(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[QRVX Setup] Du you really want to completely remove Quorvex v2.0 from your "
            "computer?\n");
  EXPECT_TRUE(fs::exists(sys / "QRVXUnst.dat") && fs::exists(index) &&
              fs::exists(sys / "qrvx.dll"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

  setenv("QRVX_MESSAGEBOX_ANSWER", "6", 1);
  for (int run = 0; run < 2; ++run) {  // the second run finds no record
    testing::internal::CaptureStderr();
    EXPECT_EQ(UninstallMain(), 0);
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("[Uninstal summary...] Quorvex was successfuly uninstalled\n"),
              std::string::npos)
        << shown;
  }
  unsetenv("QRVX_MESSAGEBOX_ANSWER");
  EXPECT_FALSE(fs::exists(sys / "QRVXUnst.dat"));
  EXPECT_FALSE(fs::exists(doc));
  EXPECT_FALSE(fs::exists(sys / "qrvx.dll"));
  EXPECT_FALSE(fs::exists(sys / "QRVXUnst.exe"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey));
}
#endif

}  // namespace
