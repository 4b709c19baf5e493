// Dialog boxes and their controls (user32). The stand-in builds a dialog
// from the DIALOG statement of the program's resource script (see
// QrvxAddResourceScript), sends its procedure the messages Windows would
// (WM_INITDIALOG, WM_COMMAND, ...) and takes what the user does from a
// line-oriented input, standard input unless the program names another
// (QrvxSetUserInput). A person at a terminal, or a test, writes one action a
// line:
//   press ID        click the control ID of the active dialog (a check box
//                   toggles first, as an auto check box does)
//   type ID TEXT    replace the text of the edit control ID
//   enter | esc     the Return or the Esc key (the dialog's default button,
//                   or IDCANCEL); the modal loop translates them
//   close           the close box (WM_CLOSE, which the default handling
//                   turns into IDCANCEL)
//   show            print the active dialog, every control with its text
//   get ID          print the text of control ID between "=== ID" and "==="
//   yes | no | ok | cancel   answer the message box on screen
//   folder PATH | cancel     answer the folder picker
// Lines starting with "#" and empty lines are ignored. The end of the input
// is the end of the session: a WM_QUIT, which ends a modal dialog with 0 and
// makes GetMessageA return 0. What the dialogs show goes to standard output.
#pragma once

#include "messages.h"
#include "resources.h"
#include "types.h"

#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_KEYDOWN 0x0100
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_LBUTTONUP 0x0202
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define SWP_NOSIZE 0x0001
#define SWP_NOZORDER 0x0004
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) \
  (static_cast<WPARAM>(static_cast<DWORD>(static_cast<WORD>(l) | (static_cast<DWORD>(h) << 16))))

typedef struct tagRECT {
  LONG left, top, right, bottom;
} RECT, *LPRECT;

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// DialogBoxParamA: creates the dialog template lpTemplateName of hInstance,
// sends WM_INITDIALOG (lParam dwInitParam) and runs its modal loop until
// EndDialog. RETURNS the EndDialog result; 0 when the loop met WM_QUIT (the
// quit is posted again); -1 when the dialog could not be created.
extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName,
                                          HWND hWndParent, DLGPROC lpDialogFunc,
                                          LPARAM dwInitParam);
// CreateDialogParamA: creates the dialog modeless and sends WM_INITDIALOG.
//   RETURNS the dialog's handle, or NULL when it could not be created.
extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName,
                                          HWND hWndParent, DLGPROC lpDialogFunc,
                                          LPARAM dwInitParam);
// EndDialog: ends a modal dialog's loop with nResult and hides the dialog.
//   NOTES a modeless dialog is only hidden; it lives until DestroyWindow.
extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
extern "C" BOOL WINAPI DestroyWindow(HWND hWnd);
extern "C" BOOL WINAPI IsWindow(HWND hWnd);
extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
extern "C" BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
// GetDlgItemTextA: copies at most cchMax - 1 characters and a zero.
//   RETURNS the number of characters copied (0 for a missing control).
extern "C" UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                              LPARAM lParam);
// EnableWindow: RETURNS nonzero when the window was disabled before.
extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable);
extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd);
// GetDesktopWindow: the stand-in's desktop is 1024 x 768 pixels.
extern "C" HWND WINAPI GetDesktopWindow();
// GetWindowRect: the window in screen pixels (a dialog unit is 6/4 of a
// pixel across and 13/8 down, the base units of 8-point MS Sans Serif).
extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                    UINT uFlags);
// GetMessageA: the next message of the queue, waiting for the user's next
// action when it is empty. RETURNS 0 for WM_QUIT, nonzero otherwise.
extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
extern "C" void WINAPI PostQuitMessage(int nExitCode);
// DefDlgProcA: the default handling of a dialog's messages (WM_CLOSE gives
// WM_COMMAND IDCANCEL).
extern "C" LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);

// The stand-in's own hooks (not Windows functions).
// Makes the DIALOG and ICON statements of the resource script text (which
// must stay valid) resources of the process, as the resource compiler would
// link them in. RETURNS FALSE when the script does not parse; the reason goes
// to standard error.
extern "C" BOOL QrvxAddResourceScript(const char* text);
// Reads the user's actions from fd instead of standard input.
extern "C" void QrvxSetUserInput(int fd);
