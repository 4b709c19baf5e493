// Modules over the dynamic loader: dlopen handles are the module handles.
// "OLEAUT32.DLL" is the automation stand-in linked into this program; its
// exports are looked up by their Windows names in this program's symbols.
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "posix_path.h"

namespace {

// The handle LoadLibraryA("OLEAUT32.DLL") gives.
int g_oleAut32;

bool SameNameNoCase(const char* a, const char* b) {
  return strcasecmp(a, b) == 0;
}

DWORD CopyOut(const std::string& s, LPSTR out, DWORD size) {
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (s.size() >= size) {
    std::memcpy(out, s.data(), size - 1);
    out[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(out, s.c_str(), s.size() + 1);
  return static_cast<DWORD>(s.size());
}

std::string ProgramFileName() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, n) : std::string();
}

}  // namespace

/***********************************************************************
 * LoadLibraryA, FreeLibrary, GetProcAddress (KERNEL32.@)
 * Shared objects through the dynamic loader. "OLEAUT32.DLL" names the
 * stand-in's own type library functions, linked with the caller.
 * RETURNS NULL or FALSE with ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE or
 *         ERROR_PROC_NOT_FOUND.
 */
extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (SameNameNoCase(name, "OLEAUT32.DLL") || SameNameNoCase(name, "OLEAUT32")) return &g_oleAut32;
  void* h = dlopen(QrvxPosixPath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) SetLastError(ERROR_FILE_NOT_FOUND);
  return h;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE h) {
  if (h == &g_oleAut32) return TRUE;
  if (!h || dlclose(h) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE h, LPCSTR name) {
  if (h == &g_oleAut32) {
    // The stand-in's own functions, from the copy linked with the caller.
    static const struct {
      const char* Name;
      FARPROC Proc;
    } kOleAut32[] = {
        {"LoadTypeLib", reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&LoadTypeLib))},
        {"RegisterTypeLib",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&RegisterTypeLib))},
        {"UnRegisterTypeLib",
         reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&UnRegisterTypeLib))},
    };
    for (const auto& e : kOleAut32)
      if (name && std::strcmp(e.Name, name) == 0) return e.Proc;
    SetLastError(127);  // ERROR_PROC_NOT_FOUND
    return nullptr;
  }
  void* sym = dlsym(h ? h : RTLD_DEFAULT, name);
  if (!sym) {
    SetLastError(127);  // ERROR_PROC_NOT_FOUND
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

/***********************************************************************
 * GetModuleFileNameA, GetModuleHandleExA (KERNEL32.@)
 * NULL is the program itself; GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS finds
 * the module holding an address.
 */
extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE h, LPSTR out, DWORD size) {
  std::string name;
  if (h && h != &g_oleAut32) {
    struct link_map* map = nullptr;
    if (dlinfo(h, RTLD_DI_LINKMAP, &map) != 0 || !map) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    name = map->l_name;
  }
  if (name.empty()) name = ProgramFileName();
  return CopyOut(name, out, size);
}

extern "C" BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* out) {
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = nullptr;
  void* h = nullptr;
  if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info{};
    if (!dladdr(name, &info) || !info.dli_fname) {
      SetLastError(126);  // ERROR_MOD_NOT_FOUND
      return FALSE;
    }
    h = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    // The program itself: its dli_fname is its path, which dlopen may not
    // know by that name.
    if (!h) h = dlopen(nullptr, RTLD_NOW);
  } else {
    h = name ? dlopen(QrvxPosixPath(name).c_str(), RTLD_NOW | RTLD_NOLOAD)
             : dlopen(nullptr, RTLD_NOW);
  }
  if (!h) {
    SetLastError(126);
    return FALSE;
  }
  if (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) dlclose(h);
  *out = h;
  return TRUE;
}

/***********************************************************************
 * GetShortPathNameA (KERNEL32.@)
 * There are no 8.3 names here: an existing path is its own short form.
 * RETURNS the length copied, or needed (NUL included); 0 with
 *         ERROR_FILE_NOT_FOUND for a path that does not exist.
 */
extern "C" DWORD WINAPI GetShortPathNameA(LPCSTR path, LPSTR out, DWORD size) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (access(QrvxPosixPath(path).c_str(), F_OK) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  std::string s(path);
  if (!out || s.size() >= size) return static_cast<DWORD>(s.size() + 1);
  std::memcpy(out, s.c_str(), s.size() + 1);
  return static_cast<DWORD>(s.size());
}
