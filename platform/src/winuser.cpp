// Message boxes: there is no desktop here, so the caption and text go to
// standard error and the default button is the answer, unless
// QRVX_MESSAGEBOX_ANSWER names another. A program that shows dialogs shows
// its boxes to the same user, who answers them.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "user_input.h"

namespace {

// The user's answer to a box of the given kind: "ok", "cancel", "yes", "no"
// (or the number of the button); the default button at the end of the input.
int AskUser(const char* text, const char* caption, UINT kind, int byDefault) {
  static const struct {
    const char* Word;
    int Id;
    unsigned Kinds;  // bit per MB_ kind that has the button
  } kButtons[] = {{"ok", IDOK, 1u << MB_OK | 1u << MB_OKCANCEL},
                  {"cancel", IDCANCEL, 1u << MB_OKCANCEL | 1u << MB_YESNOCANCEL},
                  {"yes", IDYES, 1u << MB_YESNO | 1u << MB_YESNOCANCEL},
                  {"no", IDNO, 1u << MB_YESNO | 1u << MB_YESNOCANCEL}};
  std::string choices;
  for (const auto& b : kButtons)
    if (b.Kinds & (1u << kind)) choices += choices.empty() ? b.Word : std::string("/") + b.Word;
  QrvxShowUser(std::string("box [") + (caption ? caption : "Error") + "] " + (text ? text : "") +
               " (" + choices + ")");
  std::string line;
  while (QrvxReadUserLine(&line)) {
    if (line == "enter") return byDefault;
    for (const auto& b : kButtons)
      if ((b.Kinds & (1u << kind)) && (line == b.Word || line == std::to_string(b.Id))) return b.Id;
    QrvxShowUser("the box waits for " + choices);
  }
  return byDefault;
}

}  // namespace

namespace {
std::atomic<UINT> g_lastType{0xFFFFFFFFu};
}  // namespace

/***********************************************************************
 * QrvxLastMessageBoxType (stand-in only)
 * The type flags of the last message box shown, 0xFFFFFFFF before the first.
 */
extern "C" UINT QrvxLastMessageBoxType() {
  return g_lastType;
}

/***********************************************************************
 * MessageBoxA (USER32.@)
 * Writes "[caption] text" to standard error. A question is answered by
 * QRVX_MESSAGEBOX_ANSWER when it is set, else by the user at the terminal when
 * there is one, else with the default button.
 */
extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  g_lastType = type;
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "Error", text ? text : "");
  std::fflush(stderr);
  bool second = (type & MB_DEFBUTTON2) != 0;
  // A box with a choice takes its answer from QRVX_MESSAGEBOX_ANSWER when set
  // (IDYES 6, IDNO 7, ...), as a user at the desktop would give it.
  if (const char* answer = std::getenv("QRVX_MESSAGEBOX_ANSWER");
      answer && *answer && (type & 0xF) != MB_OK)
    return std::atoi(answer);
  int byDefault = IDOK;
  switch (type & 0xF) {
    case MB_OKCANCEL: byDefault = second ? IDCANCEL : IDOK; break;
    case MB_YESNO: byDefault = second ? IDNO : IDYES; break;
    case MB_YESNOCANCEL: byDefault = second ? IDNO : IDYES; break;
    default: break;
  }
  UINT kind = type & 0xF;
  if (QrvxHasUserInterface() &&
      (kind == MB_OK || kind == MB_OKCANCEL || kind == MB_YESNO || kind == MB_YESNOCANCEL))
    return AskUser(text, caption, kind, byDefault);
  return byDefault;
}

/***********************************************************************
 * OutputDebugStringA (KERNEL32.@)
 * The debugger output is standard error.
 */
extern "C" void WINAPI OutputDebugStringA(LPCSTR s) {
  std::fprintf(stderr, "%s", s ? s : "");
  std::fflush(stderr);
}

/***********************************************************************
 * GetProcessWindowStation, GetUserObjectInformationA (USER32.@)
 * The process's window station is never visible (UOI_FLAGS: no WSF_VISIBLE),
 * as a service's is: there is no desktop.
 */
extern "C" HWINSTA WINAPI GetProcessWindowStation() {
  static int station;
  return &station;
}

extern "C" BOOL WINAPI GetUserObjectInformationA(HANDLE obj, int index, PVOID info, DWORD length,
                                                 LPDWORD needed) {
  if (needed) *needed = sizeof(USEROBJECTFLAGS);
  if (obj != GetProcessWindowStation() || index != UOI_FLAGS) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!info || length < sizeof(USEROBJECTFLAGS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<USEROBJECTFLAGS*>(info) = USEROBJECTFLAGS{FALSE, FALSE, 0};
  return TRUE;
}
