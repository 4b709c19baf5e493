// The registry calls the server, the installer and the uninstaller make:
// natively against the platform layer's registry in files, under Wine
// against the real advapi32. The expectations are those both give.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#ifndef _WIN32
#include "support/TempDir.h"
#endif

namespace {

// A key of its own below HKEY_CURRENT_USER for each test, removed after it.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    QrvxSetRegistryDir(Dir.Path.string().c_str());
#endif
    Base = std::string("Software\\QRVX platform test\\") +
           testing::UnitTest::GetInstance()->current_test_info()->name();
    Clean();
  }
  void TearDown() override {
    Clean();
  }

  // Deletes Base and every key below it, deepest first.
  void Clean() {
    DeleteTree(Base);
  }
  static void DeleteTree(const std::string& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS)
      return;
    char name[256];
    DWORD n = sizeof name;
    std::set<std::string> subs;
    for (DWORD i = 0; n = sizeof name,
               RegEnumKeyExA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i)
      subs.insert(name);
    RegCloseKey(k);
    for (const std::string& s : subs) DeleteTree(path + "\\" + s);
    RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
  }

  HKEY Create(const std::string& sub, DWORD* disposition = nullptr) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (Base + sub).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &k, disposition),
              ERROR_SUCCESS)
        << sub;
    return k;
  }
  LSTATUS Open(const std::string& sub, HKEY* k) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, (Base + sub).c_str(), 0, KEY_READ, k);
  }
  static LSTATUS SetText(HKEY k, const char* name, const std::string& text) {
    return RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }

#ifndef _WIN32
  TTestDir Dir{"qrvx_registry_"};
#endif
  std::string Base;
};

TEST_F(Registry, KeysAreCreatedOnceOpenedByAnyCaseAndDeletedLeafFirst) {
  DWORD disposition = 0;
  HKEY k = Create("\\Outer\\Inner", &disposition);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  RegCloseKey(k);
  k = Create("\\Outer\\Inner", &disposition);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  RegCloseKey(k);

  // The keys between are there, and names do not depend on case.
  HKEY o = nullptr;
  ASSERT_EQ(Open("\\OUTER", &o), ERROR_SUCCESS);
  RegCloseKey(o);
  ASSERT_EQ(Open("\\outer\\inner", &o), ERROR_SUCCESS);
  RegCloseKey(o);
  EXPECT_EQ(Open("\\Outer\\Missing", &o), ERROR_FILE_NOT_FOUND);

  // A key with keys below it stays; its leaf goes, then it.
  const std::string outer = Base + "\\Outer";
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, outer.c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, (outer + "\\Inner").c_str()), ERROR_SUCCESS);
  EXPECT_EQ(Open("\\Outer\\Inner", &o), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, outer.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, outer.c_str()), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ValuesKeepTheirTypeAndBytes) {
  HKEY k = Create("");
  ASSERT_EQ(SetText(k, nullptr, "default text"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(k, "ThreadingModel", "Apartment"), ERROR_SUCCESS);
  const DWORD answer = 42;
  ASSERT_EQ(RegSetValueExA(k, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), 4),
            ERROR_SUCCESS);

  char buf[64];
  DWORD type = 0, size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(k, "", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS)
      << "the default value by its empty name";
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 13u);
  EXPECT_STREQ(buf, "default text");
  size = sizeof buf;
  ASSERT_EQ(
      RegQueryValueExA(k, "threadingmodel", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(buf, "Apartment");
  DWORD count = 0;
  size = sizeof count;
  ASSERT_EQ(RegQueryValueExA(k, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(count, 42u);

  // The size alone; then a buffer too small, which gives the size needed.
  size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "ThreadingModel", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  size = 4;
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(
      RegQueryValueExA(k, "ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);

  // A value written again is replaced; a deleted one is gone.
  ASSERT_EQ(SetText(k, "threadingMODEL", "Both"), ERROR_SUCCESS);
  size = sizeof buf;
  ASSERT_EQ(
      RegQueryValueExA(k, "ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(buf, "Both");
  EXPECT_EQ(RegDeleteValueA(k, "ThreadingModel"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(k, "ThreadingModel", nullptr, &type, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(k, "ThreadingModel"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
}

// Subkeys one level down, each once, until ERROR_NO_MORE_ITEMS (created in
// name order, the order the real registry lists them in).
TEST_F(Registry, EnumerationListsTheDirectSubkeys) {
  for (const char* sub : {"\\Alpha", "\\Beta\\Deeper", "\\Gamma"}) RegCloseKey(Create(sub));
  HKEY k = nullptr;
  ASSERT_EQ(Open("", &k), ERROR_SUCCESS);
  std::string listed;
  char name[16];
  DWORD i = 0, n = 0;
  for (; n = sizeof name,
         RegEnumKeyExA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i) {
    EXPECT_EQ(n, std::strlen(name));
    listed += std::string(name) + " ";
  }
  EXPECT_EQ(listed, "Alpha Beta Gamma ");
  n = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(k, 3, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  n = 3;  // "Alpha" and its terminator do not fit
  EXPECT_EQ(RegEnumKeyExA(k, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  RegCloseKey(k);
}

}  // namespace
