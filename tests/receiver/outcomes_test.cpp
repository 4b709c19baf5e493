// What a request leaves behind when part of it fails or is unusual: an
// archive that breaks part-way, entries that fail their check, a save over a
// longer file, text bodies beyond ASCII, table columns named in another case
// or numbered with other numeric types, a body that is only a delimiter.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "receiver/Acceptors.h"
#include "support/Automation.h"
#include "support/FakeZip.h"
#include "support/Multipart.h"

namespace {

class Outcome : public ::testing::Test {
 protected:
  void Post(const std::string& body, bool zip = false, bool dbf = false) {
    acc.put_ProcessZIP(zip ? VARIANT_TRUE : VARIANT_FALSE);
    acc.put_ProcessDBF(dbf ? VARIANT_TRUE : VARIANT_FALSE);
    Var v;
    SetBytes(&v, body);
    ASSERT_EQ(acc.ProcessRequest(v), S_OK);
  }
  std::vector<std::string> FileNames() {
    std::vector<std::string> names;
    for (const TFileInfo& f : acc.Files()) names.push_back(f.FileName);
    return names;
  }
  std::vector<std::string> VarNames() {
    std::vector<std::string> names;
    for (const TVarInfo& v : acc.Vars()) names.push_back(v.Name);
    return names;
  }
  // DBF(0, column) on the current row; "<none>" for the empty result.
  std::string Cell(VARIANT& column) {
    Var t, out;
    SetI4(&t, 0);
    EXPECT_EQ(acc.DBF(t, column, &out), S_OK);
    if (out.vt == VT_I4 && out.lVal == 0) return "<none>";
    if (out.vt != VT_BSTR) return "<type " + std::to_string(out.vt) + ">";
    return TakeAnsi(SysAllocStringLen(out.bstrVal, SysStringLen(out.bstrVal)));
  }
  std::string ColName(VARIANT& column) {
    Var t;
    SetI4(&t, 0);
    BSTR b = nullptr;
    EXPECT_EQ(acc.DBFColName(t, column, &b), S_OK);
    return TakeAnsi(b);
  }
  TAcceptor acc;
};

// A deflated entry whose data the archive does not hold: reading it runs
// off the end of the archive.
TFakeZipEntry CutShort(const std::string& name) {
  TFakeZipEntry e;
  e.Name = name;
  e.Data = std::string("\x01\x05\x00\xFA\xFFhel", 8);  // a stored deflate block, cut
  e.Method = 8;
  e.Packed = 50000;
  e.Unpacked = 5;
  e.Crc = FakeZipCrc("hello");
  return e;
}

}  // namespace

TEST_F(Outcome, ArchiveBreakingPartWayKeepsWhatCameBefore) {
  std::string zip = FakeZip({{"a.txt", "one"}, CutShort("b.txt"), {"c.txt", "three"}});
  Post(FieldPart("before", "1") + FilePart("z", "up.zip", zip) + FieldPart("after", "2") +
           FilePart("f", "later.txt", "x") + kBodyEnd,
       true);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"up.zip", "a.txt"}));
  EXPECT_EQ(VarNames(), std::vector<std::string>{"before"});
  // The same archive with unpacking off is one received file among the others.
  Post(FilePart("z", "up.zip", zip) + FieldPart("after", "2") + kBodyEnd);
  EXPECT_EQ(FileNames(), std::vector<std::string>{"up.zip"});
  EXPECT_EQ(VarNames(), std::vector<std::string>{"after"});
}

TEST_F(Outcome, EntriesFailingTheirCheckOrPasswordAreNotReceived) {
  TFakeZipEntry bad{"bad.txt", "payload"};
  bad.Crc = 0x12345678;
  std::string zip = FakeZip({bad, {"good.txt", "fine"}});
  std::string crypt = ReadWholeFile(DataPath("unzip/zipcrypto.zip"));
  ASSERT_FALSE(crypt.empty());
  Post(FilePart("z", "x.zip", zip) + FilePart("c", "crypt.zip", crypt) + FieldPart("after", "y") +
           kBodyEnd,
       true);
  EXPECT_EQ(FileNames(), (std::vector<std::string>{"x.zip", "good.txt", "crypt.zip"}));
  EXPECT_EQ(VarNames(), std::vector<std::string>{"after"});
}

TEST_F(Outcome, SavingOverALongerFileLeavesOnlyTheReceivedBytes) {
  Post(FilePart("f", "short.txt", "new") + kBodyEnd);
  std::string path = ::testing::TempDir() + "qrvx_outcome_longer.txt";
  std::ofstream(path, std::ios::binary) << std::string(1000, 'o');
  Var id;
  SetI4(&id, 0);
  BSTR name = AnsiBstr(path);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(acc.FileSaveTo(id, name, &ok), S_OK);
  SysFreeString(name);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(ReadWholeFile(path), "new");
  std::remove(path.c_str());
}

TEST_F(Outcome, TextBodyBeyondAsciiPassesTheAnsiCodePage) {
  // é is in code page 1252, the default here and under Wine.
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  Var s;
  SetText(&s, FieldPart("Caf\xC9", "cr\xE8me br\xFBl\xE9") + kBodyEnd);
  ASSERT_EQ(acc.ProcessRequest(s), S_OK);
  EXPECT_EQ(VarNames(), std::vector<std::string>{"caf\xE9"});
  EXPECT_EQ(acc.Vars()[0].Value, "cr\xE8me br\xFBl\xE9");
}

