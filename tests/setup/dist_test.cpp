// The release folder as the Windows build leaves it: setup.dat compressed as
// compress.exe does, holding the library, the uninstaller and the
// documentation byte for byte, read back through the installer's own reader
// (under Wine, through lz32); setup.exe beside it once it is built; the zip.
#include <gtest/gtest.h>

#ifdef QRVX_DIST_DIR
#include <string>
#include <vector>

#include "setup/TmplLib.h"
#include "support/Automation.h"

namespace {

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> out;
  size_t from = 0;
  for (size_t sep; (sep = list.find('|', from)) != std::string::npos; from = sep + 1)
    out.push_back(list.substr(from, sep - from));
  out.push_back(list.substr(from));
  return out;
}

std::string BaseName(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

TEST(Dist, ThePackageHoldsEveryMemberByteForByte) {
  const std::string dir = QRVX_DIST_DIR;
  const std::vector<std::string> members = Split(QRVX_DIST_MEMBERS);
  ASSERT_EQ(members.size(), 6u);
  const std::string packed = ReadWholeFile(dir + "/setup.dat");
  ASSERT_GE(packed.size(), 14u);
  EXPECT_EQ(packed.substr(0, 8), std::string("SZDD\x88\xF0\x27\x33", 8));

  ASSERT_TRUE(OpenPackage(dir + "/setup.dat"));
  ASSERT_EQ(PackageEntryCount(), int(members.size()));
  size_t expanded = 8 + 32 * members.size();
  std::vector<std::string> names;
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string name = BaseName(members[i]);
    names.push_back(name);
    const PackageEntry& e = PackageEntryAt(int(i));
    EXPECT_EQ(PackageEntryName(e), name);
    const std::string bytes = ReadWholeFile(members[i]);
    ASSERT_FALSE(bytes.empty()) << name << ": an empty member could not be installed";
    EXPECT_EQ(e.Size, int32_t(bytes.size())) << name;
    EXPECT_TRUE(ReadPackageMember(name) == bytes) << name << " does not read back byte for byte";
    expanded += bytes.size();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"qrvx.dll", "QRVXUnst.exe", "Readme.txt",
                                             "Default.htm", "Upload.htm", "Upload.asp"}));
  EXPECT_LT(packed.size(), expanded) << "compressed";

  const std::string zip = ReadWholeFile(std::string(QRVX_DIST_ZIP));
  EXPECT_EQ(zip.substr(0, 4), "PK\x03\x04");
#ifdef QRVX_DIST_SETUP
  EXPECT_EQ(ReadWholeFile(dir + "/setup.exe").substr(0, 2), "MZ");
#endif
}

}  // namespace
#endif
