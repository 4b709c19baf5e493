#include <gtest/gtest.h>

#include "mime/MIMELib.h"

TEST(Base64Line, CompleteAndShortenedGroups) {
  EXPECT_EQ(DecodeBase64Line("QUJD"), "ABC");
  EXPECT_EQ(DecodeBase64Line("QUI="), "AB");
  EXPECT_EQ(DecodeBase64Line("QQ=="), "A");
  EXPECT_EQ(DecodeBase64Line(""), "");
  EXPECT_EQ(DecodeBase64Line("===="), "");
  EXPECT_EQ(DecodeBase64Line("/+/+"), "\xFF\xEF\xFE");
}

TEST(Base64Line, InvalidCharactersAreSkippedWhereverTheyStand) {
  EXPECT_EQ(DecodeBase64Line("QU JD"), "ABC");
  EXPECT_EQ(DecodeBase64Line("Q\tU\xC0J~D"), "ABC");
  EXPECT_EQ(DecodeBase64Line("QUJD\r"), "ABC");
}

// N = 3 * (position of the last non-"=") / 4 bounds the output; a byte begun
// when the walk ends keeps the bits it got.
TEST(Base64Line, OddLengthsAndEarlyPad) {
  EXPECT_EQ(DecodeBase64Line("QUJDR"), "ABC");
  EXPECT_EQ(DecodeBase64Line("QUJDRA"), "ABCD");
  EXPECT_EQ(DecodeBase64Line("QQ==QUJD"), std::string("A\0", 2));
  EXPECT_EQ(DecodeBase64Line("QUJD===="), "ABC");
}

TEST(Base64Lines, EachLineStandsAlone) {
  auto s = DecodeBase64Lines({"QU", "JD", "", "RA=="});
  std::string got(reinterpret_cast<const char*>(s->Memory()), static_cast<size_t>(s->GetSize()));
  // "QU" gives "A" plus a partial byte, "JD" likewise; groups never join across lines.
  EXPECT_EQ(got, DecodeBase64Line("QU") + DecodeBase64Line("JD") + DecodeBase64Line("RA=="));
  EXPECT_EQ(s->GetPosition(), 0);
}

TEST(QuotedPrintableLine, HexEscapesAndWhatStaysLiteral) {
  EXPECT_EQ(DecodeQuotedPrintableLine("a=3Db"), "a=b");
  EXPECT_EQ(DecodeQuotedPrintableLine("=4a"), "J");
  EXPECT_EQ(DecodeQuotedPrintableLine("=G1"), "=G1");
  EXPECT_EQ(DecodeQuotedPrintableLine("= 41"), "= 41");
  EXPECT_EQ(DecodeQuotedPrintableLine("soft="), "soft=");
  EXPECT_EQ(DecodeQuotedPrintableLine("x=4"), std::string("x\x04", 2));
  EXPECT_EQ(DecodeQuotedPrintableLine("=4G"), "=4G");
  EXPECT_EQ(DecodeQuotedPrintableLine(""), "");
}

TEST(TransferEncoding, Classification) {
  EXPECT_EQ(TransferEncodingOf("base64"), teBase64);
  EXPECT_EQ(TransferEncodingOf("BASE64"), teBase64);
  EXPECT_EQ(TransferEncodingOf("quoted-printable"), teQuotedPrintable);
  EXPECT_EQ(TransferEncodingOf("x-8bit-ish"), te8Bit);
  EXPECT_EQ(TransferEncodingOf("binary"), teAsIs);
  EXPECT_EQ(TransferEncodingOf("base64 "), teAsIs);
}

TEST(SplitLines, BreaksAtCrLfOrEitherAloneAndStopsAtNul) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines(std::string_view("a\nb\0c\nd", 7)), (std::vector<std::string>{"a", "b"}));
}
