// Memo values through their stream: the errors it raises, its seek origins,
// OEM text converted and binary memo left alone; column names of OEM tables;
// and when closing rewrites the header.
#include <gtest/gtest.h>

#include "DbfTestUtil.h"
#include "common/Classes.h"
#include "support/Errors.h"

namespace {

// A memo file holding values at blocks 8, 9, ... (64-byte blocks).
std::string MemoFile(const std::vector<std::string>& values) {
  std::string m(512, '\0');
  for (const std::string& v : values) {
    std::string block(8, '\0');
    block[3] = 1;
    block[4] = char(v.size() >> 24), block[5] = char(v.size() >> 16);
    block[6] = char(v.size() >> 8), block[7] = char(v.size());
    block += v;
    block.resize((block.size() + 63) / 64 * 64, '\0');
    m += block;
  }
  uint32_t next = uint32_t(m.size() / 64);
  m[0] = char(next >> 24), m[1] = char(next >> 16), m[2] = char(next >> 8), m[3] = char(next);
  m[7] = 64;
  return m;
}

[[maybe_unused]] std::string ReadAllOf(TStream& s) {
  std::string out(size_t(s.GetSize()), '\0');
  out.resize(size_t(std::max(s.Read(out.data(), int32_t(out.size())), 0)));
  return out;
}

}  // namespace

TEST(DbfMemoStream, ErrorsNameTheField) {
  TMemoryStream memo;
  std::string m = MemoFile({"hello"});
  memo.Assign(m.data(), int64_t(m.size()));
  MemTable t(
      MakeTable({{"NAME", 'C', 4}, {"NOTE", 'M', 10}}, {std::string(" abc ") + "         8"}),
      &memo);
  TField* note = t.table.FieldByName("NOTE");
  TField* name = t.table.FieldByName("NAME");
  EXPECT_EQ(ErrorOf([&] { t.table.CreateBlobStream(*name, bmRead); }),
            "Invalid blob field access mode (NAME)");
  // A read-only table gives memo values to read only.
  EXPECT_EQ(ErrorOf([&] { t.table.CreateBlobStream(*note, bmWrite); }),
            "Invalid blob field access mode (NOTE)");
  EXPECT_EQ(ErrorOf([&] { t.table.CreateBlobStream(*note, bmReadWrite); }),
            "Invalid blob field access mode (NOTE)");
  auto s = t.table.CreateBlobStream(*note, bmRead);
  char c;
  EXPECT_EQ(ErrorOf([&] { s->Write("x", 1); }), "Invalid blob field access mode (NOTE)");
  EXPECT_EQ(s->Read(&c, 1), 1);
  EXPECT_EQ(c, 'h');
}

TEST(DbfMemoStream, SeekOriginsAreUnbounded) {
  TMemoryStream memo;
  std::string m = MemoFile({"0123456789"});
  memo.Assign(m.data(), int64_t(m.size()));
  MemTable t(MakeTable({{"NOTE", 'M', 10}}, {"          8"}), &memo);
  auto s = t.table.CreateBlobStream(*t.table.FieldByName("NOTE"), bmRead);
  EXPECT_EQ(s->GetSize(), 10);
  EXPECT_EQ(s->Seek(4, soFromBeginning), 4);
  EXPECT_EQ(s->Seek(2, soFromCurrent), 6);
  char buf[8] = {};
  EXPECT_EQ(s->Read(buf, 8), 4);  // cut at the value's end
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(s->Seek(-3, soFromEnd), 7);
  EXPECT_EQ(s->Read(buf, 1), 1);
  EXPECT_EQ(buf[0], '7');
  // No bound is checked: before the start or past the end reads nothing.
  EXPECT_EQ(s->Seek(5, soFromEnd), 15);
  EXPECT_EQ(s->Read(buf, 1), 0);
  EXPECT_EQ(s->Seek(-20, soFromCurrent), -5);
  EXPECT_EQ(s->Read(buf, 1), 0);

  // Without a memo stream (the receiver's case) every seek gives 0 and the
  // value is empty.
  MemTable bare(MakeTable({{"NOTE", 'M', 10}}, {"          8"}));
  auto e = bare.table.CreateBlobStream(*bare.table.FieldByName("NOTE"), bmRead);
  EXPECT_EQ(e->Seek(5, soFromBeginning), 0);
  EXPECT_EQ(e->Seek(1, soFromEnd), 0);
  EXPECT_EQ(e->Read(buf, 1), 0);
  EXPECT_EQ(bare.table.FieldByName("NOTE")->AsString(), "");
}

