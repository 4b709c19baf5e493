// Shell folder picker (shell32). There is no desktop here: the stand-in
// reports the picker as cancelled.
#pragma once

#include "commdlg.h"
#include "types.h"

typedef struct _ITEMIDLIST* LPITEMIDLIST;
typedef const struct _ITEMIDLIST* PCIDLIST_ABSOLUTE;
typedef int(CALLBACK* BFFCALLBACK)(HWND, UINT, LPARAM, LPARAM);

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BFFM_INITIALIZED 1
#define BFFM_SETSELECTIONA (0x0400 + 102)

typedef struct _browseinfoA {
  HWND hwndOwner;
  PCIDLIST_ABSOLUTE pidlRoot;
  LPSTR pszDisplayName;
  LPCSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;

// SHBrowseForFolderA: shows the folder picker described by lpbi.
//   RETURNS the chosen folder as an item list (free it with CoTaskMemFree),
//   or NULL when the user cancelled.
//   NOTES the stand-in always answers NULL.
extern "C" LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi);
// SHGetPathFromIDListA: the file-system path of an item list into pszPath
// (MAX_PATH characters). RETURNS FALSE when the item is not a file-system
// folder; the stand-in, which never hands out item lists, always does.
extern "C" BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath);
// ILFree: frees an item list returned by the shell (NULL is allowed).
extern "C" void WINAPI ILFree(LPITEMIDLIST pidl);
