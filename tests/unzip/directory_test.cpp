// Reading archive directories: end record, central records, names, the scan
// that rebuilds a directory, sort orders and comments.
#include <windows.h>

#include "tests/unzip/unzip_support.h"

namespace {

TEST(Directory, EntriesOfARealArchive) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/go-test.zip"));
  u.ReadDirectory();
  ASSERT_EQ(u.EntryCount(), 2);
  EXPECT_EQ(u.EntryName(0), "test.txt");
  EXPECT_EQ(u.EntryName(1), "gophercolor16x16.png");
  const TZipHeaderInfo& png = u.Entry(1);
  EXPECT_EQ(png.Method, 0);
  EXPECT_EQ(png.Crc, 0x54d531feu);
  EXPECT_EQ(png.PackedSize, 785);
  EXPECT_EQ(u.Entry(0).Crc, 0xc3edd7c0u);
  EXPECT_EQ(u.Entry(0).UnpackedSize, 26);
  EXPECT_FALSE(u.Rebuilt());
  EXPECT_EQ(u.ArchiveComment(), "This is a zipfile comment.");
  EXPECT_EQ(ErrorOf([&] { u.EntryName(2); }), "Index 2 is out of range");
  EXPECT_EQ(ErrorOf([&] { u.EntryComment(-1); }), "Index -1 is out of range");
}

TEST(Directory, NoEndRecord) {
  TUnZip u;
  OpenBytes(u, ReadWholeFile(DataPath("unzip/readme.notzip")));
  EXPECT_EQ(ErrorOf([&] { u.ReadDirectory(); }), "Incomplete Zip File");
  EXPECT_EQ(u.EntryCount(), 0);

  // The handler may ask for a scan instead: it finds the archive behind the
  // 20 bytes of text, whose end record is missing.
  int asked = 0;
  u.OnInCompleteZip = [&](TUnZip*, TIncompleteZipMode& mode) {
    ++asked;
    mode = izAssumeBad;
  };
  u.ReadDirectory();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(u.Rebuilt());
  ASSERT_EQ(u.EntryCount(), 1);
  EXPECT_EQ(u.EntryName(0), "README");
  EXPECT_EQ(u.Entry(0).LocalHeaderOffset, 20);
  EXPECT_EQ(u.IncompleteZipMode, izAssumeBad);
  // Without any local header the scan leaves an empty directory.
  TUnZip w;
  w.IncompleteZipMode = izAssumeBad;
  OpenBytes(w, std::string(5000, 'P'));
  w.ReadDirectory();
  EXPECT_EQ(w.EntryCount(), 0);

  std::string end = MakeZip({});
  ASSERT_EQ(end.size(), 22u);
  TUnZip v;
  OpenBytes(v, end.substr(0, 21));
  EXPECT_EQ(ErrorOf([&] { v.ReadDirectory(); }), "Incomplete Zip File");
  OpenBytes(v, end);
  v.ReadDirectory();
  EXPECT_EQ(v.EntryCount(), 0);
}

TEST(Directory, EndRecordSearch) {
  std::string plain = MakeZip({{"a.txt", "alpha"}});
  // A second end record inside the comment: the one nearer the end wins.
  std::string decoy = MakeZip({{"decoy.txt", ""}});
  TUnZip u;
  OpenBytes(u, plain.substr(0, plain.size() - 2) + char(decoy.size()) + '\0' + decoy);
  u.ReadDirectory();
  // The decoy's directory offset does not hold a central record: the scan
  // finds the real entry.
  EXPECT_TRUE(u.Rebuilt());
  ASSERT_EQ(u.EntryCount(), 1);
  EXPECT_EQ(u.EntryName(0), "a.txt");
  // The same with libzip's real archive whose comment holds a complete one.
  TUnZip w;
  OpenBytes(w, ReadWholeFile(DataPath("unzip/libzip-zip-in-archive-comment.zip")));
  w.ReadDirectory();
  EXPECT_GE(w.EntryCount(), 1);

  // An end record more than 65528 bytes before the end is not found.
  std::string longComment(65535, 'c');
  std::string distant = MakeZip({{"a.txt", "alpha"}}, {}, longComment);
  TUnZip v;
  OpenBytes(v, distant);
  EXPECT_EQ(ErrorOf([&] { v.ReadDirectory(); }), "Incomplete Zip File");
}

