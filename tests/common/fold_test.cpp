#include <gtest/gtest.h>

#include "common/FoldLower.h"

// Every byte against the fold's table: Latin and 1251 Cyrillic capitals move,
// nothing else does.
TEST(FoldLower, MapsExactlyTheLatinAndCyrillicCapitals) {
  for (int c = 0; c < 256; ++c) {
    int want = c;
    if (c >= 'A' && c <= 'Z') want = c + 32;
    if (c >= 0xC0 && c <= 0xDF) want = c + 32;
    if (c == 0xA8) want = 0xB8;
    EXPECT_EQ(FoldLowerByte(static_cast<uint8_t>(c)), want) << "byte " << c;
  }
}

TEST(FoldLower, KeepsLengthAndNulBytes) {
  std::string s("Report\0\xC0\xA8.TXT", 12);
  EXPECT_EQ(FoldLower(s), std::string("report\0\xE0\xB8.txt", 12));
  EXPECT_EQ(FoldLower(""), "");
}
