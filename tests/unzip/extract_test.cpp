// Extraction into a caller's stream: selection, events, CRCs, passwords,
// data descriptors, volumes and the failures an archive can cause.
#include <windows.h>

#include "tests/unzip/unzip_support.h"

namespace {

TEST(Extract, RealArchiveByPattern) {
  TUnZip u;
  OpenBytes(u, ReadWholeFile(DataPath("unzip/go-test.zip")));
  u.ReadDirectory();
  std::string out;
  EXPECT_EQ(Extract(u, "test.txt", &out), 1);
  EXPECT_EQ(out, "This is a test text file.\n");
  EXPECT_EQ(Extract(u, "*.PNG", &out), 1);
  EXPECT_EQ(Crc(out), 0x54d531feu);
  EXPECT_EQ(out.size(), 785u);
  EXPECT_EQ(Extract(u, "*", &out), 2);  // appended in index order
  EXPECT_EQ(out.substr(0, 26), "This is a test text file.\n");
  EXPECT_EQ(Extract(u, "nothing"), 0);
  EXPECT_EQ(u.FilesList, std::vector<std::string>{"nothing"});
}

TEST(Extract, PatternRules) {
  std::string zip = MakeZip({{"a/report.txt", "one"},
                             {"b/report.txt", "two"},
                             {"report[1].txt", "three"},
                             {"only/", ""}});
  TUnZip u;
  OpenBytes(u, zip);
  std::string out;
  EXPECT_EQ(Extract(u, "REPORT.TXT", &out), 2);  // same name in two directories
  EXPECT_EQ(out, "onetwo");
  EXPECT_EQ(Extract(u, "report[1].txt"), 0);   // a set, not the name
  EXPECT_EQ(Extract(u, "b\\*.txt", &out), 1);  // a backslash matches the directory too
  EXPECT_EQ(out, "two");
  EXPECT_EQ(Extract(u, "only*"), 0);

  // Only directory entries: 0, and no event but the first.
  TUnZip d;
  d.SetZipName(DataPath("unzip/go-subdir.zip"));
  std::vector<std::string> events;
  d.OnStartUnZipInfo = [&](TUnZip*, int n, int64_t total, bool&) {
    events.push_back("info " + std::to_string(n) + " " + std::to_string(total));
  };
  d.OnStartUnZip = [&](TUnZip*, int, const std::string&, bool&) { events.push_back("start"); };
  EXPECT_EQ(Extract(d, "*"), 1);  // a/b/c is an empty file
  EXPECT_EQ(events, (std::vector<std::string>{"info 1 0", "start"}));
  events.clear();
  EXPECT_EQ(Extract(d, "b"), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"info 0 0"}));
}

TEST(Extract, EventsInOrder) {
  std::string big(40000, 'x');
  for (size_t i = 0; i < big.size(); i += 7) big[i] = char('a' + i % 26);
  std::vector<TFakeEntry> e = {{"big.bin", big}, {"bad.txt", "data"}, {"small.txt", "hi"}};
  e[1].AutoCrc = false;
  e[1].Crc = 0x12345678;
  TUnZip u;
  OpenBytes(u, MakeZip(e));
  std::vector<std::string> log;
  auto add = [&](const std::string& s) { log.push_back(s); };
  u.OnStartUnZipInfo = [&](TUnZip*, int n, int64_t t, bool&) {
    add("info " + std::to_string(n) + " " + std::to_string(t));
  };
  u.OnStartUnZip = [&](TUnZip*, int i, const std::string& f, bool&) {
    add("start " + std::to_string(i) + " [" + f + "]");
  };
  u.OnEndUnZip = [&](TUnZip*, int i, const std::string&) { add("end " + std::to_string(i)); };
  u.OnFilePercentDone = [&](TUnZip*, int p) { add("file " + std::to_string(p)); };
  u.OnTotalPercentDone = [&](TUnZip*, int p) { add("total " + std::to_string(p)); };
  u.OnBadCRC = [&](TUnZip*, uint32_t calc, uint32_t stored, int i) {
    add("crc " + std::to_string(i) + " " + std::to_string(calc == Crc("data")) + " " +
        std::to_string(stored == 0x12345678));
  };
  std::string out;
  EXPECT_EQ(Extract(u, "*", &out), 2);
  EXPECT_EQ(out, big + "data" + "hi");  // the failed entry's bytes stay
  std::vector<std::string> want = {
      "info 3 40006", "start 0 []", "file 40",  "total 40",   "file 80",  "total 80",
      "file 100",     "total 100",  "end 0",    "start 1 []", "file 100", "total 100",
      "crc 1 1 1",    "start 2 []", "file 100", "total 100",  "end 2"};
  EXPECT_EQ(log, want);

  // StopNow: nothing is extracted, the number selected comes back.
  u.OnStartUnZipInfo = [](TUnZip*, int, int64_t, bool& stop) { stop = true; };
  u.OnStartUnZip = [](TUnZip*, int, const std::string&, bool&) { FAIL(); };
  EXPECT_EQ(Extract(u, "*.txt", &out), 2);
  EXPECT_EQ(out, "");
  // Skip: not extracted, still counted.
  u.OnStartUnZipInfo = nullptr;
  u.OnStartUnZip = [](TUnZip*, int i, const std::string&, bool& skip) { skip = i == 2; };
  EXPECT_EQ(Extract(u, "small.txt", &out), 1);
  EXPECT_EQ(out, "");
}

