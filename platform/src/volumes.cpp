// Drives and volumes over POSIX: one tree, no labels.
#include <windows.h>

#include <sys/stat.h>

#include <string>

#include "posix_path.h"

#define ERROR_NOT_SUPPORTED 50L

extern "C" UINT WINAPI GetDriveTypeA(LPCSTR root) {
  std::string p = root ? QrvxPosixPath(root) : std::string(".");
  if (p.empty()) p = "/";
  struct stat st;
  if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return DRIVE_NO_ROOT_DIR;
  return DRIVE_FIXED;
}

extern "C" BOOL WINAPI GetVolumeInformationA(LPCSTR, LPSTR label, DWORD labelSize, LPDWORD, LPDWORD,
                                             LPDWORD, LPSTR fsName, DWORD fsNameSize) {
  if (label && labelSize) label[0] = '\0';
  if (fsName && fsNameSize) fsName[0] = '\0';
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
