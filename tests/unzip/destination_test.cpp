// File-mode extraction never writes outside DestDir, whatever a stored name
// says, and survives names too deep or too long for the file system. Runs
// natively and under Wine, where the file system's own rules apply.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

#include "support/TempDir.h"
#include "tests/unzip/unzip_support.h"
#include "unzip/Helpers.h"
#include "unzip/SafePath.h"

namespace fs = std::filesystem;

namespace {

// Every file and folder below root, as paths relative to root with "/".
std::vector<std::string> Tree(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    out.push_back(fs::relative(e.path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

struct TRun {
  int Result = 0;
  std::map<int, int> Skips;  // entry index -> reason
};

// Extracts every entry of zip below box/dest, with stored directories.
TRun ExtractAll(const std::string& zip, const fs::path& dest, bool recreate = true) {
  TUnZip u;
  OpenBytes(u, zip);
  u.SetDestDir(dest.string());
  u.RecreateDirs = recreate;
  u.DoAll = true;
  u.OverwriteMode = Always;
  TRun run;
  u.OnSkippingFile = [&](TUnZip*, TSkipReason r, int i) { run.Skips[i] = r; };
  run.Result = u.ExtractToFiles();
  return run;
}

TEST(Destination, NoSpellingLeavesIt) {
  // Each name tries to leave the destination (or to name a device) and is
  // refused; the last one is fine.
  const std::vector<std::string> hostile = {"C:../c1.txt",
                                            "C:..\\c2.txt",
                                            "../up.txt",
                                            "..\\up2.txt",
                                            "a/../../up3",
                                            "a\\b\\..\\..\\..\\up4",
                                            "a/..\\../up5",
                                            ".. /t1.txt",
                                            "... /t2.txt",
                                            ". ./t3.txt",
                                            "x/..  /t4.txt",
                                            "x/.../t5.txt",
                                            "\\..\\t6.txt",
                                            "/../t7.txt",
                                            "C:\\..\\t8.txt",
                                            "a/..",
                                            "a/.. .",
                                            "C:..",
                                            "sub/C:../t9.txt",
                                            "file.txt:ads",
                                            "CON",
                                            "sub/nul.txt",
                                            "Com1 .log",
                                            "ctl\x01/x.txt",
                                            "a/.",
                                            "sub/ ",
                                            "ok.txt"};
  for (size_t i = 0; i < hostile.size(); ++i) {
    SCOPED_TRACE(hostile[i]);
    TTestDir tmp("qrvx_dest_");
    fs::path dest = tmp.Path / "box" / "dest";
    std::vector<TFakeEntry> e = {{hostile[i], "X"}};
    TRun run = ExtractAll(MakeZip(e), dest);
    std::vector<std::string> tree = Tree(tmp.Path);
    if (i + 1 == hostile.size()) {
      EXPECT_EQ(run.Result, 1);
      EXPECT_EQ(tree, (std::vector<std::string>{"box", "box/dest", "box/dest/ok.txt"}));
      continue;
    }
    EXPECT_EQ(tree, (std::vector<std::string>{"box", "box/dest"}));
    EXPECT_EQ(run.Result, 0);
    EXPECT_EQ(run.Skips, (std::map<int, int>{{0, skUnsafeName}}));
  }
}

TEST(Destination, DrivesRootsAndSharesGoBelowIt) {
  TTestDir tmp("qrvx_dest_");
  fs::path dest = tmp.Path / "dest";
  TRun run = ExtractAll(MakeZip({{"/abs/a.txt", "A"},
                                 {"C:/drive/b.txt", "B"},
                                 {"C:\\drive\\c.txt", "C"},
                                 {"\\\\server\\share\\d.txt", "D"},
                                 {"d:e.txt", "E"},
                                 {"keep/./f.txt", "F"},
                                 {"dots.../g.txt", "G"},
                                 {"blank /h.txt", "H"},
                                 {"i.txt.", "I"}}),
                        dest);
  EXPECT_EQ(run.Result, 6);
  // Names ending in dots or blanks mean different things to different
  // Windows calls: refused.
  EXPECT_EQ(run.Skips,
            (std::map<int, int>{{6, skUnsafeName}, {7, skUnsafeName}, {8, skUnsafeName}}));
  for (const char* f :
       {"abs/a.txt", "drive/b.txt", "drive/c.txt", "server/share/d.txt", "e.txt", "keep/f.txt"})
    EXPECT_TRUE(fs::is_regular_file(dest / f)) << f;
  for (const std::string& p : Tree(tmp.Path)) EXPECT_EQ(p.compare(0, 4, "dest"), 0) << p;
}

TEST(Destination, WithoutStoredDirectoriesOnlyTheFileNameCounts) {
  TTestDir tmp("qrvx_dest_");
  fs::path dest = tmp.Path / "dest";
  TRun run =
      ExtractAll(MakeZip({{"../../a.txt", "A"}, {"C:..\\b.txt", "B"}, {"x/..", "C"}}), dest, false);
  EXPECT_EQ(run.Result, 2);
  EXPECT_EQ(run.Skips, (std::map<int, int>{{2, skUnsafeName}}));
  EXPECT_EQ(Tree(tmp.Path), (std::vector<std::string>{"dest", "dest/a.txt", "dest/b.txt"}));
}

TEST(Destination, RefusedDirectoryEntriesAreNotCounted) {
  TTestDir tmp("qrvx_dest_");
  fs::path dest = tmp.Path / "dest";
  TUnZip u;
  OpenBytes(u, MakeZip({{"../", ""}, {"../x/", ""}, {"in/", ""}, {"in/a.txt", "A"}}));
  u.SetDestDir(dest.string());
  u.RecreateDirs = true;
  u.FilesList = {"*"};
  std::vector<std::pair<int, int>> skips;
  u.OnSkippingFile = [&](TUnZip*, TSkipReason r, int i) { skips.push_back({r, i}); };
  EXPECT_EQ(u.ExtractToFiles(), 4);  // directory entries count as selected
  EXPECT_EQ(skips, (std::vector<std::pair<int, int>>{{skUnsafeName, 0}, {skUnsafeName, 1}}));
  EXPECT_EQ(Tree(tmp.Path), (std::vector<std::string>{"dest", "dest/in", "dest/in/a.txt"}));
}

// A stored name below dest whose whole target path is exactly length long:
// folders of at most 200 characters and a file name of about 20, which
// keeps the directory part within the shorter limit of Windows.
std::string NameOfTargetLength(const std::string& dest, size_t length) {
  size_t left = length - dest.size() - 1;
  size_t file = left >= 22 ? 20 : left;
  size_t dirs = left - file;
  if (dirs == 1) ++file, dirs = 0;
  std::string name;
  while (dirs > 0) {
    size_t part = std::min<size_t>(dirs, 201);
    if (dirs - part == 1) --part;
    name += std::string(part - 1, 'd') + "/";
    dirs -= part;
  }
  return name + std::string(file, 'f');
}

TEST(Destination, TargetsBeyondThePathLimitAreSkipped) {
  TTestDir tmp("qrvx_dest_");
  fs::path dest = tmp.Path / "dest";
  fs::create_directories(dest);
  std::string d = dest.string();
  std::string fits = NameOfTargetLength(d, kMaxFilePath);
  std::string over = NameOfTargetLength(d, kMaxFilePath + 1);
  std::string deep;  // 12,000 folders
  for (int i = 0; i < 12000; ++i) deep += "a/";
  deep += "deep.txt";
  std::string longName(kMaxNameLength + 1, 'n');
  TRun run = ExtractAll(
      MakeZip(
          {{fits, "F"}, {over, "O"}, {deep, "D"}, {longName, "L"}, {"x/" + longName + "/y", "Y"}}),
      dest);
  EXPECT_EQ(run.Result, 1);
  EXPECT_EQ(run.Skips,
            (std::map<int, int>{
                {1, skNameTooLong}, {2, skNameTooLong}, {3, skNameTooLong}, {4, skNameTooLong}}));
  std::string fitsPath = d + "/" + fits;
  EXPECT_TRUE(fs::is_regular_file(fitsPath));
  for (const std::string& p : Tree(tmp.Path)) EXPECT_NE(p.compare(0, 6, "dest/a"), 0) << p;
}

TEST(Destination, DirectoriesAreMadeWithoutRecursion) {
  TTestDir tmp("qrvx_dest_");
  std::string base = (tmp.Path / "made").string();
  ForceDirectories(base + "\\a\\\\b/c\\");
  EXPECT_TRUE(fs::is_directory(tmp.Path / "made" / "a" / "b" / "c"));
  ForceDirectories(base + "\\a\\b\\c");  // already there
  // 12,000 levels: refused before anything is made, with no deep stack.
  std::string deep = base + "\\z";
  for (int i = 0; i < 12000; ++i) deep += "\\z";
  EXPECT_THROW(ForceDirectories(deep), EInOutError);
  EXPECT_FALSE(fs::exists(tmp.Path / "made" / "z"));
  EXPECT_EQ(ErrorOf([] { ForceDirectories(""); }), "Unable to create directory");
}

}  // namespace
