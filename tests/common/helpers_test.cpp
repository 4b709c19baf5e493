#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/Ascii.h"
#include "common/AutoHolders.h"
#include "common/Bytes.h"

// Bytes from 0x80 up are letters of no case and sort after every ASCII
// byte, as unsigned values; a name sorts before its own extensions.
TEST(Ascii, CompareTextFoldsOnlyAsciiLettersAndOrdersBytesUnsigned) {
  EXPECT_EQ(CompareText("README.TXT", "readme.txt"), 0);
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("z", "\xC0"), 0);
  EXPECT_NE(CompareText("\xC0", "\xE0"), 0);  // Cyrillic capital and small: not folded
  EXPECT_LT(CompareText("abc", "ABCD"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_EQ(CompareText("", ""), 0);
  // "_" lies between the two cases of the alphabet: letters compare as
  // lower case, so it sorts before every letter.
  EXPECT_GT(CompareText("Z", "_"), 0);
  EXPECT_GT(CompareText("a", "_"), 0);
  EXPECT_EQ(LowerAscii(std::string("MiXeD-\xC0\xDF")), "mixed-\xC0\xDF");
  EXPECT_EQ(UpperAscii(std::string("c:\\con.txt")), "C:\\CON.TXT");
}

TEST(Ascii, TextLessFindsAKeyInAnyCase) {
  std::map<std::string, int, TTextLess> m;
  m["Errors"] = 1;
  m["ERRORS"] = 2;  // the same key
  m["warnings"] = 3;
  EXPECT_EQ(m.size(), 2u);
  EXPECT_EQ(m.at("errors"), 2);
  EXPECT_NE(m.find(std::string_view("WARNINGS")), m.end());
}

TEST(Bytes, LittleEndianAtAnyAlignment) {
  uint8_t buf[16] = {};
  for (size_t at = 0; at < 4; ++at) {
    PutLE32(buf + at + 1, 0x04034B50u);
    EXPECT_EQ(buf[at + 1], 0x50);
    EXPECT_EQ(buf[at + 4], 0x04);
    EXPECT_EQ(GetLE32(buf + at + 1), 0x04034B50u);
    PutLE16(buf + at, 0xFFFE);
    EXPECT_EQ(GetLE16(buf + at), 0xFFFE);
  }
  const uint8_t eight[9] = {0, 1, 2, 3, 4, 5, 6, 7, 0x88};
  EXPECT_EQ(GetLE64(eight + 1), 0x8807060504030201ull);
}

TEST(AutoHolders, HoldersFreeWhatTheyHoldAndHandItOn) {
  TBstr b(SysAllocStringLen(nullptr, 5));
  BSTR* out = b.Out();  // the first string is freed here
  EXPECT_EQ(*out, nullptr);
  *out = SysAllocStringLen(nullptr, 6);
  EXPECT_EQ(SysStringLen(b.Get()), 6u);
  BSTR kept = b.Release();
  EXPECT_EQ(b.Get(), nullptr);
  SysFreeString(kept);

  TVariant v;
  EXPECT_EQ(v.Get().vt, VT_EMPTY);
  v.Get().vt = VT_BSTR;
  v.Get().bstrVal = SysAllocStringLen(nullptr, 31);  // cleared at the end of the scope
  TVariant i;
  ASSERT_EQ(VariantChangeType(i.Ptr(), v.Ptr(), 0, VT_BSTR), S_OK);
  EXPECT_EQ(SysStringLen(i.Get().bstrVal), SysStringLen(v.Get().bstrVal));
}
