// System information: the system directory of the stand-in.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

/***********************************************************************
 * GetSystemDirectoryA (KERNEL32.@)
 * $QRVX_SYSTEM_DIR, else ~/.local/share/qrvx/system32.
 * RETURNS the length copied, or the size needed (NUL included) when uSize is
 *         too small.
 */
extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  std::string dir;
  if (const char* env = std::getenv("QRVX_SYSTEM_DIR"); env && *env) {
    dir = env;
  } else {
    const char* home = std::getenv("HOME");
    dir = std::string(home && *home ? home : "/tmp") + "/.local/share/qrvx/system32";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!lpBuffer || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
  return static_cast<UINT>(dir.size());
}
