// UTF-8 and the plain code pages both ways: every sequence length,
// surrogate pairs, malformed input, buffers that are too small and the
// ASCII-only page. Run natively against the stand-in and, cross-built,
// against the real kernel32.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string FromUtf8(const std::string& s) {
  WCHAR w[64];
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w, 64);
  return std::u16string(reinterpret_cast<const char16_t*>(w), static_cast<size_t>(n));
}

std::string ToBytes(UINT cp, const std::u16string& w, BOOL* usedDefault = nullptr,
                    const char* defChar = nullptr) {
  char out[64];
  int n = WideCharToMultiByte(cp, 0, reinterpret_cast<LPCWSTR>(w.data()),
                              static_cast<int>(w.size()), out, 64, defChar, usedDefault);
  return std::string(out, static_cast<size_t>(n));
}

}  // namespace

TEST(Utf8, EverySequenceLengthBothWays) {
  // U+0041, U+00E9, U+20AC, U+1F600 (a surrogate pair in UTF-16).
  const std::string bytes = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string text = u"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(FromUtf8(bytes), text);
  EXPECT_EQ(ToBytes(CP_UTF8, text), bytes);
  // Sizes asked for first.
  EXPECT_EQ(
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0), 5);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.data()), -1, nullptr, 0,
                                nullptr, nullptr),
            11);  // with the terminator
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("\x80"), u"\uFFFD");                // a continuation alone
  EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD\uFFFD");      // overlong
  std::u16string surrogate = FromUtf8("\xED\xA0\x80x");  // an encoded surrogate
  EXPECT_EQ(surrogate.find(char16_t(0xD800)), std::u16string::npos);
  EXPECT_EQ(surrogate.front(), u'\uFFFD');
  EXPECT_EQ(surrogate.back(), u'x');
  EXPECT_EQ(FromUtf8("\xFF"
                     "A"),
            u"\uFFFD"
            "A");  // no such lead byte
  // A lone surrogate has no UTF-8 form: it becomes U+FFFD.
  EXPECT_EQ(ToBytes(CP_UTF8, std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(ToBytes(CP_UTF8, u"\u00FF"), "\xC3\xBF");
}

TEST(Utf8, TooSmallBuffersAndAsciiOnlyText) {
  WCHAR w[2];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, w, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, w, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char a[2];
  const WCHAR euro[] = {0x20AC, 0};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, euro, 1, a, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  const WCHAR abc[] = {'a', 'b', 'c'};
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, abc, 3, a, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, w, 2), 0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 0, w, 2), 0);

  // US-ASCII (20127): anything else is the default character.
  BOOL used = FALSE;
  EXPECT_EQ(ToBytes(20127, u"a\u0416", &used), "a?");
  EXPECT_TRUE(used);
  used = TRUE;
  EXPECT_EQ(ToBytes(1252, u"ab", &used), "ab");
  EXPECT_FALSE(used);
  EXPECT_EQ(ToBytes(1252, u"\u0416", &used, "#"), "#");
  EXPECT_TRUE(used);
}

// OEM (437 here) to ANSI (1252) and back, whole strings with their
// terminator.
TEST(Utf8, OemAndAnsiStrings) {
  char buf[8];
  ASSERT_TRUE(OemToCharA("\x82x", buf));  // e acute in 437
  EXPECT_EQ(std::string(buf), "\xE9x");
  ASSERT_TRUE(CharToOemA("\xE9x", buf));
  EXPECT_EQ(std::string(buf), "\x82x");
}
