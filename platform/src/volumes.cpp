// Drives and volumes over POSIX: one tree, no labels, unless a test has
// made a drive letter removable with a label of its choosing.
#include <windows.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>

#include "posix_path.h"

#define ERROR_NOT_SUPPORTED 50L

namespace {

std::mutex g_lock;
char g_drive = 0;  // the test's removable drive letter (upper case), 0 for none
std::string g_label;

// The test's drive when root names it ("A:\", "a:").
bool VOLUMES_IsTestDrive(LPCSTR root) {
  return root && g_drive && std::toupper(static_cast<unsigned char>(root[0])) == g_drive &&
         root[1] == ':';
}

}  // namespace

/***********************************************************************
 * QrvxSetRemovableDrive (stand-in only)
 * Makes drive ("A") a removable drive holding a disk labelled label.
 */
extern "C" void QrvxSetRemovableDrive(char drive, const char* label) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_drive = static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  g_label = label ? label : "";
}

/***********************************************************************
 * GetDriveTypeA, GetVolumeInformationA (KERNEL32.@)
 * Every existing directory is on a fixed drive without a label, except the
 * removable drive a test sets.
 * RETURNS DRIVE_NO_ROOT_DIR for a root that is no directory; FALSE with
 *         ERROR_NOT_SUPPORTED for volume information of a fixed drive.
 */
extern "C" UINT WINAPI GetDriveTypeA(LPCSTR root) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (VOLUMES_IsTestDrive(root)) return DRIVE_REMOVABLE;
  }
  std::string p = root ? QrvxPosixPath(root) : std::string(".");
  if (p.empty()) p = "/";
  struct stat st;
  if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return DRIVE_NO_ROOT_DIR;
  return DRIVE_FIXED;
}

extern "C" BOOL WINAPI GetVolumeInformationA(LPCSTR root, LPSTR label, DWORD labelSize, LPDWORD,
                                             LPDWORD, LPDWORD, LPSTR fsName, DWORD fsNameSize) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (VOLUMES_IsTestDrive(root)) {
      if (label && labelSize) {
        size_t n = std::min<size_t>(g_label.size(), labelSize - 1);
        std::memcpy(label, g_label.data(), n);
        label[n] = '\0';
      }
      if (fsName && fsNameSize) fsName[0] = '\0';
      return TRUE;
    }
  }
  if (label && labelSize) label[0] = '\0';
  if (fsName && fsNameSize) fsName[0] = '\0';
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
