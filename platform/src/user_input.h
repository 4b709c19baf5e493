// The user of a program that shows dialogs: the line-oriented input the
// dialog stand-in reads actions from (see win/dialogs.h), shared with the
// message boxes and the folder picker.
#pragma once

#include <string>

// True once the process has created a dialog: from then on its message
// boxes and folder pickers are answered by the user, not by defaults.
bool QrvxHasUserInterface();
// The next action line, trimmed; display actions ("show", "get ID") are
// carried out on the way. False at the end of the input.
bool QrvxReadUserLine(std::string* line);
// What the dialogs show: one line (or several) to standard output.
void QrvxShowUser(const std::string& text);
