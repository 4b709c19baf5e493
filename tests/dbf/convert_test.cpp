// Column bytes to values and back, in the user's number and date settings.
#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>

#include "DbfTestUtil.h"
#include "dbf/DBFConvert.h"

namespace {

// One record of one column holding bytes.
TDBFValue ReadOne(char type, const std::string& bytes, int decimals = 0) {
  MemTable m(MakeTable({{"V", type, static_cast<int>(bytes.size()), decimals}}, {" " + bytes}));
  return m.table.Fields()[0]->Value();
}

DATE Ymd(int y, int m, int d) {
  DATE v = 0;
  DBFEncodeDate(y, m, d, v);
  return v;
}

// Sets one of the user's settings through the stand-in's hook; false where
// there is none (Windows), and the test ends there.
bool SetUserSetting(LCTYPE item, const char* value) {
#ifdef _WIN32
  (void)item, (void)value;
  return false;
#else
  QrvxSetLocaleInfo(item, value);
  return true;
#endif
}

class DbfConvert : public testing::Test {
 protected:
  void TearDown() override { SetUserSetting(0, nullptr); }
};

TEST_F(DbfConvert, TextIsTrimmedOfSpacesAndControlBytes) {
  EXPECT_EQ(Str(ReadOne('C', "  ABC   ")), "ABC");
  EXPECT_EQ(Str(ReadOne('C', "\t\x01 A B\r\n")), "A B");
  EXPECT_EQ(ReadOne('C', "      ").vt, VT_NULL);
  EXPECT_EQ(Str(ReadOne('C', "\xE9t\xE9")), "\xE9t\xE9");  // high bytes are text
  // Delivered zero-terminated: a NUL inside ends the text.
  EXPECT_EQ(Str(ReadOne('C', std::string("AB\0CD", 5))), "AB");
}

// Padding of every length on either side, eight bytes at a time or not:
// only bytes up to 0x20 go, and what a byte-by-byte trim keeps is kept.
TEST_F(DbfConvert, TrimTakesEveryPaddingLengthAndKeepsTheText) {
  const char pads[] = {' ', '\t', '\x01', '\x20', '\0'};
  const std::string texts[] = {"A", "!", "\x80", "\xFFz\xA0", "a b", "\x21\x20\x21"};
  for (const std::string& text : texts)
    for (size_t before = 0; before <= 17; ++before)
      for (size_t after = 0; after <= 17; ++after) {
        std::string col;
        for (size_t i = 0; i < before; ++i) col += pads[i % 5];
        col += text;
        for (size_t i = 0; i < after; ++i) col += pads[(i + 2) % 5];
        EXPECT_EQ(DBFTrim(col), text) << before << " " << after;
      }
  EXPECT_EQ(DBFTrim(std::string(40, ' ')), "");
  EXPECT_EQ(DBFTrim(std::string("\x21") + std::string(30, '\x1F')), "\x21");
}

// Numbers read without from_chars (a mantissa that doubles hold exactly,
// divided once) are bit for bit what from_chars reads, at the edges of that
// shortcut too.
TEST_F(DbfConvert, PlainDecimalsAgreeWithFromChars) {
  std::vector<std::string> texts = {"9007199254740992",
                                    "9007199254740993",
                                    "-9007199254740993",
                                    "1234567890123456789",
                                    "12345678901234567890",
                                    "0.1",
                                    "-0.00",
                                    "0.0000000000000000000001",
                                    "0.00000000000000000000001",
                                    "1.",
                                    ".5",
                                    "-.5",
                                    "123456.78",
                                    "0.3000000000000000444"};
  std::mt19937 rng(5);
  for (int i = 0; i < 20000; ++i) {
    std::string t = rng() % 3 ? "" : "-";
    unsigned digits = 1 + rng() % 20, point = rng() % (digits + 2);
    for (unsigned k = 0; k < digits; ++k) {
      if (k == point) t += '.';
      t += char('0' + rng() % 10);
    }
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    double ours = -1, theirs = -2;
    ASSERT_TRUE(DBFTextToFloat(t, '.', ours)) << t;
    std::string_view v(t);
    if (v[0] == '+') v.remove_prefix(1);
    auto r = std::from_chars(v.data(), v.data() + v.size(), theirs);
    ASSERT_EQ(r.ptr, v.data() + v.size()) << t;
    ASSERT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << t << " " << ours << " " << theirs;
  }
}

TEST_F(DbfConvert, NumbersFollowTheUserDecimalSeparator) {
  EXPECT_EQ(ReadOne('N', " 12.50", 2).Num, 12.5);
  EXPECT_EQ(ReadOne('N', "   1,5").vt, VT_NULL);
  EXPECT_EQ(ReadOne('N', "  -7").Num, -7);
  EXPECT_EQ(ReadOne('F', " 1.5E3").Num, 1500);
  EXPECT_EQ(ReadOne('N', "      ").vt, VT_NULL);
  EXPECT_EQ(ReadOne('N', " 1.2.3").vt, VT_NULL);
  EXPECT_EQ(ReadOne('N', "   inf").vt, VT_NULL);
  // Longer than any usual column: the digits are all read.
  EXPECT_EQ(ReadOne('N', " -" + std::string(90, '0') + "12.25", 2).Num, -12.25);
  if (!SetUserSetting(LOCALE_SDECIMAL, ",")) return;
  EXPECT_EQ(ReadOne('N', " 12.50", 2).Num, 12.5);
  EXPECT_EQ(ReadOne('N', "   1,5").Num, 1.5);
}

TEST_F(DbfConvert, DatesAreReadDayMonthYear) {
  TDBFValue v = ReadOne('D', "20001231");
  EXPECT_EQ(v.vt, VT_DATE);
  EXPECT_EQ(v.Num, Ymd(2000, 12, 31));
  EXPECT_EQ(ReadOne('D', "00000000").vt, VT_NULL);
  EXPECT_EQ(ReadOne('D', "        ").vt, VT_NULL);
  EXPECT_EQ(ReadOne('D', "2000 1 5").Num, Ymd(2000, 1, 5));  // blanks before numbers
  EXPECT_EQ(ReadOne('D', "00010101").Num, Ymd(1, 1, 1));     // four digits: no century window
  // A two-digit year lies within 50 years before now and 50 after.
  int year;
  int unused;
  DBFDecodeDate(ReadOne('D', "  991231").Num, year, unused, unused);
  EXPECT_EQ(year % 100, 99);
  EXPECT_LT(std::abs(year - 2026), 60);
  try {
    ReadOne('D', "20001345");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'45/13/2000' is not a valid date");
  }
  // The user's date separator builds the text; the user's short date
  // format (month first here) is not used for it.
  if (!SetUserSetting(LOCALE_SDATE, ".")) return;
  SetUserSetting(LOCALE_SSHORTDATE, "MM.dd.yyyy");
  EXPECT_EQ(ReadOne('D', "20001231").Num, Ymd(2000, 12, 31));
  EXPECT_THROW(ReadOne('D', "20000230"), EConvertError);
}

TEST_F(DbfConvert, ANulByteInADateGivesNoValue) {
  EXPECT_EQ(ReadOne('D', std::string("2000\0"
                                     "101",
                                     8))
                .vt,
            VT_NULL);
  EXPECT_EQ(ReadOne('D', std::string("\0\0\0\0\0\0\0\0", 8)).vt, VT_NULL);
}

TEST_F(DbfConvert, LogicalsAreUpperCaseOnly) {
  for (char c : {'T', 'Y', 'S'}) EXPECT_TRUE(ReadOne('L', std::string(1, c)).Bool);
  for (char c : {'F', 'N'}) {
    TDBFValue v = ReadOne('L', std::string(1, c));
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_FALSE(v.Bool);
  }
  for (char c : {'t', 'y', '?', ' '}) EXPECT_EQ(ReadOne('L', std::string(1, c)).vt, VT_NULL);
}

TEST_F(DbfConvert, MemoBlockNumbersCountEveryCharacter) {
  // A memo file with the value "eight" at block 8 and "eighty" at block 80.
  std::string memo(512, '\0');
  memo[3] = 9;
  memo[7] = 64;
  memo += std::string("\0\0\0\1\0\0\0\5eight", 13);
  memo.resize(80 * 64, '\0');
  memo += std::string("\0\0\0\1\0\0\0\6eighty", 14);
  auto read = [&](const std::string& column) {
    TMemoryStream ms;
    ms.Assign(memo.data(), memo.size());
    MemTable m(MakeTable({{"M", 'M', 10}}, {" " + column}), &ms);
    return Str(m.table.Fields()[0]->Value());
  };
  EXPECT_EQ(read("         8"), "eight");
  EXPECT_EQ(read("0000000008"), "eight");
  EXPECT_EQ(read("        8 "), "eighty");  // a space after the digits multiplies by 10
  EXPECT_EQ(read("          "), "");
  // A block at or past the end of the memo file is an empty value.
  EXPECT_EQ(read("      9999"), "");
  EXPECT_EQ(read("        81"), "");
  // No memo stream (the receiver's way): every memo is empty, never Null.
  MemTable none(MakeTable({{"M", 'M', 10}}, {"          8"}));
  TDBFValue v = none.table.Fields()[0]->Value();
  EXPECT_EQ(v.vt, varString);
  EXPECT_EQ(v.Str, "");
}

TEST_F(DbfConvert, ValuesAsAutomationVariants) {
  VARIANT v;
  ASSERT_EQ(DBFValueToVariant(TDBFValue::String("Ab\xE9"), &v), S_OK);
  ASSERT_EQ(v.vt, VT_BSTR);
  std::u16string text;
  for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i) text += static_cast<char16_t>(v.bstrVal[i]);
  EXPECT_EQ(text, u"Ab\u00E9");
  VariantClear(&v);
  ASSERT_EQ(DBFValueToVariant(TDBFValue::Date(Ymd(2000, 1, 1)), &v), S_OK);
  EXPECT_EQ(v.vt, VT_DATE);
  EXPECT_EQ(v.date, 36526);
  ASSERT_EQ(DBFValueToVariant(TDBFValue::Boolean(true), &v), S_OK);
  EXPECT_EQ(v.boolVal, VARIANT_TRUE);
  ASSERT_EQ(DBFValueToVariant(TDBFValue::Null(), &v), S_OK);
  EXPECT_EQ(v.vt, VT_NULL);
}

