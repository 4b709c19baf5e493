#include <gtest/gtest.h>

#include "mime/MIMELib.h"

namespace {

std::string DataOf(const TAttachment* p) {
  return std::string(reinterpret_cast<const char*>(p->Data.Memory()),
                     static_cast<size_t>(const_cast<TMemoryStream&>(p->Data).GetSize()));
}

const char kTwoFields[] =
    "--XyZ\r\n"
    "Content-Disposition: form-data; name=\"A\"\r\n"
    "\r\n"
    "one\r\n"
    "--XyZ\r\n"
    "content-disposition: form-data; name=\"b\"\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "two\r\nlines\r\n"
    "--XyZ--\r\n"
    "epilogue\r\n";

}  // namespace

TEST(MimeParse, BrowserBodyGivesItsPartsInOrder) {
  TMime m;
  m.Parse(kTwoFields);
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Boundary(), "--XyZ");
  EXPECT_EQ(m.Part(0)->Disposition, "form-data; name=\"a\"");
  EXPECT_EQ(DataOf(m.Part(0)), "one");
  EXPECT_EQ(m.Part(1)->ContentType, "text/plain");
  EXPECT_EQ(DataOf(m.Part(1)), "two\r\nlines");
  EXPECT_EQ(m.Part(2), nullptr);
  EXPECT_EQ(m.Part(0)->Data.GetPosition(), 0);
}

TEST(MimeParse, BodiesWithoutPartsOrDelimiter) {
  TMime m;
  m.Parse("\r\n--XyZ\r\n\r\nx\r\n--XyZ--");
  EXPECT_EQ(m.Count(), 0);
  m.Parse("   \r\n");
  EXPECT_EQ(m.Count(), 0);
  m.Parse("--XyZ no line break at all");
  EXPECT_EQ(m.Count(), 0);
  // A delimiter that never recurs: the first part's body is the rest.
  m.Parse("--XyZ\r\n\r\nall of it\r\n--Other");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(DataOf(m.Part(0)), "all of it\r\n--Other");
}

TEST(MimeParse, PartDefaultsAndBodiesStartingWithControlBytes) {
  TMime m;
  m.Parse("--b\r\n\r\n\x03\x01 table bytes\r\n--b\r\n\r\n\t tab\r\n--b--");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Part(0)->ContentType, "text/plain; charset=koi8-r");
  EXPECT_EQ(m.Part(0)->Disposition, "");
  EXPECT_EQ(m.Part(0)->Encoding, te8Bit);
  EXPECT_EQ(DataOf(m.Part(0)), "\x03\x01 table bytes");
  EXPECT_EQ(DataOf(m.Part(1)), "\t tab");
}

// The continuation loses its leading control bytes (a tab among them); a
// leading space would stay.
TEST(MimeParse, HeaderContinuationJoinsWithOneSpace) {
  TMime m;
  m.Parse("--b\r\nContent-Disposition: form-data;\r\n\tName=\"X\"\r\nX-Other: 1\r\n\r\nv\r\n--b--");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Part(0)->Disposition, "form-data; name=\"x\"");
  m.Parse("--b\r\nContent-Type: a;\r\n  b=1\r\n\r\nv\r\n--b--");
  EXPECT_EQ(m.Part(0)->ContentType, "a;   b=1");
}

TEST(MimeParse, ContentIdAndHeadersWithoutColon) {
  TMime m;
  m.Parse(
      "--b\r\nContent-ID: < Id-1 >\r\nno colon here\r\nContent-Type:  text/x  \r\n\r\nv\r\n--b--");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Part(0)->ContentID, "id-1");
  EXPECT_EQ(m.Part(0)->ContentType, "text/x");
}

TEST(MimeParse, NestedBoundaryReplacesTheDelimiter) {
  TMime m;
  m.Parse(
      "--outer\r\nContent-Type: multipart/mixed; boundary=\"abc\"\r\n\r\nhead\r\nabc\r\n\r\n"
      "inner\r\nabc--\r\n");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Boundary(), "abc");
  EXPECT_EQ(DataOf(m.Part(0)), "head");
  EXPECT_EQ(DataOf(m.Part(1)), "inner");
  m.Parse("--outer\r\nContent-Type: multipart/mixed; boundary=abc\r\n\r\nx\r\ny");
  EXPECT_EQ(m.Boundary(), "");
}

