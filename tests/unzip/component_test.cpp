// The component end to end where the other suites stop short: the legacy
// methods extracted through TUnZip itself, a password asked for again after
// the checksum failed, volume sets whose data or directory crosses from one
// volume to the next (and removable volumes checked by label), the sort
// modes by directory and by rate, and an archive kept open or read again
// after it changed.
#include <windows.h>

#include <filesystem>
#include <set>
#include <thread>

#include "tests/unzip/unzip_support.h"

namespace {

// ---- traditional encryption (APPNOTE 6.1), to make encrypted entries ----

struct TZipKeys {
  uint32_t K0 = 0x12345678, K1 = 0x23456789, K2 = 0x34567890;
  static uint32_t Crc1(uint32_t c, uint8_t b) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    return c;
  }
  explicit TZipKeys(const std::string& password) {
    for (unsigned char c : password) Update(c);
  }
  void Update(uint8_t p) {
    K0 = Crc1(K0, p);
    K1 = (K1 + (K0 & 0xFF)) * 134775813u + 1;
    K2 = Crc1(K2, uint8_t(K1 >> 24));
  }
  uint8_t Stream() const {
    uint32_t t = (K2 | 2) & 0xFFFFu;
    return uint8_t((t * (t ^ 1)) >> 8);
  }
  std::string Encrypt(const std::string& plain) {
    std::string out;
    for (unsigned char p : plain) {
      out += char(p ^ Stream());
      Update(p);
    }
    return out;
  }
  std::string Decrypt(const std::string& cipher) {
    std::string out;
    for (unsigned char c : cipher) {
      uint8_t p = c ^ Stream();
      out += char(p);
      Update(p);
    }
    return out;
  }
};

// A stored entry encrypted with password.
TFakeEntry Encrypted(const std::string& name, const std::string& data,
                     const std::string& password) {
  TFakeEntry e{name, ""};
  e.Crc = Crc(data);
  e.AutoCrc = false;
  e.Flags = 1;
  std::string header = "0123456789A";
  header += char(e.Crc >> 24);  // the check byte
  e.Data = TZipKeys(password).Encrypt(header + data);
  e.Unpacked = int32_t(data.size());
  return e;
}

}  // namespace

TEST(Component, LegacyMethodsExtractThroughTheComponent) {
  const char* archives[] = {"SHRUNK.ZIP",
                            "Zip.shrink.zip",
                            "Zip.reduce1.zip",
                            "Zip.reduce2.zip",
                            "Zip.reduce3.zip",
                            "Zip.reduce4.zip",
                            "Zip.implode.zip",
                            "zip2-shrink.zip",
                            "zip2-reduce.zip",
                            "zip2-implode.zip",
                            "lorem-ipsum-implode.zip",
                            "imploding-4Kdict-2trees.zip",
                            "imploding-8Kdict-3trees.zip"};
  const std::string first = ReadWholeFile(DataPath("unzip/legacy/zip2-first.txt"));
  for (const char* name : archives) {
    TUnZip u;
    u.SetZipName(DataPath(std::string("unzip/legacy/") + name));
    u.ReadDirectory();
    int files = 0;
    std::set<int> methods;
    for (int i = 0; i < u.EntryCount(); ++i) {
      if (!u.Entry(i).FileName().empty()) ++files;
      methods.insert(u.Entry(i).Method);
    }
    int badCrc = 0;
    u.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t, int) { ++badCrc; };
    EXPECT_TRUE(methods.count(1) || methods.count(2) || methods.count(3) || methods.count(4) ||
                methods.count(5) || methods.count(6))
        << name;
    EXPECT_EQ(Extract(u, "*"), files) << name;
    EXPECT_EQ(badCrc, 0) << name;
    if (std::string(name).rfind("zip2-", 0) == 0) {
      std::string out;
      EXPECT_EQ(Extract(u, "first.txt", &out), 1) << name;
      EXPECT_EQ(out, first) << name;
    }
  }
}

