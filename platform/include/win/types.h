// Basic Windows types, result codes and GUIDs. Sizes are those of Windows:
// LONG and DWORD are 32 bits and WCHAR/OLECHAR 16 bits on every system.
#pragma once

#include <cstdint>
#include <cstring>

#define WINAPI
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define STDAPI_(t) extern "C" t
#define WINOLEAUTAPI extern "C" HRESULT
#define WINOLEAUTAPI_(t) extern "C" t
#define CALLBACK

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int BOOL;
typedef char CHAR;
typedef void VOID;
typedef unsigned char UCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;
typedef void* HANDLE;
typedef HANDLE HMODULE;
typedef HANDLE HINSTANCE;
typedef HANDLE HWND;
typedef HANDLE HGLOBAL;
typedef HANDLE HRSRC;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef DWORD LCID;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef BOOL* LPBOOL;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME, *PFILETIME;

typedef struct _SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID, IID, CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) {
  return IsEqualGUID(a, b);
}
#define IsEqualIID IsEqualGUID
#define IsEqualCLSID IsEqualGUID

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code)                                                             \
  static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) | (static_cast<uint32_t>(fac) << 16) | \
                       (code))

#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002)
#define E_POINTER static_cast<HRESULT>(0x80004003)
#define E_ABORT static_cast<HRESULT>(0x80004004)
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFF)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005)
#define E_HANDLE static_cast<HRESULT>(0x80070006)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000E)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154)
#define STG_E_FILENOTFOUND static_cast<HRESULT>(0x80030002)
#define STG_E_WRITEFAULT static_cast<HRESULT>(0x8003001D)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111)
#define SELFREG_E_CLASS static_cast<HRESULT>(0x80040201)
#define TYPE_E_ELEMENTNOTFOUND static_cast<HRESULT>(0x8002802B)
#define TYPE_E_CANTLOADLIBRARY static_cast<HRESULT>(0x80029C4A)
#define DISP_E_UNKNOWNINTERFACE static_cast<HRESULT>(0x80020001)
#define DISP_E_MEMBERNOTFOUND static_cast<HRESULT>(0x80020003)
#define DISP_E_PARAMNOTFOUND static_cast<HRESULT>(0x80020004)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005)
#define DISP_E_UNKNOWNNAME static_cast<HRESULT>(0x80020006)
#define DISP_E_NONAMEDARGS static_cast<HRESULT>(0x80020007)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008)
#define DISP_E_EXCEPTION static_cast<HRESULT>(0x80020009)
#define DISP_E_OVERFLOW static_cast<HRESULT>(0x8002000A)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000B)
#define DISP_E_UNKNOWNLCID static_cast<HRESULT>(0x8002000C)
#define DISP_E_ARRAYISLOCKED static_cast<HRESULT>(0x8002000D)
#define DISP_E_BADPARAMCOUNT static_cast<HRESULT>(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL static_cast<HRESULT>(0x8002000F)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_HANDLE_EOF 38L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L

extern "C" DWORD WINAPI GetLastError();
extern "C" void WINAPI SetLastError(DWORD code);
