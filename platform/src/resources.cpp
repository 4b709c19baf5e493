// Module resources: a process-wide list of the resources added by code.
#include <windows.h>

#include <cctype>
#include <deque>
#include <mutex>
#include <string>

namespace {

struct Resource {
  std::string type, name;  // upper-cased, or "#n" for an integer identifier
  const void* data;
  DWORD size;
};

std::mutex g_lock;
// A deque keeps every element where it is: a resource handle is its address.
std::deque<Resource>& Table() {
  static std::deque<Resource> table;
  return table;
}

std::string Key(LPCSTR id) {
  if (IS_INTRESOURCE(id)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id));
  std::string s = id;
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

Resource* Lookup(const std::string& type, const std::string& name) {
  for (Resource& r : Table())
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

}  // namespace

#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

/***********************************************************************
 * FindResourceA, LoadResource, LockResource, SizeofResource, FreeResource
 * (KERNEL32.@)
 * The process is the only module: names and types are those added with
 * QrvxAddResource (MAKEINTRESOURCE ids or text, text without regard to case).
 * RETURNS NULL with ERROR_RESOURCE_NAME_NOT_FOUND for a missing resource.
 * NOTES   FreeResource is obsolete on Win32 and returns FALSE.
 */
extern "C" HRSRC WINAPI FindResourceA(HMODULE, LPCSTR lpName, LPCSTR lpType) {
  if (!lpName || !lpType) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(g_lock);
  Resource* r = Lookup(Key(lpType), Key(lpName));
  if (!r) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return r;
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  if (!hResInfo) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(static_cast<Resource*>(hResInfo)->data);
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) {
  return hResData;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  return hResInfo ? static_cast<Resource*>(hResInfo)->size : 0;
}

extern "C" BOOL WINAPI FreeResource(HGLOBAL) {
  return FALSE;
}

/***********************************************************************
 * QrvxAddResource (stand-in only)
 * Adds a resource; data must outlive the process's use of it. The first of
 * two resources of one type and name wins.
 */
extern "C" BOOL QrvxAddResource(LPCSTR lpType, LPCSTR lpName, const void* data, DWORD size) {
  if (!lpType || !lpName || !data) return FALSE;
  std::lock_guard<std::mutex> guard(g_lock);
  std::string type = Key(lpType), name = Key(lpName);
  if (!Lookup(type, name)) Table().push_back(Resource{type, name, data, size});
  return TRUE;
}