// The rarer shapes of the header rules: a content-id without brackets or
// empty, a boundary parameter with one double quote only, continuation lines
// that begin with a lone CR or hold only control bytes, a continuation that
// takes the last bytes of the body, and a delimiter cut short at the end.
TEST(MimeParse, RarerShapesOfTheHeaderRules) {
  TMime m;
  m.Parse(
      "--b\r\nContent-ID: Plain-Id\r\n\r\n1\r\n--b\r\nContent-ID: <>\r\n\r\n2\r\n"
      "--b\r\nContent-ID:\r\nContent-Type: a;\r\n\rB=1\r\n\r\n3\r\n"
      "--b\r\nContent-Type: a\r\n\t\x01\r\n  b\r\n\r\n4\r\n--b--");
  ASSERT_EQ(m.Count(), 4);
  EXPECT_EQ(m.Part(0)->ContentID, "plain-id");
  EXPECT_EQ(m.Part(1)->ContentID, "");
  EXPECT_EQ(m.Part(2)->ContentID, "");
  EXPECT_EQ(m.Part(2)->ContentType, "a; b=1");
  EXPECT_EQ(m.Part(3)->ContentType, "a    b");
  EXPECT_EQ(DataOf(m.Part(3)), "4");
  EXPECT_EQ(m.Part(-1), nullptr);

  m.Parse("--outer\r\nContent-Type: multipart/mixed; boundary=\"abc\r\n\r\nx\r\ny");
  EXPECT_EQ(m.Boundary(), "");
  m.Parse("--b\r\nContent-Type: text/x\r\n ");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Part(0)->ContentType, "text/plain; charset=koi8-r");
  m.Parse("--XyZ\r\n\r\nab\r\n--X");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(DataOf(m.Part(0)), "ab\r\n--X");
}

// A header line split at its first colon: the name lowered but not trimmed,
// the value trimmed of control bytes and spaces but not lowered; no colon
// gives two empty strings.
TEST(MimeParse, SplitHeaderAtTheFirstColon) {
  std::string name = "old", value = "old";
  SplitHeader("Content-Type :\t Text/Plain; A=\"B:C\" \x01", &name, &value);
  EXPECT_EQ(name, "content-type ");
  EXPECT_EQ(value, "Text/Plain; A=\"B:C\"");
  SplitHeader(":only a value", &name, &value);
  EXPECT_EQ(name, "");
  EXPECT_EQ(value, "only a value");
  SplitHeader("X-Empty:", &name, &value);
  EXPECT_EQ(name, "x-empty");
  EXPECT_EQ(value, "");
  SplitHeader("no colon here", &name, &value);
  EXPECT_EQ(name, "");
  EXPECT_EQ(value, "");
}

TEST(MimeParse, MissingClosingHyphensStopsAtTrailingBlanks) {
  TMime m;
  m.Parse("--b\r\n\r\none\r\n--b\r\n \r\n");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(DataOf(m.Part(0)), "one");
}

TEST(MimeParse, HeaderTakingTheLastBytesIsNotApplied) {
  TMime m;
  m.Parse("--b\r\nContent-Type: text/x");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Part(0)->ContentType, "text/plain; charset=koi8-r");
}

// Header names match by the ASCII case rule alone: bytes next to the
// letters, and bytes above 0x80 whose low seven bits are a capital, are not
// letters. Kept values are lowered the same way; other bytes stay.
TEST(MimeParse, HeaderNamesMatchByTheAsciiCaseRuleOnly) {
  TMime m;
  m.Parse(
      "--b\r\nCONTENT-dISPOSITION: Form-Data; NAME=\"\xC0\xE9Z\"\r\n"
      "Content-Dispositio@: x\r\nContent-Dispositio[: x\r\n\xC3ontent-Type: x\r\n"
      "Content-Type : x\r\nContent-Transfer-Encoding: BASE64\r\n\r\nQUJD\r\n--b--");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Part(0)->Disposition, "form-data; name=\"\xC0\xE9z\"");
  EXPECT_EQ(m.Part(0)->ContentType, "text/plain; charset=koi8-r");
  EXPECT_EQ(m.Part(0)->Encoding, teBase64);
  EXPECT_EQ(DataOf(m.Part(0)), "ABC");
}