TEST(Extract, StoredAndDeflatedWithDataDescriptors) {
  TUnZip u;
  OpenBytes(u, ReadWholeFile(DataPath("unzip/go-go-with-datadesc-sig.zip")));
  std::string out;
  EXPECT_EQ(Extract(u, "*", &out), 2);
  EXPECT_EQ(out, "foo\nbar\n");
  TUnZip v;
  v.SetZipName(DataPath("unzip/Zip.none.datadescriptors.zip"));
  EXPECT_EQ(Extract(v, "first.txt", &out), 1);
  EXPECT_EQ(Crc(out), 0x03f00687u);
  EXPECT_EQ(Extract(v, "second.txt", &out), 1);
  EXPECT_EQ(Crc(out), 0xd55fc7ebu);
  TUnZip w;
  w.SetZipName(DataPath("unzip/go-dd.zip"));
  EXPECT_EQ(Extract(w, "filename", &out), 1);
  EXPECT_EQ(out, "This is a test textfile.\n");
}

TEST(Extract, TraditionalEncryption) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/zipcrypto.zip"));
  std::vector<std::pair<int, int>> skips;
  u.OnSkippingFile = [&](TUnZip*, TSkipReason r, int i) { skips.push_back({r, i}); };
  std::string out;
  EXPECT_EQ(Extract(u, "quick.txt", &out), 0);  // no password
  EXPECT_EQ(skips, (std::vector<std::pair<int, int>>{{skBadPassword, 6}}));
  u.Password = "test";
  EXPECT_EQ(Extract(u, "*", &out), 8);
  EXPECT_EQ(out, "brown\ndog\nfox\njumps\nlazy\nquick\nthe");  // archive order
  EXPECT_EQ(Extract(u, "over.txt", &out), 1);                  // empty: the 12-byte header only

  // The password asked for again: first a wrong one, then the right one.
  TUnZip v;
  OpenBytes(v, ReadWholeFile(DataPath("unzip/libzip-encrypt.zip")));
  std::vector<std::string> offered = {"bar", "foo"};
  int asked = 0;
  v.OnBadPassword = [&](TUnZip*, int, std::string& p) {
    p = asked < int(offered.size()) ? offered[asked] : p;
    ++asked;
  };
  EXPECT_EQ(Extract(v, "*", &out), 2);
  EXPECT_EQ(out, "foo\nfoo\n");
  EXPECT_EQ(v.Password, "foo");

  // With a data descriptor the check byte comes from the time.
  TUnZip w;
  w.SetZipName(DataPath("unzip/libzip-encrypt-pkware-noentropy.zip"));
  w.Password = "no-entropy";
  EXPECT_EQ(Extract(w, "encrypted", &out), 1);
  EXPECT_EQ(out, "encrypted\n");
  TUnZip x;
  x.SetZipName(DataPath("unzip/Zip.deflate.pkware.zip"));
  x.Password = "12345678";
  EXPECT_EQ(Extract(x, "File.txt", &out), 1);
  EXPECT_EQ(out, "bla-bla-bla-bla-bla");
  TUnZip y;
  y.SetZipName(DataPath("unzip/libzip-empty-pkware.zip"));
  y.Password = "1";
  EXPECT_EQ(Extract(y, "0", &out), 1);
  y.Password = "2";
  int bad = 0;
  y.OnBadPassword = [&](TUnZip*, int, std::string&) { ++bad; };
  EXPECT_EQ(Extract(y, "0"), 0);
  EXPECT_EQ(bad, 1);
}