TEST(Component, PasswordAskedAgainAfterTheChecksumFails) {
  const std::string data = "the right plaintext";
  TFakeEntry e = Encrypted("secret.txt", data, "right");
  // A wrong password whose decrypted header ends in the check byte: it
  // passes the check and fails only at the checksum.
  std::string wrong;
  for (int i = 0; i < 100000 && wrong.empty(); ++i) {
    std::string candidate = "w" + std::to_string(i);
    if (TZipKeys(candidate).Decrypt(e.Data.substr(0, 12))[11] == char(e.Crc >> 24))
      wrong = candidate;
  }
  ASSERT_FALSE(wrong.empty());
  std::string zip = MakeZip({e});

  TUnZip u;
  OpenBytes(u, zip);
  u.Password = wrong;
  std::vector<std::string> asked;
  u.OnBadPassword = [&](TUnZip*, int index, std::string& p) {
    EXPECT_EQ(index, 0);
    asked.push_back(p);
    p = "right";
  };
  int badCrc = 0, skipped = 0;
  u.OnBadCRC = [&](TUnZip*, uint32_t, uint32_t, int) { ++badCrc; };
  u.OnSkippingFile = [&](TUnZip*, TSkipReason, int) { ++skipped; };
  std::string out;
  EXPECT_EQ(Extract(u, "secret.txt", &out), 1);
  EXPECT_EQ(asked, std::vector<std::string>{wrong});
  EXPECT_EQ(u.Password, "right");
  EXPECT_EQ(badCrc, 0);  // an encrypted entry's checksum failure asks for a password
  EXPECT_EQ(skipped, 0);
  // The failed attempt's bytes stay in the stream; the retry follows them.
  ASSERT_GE(out.size(), data.size());
  EXPECT_EQ(out.substr(out.size() - data.size()), data);

  // The same password offered again is no new answer: the entry is skipped.
  TUnZip v;
  OpenBytes(v, zip);
  v.Password = wrong;
  int offered = 0;
  v.OnBadPassword = [&](TUnZip*, int, std::string&) { ++offered; };
  std::vector<TSkipReason> reasons;
  v.OnSkippingFile = [&](TUnZip*, TSkipReason r, int) { reasons.push_back(r); };
  EXPECT_EQ(Extract(v, "*"), 0);
  EXPECT_EQ(offered, 1);
  EXPECT_EQ(reasons, std::vector<TSkipReason>{skBadPassword});
}

TEST(Component, SortByDirectoryAndByRate) {
  std::vector<TFakeEntry> e = {{"b/one", std::string(5, '1')},
                               {"a/two", std::string(20, '2')},
                               {"B/three", std::string(1, '3')},
                               {"c/four", std::string(10, '4')},
                               {"five", ""}};
  e[0].Unpacked = 10;   // 50 %
  e[1].Unpacked = 20;   // 100 %
  e[2].Unpacked = 100;  // 1 %
  e[3].Unpacked = 40;   // 25 %
  e[4].Unpacked = 0;    // 0 %: nothing unpacked
  TUnZip u;
  OpenBytes(u, MakeZip(e));
  u.ReadDirectory();
  auto names = [&] {
    std::string s;
    for (int i = 0; i < u.EntryCount(); ++i) s += u.EntryName(i) + " ";
    return s;
  };
  // Directories ascending, ASCII case ignored; an equal directory goes
  // before the entries already there.
  u.ApplySortMode(ByDirectoryName);
  EXPECT_EQ(names(), "five two three one four ");
  EXPECT_EQ(u.SortMode, ByDirectoryName);
  // The highest packed-to-unpacked percentage first.
  u.ApplySortMode(ByRate);
  EXPECT_EQ(names(), "two one four three five ");
  u.ApplySortMode(ByNone);
  EXPECT_EQ(names(), "one two three four five ");
}

