// Common dialogs and the folder picker: no desktop, so every dialog is
// answered as cancelled.
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA) {
  return FALSE;
}
extern "C" DWORD WINAPI CommDlgExtendedError() {
  return 0;
}
extern "C" LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA) {
  return nullptr;
}
extern "C" BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE, LPSTR pszPath) {
  if (pszPath) pszPath[0] = '\0';
  return FALSE;
}
extern "C" void WINAPI ILFree(LPITEMIDLIST) {}
