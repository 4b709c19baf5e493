// GetLocaleInfoA: the stand-in's defaults, the Windows buffer rules and the
// test hook.
#include <windows.h>

#include <gtest/gtest.h>

#ifndef _WIN32  // the stand-in's defaults and its test hook
namespace {

std::string Item(LCTYPE item) {
  char buf[64];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buf, sizeof buf);
  return n > 0 ? std::string(buf, n - 1) : "<fail>";
}

TEST(LocaleInfo, DefaultsBufferRulesAndOverrides) {
  EXPECT_EQ(Item(LOCALE_SDECIMAL), ".");
  EXPECT_EQ(Item(LOCALE_SDATE), "/");
  EXPECT_EQ(Item(LOCALE_SSHORTDATE), "dd/MM/yyyy");
  EXPECT_EQ(Item(LOCALE_IDATE), "1");
  EXPECT_EQ(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SSHORTDATE, nullptr, 0), 11);
  char small[4];
  SetLastError(0);
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, 0x7777, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

  QrvxSetLocaleInfo(LOCALE_SDECIMAL, ",");
  QrvxSetLocaleInfo(LOCALE_SSHORTDATE, "M/d/yyyy");
  EXPECT_EQ(Item(LOCALE_SDECIMAL), ",");
  EXPECT_EQ(Item(LOCALE_IDATE), "0");
  EXPECT_EQ(Item(LOCALE_SDECIMAL | LOCALE_NOUSEROVERRIDE), ".");
  QrvxSetLocaleInfo(LOCALE_SDECIMAL, nullptr);
  EXPECT_EQ(Item(LOCALE_SDECIMAL), ".");
  EXPECT_EQ(Item(LOCALE_SSHORTDATE), "M/d/yyyy");
  QrvxSetLocaleInfo(0, nullptr);
  EXPECT_EQ(Item(LOCALE_SSHORTDATE), "dd/MM/yyyy");
}

}  // namespace
#endif
