// Common dialogs: the open-file dialog is answered as cancelled.
#include <windows.h>

#include <commdlg.h>

extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA) {
  return FALSE;
}
extern "C" DWORD WINAPI CommDlgExtendedError() {
  return 0;
}
