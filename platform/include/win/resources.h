// Module resources (kernel32). The stand-in has one module, the process: a
// resource exists once code has added it with QrvxAddResource, the way the
// resource compiler would have linked it in on Windows.
#pragma once

#include "types.h"

#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA

// FindResourceA: finds the resource of type lpType named lpName in hModule.
//   [I] hModule  module (ignored by the stand-in: there is only one)
//   [I] lpName, lpType  names, or integer identifiers made by MAKEINTRESOURCE
//   RETURNS the resource handle, or NULL (ERROR_RESOURCE_NAME_NOT_FOUND).
//   NOTES native compares string names case-insensitively (it upper-cases
//   them, as the resource compiler does); so does the stand-in.
extern "C" HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
// LoadResource: a global handle to the resource's data; NULL on a bad hResInfo.
extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
// LockResource: the address of the loaded data (read-only); NULL for NULL.
extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData);
// SizeofResource: the size in bytes of the resource's data; 0 on failure.
extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
// FreeResource: obsolete on Win32; does nothing and returns FALSE, like native.
extern "C" BOOL WINAPI FreeResource(HGLOBAL hResData);

// The stand-in's own hook (not a Windows function): makes size bytes at data
// (which must stay valid) the resource lpName of type lpType. Adding a name
// twice keeps the first. RETURNS TRUE when added or already present.
extern "C" BOOL QrvxAddResource(LPCSTR lpType, LPCSTR lpName, const void* data, DWORD size);
