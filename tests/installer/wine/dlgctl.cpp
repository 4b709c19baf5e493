// dlgctl: reads another program's dialog for the Wine test of setup.
//   dlgctl text TITLE ID     prints the text of control ID
//   dlgctl point TITLE ID    prints the screen centre of control ID ("x y")
//   dlgctl enabled TITLE ID  prints 1 when control ID is enabled, else 0
// The dialog is the visible top-level window captioned TITLE. Exit code 1
// when the dialog or the control is not there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: dlgctl text|point|enabled TITLE ID\n");
    return 2;
  }
  HWND dialog = FindWindowA(nullptr, argv[2]);
  if (!dialog) return 1;
  HWND control = GetDlgItem(dialog, std::atoi(argv[3]));
  if (!control) return 1;
  if (std::strcmp(argv[1], "text") == 0) {
    LRESULT n = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    n = SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "point") == 0) {
    RECT r;
    GetWindowRect(control, &r);
    std::printf("%ld %ld\n", static_cast<long>((r.left + r.right) / 2),
                static_cast<long>((r.top + r.bottom) / 2));
    return 0;
  }
  if (std::strcmp(argv[1], "enabled") == 0) {
    std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    return 0;
  }
  return 2;
}