#ifndef _WIN32  // the stand-in's locale hook
TEST(DbfMemoStream, OemMemoTextIsConvertedAndBinaryMemoIsNot) {
  QrvxSetSystemLocale("ru_RU.UTF-8");  // OEM 866, ANSI 1251
  // "Да" in code page 866 is 84 A0; in 1251 it is C4 E0.
  const std::string oem = "\x84\xA0";
  TMemoryStream memo;
  std::string m = MemoFile({oem, oem});
  memo.Assign(m.data(), int64_t(m.size()));
  MemTable t(MakeTable({{"\x92\x85\x8A\x91\x92", 'M', 10}, {"BIN", 'G', 10}},
                       {"          8         9"}, 0x26),
             &memo);
  ASSERT_EQ(t.table.FieldDefs().Count(), 2);
  EXPECT_EQ(t.table.FieldDefs()[0].Name, "\xD2\xC5\xCA\xD1\xD2");  // ТЕКСТ
  TField* text = t.table.FieldByName("\xD2\xC5\xCA\xD1\xD2");
  TField* bin = t.table.FieldByName("BIN");
  EXPECT_EQ(text->AsString(), "\xC4\xE0");
  EXPECT_EQ(bin->AsString(), oem);
  auto s = t.table.CreateBlobStream(*text, bmRead);
  EXPECT_EQ(ReadAllOf(*s), "\xC4\xE0");
  s = t.table.CreateBlobStream(*bin, bmRead);
  EXPECT_EQ(ReadAllOf(*s), oem);
  // An ANSI table takes both as they are.
  TMemoryStream memo2;
  memo2.Assign(m.data(), int64_t(m.size()));
  MemTable a(MakeTable({{"TEXT", 'M', 10}}, {"          8"}, 0x57), &memo2);
  EXPECT_EQ(a.table.FieldByName("TEXT")->AsString(), oem);
  QrvxSetSystemLocale(nullptr);
}
#endif

namespace {

std::string HeaderAfterClose(const std::string& bytes, bool readOnly,
                             const std::function<void(TDBF&)>& change) {
  TMemoryStream data;
  data.Assign(bytes.data(), int64_t(bytes.size()));
  TDBF t;
  t.AssignStreams(&data, nullptr, true);
  t.SetReadOnly(readOnly);
  t.Open();
  change(t);
  t.Close();
  return std::string(reinterpret_cast<const char*>(data.Memory()), 32);
}

}  // namespace

TEST(DbfClose, HeaderRewrittenOnlyWhenCountOrLengthNeedsIt) {
  const std::vector<Column> cols = {{"NAME", 'C', 4}};
  std::string table = MakeTable(cols, {" abc", " def"});
  table[10] = 99;   // a wrong record length: left alone while nothing else changes
  table[20] = 'r';  // a reserved byte: never changed
  auto nothing = [](TDBF&) {};
  auto append = [](TDBF& t) {
    t.Append();
    t.FieldByName("NAME")->SetAsString("ghi");
    t.Post();
  };
  // Unchanged count, non-zero length: the header stays as read.
  EXPECT_EQ(HeaderAfterClose(table, false, nothing), table.substr(0, 32));
  // A new record: the count and the computed length are written.
  std::string h = HeaderAfterClose(table, false, append);
  EXPECT_EQ(h[4], 3);
  EXPECT_EQ(h[10], 5);
  EXPECT_EQ(h[11], 0);
  EXPECT_EQ(h[20], 'r');
  EXPECT_EQ(h.substr(0, 4), table.substr(0, 4));
  // A length field of 0 is written even when the count is unchanged.
  std::string zero = table;
  zero[10] = 0;
  h = HeaderAfterClose(zero, false, nothing);
  EXPECT_EQ(h[10], 5);
  EXPECT_EQ(h[4], 2);
  // A read-only table never writes: not even a zero length.
  EXPECT_EQ(HeaderAfterClose(zero, true, nothing), zero.substr(0, 32));
}
