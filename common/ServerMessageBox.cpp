#include "common/ServerMessageBox.h"

#include <string>

bool HasInteractiveDesktop() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  // When the system cannot tell, a box that may never be answered is the
  // worse choice.
  if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed))
    return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

namespace {

// The button a box answers with when Return is pressed at once.
int DefaultAnswer(UINT type) {
  bool second = (type & MB_DEFBUTTON2) != 0;
  switch (type & 0xF) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    case MB_YESNOCANCEL: return second ? IDNO : IDYES;
    default: return IDOK;
  }
}

}  // namespace

int ServerMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (HasInteractiveDesktop()) return MessageBoxA(owner, text, caption, type);
  std::string line = "[";
  line += caption ? caption : "Error";
  line += "] ";
  line += text ? text : "";
  line += "\r\n";
  OutputDebugStringA(line.c_str());
  return DefaultAnswer(type);
}
