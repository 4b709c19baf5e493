// Dialog templates as the stand-in keeps them: what a DIALOG statement of a
// resource script says, in dialog units, with the styles resolved.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TControlTemplate {
  std::string Class;  // "BUTTON", "EDIT" or "STATIC"
  std::string Text;   // for an ICON control, the icon's resource name
  DWORD Style = 0;
  int Id = 0;
  int X = 0, Y = 0, Cx = 0, Cy = 0;
};

struct TDialogTemplate {
  std::string Name;
  std::string Caption;
  std::string FontName;
  int FontSize = 0;
  DWORD Style = 0;
  int X = 0, Y = 0, Cx = 0, Cy = 0;
  std::vector<TControlTemplate> Controls;
};

// The RT_DIALOG resource lpName: the template QrvxAddResourceScript made, or
// nullptr.
const TDialogTemplate* QrvxFindDialogTemplate(HINSTANCE module, LPCSTR name);