#ifndef _WIN32  // message boxes would wait for a click
TEST(Extract, UnknownMethodAndBadData) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/bzip2-zip.zip"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(Extract(u, "*"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Zip Error] Unknown Compression Method\r\n");
  // An unknown method with a stored CRC of 0 counts.
  std::vector<TFakeEntry> e = {{"empty.x", ""}};
  e[0].Method = 99;
  TUnZip v;
  OpenBytes(v, MakeZip(e));
  testing::internal::CaptureStderr();
  EXPECT_EQ(Extract(v, "*"), 1);
  testing::internal::GetCapturedStderr();

  // Output beyond the declared size fails the entry (stored: packed > unpacked).
  std::vector<TFakeEntry> lie = {{"lie.txt", std::string(100, 'L')}};
  lie[0].Unpacked = 10;
  TUnZip w;
  OpenBytes(w, MakeZip(lie));
  int badCrc = 0;
  w.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t, int) { ++badCrc; };
  EXPECT_EQ(Extract(w, "*"), 0);
  EXPECT_EQ(badCrc, 1);

  // A deflated entry that claims more compressed bytes than the archive holds.
  std::vector<TFakeEntry> cut = {{"cut.txt", std::string("\x03\x00", 2)}};
  cut[0].Method = 8;
  cut[0].Packed = 5000;
  cut[0].AutoCrc = false;
  TUnZip x;
  OpenBytes(x, MakeZip(cut));
  EXPECT_EQ(ErrorOf([&] { Extract(x, "*"); }), "Premature end of file reached");
  // The same stored ends early and fails its CRC.
  cut[0].Method = 0;
  TUnZip y;
  OpenBytes(y, MakeZip(cut));
  EXPECT_EQ(Extract(y, "*"), 0);
}

#endif

TEST(Extract, SpannedSet) {
  std::string base = DataPath("unzip/Infozip.nocomp.multi");
  TUnZip u;
  u.SetZipName(base + ".zip");
  // Without a handler no other volume can be had.
  EXPECT_EQ(ErrorOf([&] { Extract(u, "*"); }), "User canceled loading new disk.");
  std::vector<int> asked;
  u.OnGetNextDisk = [&](TUnZip*, int disk, std::string& name) {
    asked.push_back(disk);
    name = disk == 1 ? base + ".z01" : disk == 2 ? base + ".zip" : "";
  };
  u.SetZipName(base + ".zip");
  u.ReadDirectory();
  EXPECT_EQ(u.EntryCount(), 5);
  EXPECT_EQ(u.VolumeKind(), vkSplit);
  std::string out;
  EXPECT_EQ(Extract(u, "test.exe", &out), 1);
  EXPECT_EQ(Crc(out), 0xcfb109c8u);
  EXPECT_EQ(Extract(u, "test.jpg", &out), 1);
  EXPECT_EQ(Crc(out), 0x088814e3u);
  EXPECT_EQ(Extract(u, "*.txt", &out), 1);
  EXPECT_EQ(Crc(out), 0x9bd160fau);
  EXPECT_FALSE(asked.empty());
  // A set is read in archive order whatever the sort mode; the mode is
  // applied again afterwards.
  u.ApplySortMode(ByFileName);
  EXPECT_EQ(u.EntryName(0), "");  // the directory entries sort first
  EXPECT_EQ(Extract(u, "*.*", &out), 3);
  EXPECT_EQ(Crc(out.substr(0, 45056)), 0xcfb109c8u);  // test.exe comes first in the set
  EXPECT_EQ(u.SortMode, ByFileName);
  EXPECT_EQ(u.EntryName(4), "test.jpg");

  // An empty name cancels.
  TUnZip v;
  v.SetZipName(base + ".zip");
  v.OnGetNextDisk = [](TUnZip*, int, std::string& name) { name.clear(); };
  EXPECT_EQ(ErrorOf([&] { Extract(v, "*"); }), "User canceled loading new disk.");
}

TEST(Extract, CallersStreamIsNeverFreedByAVolumeSwitch) {
  // A single file that says it is the second volume of a set.
  auto* mem = MemoryOf(ReadWholeFile(DataPath("unzip/libzip-multidisk.zip")));
  TUnZip u;
  u.SetArchiveStream(mem);
  std::string message = ErrorOf([&] {
    u.ReadDirectory();
    Extract(u, "*");
  });
  EXPECT_EQ(message, "User canceled loading new disk.");
  u.SetArchiveStream(nullptr);  // handed back, still ours
  EXPECT_GT(mem->GetSize(), 0);
  delete mem;
}

TEST(Extract, TruncatedAndCorruptedArchivesFailCleanly) {
  for (const char* name : {"go-test.zip", "zipcrypto.zip", "Zip.Evil.zip"}) {
    std::string zip = ReadWholeFile(DataPath(std::string("unzip/") + name));
    for (size_t len = 0; len < zip.size(); len += 7) {
      for (int mode = 0; mode < 2; ++mode) {
        std::string bytes = zip.substr(0, len);
        if (mode == 1 && len < zip.size()) {  // one byte changed instead
          bytes = zip;
          bytes[len] = char(bytes[len] ^ 0x5A);
        }
        TUnZip u;
        u.IncompleteZipMode = izAssumeBad;
        u.Password = "test";
        OpenBytes(u, bytes);
        try {
          u.ReadDirectory();
          for (int i = 0; i < u.EntryCount(); ++i) {
            TMemoryStream m;
            u.ExtractToStream(&m, u.EntryName(i));
            EXPECT_LE(m.GetSize(), 1 << 20);
          }
        } catch (const Exception&) {
        }
      }
    }
  }
}

}  // namespace
