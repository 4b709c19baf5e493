// The install package reader and the LZ expansion it reads through: plain and
// compress.exe-compressed packages, member lookup, and packages whose header
// or directory lie. Natively the platform layer expands; under Wine, lz32.
#include <windows.h>

#include <gtest/gtest.h>
#include <lzexpand.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "setup/TmplLib.h"
#include "support/Automation.h"
#include "support/Bytes.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Fixture(const std::string& name) {
  return DataPath("setup/" + name);
}

// Everything LZRead gives from the handle's position, in reads of step bytes.
std::string LzReadAll(INT h, int step) {
  std::string out;
  std::vector<char> buf(static_cast<size_t>(step));
  for (INT n; (n = LZRead(h, buf.data(), step)) > 0;)
    out.append(buf.data(), static_cast<size_t>(n));
  return out;
}

INT LzOpen(const std::string& path) {
  std::string p = path;
  OFSTRUCT of;
  return LZOpenFileA(p.data(), &of, OF_READ);
}

class Package : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }

  TTestDir temp{"qrvx_setup_"};
  const fs::path& dir = temp.Path;
};

constexpr int32_t kAuto = INT32_MIN;

struct TMember {
  std::string name;
  std::string data;
  int32_t offset = kAuto;  // kAuto: where the data is placed
  int32_t size = kAuto;    // kAuto: the data's length
  int nameLength = kAuto;  // kAuto: the name's length
};

// A plain package: header, directory, then each member's data in order.
std::string Build(const std::vector<TMember>& members, int32_t count = kAuto) {
  std::string out = "WLib";
  Put32(out, count == kAuto ? int32_t(members.size()) : count);
  int32_t at = int32_t(8 + 32 * members.size());
  for (const TMember& m : members) {
    char name[23] = {};
    std::memcpy(name, m.name.data(), std::min<size_t>(m.name.size(), 23));
    out += char(m.nameLength == kAuto ? int(m.name.size()) : m.nameLength);
    out.append(name, 23);
    Put32(out, m.offset == kAuto ? at : m.offset);
    Put32(out, m.size == kAuto ? int32_t(m.data.size()) : m.size);
    at += int32_t(m.data.size());
  }
  for (const TMember& m : members) out += m.data;
  return out;
}

TEST_F(Package, LzExpansionGivesTheOriginalBytes) {
  const std::string notes = ReadWholeFile(Fixture("notes.txt"));
  ASSERT_EQ(notes.size(), 14350u);
  for (const char* name : {"notes.tx_", "notes.txt"}) {  // compressed and plain alike
    SCOPED_TRACE(name);
    for (int step : {1, 7, 4096, 100000}) {
      INT h = LzOpen(Fixture(name));
      ASSERT_GT(h, 0);
      EXPECT_EQ(LzReadAll(h, step), notes) << "step " << step;
      LZClose(h);
    }
    INT h = LzOpen(Fixture(name));
    ASSERT_GT(h, 0);
    EXPECT_EQ(LZSeek(h, 9000, 0), 9000);  // into the middle, also backwards
    EXPECT_EQ(LzReadAll(h, 333), notes.substr(9000));
    EXPECT_EQ(LZSeek(h, 10, 0), 10);
    char buf[20];
    ASSERT_EQ(LZRead(h, buf, 20), 20);
    EXPECT_EQ(std::string(buf, 20), notes.substr(10, 20));
    LZClose(h);
  }
  INT h = LzOpen(Fixture("notes.tx_"));
  EXPECT_LT(LZSeek(h, 14351, 0), 0) << "past the expanded length";
  EXPECT_LT(LZSeek(h, -1, 0), 0);
  LZClose(h);
  EXPECT_LE(LzOpen((dir / "missing.dat").string()), 0);
}

TEST_F(Package, DamagedCompressedFilesGiveAPrefixOrNothing) {
  const std::string notes = ReadWholeFile(Fixture("notes.txt"));
  const std::string packed = ReadWholeFile(Fixture("notes.tx_"));
  for (size_t cut :
       {size_t(14), size_t(15), size_t(16), size_t(100), packed.size() / 2, packed.size() - 1}) {
    INT h = LzOpen(Write("cut", packed.substr(0, cut)));
    ASSERT_GT(h, 0) << cut;
    std::string got = LzReadAll(h, 4096);
    EXPECT_LE(got.size(), notes.size()) << cut;
    EXPECT_EQ(got, notes.substr(0, got.size())) << cut;
    LZClose(h);
  }
  // Another compression method, or a header cut short: read as it is.
  std::string other = packed;
  other[8] = 'B';
  for (const std::string& plain : {other, packed.substr(0, 10)}) {
    INT h = LzOpen(Write("plain", plain));
    ASSERT_GT(h, 0);
    EXPECT_EQ(LzReadAll(h, 4096), plain);
    LZClose(h);
  }
}

