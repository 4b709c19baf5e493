#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

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
  EXPECT_EQ(DecodeQuotedPrintableLine("=g1=fF"), "=g1\xFF");  // lower case: only a to f
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

// The whole-body decoders read the lines in place and give exactly what the
// line-by-line routines give for the body's line list, however the lines
// break, and hold exactly the decoded bytes.
TEST(BodyDecoders, AgreeWithTheLineByLineRoutines) {
  const char* const kBodies[] = {
      "",
      "QUJD",
      "QU\r\nJD\n\nRA==\r\rQQ==QUJD\r\n",
      "\n\n\n\r\n\r\r",
      "QUJDRA\r\nQUJDR\nQ\xC0U\tJ D====\r\nQU",
      "a=3Db=\r\n=4a=G1\n= 41\r=4",
  };
  std::string withNul("QUJD\r\nQUJD\0QUJD\r\n=41", 21);
  std::vector<std::string> bodies(std::begin(kBodies), std::end(kBodies));
  bodies.push_back(withNul);
  std::string long64;
  for (int i = 0; i < 300; ++i) long64 += std::string(i % 7, 'Q') + "QUJD=\r\n\n";
  bodies.push_back(long64);
  for (const std::string& body : bodies) {
    std::vector<std::string> lines = SplitLines(body);
    TDecodedBlock b64 = DecodeBase64Body(body);
    auto expected = DecodeBase64Lines(lines);
    EXPECT_EQ(b64.View(), std::string(reinterpret_cast<const char*>(expected->Memory()),
                                      size_t(expected->GetSize())))
        << body;
    EXPECT_EQ(b64.Bytes == nullptr, b64.Size == 0);
    std::string qp;
    for (const std::string& l : lines) qp += DecodeQuotedPrintableLine(l);
    EXPECT_EQ(DecodeQuotedPrintableBody(body).View(), qp) << body;
  }
}

// Parts handed out one at a time carry the same headers and decoded bytes as
// the parts Parse keeps, with no line list; returning false stops the walk.
TEST(BodyDecoders, PartsOneAtATimeMatchTheKeptParts) {
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nplain\r\n"
      "--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "bGluZSBvbmUKbGluZSB0d28=\r\n"
      "--b\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nq=3Dp\r\nnext\r\n--b--\r\n";
  TMime kept;
  kept.Parse(body);
  ASSERT_EQ(kept.Count(), 3);
  EXPECT_EQ(kept.Part(1)->Lines.size(), 2u);
  TMime each;
  int seen = 0;
  each.ParseEach(body, [&](TAttachment& part) {
    TAttachment& k = *kept.Part(seen++);
    EXPECT_EQ(part.Disposition, k.Disposition);
    EXPECT_EQ(part.Encoding, k.Encoding);
    EXPECT_TRUE(part.Lines.empty());
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(part.Data.Memory()), size_t(part.Data.GetSize())),
        std::string(reinterpret_cast<const char*>(k.Data.Memory()), size_t(k.Data.GetSize())));
    return true;
  });
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(each.Count(), 0);
  seen = 0;
  each.ParseEach(body, [&](TAttachment&) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
}
