// Extraction into files: targets, directories, overwrite rules, attributes,
// times, and names that try to leave the destination.
#include <windows.h>

#include <sys/stat.h>
#include <time.h>

#include "tests/unzip/unzip_support.h"

// Files, tools and shells of a POSIX system.
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>

namespace {

std::string Listing(const std::string& dir) {
  return Shell("cd '" + dir + "' && find . -mindepth 1 | sort | tr '\\n' ' '");
}

int ExtractFiles(TUnZip& u, const std::string& pattern = "") {
  if (pattern.empty()) {
    u.DoAll = true;
  } else {
    u.DoAll = false;
    u.FilesList = {pattern};
  }
  return u.ExtractToFiles();
}

TEST(Files, NamesNeverLeaveTheDestination) {
  TTempDir tmp;
  std::string dest = tmp.Path + "/out/deeper";
  TUnZip u;
  u.SetZipName(DataPath("unzip/Zip.Evil.zip"));
  u.SetDestDir(dest);  // made when missing
  u.RecreateDirs = true;
  EXPECT_EQ(ExtractFiles(u), 1);
  EXPECT_EQ(Listing(tmp.Path), "./out ./out/deeper ./out/deeper/good.txt ");
  EXPECT_EQ(ReadWholeFile(dest + "/good.txt").size(), 19u);

  // Absolute and drive directories go below DestDir; ". ." and "..." count
  // as climbing out too.
  TTempDir t2;
  TUnZip v;
  OpenBytes(v, MakeZip({{"/abs/a.txt", "A"},
                        {"C:/drive/b.txt", "B"},
                        {"x/... /c.txt", "C"},
                        {"..", "D"},
                        {"ok/d.txt", "E"}}));
  v.SetDestDir(t2.Path);
  v.RecreateDirs = true;
  EXPECT_EQ(ExtractFiles(v), 3);
  EXPECT_EQ(Listing(t2.Path), "./abs ./abs/a.txt ./drive ./drive/b.txt ./ok ./ok/d.txt ");
}

TEST(Files, DirectoriesRootDirAndEmptyDestDir) {
  TTempDir tmp;
  TUnZip u;
  u.SetZipName(DataPath("unzip/go-subdir.zip"));
  u.SetDestDir(tmp.Path);
  u.RecreateDirs = true;
  std::vector<std::string> starts;
  u.OnStartUnZip = [&](TUnZip*, int i, const std::string& f, bool&) {
    starts.push_back(std::to_string(i) + ":" + f.substr(tmp.Path.size()));
  };
  EXPECT_EQ(ExtractFiles(u), 3);  // with DoAll directory entries are not taken off
  EXPECT_EQ(Listing(tmp.Path), "./a ./a/b ./a/b/c ");
  EXPECT_EQ(starts, (std::vector<std::string>{"0:\\a\\", "1:\\a\\b\\", "2:\\a\\b\\c"}));

  TTempDir t2;
  TUnZip v;
  OpenBytes(v, MakeZip({{"docs/sub/a.txt", "A"}, {"other/b.txt", "B"}}));
  v.SetDestDir(t2.Path);
  v.RecreateDirs = true;
  v.SetRootDir("DOCS");
  EXPECT_EQ(ExtractFiles(v), 2);
  EXPECT_EQ(Listing(t2.Path), "./other ./other/b.txt ./sub ./sub/a.txt ");

  // Without RecreateDirs every file lands in DestDir itself; with DestDir
  // empty that is the current directory.
  TTempDir t3;
  std::string back = Shell("pwd");
  ASSERT_EQ(chdir(t3.Path.c_str()), 0);
  TUnZip w;
  OpenBytes(w, MakeZip({{"docs/sub/a.txt", "A"}, {"other/b.txt", "B"}}));
  EXPECT_EQ(ExtractFiles(w), 2);
  EXPECT_EQ(Listing(t3.Path), "./a.txt ./b.txt ");
  // A relative DestDir names a directory below the current one, also while
  // it is made current for the run.
  w.SetDestDir("rel\\deeper");
  w.RecreateDirs = true;
  EXPECT_EQ(ExtractFiles(w), 2);
  EXPECT_EQ(Listing(t3.Path + "/rel"),
            "./deeper ./deeper/docs ./deeper/docs/sub ./deeper/docs/sub/a.txt ./deeper/other "
            "./deeper/other/b.txt ");
  EXPECT_EQ(Shell("pwd"), t3.Path + "\n");  // the current directory is given back
  back.pop_back();
  ASSERT_EQ(chdir(back.c_str()), 0);
}

// Archive and root names are names a user types: their letters outside ASCII
// meet their other case as the ANSI code page pairs them (1252 here: 0xC4
// and 0xE4 are A and a with diaeresis; 1251 pairs the same bytes too).
TEST(Files, ArchiveAndRootNamesCompareByTheAnsiCaseRule) {
  TTempDir tmp;
  WriteAll(tmp.Path + "/\xC4rger.zip", ReadWholeFile(DataPath("unzip/go-test.zip")));
  TUnZip u;
  u.SetZipName(tmp.Path + "/\xC4rger.zip");
  u.ReadDirectory();
  ASSERT_EQ(u.EntryCount(), 2);
  u.SetZipName(tmp.Path + "/\xE4RGER.ZIP");  // equal but for case: nothing changes
  EXPECT_EQ(u.EntryCount(), 2);
  u.SetZipName(tmp.Path + "/\xC5rger.zip");  // another letter: the directory goes
  EXPECT_EQ(u.EntryCount(), 0);

  // Stored names are OEM text (437 here: 0x84 is a with diaeresis) and read
  // as ANSI; the root given in upper case still comes off.
  TUnZip v;
  OpenBytes(v, MakeZip({{"\x84rger/sub/a.txt", "A"}, {"other/b.txt", "B"}}));
  v.SetDestDir(tmp.Path + "/out");
  v.RecreateDirs = true;
  v.SetRootDir("\xC4RGER");
  EXPECT_EQ(ExtractFiles(v), 2);
  EXPECT_EQ(Listing(tmp.Path + "/out"), "./other ./other/b.txt ./sub ./sub/a.txt ");
}

TEST(Files, OverwriteModes) {
  TTempDir tmp;
  std::string zip = MakeZip({{"a.txt", "new"}});
  std::string target = tmp.Path + "/a.txt";
  WriteAll(target, "old");
  TUnZip u;
  OpenBytes(u, zip);
  u.SetDestDir(tmp.Path);
  u.OverwriteMode = Never;
  std::vector<int> skipped;
  u.OnSkippingFile = [&](TUnZip*, TSkipReason r, int) { skipped.push_back(r); };
  EXPECT_EQ(ExtractFiles(u), 0);
  EXPECT_EQ(skipped, std::vector<int>{skNoOverwrite});
  EXPECT_EQ(ReadWholeFile(target), "old");

  // Prompt: the handler may decline, or accept under another name.
  u.OverwriteMode = Prompt;
  u.OnPromptForOverwrite = [&](TUnZip*, bool& over, int i, std::string& name) {
    EXPECT_EQ(i, 0);
    EXPECT_EQ(name, tmp.Path + "\\a.txt");
    name = tmp.Path + "\\renamed.txt";
    over = true;
  };
  EXPECT_EQ(ExtractFiles(u), 1);
  EXPECT_EQ(ReadWholeFile(target), "old");
  EXPECT_EQ(ReadWholeFile(tmp.Path + "/renamed.txt"), "new");

  // Without a handler a message box asks; without a desktop to show it on,
  // the question goes to the debugger output and the answer is No: nothing
  // is replaced unasked.
  u.OnPromptForOverwrite = nullptr;
  skipped.clear();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ExtractFiles(u), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[File Exists Alert] Replace existing file a.txt?\r\n");
  EXPECT_EQ(ReadWholeFile(target), "old");
  EXPECT_EQ(skipped, std::vector<int>{skNoOverwrite});
  u.OverwriteMode = Always;
  WriteAll(target, "older");
  EXPECT_EQ(ExtractFiles(u), 1);
  EXPECT_EQ(ReadWholeFile(target), "new");
}

// A file system that refuses the last bytes of a file (a full disk, here a
// file size limit) fails the entry: it is not counted and the partial file
// goes. The small entry reaches the disk only when the file is closed; the
// large one already while it is decoded.
TEST(Files, WriteFailuresAreNotSuccesses) {
  TTempDir tmp;
  std::string small(3000, 's'), large(40000, 'l');
  TUnZip u;
  OpenBytes(u, MakeZip({{"small.txt", small}, {"large.txt", large}, {"tiny.txt", "t"}}));
  u.SetDestDir(tmp.Path);
  std::vector<int> bad;
  u.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t, int i) { bad.push_back(i); };
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  int n = ExtractFiles(u);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(bad, (std::vector<int>{0, 1}));
  EXPECT_EQ(Listing(tmp.Path), "./tiny.txt ");
}

