// Window messages (user32). The stand-in has no windows and no message
// queue: there is never a message to fetch, and sending one does nothing.
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
//   NOTES the stand-in's queue is always empty: it returns FALSE.
extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg);
// TranslateMessage: posts character messages for key messages; FALSE here.
extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg);
// DispatchMessageA: hands the message to its window procedure; 0 here.
extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
// SendMessageA: calls hWnd's window procedure; the stand-in has none: 0.
extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
