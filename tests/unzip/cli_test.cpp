// qrvx unzip: listing, testing and extracting from the command line.
#include "tests/unzip/unzip_support.h"

#if defined(QRVX_CLI) && !defined(_WIN32)
namespace {

std::string Qrvx(const std::string& args, int* code) {
  return Shell(std::string(QRVX_CLI) + " unzip " + args + " 2>/dev/null", code);
}

TEST(Cli, ListAndTest) {
  int code;
  std::string out = Qrvx("-l --json " + DataPath("unzip/go-test.zip"), &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out,
            "{\"entries\":[{\"index\":0,\"directory\":\"\",\"name\":\"test.txt\",\"method\":8,"
            "\"packed\":25,\"unpacked\":26,\"crc\":\"c3edd7c0\",\"encrypted\":false},"
            "{\"index\":1,\"directory\":\"\",\"name\":\"gophercolor16x16.png\",\"method\":0,"
            "\"packed\":785,\"unpacked\":785,\"crc\":\"54d531fe\",\"encrypted\":false}]}\n");
  out = Qrvx("-t -P test " + DataPath("unzip/zipcrypto.zip"), &code);
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("ok          quick.txt\n"), std::string::npos) << out;
  out = Qrvx("-t --json -P wrong " + DataPath("unzip/zipcrypto.zip") + " 'q*'", &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(out.find("\"name\":\"quick.txt\",\"method\":0,\"packed\":18,\"unpacked\":6,"
                     "\"crc\":\"2aed86fa\",\"encrypted\":true,\"result\":\"password\""),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\"name\":\"the.txt\",\"method\":0,\"packed\":15,\"unpacked\":3,"
                     "\"crc\":\"3c456de6\",\"encrypted\":true,\"result\":\"skipped\""),
            std::string::npos);
  out = Qrvx("-t --json " + DataPath("unzip/bzip2-zip.zip"), &code);
  EXPECT_EQ(code, 2);
  EXPECT_NE(out.find("\"result\":\"unsupported\""), std::string::npos) << out;
  out = Qrvx("-t --json " + DataPath("unzip/readme.notzip"), &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(out, "{\"entries\":[],\"error\":\"Incomplete Zip File\"}\n");
  out = Qrvx("-t " + DataPath("unzip/Infozip.nocomp.multi.zip"), &code);  // finds .z01 itself
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("ok          exe\\test.exe"), std::string::npos) << out;
}

TEST(Cli, ExtractsIntoADirectory) {
  TTempDir tmp;
  int code;
  std::string dir = tmp.Path + "/x";
  Qrvx("-d " + dir + " " + DataPath("unzip/go-subdir.zip"), &code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Shell("cd " + dir + " && find . | sort | tr '\\n' ' '"), ". ./a ./a/b ./a/b/c ");
  WriteAll(dir + "/a/b/c", "mine");
  Qrvx("-n -d " + dir + " " + DataPath("unzip/go-subdir.zip"), &code);
  EXPECT_EQ(ReadWholeFile(dir + "/a/b/c"), "mine");
  Shell("echo n | " + std::string(QRVX_CLI) + " unzip -d " + dir + " " +
        DataPath("unzip/go-subdir.zip") + " 2>/dev/null");
  EXPECT_EQ(ReadWholeFile(dir + "/a/b/c"), "mine");
  Qrvx("-o -d " + dir + " " + DataPath("unzip/go-subdir.zip") + " c", &code);
  EXPECT_EQ(ReadWholeFile(dir + "/a/b/c"), "");
}

}  // namespace
#endif
