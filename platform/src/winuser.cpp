// Message boxes: there is no desktop here, so the caption and text go to
// standard error and the default button is the answer, unless
// QRVX_MESSAGEBOX_ANSWER names another.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<UINT> g_lastType{0xFFFFFFFFu};
}  // namespace

extern "C" UINT QrvxLastMessageBoxType() {
  return g_lastType;
}

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
  switch (type & 0xF) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    case MB_YESNOCANCEL: return second ? IDNO : IDYES;
    default: return IDOK;
  }
}

extern "C" void WINAPI OutputDebugStringA(LPCSTR s) {
  std::fprintf(stderr, "%s", s ? s : "");
  std::fflush(stderr);
}

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