// Lines and bodies of every length around the steps of the line search, with
// lone CRs and LFs that end nothing.
TEST(MimeParse, LongLinesAndLoneLineBreakBytes) {
  for (size_t n : {0, 1, 14, 15, 16, 17, 31, 32, 63, 64, 65, 100, 1000}) {
    std::string pad(n, 'x');
    for (size_t i = 3; i + 1 < n; i += 7) pad[i] = i % 2 ? '\r' : '\n';
    std::string body = "--b\r\nX-Pad: " + pad + "\r\nContent-Disposition: A" + pad + "\r\n\r\n" +
                       pad + "\r\n--b\r\n\r\n" + pad + "\r\n--b--";
    TMime m;
    m.Parse(body);
    ASSERT_EQ(m.Count(), 2) << n;
    EXPECT_EQ(m.Part(0)->Disposition, "a" + pad) << n;
    EXPECT_EQ(DataOf(m.Part(0)), pad) << n;
    EXPECT_EQ(DataOf(m.Part(1)), pad) << n;
  }
}

TEST(MimeDecode, Base64PartsKeepLinesOnlyForText) {
  TMime m;
  m.Parse(
      "--b\r\nContent-Transfer-Encoding: BASE64\r\nContent-Type: text/plain\r\n\r\n"
      "b25lDQp0d28=\r\n--b\r\nContent-Transfer-Encoding: base64\r\n"
      "Content-Type: application/octet-stream\r\n\r\nQUJD\r\nREVG\r\n--b--");
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(DataOf(m.Part(0)), "one\r\ntwo");
  EXPECT_EQ(m.Part(0)->Lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(DataOf(m.Part(1)), "ABCDEF");
  EXPECT_TRUE(m.Part(1)->Lines.empty());
}

TEST(MimeDecode, QuotedPrintableLinesJoinWithoutBreaks) {
  TMime m;
  m.Parse("--b\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\na=3Db\r\nc=\r\n=4a\r\n--b--");
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(DataOf(m.Part(0)), "a=bc=J");
  EXPECT_EQ(m.Part(0)->Lines, (std::vector<std::string>{"a=b", "c=", "J"}));
}

// A part that needs no decoding reads the body in place rather than copying it.
TEST(MimeDecode, PlainPartsAreViewsOfTheBody) {
  std::string body = kTwoFields;
  TMime m;
  m.Parse(body);
  ASSERT_EQ(m.Count(), 2);
  const uint8_t* p = m.Part(0)->Data.Memory();
  EXPECT_GE(reinterpret_cast<const char*>(p), body.data());
  EXPECT_LT(reinterpret_cast<const char*>(p), body.data() + body.size());
  EXPECT_TRUE(m.Part(0)->Lines.empty());
}

TEST(MimeAttachment, SetDataCopiesOrEmpties) {
  TAttachment a;
  a.Lines = {"x"};
  TMemoryStream src;
  src.WriteBuffer("abc", 3);
  src.SetPosition(2);
  a.SetData(&src);
  EXPECT_EQ(DataOf(&a), "abc");
  EXPECT_TRUE(a.Lines.empty());
  a.SetData(nullptr);
  EXPECT_EQ(a.Data.GetSize(), 0);
}

// Long runs of empty parts with an empty delimiter must not rescan the tail.
TEST(MimeParse, ManyEmptyPartsAfterAnUnquotedNestedBoundary) {
  std::string body = "--b\r\nContent-Type: multipart/x; boundary=z\r\n\r\n";
  for (int i = 0; i < 20000; ++i) body += "\r\n";
  body += "X";
  TMime m;
  m.Parse(body);
  EXPECT_GT(m.Count(), 1);
}
