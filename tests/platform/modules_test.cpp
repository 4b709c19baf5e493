// Modules as the COM server and the uninstaller use them: loading by name,
// exports by name, the module of an address and its file name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/Automation.h"

TEST(Modules, AutomationLibraryByNameAndItsExports) {
  HMODULE lib = LoadLibraryA("OLEAUT32.DLL");
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(GetProcAddress(lib, "LoadTypeLib"), nullptr);
  EXPECT_NE(GetProcAddress(lib, "RegisterTypeLib"), nullptr);
  EXPECT_EQ(GetProcAddress(lib, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), 127u);  // ERROR_PROC_NOT_FOUND
  EXPECT_TRUE(FreeLibrary(lib));
  EXPECT_EQ(LoadLibraryA("qrvx-no-such-library.dll"), nullptr);
}

TEST(Modules, FileNameOfTheProgramAndOfAnAddress) {
  char path[1024] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::strlen(path), n);
  EXPECT_NE(std::string(path).find("test_platform"), std::string::npos) << path;
  // A buffer too small is filled and cut, its size given back (whether the
  // last byte becomes a terminator depends on the Windows version).
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
  EXPECT_EQ(small[0], path[0]);

  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&GetModuleFileNameA), &self));
  EXPECT_NE(self, nullptr);
  HMODULE program = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(0, nullptr, &program));
  EXPECT_NE(program, nullptr);
  EXPECT_FALSE(GetModuleHandleExA(0, nullptr, nullptr));
}

#ifndef _WIN32  // the stand-in's own answers
TEST(Modules, StandInRefusals) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(GetProcAddress(nullptr, "qrvx_no_such_symbol"), nullptr);
  char buf[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, buf, 0), 0u);
  HMODULE h = nullptr;
  EXPECT_FALSE(GetModuleHandleExA(0, "/qrvx/no/such/library.so", &h));
  EXPECT_EQ(h, nullptr);
  // Short names are the long names here; a missing file has none.
  std::string me(1024, '\0');
  me.resize(GetModuleFileNameA(nullptr, me.data(), DWORD(me.size())));
  std::string shortName(me.size() + 1, '\0');
  EXPECT_EQ(GetShortPathNameA(me.c_str(), shortName.data(), DWORD(shortName.size())),
            DWORD(me.size()));
  EXPECT_EQ(shortName.c_str(), me);
  EXPECT_EQ(GetShortPathNameA(me.c_str(), buf, 2), DWORD(me.size() + 1));
  EXPECT_EQ(GetShortPathNameA("/qrvx/no/such/file", buf, sizeof buf), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetShortPathNameA(nullptr, buf, sizeof buf), 0u);
}
#endif

#ifndef _WIN32
// The stand-in's drives: any existing directory is the root of a fixed
// drive without a label; a test may make one letter a removable drive with
// a label.
TEST(Modules, DrivesAndVolumeLabels) {
  EXPECT_EQ(GetDriveTypeA("/tmp"), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeA(nullptr), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeA("/no/such/root"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(GetDriveTypeA("/proc/self/exe"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));  // a file
  char label[8] = "x", fs[8] = "x";
  SetLastError(0);
  EXPECT_FALSE(
      GetVolumeInformationA("/tmp", label, sizeof label, nullptr, nullptr, nullptr, fs, sizeof fs));
  EXPECT_EQ(GetLastError(), 50u);  // ERROR_NOT_SUPPORTED
  EXPECT_STREQ(label, "");
  EXPECT_STREQ(fs, "");

  QrvxSetRemovableDrive('b', "A LONG LABEL");
  EXPECT_EQ(GetDriveTypeA("B:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_EQ(GetDriveTypeA("b:"), static_cast<UINT>(DRIVE_REMOVABLE));
  ASSERT_TRUE(
      GetVolumeInformationA("b:\\", label, sizeof label, nullptr, nullptr, nullptr, fs, sizeof fs));
  EXPECT_STREQ(label, "A LONG ");  // cut to the buffer
  QrvxSetRemovableDrive(0, nullptr);
  EXPECT_NE(GetDriveTypeA("B:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
}
#endif
