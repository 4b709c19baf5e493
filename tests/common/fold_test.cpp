// The name fold against letters read off the code page charts of 1251 (the
// ANSI code page of Russian Windows) and 866 (its OEM code page): capitals
// that fold, and neighbours that must not move.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/FoldLower.h"

namespace {

struct TPair {
  uint8_t Byte, Folded;
  char16_t Letter, FoldedLetter;  // what the two bytes are in the code page
  const char* Name;
};

// Code page 1251.
const TPair kCp1251[] = {
    {0x41, 0x61, u'A', u'a', "LATIN CAPITAL A"},
    {0x5A, 0x7A, u'Z', u'z', "LATIN CAPITAL Z"},
    {0xC0, 0xE0, u'\u0410', u'\u0430', "CYRILLIC CAPITAL A"},
    {0xC9, 0xE9, u'\u0419', u'\u0439', "CYRILLIC CAPITAL SHORT I"},
    {0xD6, 0xF6, u'\u0426', u'\u0446', "CYRILLIC CAPITAL TSE"},
    {0xDF, 0xFF, u'\u042F', u'\u044F', "CYRILLIC CAPITAL YA"},
    {0xA8, 0xB8, u'\u0401', u'\u0451', "CYRILLIC CAPITAL IO"},
    // Letters already small, and neighbours of the ranges.
    {0x61, 0x61, u'a', u'a', "LATIN SMALL A"},
    {0x40, 0x40, u'@', u'@', "COMMERCIAL AT"},
    {0x5B, 0x5B, u'[', u'[', "LEFT SQUARE BRACKET"},
    {0xE0, 0xE0, u'\u0430', u'\u0430', "CYRILLIC SMALL A"},
    {0xFF, 0xFF, u'\u044F', u'\u044F', "CYRILLIC SMALL YA"},
    {0xB8, 0xB8, u'\u0451', u'\u0451', "CYRILLIC SMALL IO"},
    {0xBF, 0xBF, u'\u0457', u'\u0457', "CYRILLIC SMALL YI"},
    {0xA7, 0xA7, u'\u00A7', u'\u00A7', "SECTION SIGN"},
    {0xA9, 0xA9, u'\u00A9', u'\u00A9', "COPYRIGHT SIGN"},
    // Capitals outside the Russian alphabet stay as they are.
    {0x80, 0x80, u'\u0402', u'\u0402', "CYRILLIC CAPITAL DJE"},
    {0xAA, 0xAA, u'\u0404', u'\u0404', "UKRAINIAN CAPITAL IE"},
    {0xB2, 0xB2, u'\u0406', u'\u0406', "BYELORUSSIAN-UKRAINIAN CAPITAL I"},
    {0x00, 0x00, u'\0', u'\0', "NUL"},
};

// Code page 866: the same Russian capitals and their small letters.
const struct {
  uint8_t Capital, Small;
  char16_t Letter;
} kCp866[] = {
    {0x80, 0xA0, u'\u0410'},  // A
    {0x89, 0xA9, u'\u0419'},  // SHORT I
    {0x8F, 0xAF, u'\u041F'},  // PE
    {0x90, 0xE0, u'\u0420'},  // ER
    {0x9F, 0xEF, u'\u042F'},  // YA
    {0xF0, 0xF1, u'\u0401'},  // IO
};

char16_t Decode(UINT cp, uint8_t b) {
  char c = static_cast<char>(b);
  WCHAR w = 0;
  EXPECT_EQ(MultiByteToWideChar(cp, 0, &c, 1, &w, 1), 1) << "code page " << cp << " byte " << +b;
  return static_cast<char16_t>(w);
}

uint8_t Encode(UINT cp, char16_t letter) {
  WCHAR w = static_cast<WCHAR>(letter);
  char c = 0;
  EXPECT_EQ(WideCharToMultiByte(cp, 0, &w, 1, &c, 1, nullptr, nullptr), 1) << "code page " << cp;
  return static_cast<uint8_t>(c);
}

}  // namespace

TEST(FoldLower, FoldsTheCapitalsOfCodePage1251) {
  for (const TPair& p : kCp1251) {
    SCOPED_TRACE(p.Name);
    // The pair is what the chart says it is.
    EXPECT_EQ(Decode(1251, p.Byte), p.Letter);
    EXPECT_EQ(Decode(1251, p.Folded), p.FoldedLetter);
    EXPECT_EQ(FoldLowerByte(p.Byte), p.Folded);
  }
}

// 26 Latin and 33 Cyrillic capitals move, each onto a byte that stays.
TEST(FoldLower, MovesFiftyNineBytesOnce) {
  int moved = 0;
  for (int c = 0; c < 256; ++c) {
    const uint8_t f = FoldLowerByte(static_cast<uint8_t>(c));
    if (f == c) continue;
    ++moved;
    EXPECT_EQ(FoldLowerByte(f), f) << "byte " << c;
  }
  EXPECT_EQ(moved, 59);
}

// A name read from an OEM table is converted to the ANSI code page before it
// is folded: the fold then gives the small letter of code page 866 too.
TEST(FoldLower, OemNamesFoldThroughCodePage1251) {
  for (const auto& p : kCp866) {
    SCOPED_TRACE(static_cast<int>(p.Letter));
    ASSERT_EQ(Decode(866, p.Capital), p.Letter);
    const uint8_t ansi = Encode(1251, p.Letter);
    const char16_t small = Decode(1251, FoldLowerByte(ansi));
    EXPECT_EQ(Encode(866, small), p.Small);
  }
}

TEST(FoldLower, KeepsLengthAndNulBytes) {
  std::string s("Report\0\xC0\xA8.TXT", 12);
  EXPECT_EQ(FoldLower(s), std::string("report\0\xE0\xB8.txt", 12));
  EXPECT_EQ(FoldLower(""), "");
}
