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

// The byte-at-a-time and eight-at-a-time forms fold exactly "A" to "Z": every
// byte value, in every lane, beside neighbours that must not leak into it.
TEST(Ascii, EveryByteFoldsTheSameWayInEveryForm) {
  for (unsigned c = 0; c < 256; ++c) {
    const char b = static_cast<char>(c);
    const char want = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : b;
    EXPECT_EQ(LowerAscii(b), want) << "byte " << c;
    for (unsigned lane = 0; lane < 8; ++lane) {
      for (uint64_t fill : {0x0000000000000000ull, 0x4040404040404040ull, 0x5B5B5B5B5B5B5B5Bull,
                            0xC1C1C1C1C1C1C1C1ull, 0xFFFFFFFFFFFFFFFFull}) {
        const uint64_t mask = 0xFFull << (8 * lane);
        const uint64_t x = (fill & ~mask) | (uint64_t{c} << (8 * lane));
        uint64_t expect = 0;
        for (unsigned k = 0; k < 8; ++k)
          expect |=
              uint64_t{static_cast<unsigned char>(LowerAscii(static_cast<char>(x >> (8 * k))))}
              << (8 * k);
        ASSERT_EQ(LowerAscii8(x), expect) << "byte " << c << " lane " << lane;
      }
    }
  }
  std::string s = "keep";
  const std::string_view text = "Content-TYPE: Text/Plain; \xC0";
  AssignLowerAscii(s, text);
  EXPECT_EQ(s, "content-type: text/plain; \xc0");
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