TEST_F(Package, PlainAndCompressedPackagesReadAlike) {
  for (const char* name : {"setup.dat", "setup.da_"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(OpenPackage(Fixture(name)));
    EXPECT_EQ(PackageHeaderRead().Magic, kPackageMagic);
    EXPECT_EQ(PackageHeaderRead().Count, 3);
    ASSERT_EQ(PackageEntryCount(), 3);
    EXPECT_EQ(PackageEntryName(PackageEntryAt(0)), "notes.txt");
    EXPECT_EQ(PackageEntryName(PackageEntryAt(1)), "qrvx.dll");
    EXPECT_EQ(PackageEntryAt(1).Size, 3000);
    EXPECT_EQ(ReadPackageMember("notes.txt"), ReadWholeFile(Fixture("notes.txt")));
    EXPECT_EQ(ReadPackageMember("qrvx.dll"), ReadWholeFile(Fixture("qrvx.dll")));
    // Blanks are trimmed from the requested name only; the case must match.
    EXPECT_EQ(ReadPackageMember("  qrvx.dll \t"), ReadWholeFile(Fixture("qrvx.dll")));
    EXPECT_EQ(ReadPackageMember("QRVX.DLL"), "");
    // A member of size 0 reads like a name that is not there.
    EXPECT_EQ(ReadPackageMember("empty.txt"), "");
    EXPECT_EQ(ReadPackageMember("setup.exe"), "");
  }
}

TEST_F(Package, LookupRules) {
  std::string path = Write("p.dat", Build({{"readme.txt ", "stored with a space"},
                                           {"readme.txt", "first"},
                                           {"readme.txt", "second"},
                                           {"cut.txt", "abcdefgh", kAuto, kAuto, 3},
                                           {"long.txt", "long", kAuto, kAuto, 200}}));
  ASSERT_TRUE(OpenPackage(path));
  EXPECT_EQ(ReadPackageMember("readme.txt"), "first");
  EXPECT_EQ(ReadPackageMember("readme.txt "), "first");
  EXPECT_EQ(ReadPackageMember("cut"), "abcdefgh");  // bytes after the name length are ignored
  EXPECT_EQ(ReadPackageMember("cut.txt"), "");
  // A name length past the 23-byte field reads only the field.
  EXPECT_EQ(PackageEntryName(PackageEntryAt(4)), std::string("long.txt") + std::string(15, '\0'));
  // The data is sought at its offset, in any order.
  std::string scattered = Build({{"b", "", 8 + 64 + 3, 2}, {"a", "", 8 + 64, 3}}) + "AAABB";
  ASSERT_TRUE(OpenPackage(Write("s.dat", scattered)));
  EXPECT_EQ(ReadPackageMember("a"), "AAA");
  EXPECT_EQ(ReadPackageMember("b"), "BB");
}

TEST_F(Package, RejectedPackagesAndLyingDirectories) {
  ASSERT_TRUE(OpenPackage(Fixture("setup.dat")));
  // Another magic: false, count 0, no directory; members still come from
  // the package last opened successfully.
  EXPECT_FALSE(OpenPackage(Write("zip.dat", "PK\x03\x04" + std::string(60, '\0'))));
  EXPECT_EQ(PackageHeaderRead().Count, 0);
  EXPECT_EQ(PackageEntryCount(), 0);
  EXPECT_FALSE(OpenPackage((dir / "missing.dat").string()));
  EXPECT_EQ(PackageEntryCount(), 0);
  // A header cut short is no header, even when the magic is there.
  EXPECT_FALSE(OpenPackage(Write("four.dat", "WLib")));
  EXPECT_EQ(PackageHeaderRead().Magic, 0);
  // A directory shorter than the count promises: false, the count as read,
  // the entries that arrived (the last one completed with zeros).
  std::string full = Build({{"a.txt", "aaaa"}, {"b.txt", "bbbb"}});
  std::string path = Write("short.dat", full.substr(0, 8 + 32 + 10));
  EXPECT_FALSE(OpenPackage(path));
  EXPECT_EQ(PackageHeaderRead().Count, 2);
  ASSERT_EQ(PackageEntryCount(), 2);
  EXPECT_EQ(PackageEntryName(PackageEntryAt(0)), "a.txt");
  EXPECT_EQ(PackageEntryAt(1).Offset, 0);
  // Walking by the header's count never reads past the entries that arrived.
  std::string cut = Build({{"a.txt", "aaaa"}}, 1000).substr(0, 8 + 32);
  EXPECT_FALSE(OpenPackage(Write("cut.dat", cut)));
  ASSERT_EQ(PackageHeaderRead().Count, 1000);
  EXPECT_EQ(PackageEntryCount(), 1);
  for (int i = 1; i < PackageHeaderRead().Count; ++i) {
    EXPECT_EQ(PackageEntryName(PackageEntryAt(i)), "");
    EXPECT_EQ(PackageEntryAt(i).Size, 0);
  }
  EXPECT_EQ(PackageEntryAt(-1).Offset, 0);
  // Its entries are never looked up in the package opened before.
  EXPECT_EQ(ReadPackageMember("a.txt"), "");
  // Counts no file holds are refused without reserving their memory.
  for (int32_t count : {int32_t(0x7FFFFFFF), int32_t(-1), INT32_MIN + 1}) {
    EXPECT_FALSE(OpenPackage(Write("count.dat", Build({{"a.txt", "aaaa"}}, count)))) << count;
    EXPECT_LE(PackageEntryCount(), 2);  // what the 44 bytes hold
  }
  // Sizes and offsets that lie: only the bytes the package holds, never
  // another member's bytes read from the wrong place.
  ASSERT_TRUE(OpenPackage(Write("lies.dat", Build({{"big", "12345", kAuto, 0x7FFFFFF0},
                                                   {"neg", "x", kAuto, -5},
                                                   {"back", "y", -40, 1},
                                                   {"far", "z", 0x7FFFFFF0, 1}}))));
  EXPECT_EQ(ReadPackageMember("big"), "12345xyz");
  EXPECT_EQ(ReadPackageMember("neg"), "");
  EXPECT_EQ(ReadPackageMember("back"), "");
  EXPECT_EQ(ReadPackageMember("far"), "");
}

}  // namespace
