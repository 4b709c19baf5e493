// Common dialogs (comdlg32). There is no desktop to show a dialog on, so the
// stand-in reports every dialog as cancelled by the user.
#pragma once

#include "types.h"

typedef LONG_PTR LPARAM;
typedef UINT_PTR WPARAM;
typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000

typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA, *LPOPENFILENAMEA;

// GetOpenFileNameA: shows the open-file dialog described by lpofn and puts
// the chosen path into lpofn->lpstrFile.
//   RETURNS TRUE when a file was chosen; FALSE when the user cancelled or an
//   error occurred (CommDlgExtendedError tells which; 0 means cancelled).
//   NOTES the stand-in always answers FALSE with CommDlgExtendedError 0.
extern "C" BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn);
// CommDlgExtendedError: the error of the last common dialog call, 0 for none.
extern "C" DWORD WINAPI CommDlgExtendedError();
