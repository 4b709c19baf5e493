// The installer setup: its operations. Everything it installs comes out of
// the package "setup.dat" beside the program; the library and the
// uninstaller go to the system directory, every other member to the
// documentation directory.
#pragma once

#include <windows.h>

#include <string>

#include "TmplLib.h"

// The web server's root (HKLM\SOFTWARE\Microsoft\INetStp\, value
// "PathWWWRoot"), or empty when the key or the value is missing or the value
// does not fit 250 bytes.
std::string ReadWebRoot();
// The shell's folder picker; true and path set (no trailing backslash) when
// the user chose a file-system folder.
bool BrowseForDirectory(const char* title, std::string& path);
// Extracts one member into directory (which ends in a backslash) and records
// it; logs the failure and aborts when it cannot.
void InstallMember(const PackageEntry& entry, const std::string& directory);
// The Start-menu group "Quorvex" with its three links.
void CreateProgramGroup();
void CreateShortcut(const std::string& target, const std::string& link,
                    const std::string& description);
void WriteUninstallRecord();
// Calls DllRegisterServer of the system directory's qrvx.dll.
void RegisterLibrary();
// The product's entry in the list of removable programs.
void WriteUninstallKey();

INT_PTR CALLBACK WelcomeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The directory of the running program, ending in its separator.
std::string ProgramDirectory();

// The whole program: welcome, options, the install sequence, the wait for
// "OK". Returns 0.
int SetupMain();
