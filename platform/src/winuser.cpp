// Message boxes: there is no desktop here, so the caption and text go to
// standard error and the default button is the answer.
#include <windows.h>

#include <cstdio>

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "Error", text ? text : "");
  std::fflush(stderr);
  bool second = (type & MB_DEFBUTTON2) != 0;
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
