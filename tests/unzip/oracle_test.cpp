// Archives made during the run by Info-ZIP zip and Python's zipfile, read by
// TUnZip and checked against the source files and Info-ZIP unzip.
#include <windows.h>

#include <cstdint>

#include "tests/unzip/unzip_support.h"

// Files, tools and shells of a POSIX system.
#ifndef _WIN32
namespace {

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct TSourceTree {
  TTempDir Dir;
  std::vector<std::string> Files;  // relative paths, "/" separated
  TSourceTree() {
    std::string root = Dir.Path + "/src";
    std::system(("mkdir -p '" + root + "/sub/deeper' '" + root + "/emptydir'").c_str());
    std::string text, binary, runs(1 << 20, 'r');
    static const char* kWords[] = {"upload ", "archive ", "table ",  "record ",
                                   "field\n", "browser ", "server ", "entry "};
    uint32_t x = 2463534242u;
    auto next = [&x] { return x ^= x << 13, x ^= x >> 17, x ^= x << 5; };
    while (text.size() < 300000) text += kWords[next() % 8];
    for (int i = 0; i < 120000; ++i) binary += char(next() >> 24);
    for (size_t i = 0; i < runs.size(); i += 4099) runs[i] = char(next());
    Add("text.txt", text);
    Add("sub/binary.bin", binary);
    Add("sub/deeper/runs.dat", runs);
    Add("empty", "");
    Add("sub/small.txt", "small\n");
  }
  void Add(const std::string& rel, const std::string& bytes) {
    WriteAll(Dir.Path + "/src/" + rel, bytes);
    Files.push_back(rel);
  }
  std::string Source(const std::string& rel) { return ReadWholeFile(Dir.Path + "/src/" + rel); }
};

std::string Pattern(std::string rel) {
  for (char& c : rel)
    if (c == '/') c = '\\';
  return rel;
}

// Every file of the tree out of zip, equal to the source and to unzip -p.
void CheckArchive(TSourceTree& t, const std::string& zip, const std::string& password = "") {
  SCOPED_TRACE(zip);
  TUnZip u;
  u.SetZipName(zip);
  u.Password = password;
  u.ReadDirectory();
  for (const std::string& rel : t.Files) {
    std::string out;
    ASSERT_EQ(Extract(u, Pattern(rel), &out), 1) << rel;
    std::string want = t.Source(rel);
    EXPECT_TRUE(out == want) << rel << ": " << out.size() << " bytes, want " << want.size();
    std::string pw = password.empty() ? "" : "-P '" + password + "' ";
    std::string oracle = Shell("unzip -p " + pw + "'" + zip + "' '" + rel + "'");
    EXPECT_TRUE(out == oracle) << rel << " differs from unzip -p";
  }
}

TEST(Oracle, InfoZipEveryLevelAndEncrypted) {
  if (!Have("zip") || !Have("unzip")) GTEST_SKIP() << "Info-ZIP zip/unzip not installed";
  TSourceTree t;
  for (int level = 0; level <= 9; ++level) {
    std::string zip = t.Dir.Path + "/l" + std::to_string(level) + ".zip";
    ASSERT_EQ(std::system(("cd '" + t.Dir.Path + "/src' && zip -q -r -" + std::to_string(level) +
                           " '" + zip + "' .")
                              .c_str()),
              0);
    CheckArchive(t, zip);
  }
  std::string enc = t.Dir.Path + "/enc.zip";
  ASSERT_EQ(
      std::system(("cd '" + t.Dir.Path + "/src' && zip -q -r -P 'pa ss' '" + enc + "' .").c_str()),
      0);
  CheckArchive(t, enc, "pa ss");
  // Streamed through a pipe: data descriptors and unknown sizes in the local headers.
  std::string streamed = t.Dir.Path + "/streamed.zip";
  ASSERT_EQ(
      std::system(("cd '" + t.Dir.Path + "/src' && cat text.txt | zip -q - - > '" + streamed + "'")
                      .c_str()),
      0);
  TUnZip u;
  u.SetZipName(streamed);
  std::string out;
  ASSERT_EQ(Extract(u, "-", &out), 1);
  EXPECT_TRUE(out == t.Source("text.txt"));
}

TEST(Oracle, PythonZipfileStoredAndDeflated) {
  if (!Have("unzip") || std::system("/usr/bin/python3 -c 'import zipfile, zlib' 2>/dev/null"))
    GTEST_SKIP() << "python3 zipfile or unzip not available";
  TSourceTree t;
  std::string script =
      "import os, sys, zipfile\n"
      "src, out = sys.argv[1], sys.argv[2]\n"
      "for name, method, level in [('stored', zipfile.ZIP_STORED, None)] + "
      "[('d%d' % l, zipfile.ZIP_DEFLATED, l) for l in range(0, 10)]:\n"
      "  with zipfile.ZipFile(os.path.join(out, name + '.zip'), 'w', method, compresslevel=level) "
      "as z:\n"
      "    z.writestr(zipfile.ZipInfo('emptydir/'), b'')\n"
      "    for root, dirs, files in os.walk(src):\n"
      "      for f in sorted(files):\n"
      "        p = os.path.join(root, f)\n"
      "        z.write(p, os.path.relpath(p, src))\n";
  WriteAll(t.Dir.Path + "/make.py", script);
  ASSERT_EQ(std::system(("/usr/bin/python3 '" + t.Dir.Path + "/make.py' '" + t.Dir.Path +
                         "/src' '" + t.Dir.Path + "'")
                            .c_str()),
            0);
  for (std::string name : {"stored", "d0", "d1", "d5", "d6", "d9"})
    CheckArchive(t, t.Dir.Path + "/" + name + ".zip");

  // File mode gives the same tree as unzip -d.
  std::string zip = t.Dir.Path + "/d6.zip";
  TUnZip u;
  u.SetZipName(zip);
  u.SetDestDir(t.Dir.Path + "/ours");
  u.RecreateDirs = true;
  u.DoAll = true;
  EXPECT_EQ(u.ExtractToFiles(), int(t.Files.size()) + 1);  // and emptydir/
  Shell("unzip -q '" + zip + "' -d '" + t.Dir.Path + "/theirs'");
  int status = -1;
  std::string diff =
      Shell("diff -r '" + t.Dir.Path + "/ours' '" + t.Dir.Path + "/theirs' 2>&1", &status);
  EXPECT_EQ(status, 0) << diff;
}

}  // namespace
#endif
