// Modules (kernel32): loading libraries, their exports and file names.
// HMODULE is the dlopen handle; nullptr means the program itself.
#pragma once

#include "types.h"

typedef INT_PTR(WINAPI* FARPROC)();

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// dlopen of the file (a path with "\" is mapped like file names). The name
// "OLEAUT32.DLL" (any case) gives a handle of the automation stand-in, whose
// exports GetProcAddress finds by their Windows names. nullptr and
// GetLastError set when the library cannot be loaded.
extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule);
extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// Full file name of the module (nullptr: the program). Returns the length
// without the terminating zero; a name that does not fit is truncated,
// terminated, and the result is nSize with ERROR_INSUFFICIENT_BUFFER.
extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, lpModuleName is an address
// inside the module wanted.
extern "C" BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
// There are no 8.3 names here: the long path is the short path. Fails with
// ERROR_FILE_NOT_FOUND when the file does not exist, like Windows.
extern "C" DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath,
                                          DWORD cchBuffer);