// ---- writing --------------------------------------------------------------------------

// The bytes of the column after writing value into a new record.
std::string WriteOne(const Column& c, const TDBFValue& value, uint8_t language = 0x57) {
  TMemoryStream data;
  std::string bytes = MakeTable({c}, {}, language);
  data.Assign(bytes.data(), bytes.size());
  TDBF t;
  t.AssignStreams(&data, nullptr, true);
  t.Open();
  t.Append();
  t.Fields()[0]->SetValue(value);
  t.Post();
  t.Close();
  return std::string(reinterpret_cast<const char*>(data.Memory()) + bytes.size() + 1, c.length);
}

TEST_F(DbfConvert, WritingNumbers) {
  // Wider than the column: the rightmost characters are lost.
  EXPECT_EQ(WriteOne({"N", 'N', 8, 2}, TDBFValue::Float(123456.78)), "123456.7");
  EXPECT_EQ(WriteOne({"N", 'N', 8, 2}, TDBFValue::Float(-1.5)), "   -1.50");
  EXPECT_EQ(WriteOne({"N", 'N', 5, 0}, TDBFValue::Float(42)), "   42");
  EXPECT_EQ(WriteOne({"N", 'N', 5, 0}, TDBFValue::Null()), "     ");
  if (!SetUserSetting(LOCALE_SDECIMAL, ",")) return;
  EXPECT_EQ(WriteOne({"N", 'N', 6, 2}, TDBFValue::Float(3.25)), "  3.25");
  EXPECT_EQ(WriteOne({"N", 'N', 6, 2}, TDBFValue::String("3,5")), "  3.50");
}