TEST(Directory, NamesSplitIntoDirectoryAndFile) {
  TUnZip u;
  OpenBytes(u, MakeZip({{"docs/sub/a.txt", "x"}, {"dir/", ""}, {"c:x.txt", "y"}}));
  u.ReadDirectory();
  ASSERT_EQ(u.EntryCount(), 3);
  EXPECT_EQ(u.Entry(0).Directory(), "docs\\sub\\");
  EXPECT_EQ(u.Entry(0).FileName(), "a.txt");
  EXPECT_EQ(u.Entry(0).NameLength, 14);
  EXPECT_EQ(u.Entry(1).Directory(), "dir\\");
  EXPECT_EQ(u.Entry(1).FileName(), "");
  // A directory part ends in a backslash also when the name was cut at a colon.
  EXPECT_EQ(u.Entry(2).Directory(), "c:\\");
  EXPECT_EQ(u.Entry(2).FileName(), "x.txt");
  EXPECT_EQ(u.Entry(2).NameLength, 8);
  std::string data;
  EXPECT_EQ(Extract(u, "x.txt", &data), 1);
  EXPECT_EQ(data, "y");
}

#ifndef _WIN32  // the stand-in's locale hook
TEST(Directory, OemNamesBecomeAnsi) {
  QrvxSetSystemLocale("ru_RU.UTF-8");  // OEM 866, ANSI 1251
  TUnZip u;
  OpenBytes(u, ReadWholeFile(DataPath("unzip/test_read_format_zip_filename_cp866.zip")));
  u.ReadDirectory();
  ASSERT_EQ(u.EntryCount(), 2);
  // "ПРИВЕТ" and "привет" in code page 1251.
  EXPECT_EQ(u.EntryName(0), "\xCF\xD0\xC8\xC2\xC5\xD2");
  EXPECT_EQ(u.EntryName(1), "\xEF\xF0\xE8\xE2\xE5\xF2");
  QrvxSetSystemLocale(nullptr);
}
#endif

TEST(Directory, ScanRebuildsWhenTheDirectoryIsMisplaced) {
  // 43 bytes of text in front: the offsets of the central directory are off.
  TUnZip u;
  u.SetZipName(DataPath("unzip/go-test-prefix.zip"));
  u.ReadDirectory();
  EXPECT_TRUE(u.Rebuilt());
  ASSERT_EQ(u.EntryCount(), 2);
  EXPECT_EQ(u.EntryName(0), "test.txt");
  EXPECT_EQ(u.Entry(0).LocalHeaderOffset, 43);
  EXPECT_EQ(Extract(u, "*"), 2);
}

TEST(Directory, ArchiveOrderAndSortModes) {
  std::vector<TFakeEntry> e = {{"b/zeta.txt", std::string(5, 'z')},
                               {"a/alpha.txt", std::string(50, 'a')},
                               {"c/mid.txt", std::string(20, 'm')},
                               {"d/same.txt", std::string(20, 's')}};
  e[0].DosDateTime = 0x58A76000;  // 2024-05-07
  e[1].DosDateTime = 0x5AA76000;  // 2025-05-07
  e[2].DosDateTime = 0x00000000;  // not a date: counts as 0
  e[3].DosDateTime = 0x56A76000;  // 2023-05-07
  std::string zip = MakeZip(e, {3, 1, 0, 2});
  auto names = [](TUnZip& u) {
    std::string s;
    for (int i = 0; i < u.EntryCount(); ++i) s += u.EntryName(i) + " ";
    return s;
  };
  TUnZip u;
  OpenBytes(u, zip);
  u.ReadDirectory();
  EXPECT_EQ(names(u), "zeta.txt alpha.txt mid.txt same.txt ");  // local-header order
  u.ApplySortMode(ByName);
  EXPECT_EQ(names(u), "alpha.txt zeta.txt mid.txt same.txt ");
  u.ApplySortMode(ByFileName);
  EXPECT_EQ(names(u), "alpha.txt mid.txt same.txt zeta.txt ");
  u.ApplySortMode(ByCompressedSize);
  EXPECT_EQ(names(u), "alpha.txt mid.txt same.txt zeta.txt ");  // ties keep their order
  u.ApplySortMode(ByDate);
  EXPECT_EQ(names(u), "alpha.txt zeta.txt same.txt mid.txt ");
  // Setting the property only takes effect when the view is rebuilt.
  u.SortMode = ByNone;
  EXPECT_EQ(u.EntryName(0), "alpha.txt");
  TUnZip v;
  v.SortMode = ByUnCompressedSize;
  OpenBytes(v, zip);
  v.ReadDirectory();
  EXPECT_EQ(v.EntryName(0), "alpha.txt");
}