TEST(Files, AttributesTimesAndFailedEntries) {
  TTempDir tmp;
  std::vector<TFakeEntry> e = {{"plain.txt", "P"}, {"bad.txt", "B"}, {"skip.txt", "S"}};
  e[0].DosDateTime = (uint32_t(0x58A7) << 16) | 0x6000;  // 2024-05-07 12:00:00
  e[1].AutoCrc = false;
  TUnZip u;
  OpenBytes(u, MakeZip(e));
  u.SetDestDir(tmp.Path);
  u.OnStartUnZip = [](TUnZip*, int i, const std::string&, bool& skip) { skip = i == 2; };
  EXPECT_EQ(ExtractFiles(u), 2);  // bad.txt fails its CRC and is deleted
  EXPECT_EQ(Listing(tmp.Path), "./plain.txt ./skip.txt ");
  EXPECT_EQ(ReadWholeFile(tmp.Path + "/skip.txt"), "");  // skipped: stays, empty
  struct stat st;
  ASSERT_EQ(stat((tmp.Path + "/plain.txt").c_str(), &st), 0);
  struct tm want = {};
  want.tm_year = 2024 - 1900, want.tm_mon = 4, want.tm_mday = 7, want.tm_hour = 12;
  want.tm_isdst = -1;
  EXPECT_EQ(st.st_mtime, mktime(&want));

  // The read-only attribute is set before the time, so the time stays.
  std::string zip = MakeZip({{"ro.txt", "R"}});
  zip[zip.size() - 22 - 6 - 8] = 1;  // external attributes of the central record
  TUnZip v;
  OpenBytes(v, zip);
  v.SetDestDir(tmp.Path);
  EXPECT_EQ(ExtractFiles(v), 1);
  ASSERT_EQ(stat((tmp.Path + "/ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
  v.RetainAttributes = false;
  v.OverwriteMode = Always;
  chmod((tmp.Path + "/ro.txt").c_str(), 0644);
  EXPECT_EQ(ExtractFiles(v), 1);
  ASSERT_EQ(stat((tmp.Path + "/ro.txt").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

}  // namespace
#endif
