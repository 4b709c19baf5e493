// Window messages: no windows, no queue.
#include <windows.h>

extern "C" BOOL WINAPI PeekMessageA(LPMSG, HWND, UINT, UINT, UINT) {
  return FALSE;
}
extern "C" BOOL WINAPI TranslateMessage(const MSG*) {
  return FALSE;
}
extern "C" LRESULT WINAPI DispatchMessageA(const MSG*) {
  return 0;
}
extern "C" LRESULT WINAPI SendMessageA(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}
