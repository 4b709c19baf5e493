// The shell (shell32): the folder picker, special folders and shell links.
// Item lists of the stand-in carry a file-system path. The picker is answered
// by the user's input in a program that shows dialogs (see dialogs.h) and is
// cancelled elsewhere; special folders lie under $QRVX_SHELL_DIR (default
// ~/.local/share/qrvx/shell); a shell link is a small text file that the link
// object saves and loads.
#pragma once

// The families build on each other in this order.
// clang-format off
#include "commdlg.h"
#include "types.h"
#include "combase.h"
// clang-format on

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
//   NOTES the stand-in prints the title and takes "folder PATH" from the
//   user's input (anything else cancels); without dialogs it answers NULL.
extern "C" LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi);
// SHGetPathFromIDListA: the file-system path of an item list into pszPath
// (MAX_PATH characters). RETURNS FALSE when the item is not a file-system
// folder or its path does not fit.
extern "C" BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath);
// ILFree: frees an item list returned by the shell (NULL is allowed).
extern "C" void WINAPI ILFree(LPITEMIDLIST pidl);

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTMENU 0x000b

// SHGetMalloc: the shell's allocator (the task allocator), AddRef'ed.
extern "C" HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc);
// SHGetSpecialFolderLocation: the item list of special folder nFolder; free
// it with the shell's allocator.
//   NOTES the stand-in's folders are directories named after the CSIDL under
//   $QRVX_SHELL_DIR ("Programs" for CSIDL_PROGRAMS), created on demand;
//   unknown folders give E_INVALIDARG.
extern "C" HRESULT WINAPI SHGetSpecialFolderLocation(HWND hwnd, int nFolder, LPITEMIDLIST* ppidl);

// The shell link object, an IShellLinkA and an IPersistFile.
extern "C" const CLSID CLSID_ShellLink;
extern "C" const IID IID_IShellLinkA;
typedef struct _WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;
struct IShellLinkA : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetPath(LPSTR pszFile, int cch, LPWIN32_FIND_DATAA pfd,
                                            DWORD fFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST* ppidl) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE pidl) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(LPSTR pszName, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR pszName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR pszDir, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR pszDir) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArguments(LPSTR pszArgs, int cch) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR pszArgs) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHotkey(WORD* pwHotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD wHotkey) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* piShowCmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int iShowCmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR pszIconPath, int cch, int* piIcon) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR pszIconPath, int iIcon) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR pszPathRel, DWORD dwReserved) = 0;
  virtual HRESULT STDMETHODCALLTYPE Resolve(HWND hwnd, DWORD fFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPath(LPCSTR pszFile) = 0;
};