namespace {

// The bytes of a set of volumes: the archive made as one stream, then cut
// at the given offsets into volumes, every offset in the directory counted
// from the start of its own volume.
[[maybe_unused]] std::vector<std::string> VolumeSet(const std::vector<TFakeEntry>& entries,
                                                    const std::vector<uint32_t>& cuts) {
  auto volumeOf = [&](uint32_t at) {
    uint16_t v = 0;
    while (v < cuts.size() && at >= cuts[v]) ++v;
    return v;
  };
  auto within = [&](uint32_t at) { return at - (volumeOf(at) ? cuts[volumeOf(at) - 1] : 0); };
  std::string out, central;
  std::vector<uint32_t> offsets;
  for (const TFakeEntry& e : entries) {
    offsets.push_back(uint32_t(out.size()));
    Put32(out, 0x04034B50), Put16(out, 20), Put16(out, e.Flags), Put16(out, e.Method);
    Put32(out, e.DosDateTime), Put32(out, Crc(e.Data)), Put32(out, uint32_t(e.Data.size()));
    Put32(out, uint32_t(e.Data.size())), Put16(out, uint16_t(e.Name.size())), Put16(out, 0);
    out += e.Name + e.Data;
  }
  uint32_t at = uint32_t(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const TFakeEntry& e = entries[i];
    Put32(central, 0x02014B50), Put16(central, 20), Put16(central, 20), Put16(central, e.Flags);
    Put16(central, e.Method), Put32(central, e.DosDateTime), Put32(central, Crc(e.Data));
    Put32(central, uint32_t(e.Data.size())), Put32(central, uint32_t(e.Data.size()));
    Put16(central, uint16_t(e.Name.size())), Put16(central, 0), Put16(central, 0);
    Put16(central, volumeOf(offsets[i])), Put16(central, 0), Put32(central, 32);
    Put32(central, within(offsets[i]));
    central += e.Name;
  }
  out += central;
  Put32(out, 0x06054B50), Put16(out, uint16_t(cuts.size())), Put16(out, volumeOf(at));
  Put16(out, uint16_t(entries.size())), Put16(out, uint16_t(entries.size()));
  Put32(out, uint32_t(central.size())), Put32(out, within(at)), Put16(out, 0);
  std::vector<std::string> volumes;
  uint32_t from = 0;
  for (uint32_t cut : cuts) {
    volumes.push_back(out.substr(from, cut - from));
    from = cut;
  }
  volumes.push_back(out.substr(from));
  return volumes;
}

}  // namespace

#ifndef _WIN32
TEST(Component, VolumeSetsCrossingVolumes) {
  TTempDir tmp;
  const std::string a(3000, 'a'), b = "second entry";
  std::vector<TFakeEntry> entries = {{"a.txt", a}, {"b.txt", b}};
  // Local header of a.txt at 0, its data from 35 to 3035, b.txt's header at
  // 3035, the central directory from 3082.
  const std::vector<std::pair<const char*, std::vector<uint32_t>>> sets = {
      {"data", {1000}},            // a.txt's data goes on in the second volume
      {"central", {3100}},         // the first central record is cut
      {"three", {500, 3090}},      // both, over three volumes
      {"records", {3082, 3133}}};  // each central record in a volume of its own
  for (const auto& [name, cuts] : sets) {
    std::vector<std::string> volumes = VolumeSet(entries, cuts);
    std::string base = tmp.Path + "/" + name;
    std::vector<std::string> files;
    for (size_t v = 0; v + 1 < volumes.size(); ++v) {
      files.push_back(base + Format(".z%02d", int(v + 1)));
      WriteAll(files.back(), volumes[v]);
    }
    files.push_back(base + ".zip");
    WriteAll(files.back(), volumes.back());
    TUnZip u;
    std::vector<int> asked;
    u.OnGetNextDisk = [&](TUnZip*, int disk, std::string& file) {
      asked.push_back(disk);
      file = disk >= 1 && disk <= int(files.size()) ? files[disk - 1] : "";
    };
    u.SetZipName(base + ".zip");
    u.ReadDirectory();
    ASSERT_EQ(u.EntryCount(), 2) << name;
    EXPECT_EQ(u.VolumeKind(), vkSplit) << name;
    std::string out;
    EXPECT_EQ(Extract(u, "a.txt", &out), 1) << name;
    EXPECT_EQ(out, a) << name;
    EXPECT_EQ(Extract(u, "b.txt", &out), 1) << name;
    EXPECT_EQ(out, b) << name;
    EXPECT_FALSE(asked.empty()) << name;
  }
}