#ifndef _WIN32  // the stand-in's locale hook
TEST_F(Outcome, TextBodyUnderCodePage1251) {
  QrvxSetSystemLocale("ru_RU.UTF-8");
  const std::u16string body =
      u"--B\r\nContent-Disposition: form-data; name=\"Имя\"\r\n\r\n"
      u"Привет, Ёж\r\n--B\r\nContent-Disposition: form-data; "
      u"name=\"f\"; filename=\"Я.txt\"\r\n\r\nщ\r\n--B--\r\n";
  Var s;
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(body.data()),
                                static_cast<UINT>(body.size()));
  ASSERT_EQ(acc.ProcessRequest(s), S_OK);
  EXPECT_EQ(VarNames(), std::vector<std::string>{"\xE8\xEC\xFF"});  // имя, folded
  EXPECT_EQ(acc.Vars()[0].Value, "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6");
  Var id;
  SetText(&id, "\xC8\xCC\xDF");  // ИМЯ
  BSTR value = nullptr;
  ASSERT_EQ(acc.VarValue(id, &value), S_OK);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value), SysStringLen(value)),
            u"Привет, Ёж");
  SysFreeString(value);
  EXPECT_EQ(FileNames(), std::vector<std::string>{"\xFF.txt"});
  QrvxSetSystemLocale(nullptr);
}
#endif

TEST_F(Outcome, ColumnsByNameInAnyCaseOrByIndexOfAnyNumericType) {
  // Column names in the ANSI code page (language byte 0x57): the bytes of
  // ЦЕНА in 1251 are those of ÖÅÍÀ in 1252, capitals either way.
  if (GetACP() != 1252 && GetACP() != 1251) GTEST_SKIP() << "the ANSI code page is " << GetACP();
  std::string table =
      DbfTable({{"\xD6\xC5\xCD\xC0", 'C', 3, 0}, {"Name", 'C', 4, 0}}, {" 12 Tea "});
  Post(FilePart("t", "t.dbf", table) + kBodyEnd, false, true);
  ASSERT_EQ(acc.DBFs().size(), 1u);
  Var c;
  SetI4(&c, 0);
  EXPECT_EQ(ColName(c), "\xF6\xE5\xED\xE0");
  for (const char* name : {"\xF6\xE5\xED\xE0", "\xD6\xE5\xED\xE0", " \xD6\xC5\xCD\xC0 "}) {
    VariantClear(&c);
    SetText(&c, name);
    EXPECT_EQ(Cell(c), "12") << name;
  }
  VariantClear(&c);
  SetText(&c, "NAME");
  EXPECT_EQ(Cell(c), "Tea");
  VariantClear(&c);
  SetText(&c, "nam");
  EXPECT_EQ(Cell(c), "<none>");

  // The five numeric types are indexes, floats rounded half to even.
  VariantClear(&c);
  c.vt = VT_I2, c.iVal = 1;
  EXPECT_EQ(Cell(c), "Tea");
  c.vt = VT_UI1, c.bVal = 1;
  EXPECT_EQ(Cell(c), "Tea");
  EXPECT_EQ(ColName(c), "name");
  c.vt = VT_R4, c.fltVal = 0.5f;
  EXPECT_EQ(Cell(c), "12");
  c.vt = VT_R8, c.dblVal = 1.4;
  EXPECT_EQ(Cell(c), "Tea");
  c.vt = VT_R8, c.dblVal = 1.5;
  EXPECT_EQ(Cell(c), "<none>");  // 2: past the last column
  EXPECT_EQ(ColName(c), "");
  c.vt = VT_I4, c.lVal = -1;
  EXPECT_EQ(Cell(c), "<none>");
  // Every other type is a name: a boolean, a currency.
  c.vt = VT_BOOL, c.boolVal = VARIANT_TRUE;
  EXPECT_EQ(Cell(c), "<none>");
  c.vt = VT_CY, c.cyVal.int64 = 10000;
  EXPECT_EQ(Cell(c), "<none>");
  // A number by reference is read through its reference: an index.
  LONG one = 1;
  c.vt = VT_BYREF | VT_I4, c.plVal = &one;
  EXPECT_EQ(Cell(c), "Tea");
  c.vt = VT_EMPTY;
  EXPECT_EQ(Cell(c), "<none>");
  EXPECT_EQ(ColName(c), "");
}

#ifndef _WIN32  // the stand-in's locale hook
TEST_F(Outcome, CyrillicColumnNamesUnderCodePage1251) {
  QrvxSetSystemLocale("ru_RU.UTF-8");
  // ЯЩИК: Я (0xDF) has no capital pair in 1252, only in 1251.
  std::string table = DbfTable({{"\xDF\xD9\xC8\xCA", 'C', 2, 0}}, {" 42"});
  Post(FilePart("t", "t.dbf", table) + kBodyEnd, false, true);
  Var c;
  SetText(&c, "\xFF\xF9\xE8\xEA");
  EXPECT_EQ(Cell(c), "42");
  VariantClear(&c);
  SetI4(&c, 0);
  EXPECT_EQ(ColName(c), "\xFF\xF9\xE8\xEA");
  QrvxSetSystemLocale(nullptr);
}
#endif

TEST_F(Outcome, ClosingDelimiterAloneReceivesNothing) {
  for (const char* body : {"--b--", "--b--\r\n", " --b-- \r\n"}) {
    Post(body);
    EXPECT_EQ(acc.Vars().size(), 0u) << body;
    EXPECT_EQ(acc.Files().size(), 0u) << body;
  }
}
