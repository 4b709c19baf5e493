// Window messages (user32). The stand-in's windows are the dialogs of
// dialogs.h; its queue holds what was posted and what the user did.
#pragma once

#include "commdlg.h"
#include "types.h"

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define WM_QUIT 0x0012

typedef LONG_PTR LRESULT;
typedef struct tagPOINT {
  LONG x, y;
} POINT;
typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

// PeekMessageA: takes the next message of the thread's queue into lpMsg
// (removing it with PM_REMOVE). RETURNS nonzero when a message was there.
//   NOTES never waits for the user: FALSE when nothing is queued.
extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg);
// TranslateMessage: posts character messages for key messages; the stand-in
// has no keyboard messages to translate: FALSE.
extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg);
// DispatchMessageA: hands the message to its window's procedure.
extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
// SendMessageA: calls hWnd's window procedure; 0 for no window.
extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