TEST_F(DbfConvert, WritingTextDatesAndLogicals) {
  EXPECT_EQ(WriteOne({"C", 'C', 5}, TDBFValue::String("ab")), "ab   ");
  EXPECT_EQ(WriteOne({"C", 'C', 3}, TDBFValue::String("abcdef")), "abc");
  // An OEM table stores text in the OEM code page.
  std::string oem = "\xE9";
  CharToOemBuffA(oem.data(), oem.data(), 1);
  EXPECT_EQ(WriteOne({"C", 'C', 1}, TDBFValue::String("\xE9"), 0x03), oem);
  EXPECT_EQ(WriteOne({"D", 'D', 8}, TDBFValue::Date(Ymd(1999, 7, 4))), "19990704");
#ifndef _WIN32  // text is read in the user's short date format, dd/MM/yyyy here
  EXPECT_EQ(WriteOne({"D", 'D', 8}, TDBFValue::String("04/07/1999")), "19990704");
#endif
  EXPECT_EQ(WriteOne({"D", 'D', 8}, TDBFValue::Null()), "        ");
  EXPECT_EQ(WriteOne({"L", 'L', 1}, TDBFValue::Boolean(true)), "T");
  EXPECT_EQ(WriteOne({"L", 'L', 1}, TDBFValue::Boolean(false)), "F");
  EXPECT_EQ(WriteOne({"L", 'L', 1}, TDBFValue::Null()), " ");
  EXPECT_THROW(WriteOne({"D", 'D', 8}, TDBFValue::String("not a date")), EConvertError);
}

}  // namespace