TEST(Component, RemovableVolumesAreCheckedByTheirLabel) {
  TTempDir tmp;
  std::vector<std::string> volumes = VolumeSet({{"a.txt", std::string(2000, 'x')}}, {1000});
  WriteAll(tmp.Path + "/set.z01", volumes[0]);
  WriteAll(tmp.Path + "/set.zip", volumes[1]);
  // The set lies on drive A:, a removable drive; the disk in it is labelled
  // as the second of the set.
  QrvxSetRemovableDrive('A', "PKBACK# 002");
  TUnZip u;
  int asked = 0;
  u.OnGetNextDisk = [&](TUnZip*, int disk, std::string& file) {
    ++asked;
    // The first two times the wrong disk is in the drive, then the right one.
    std::string want = Format("PKBACK# %3.3d", disk);
    QrvxSetRemovableDrive('A', asked <= 2 ? "PKBACK# 009" : want.c_str());
    file = "A:" + tmp.Path + (disk == 1 ? "/set.z01" : "/set.zip");
  };
  u.SetZipName("a:" + tmp.Path + "/set.zip");
  u.ReadDirectory();
  EXPECT_EQ(u.VolumeKind(), vkRemovable);
  std::string out;
  EXPECT_EQ(Extract(u, "a.txt", &out), 1);
  EXPECT_EQ(out, std::string(2000, 'x'));
  EXPECT_GE(asked, 3);
  // A wrong disk and then a cancel: the extraction ends with the cancel.
  QrvxSetRemovableDrive('A', "PKBACK# 002");
  TUnZip v;
  int tries = 0;
  v.OnGetNextDisk = [&](TUnZip*, int, std::string& file) {
    file = ++tries < 3 ? "A:" + tmp.Path + "/set.z01" : "";
  };
  v.SetZipName("A:" + tmp.Path + "/set.zip");
  EXPECT_EQ(ErrorOf([&] { Extract(v, "*"); }), "User canceled loading new disk.");
  EXPECT_EQ(tries, 3);
  QrvxSetRemovableDrive(0, nullptr);
}

TEST(Component, KeptOpenOrReadAgainWhenTheFileChanged) {
  TTempDir tmp;
  std::string path = tmp.Path + "/a.zip";
  WriteAll(path, MakeZip({{"one.txt", "1"}}));
  auto touch = [&](int seconds) {
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) + std::chrono::seconds(seconds));
  };
  for (bool keep : {false, true}) {
    TUnZip u;
    u.KeepZipOpen = keep;
    u.SetZipName(path);
    u.ReadDirectory();
    ASSERT_EQ(u.EntryCount(), 1);
    std::string out;
    EXPECT_EQ(Extract(u, "one.txt", &out), 1);
    // Another archive under the same name, with another time: read again.
    WriteAll(path, MakeZip({{"one.txt", "1"}, {"two.txt", "22"}}));
    touch(keep ? 10 : 20);
    EXPECT_EQ(Extract(u, "two.txt", &out), 1) << keep;
    EXPECT_EQ(out, "22") << keep;
    EXPECT_EQ(u.EntryCount(), 2) << keep;
    // Unchanged since: the directory in hand serves.
    EXPECT_EQ(Extract(u, "*", &out), 2) << keep;
    WriteAll(path, MakeZip({{"one.txt", "1"}}));
  }
}
#endif
