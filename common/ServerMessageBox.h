// Message boxes shown from inside a server library. A modal box in a process
// without an interactive desktop (a service, such as a web server) would
// block the calling thread until someone answered it on a desktop nobody
// sees. There the message goes to the debugger output instead and the call
// goes on as if the box's default button (OK) had been pressed; an
// interactive process still gets the box.
#pragma once

#include <windows.h>

// MessageBoxA's arguments and result.
int ServerMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// True when the process's window station is visible (an interactive desktop).
bool HasInteractiveDesktop();
