// Message boxes (user32). Without a desktop to show them on, the stand-in
// writes the caption and text to standard error and answers as if the
// default button had been pressed.
#pragma once

#include "types.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040L
#define MB_DEFBUTTON2 0x00000100L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SERVICE_NOTIFICATION 0x00200000L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// MessageBoxA: the stand-in writes "[caption] text" to standard error and
// answers the default button; a box with a choice answers the number in
// QRVX_MESSAGEBOX_ANSWER instead when that is set (IDYES 6, IDNO 7, ...).
extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
// The stand-in's own test hook (not a Windows function): the uType of the
// last message box shown, 0xFFFFFFFF before the first.
extern "C" UINT QrvxLastMessageBoxType();

// Window stations: the stand-in's process runs without a desktop, so its
// window station is not visible (UOI_FLAGS gives dwFlags 0).
typedef HANDLE HWINSTA;
#define UOI_FLAGS 1
#define WSF_VISIBLE 0x0001L
#define MB_SETFOREGROUND 0x00010000L
typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS, *PUSEROBJECTFLAGS;
extern "C" HWINSTA WINAPI GetProcessWindowStation();
extern "C" BOOL WINAPI GetUserObjectInformationA(HANDLE hObj, int nIndex, PVOID pvInfo,
                                                 DWORD nLength, LPDWORD lpnLengthNeeded);
