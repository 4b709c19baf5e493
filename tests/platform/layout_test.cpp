// Layouts and conversions the rest of the code relies on, checked the same way
// natively (against our stand-in) and cross-built under Wine (against the
// real system libraries): where the two disagree, the stand-in is wrong.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

TEST(Layout, AutomationTypesHaveWindowsSizes) {
  EXPECT_EQ(sizeof(WCHAR), 2u);
  EXPECT_EQ(sizeof(LONG), 4u);
  EXPECT_EQ(sizeof(VARIANT_BOOL), 2u);
  EXPECT_EQ(sizeof(GUID), 16u);
  EXPECT_EQ(sizeof(VARIANT), sizeof(void*) == 8 ? 24u : 16u);
  EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
}

TEST(Layout, CodePage1251ToUtf16) {
  const char text[] = "\xC0\xFF\xA8\xB8z";  // А я Ё ё z
  WCHAR w[8] = {};
  ASSERT_EQ(MultiByteToWideChar(1251, 0, text, 5, w, 8), 5);
  EXPECT_EQ(w[0], 0x0410);
  EXPECT_EQ(w[1], 0x044F);
  EXPECT_EQ(w[2], 0x0401);
  EXPECT_EQ(w[3], 0x0451);
  EXPECT_EQ(w[4], u'z');
  char back[8] = {};
  ASSERT_EQ(WideCharToMultiByte(1251, 0, w, 5, back, 8, nullptr, nullptr), 5);
  EXPECT_STREQ(back, text);
}
