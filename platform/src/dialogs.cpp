// Common dialogs: the open-file dialog is answered as cancelled.
#include <windows.h>

#include <commdlg.h>

/***********************************************************************
 * GetOpenFileNameA, CommDlgExtendedError (COMDLG32.@)
 * RETURNS FALSE, the answer of a user who cancels; no extended error (0).
 */
extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA) {
  return FALSE;
}
extern "C" DWORD WINAPI CommDlgExtendedError() {
  return 0;
}