TEST(Directory, DuplicateLocalOffsetsAndEntryLimit) {
  // Two central records pointing at the same local header.
  std::string zip = MakeZip({{"a.txt", "A"}, {"b.txt", "B"}}, {0, 0});
  TUnZip u;
  OpenBytes(u, zip);
  EXPECT_EQ(ErrorOf([&] { u.ReadDirectory(); }), "Duplicate Object index");
  // A count that is far too large ends at the first record that is not there.
  std::string lie = MakeZip({{"a.txt", "A"}});
  lie[lie.size() - 12] = lie[lie.size() - 14] = char(0xFF);
  lie[lie.size() - 11] = lie[lie.size() - 13] = char(0xFF);
  TUnZip v;
  OpenBytes(v, lie);
  v.ReadDirectory();
  EXPECT_EQ(v.EntryCount(), 1);
}

TEST(Directory, Comments) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/libzip-testcomment.zip"));
  u.ReadDirectory();
  ASSERT_EQ(u.EntryCount(), 4);
  EXPECT_EQ(u.EntryComment(0), "");
  EXPECT_EQ(u.EntryComment(1), "First one had no comment.");
  EXPECT_EQ(u.EntryComment(2), "Third one.");
  EXPECT_EQ(u.EntryComment(3), "Last.");
  EXPECT_EQ(u.ArchiveComment(),
            "This is the archive comment for the file.\r\n\r\nLong.\r\n\r\nLonger.\r\n");
  u.SetEntryComment(3, "Changed.");
  EXPECT_EQ(u.EntryComment(3), "Changed.");
  EXPECT_EQ(u.Entry(3).CommentLength, 8);
  u.SetArchiveComment("new");
  EXPECT_EQ(u.ArchiveComment(), "new");
  EXPECT_EQ(ErrorOf([&] { u.SetEntryComment(4, "x"); }), "Index 4 is out of range");
}

TEST(Directory, ZipNameChangesDropTheDirectory) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/go-test.zip"));
  u.ReadDirectory();
  EXPECT_EQ(u.EntryCount(), 2);
  u.SetZipName(DataPath("unzip/GO-TEST.ZIP"));  // equal but for case: nothing changes
  EXPECT_EQ(u.EntryCount(), 2);
  u.SetZipName(DataPath("unzip/libzip-testcomment.zip"));
  EXPECT_EQ(u.EntryCount(), 0);
#ifndef _WIN32
  // The stand-in's dialogs have no desktop and answer as cancelled.
  EXPECT_EQ(ErrorOf([&] { u.SetZipName("/tmp/?"); }), "User canceled setting zip file name.");
  EXPECT_EQ(ErrorOf([&] { u.SetDestDir("?"); }), "User canceled Set Desination Directory");
#endif
  u.SetDestDir("/tmp/out\\");
  EXPECT_EQ(u.DestDir(), "/tmp/out");
  u.SetRootDir("docs");
  EXPECT_EQ(u.RootDir(), "docs\\");
  EXPECT_EQ(u.ThisVersion(), 203);
  EXPECT_EQ(ErrorOf([&] {
              TUnZip v;
              v.SetZipName(DataPath("unzip/missing.zip"));
              v.ReadDirectory();
            }).rfind("Cannot open file", 0),
            0u);
}

TEST(Directory, EntriesAssignAndPersist) {
  TUnZip u;
  u.SetZipName(DataPath("unzip/libzip-testcomment.zip"));
  u.ReadDirectory();
  ASSERT_EQ(u.EntryComment(2), "Third one.");
  const TZipHeaderInfo& e = u.Entry(2);
  TMemoryStream s;
  e.WriteData(s);
  s.SetPosition(0);
  TZipHeaderInfo back;
  back.ReadData(s);
  EXPECT_EQ(s.GetPosition(), s.GetSize());
  EXPECT_EQ(back.FileName(), e.FileName());
  EXPECT_EQ(back.Crc, e.Crc);
  EXPECT_EQ(back.LocalHeaderOffset, e.LocalHeaderOffset);
  EXPECT_EQ(back.CentralHeaderOffset, e.CentralHeaderOffset);
  EXPECT_STREQ(back.Comment(), "Third one.");
  // Assign copies the comment only when the source has one loaded.
  TZipHeaderInfo target;
  target.SetComment("mine");
  target.Assign(u.Entry(0));
  EXPECT_STREQ(target.Comment(), "mine");
  target.Assign(e);
  EXPECT_STREQ(target.Comment(), "Third one.");
  target.SetDirectory("dir");
  EXPECT_EQ(target.Directory(), "dir\\");
  EXPECT_EQ(target.NameLength, 4 + e.FileName().size());
}

}  // namespace
