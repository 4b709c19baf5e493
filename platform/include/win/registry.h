// The registry (advapi32). The stand-in keeps each root key in a text file
// "<root name>.reg" (the regedit export format) under a directory: the one
// QrvxSetRegistryDir names, else $QRVX_REGISTRY_DIR, else
// $XDG_DATA_HOME/qrvx/registry, else ~/.local/share/qrvx/registry. Key and
// value names compare without regard to ASCII case and keep the case they
// were created with. Every call reads and rewrites the file under a lock,
// so separate processes see each other's changes.
#pragma once

#include "types.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef struct _SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002)))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

// Creates the key and every missing key above it, or opens it.
extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                          DWORD dwOptions, REGSAM samDesired,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          PHKEY phkResult, LPDWORD lpdwDisposition);
// ERROR_FILE_NOT_FOUND when the key does not exist.
extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                        REGSAM samDesired, PHKEY phkResult);
extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey);
// lpValueName nullptr or "": the key's default value. REG_SZ data are kept
// as given (cbData counts the terminating zero, which is stored with them).
extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                         DWORD dwType, const BYTE* lpData, DWORD cbData);
// ERROR_MORE_DATA with *lpcbData set to the size needed when the buffer is
// too small; lpData nullptr asks only for type and size.
extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some, as on
// Windows NT); ERROR_FILE_NOT_FOUND when it does not exist.
extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// The dwIndex-th subkey name (in creation order); ERROR_NO_MORE_ITEMS past the end.
extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime);

// The stand-in's own hook (not a Windows function): keep the registry under
// DIR from now on (nullptr: back to the default).
extern "C" void QrvxSetRegistryDir(const char* dir);
