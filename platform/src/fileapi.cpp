// Files and directories over POSIX. Handles are heap objects holding a file
// descriptor; paths have "\" mapped to "/" and a drive prefix dropped.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <new>
#include <string>

#include "posix_path.h"

namespace {

thread_local DWORD g_lastError = 0;

struct FileHandle {
  int fd;
};

DWORD ErrnoToWin32(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_INVALID_PARAMETER;
  }
}

BOOL Fail() {
  g_lastError = ErrnoToWin32(errno);
  return FALSE;
}

// The POSIX form of a path for the functions below; false, with
// ERROR_NOT_ENOUGH_MEMORY, when it cannot be made. Windows functions report
// failures and never raise: callers rely on that even in destructors (a
// scope guard that restores the current directory).
bool PosixPathOf(LPCSTR name, std::string* out) noexcept {
  try {
    *out = QrvxPosixPath(name);
    return true;
  } catch (...) {
    g_lastError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
}

int Fd(HANDLE h) {
  if (!h || h == INVALID_HANDLE_VALUE) return -1;
  return static_cast<FileHandle*>(h)->fd;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600LL;

FILETIME ToFileTime(const struct timespec& ts) {
  uint64_t t = (static_cast<uint64_t>(ts.tv_sec + kEpochDelta) * 10000000ULL) + ts.tv_nsec / 100;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

struct timespec FromFileTime(const FILETIME& ft) {
  uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(t / 10000000ULL) - kEpochDelta;
  ts.tv_nsec = static_cast<long>(t % 10000000ULL) * 100;
  return ts;
}

}  // namespace

std::string QrvxPosixPath(const char* path) {
  std::string p = path ? path : "";
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')))
    p.erase(0, 2);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

/***********************************************************************
 * GetLastError, SetLastError (KERNEL32.@)
 * The calling thread's last error code.
 */
extern "C" DWORD WINAPI GetLastError() {
  return g_lastError;
}
extern "C" void WINAPI SetLastError(DWORD code) {
  g_lastError = code;
}

/***********************************************************************
 * CreateFileA (KERNEL32.@)
 * PARAMS  [I] lpFileName  "\" and "/" both separate; a drive prefix is dropped
 *         [I] dwDesiredAccess  GENERIC_READ and/or GENERIC_WRITE
 *         [I] dwCreationDisposition  CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING,
 *             OPEN_ALWAYS or TRUNCATE_EXISTING
 * RETURNS a handle, or INVALID_HANDLE_VALUE with the last error set; a
 *         directory gives ERROR_ACCESS_DENIED.
 * NOTES   Sharing modes, attributes and templates are ignored.
 */
extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD,
                                     HANDLE) {
  std::string path;
  if (!PosixPathOf(lpFileName, &path)) return INVALID_HANDLE_VALUE;
  int flags = 0;
  bool rd = dwDesiredAccess & GENERIC_READ, wr = dwDesiredAccess & GENERIC_WRITE;
  flags = rd && wr ? O_RDWR : wr ? O_WRONLY : O_RDONLY;
  switch (dwCreationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: break;
  }
  if (path.empty()) {
    g_lastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  int fd = open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    Fail();
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    g_lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  auto* handle = new (std::nothrow) FileHandle{fd};
  if (!handle) {
    close(fd);
    g_lastError = ERROR_NOT_ENOUGH_MEMORY;
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

/***********************************************************************
 * ReadFile, WriteFile, SetFilePointerEx, GetFileSizeEx, SetEndOfFile, CloseHandle
 * (KERNEL32.@)
 * Synchronous only. ReadFile and WriteFile move all n bytes unless the file
 * ends or fails; at the end ReadFile succeeds with fewer.
 * RETURNS FALSE with the last error set on failure.
 */
extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD n, LPDWORD read, void*) {
  if (read) *read = 0;
  DWORD total = 0;
  while (total < n) {
    ssize_t r = ::read(Fd(hFile), static_cast<char*>(lpBuffer) + total, n - total);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Fail();
    }
    if (r == 0) break;
    total += static_cast<DWORD>(r);
  }
  if (read) *read = total;
  return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD n, LPDWORD written, void*) {
  if (written) *written = 0;
  DWORD total = 0;
  while (total < n) {
    ssize_t r = ::write(Fd(hFile), static_cast<const char*>(lpBuffer) + total, n - total);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (written) *written = total;
      return Fail();
    }
    total += static_cast<DWORD>(r);
  }
  if (written) *written = total;
  return TRUE;
}

extern "C" BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER dist, PLARGE_INTEGER newPos,
                                        DWORD method) {
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(Fd(hFile), static_cast<off_t>(dist.QuadPart), whence);
  if (r < 0) {
    g_lastError = ERROR_INVALID_PARAMETER;  // Windows: ERROR_NEGATIVE_SEEK and the like
    return FALSE;
  }
  if (newPos) newPos->QuadPart = r;
  return TRUE;
}

extern "C" BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER size) {
  struct stat st;
  if (fstat(Fd(hFile), &st) != 0) return Fail();
  size->QuadPart = st.st_size;
  return TRUE;
}

extern "C" BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  off_t pos = lseek(Fd(hFile), 0, SEEK_CUR);
  if (pos < 0 || ftruncate(Fd(hFile), pos) != 0) return Fail();
  return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!hObject || hObject == INVALID_HANDLE_VALUE) {
    g_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  auto* h = static_cast<FileHandle*>(hObject);
  int r = close(h->fd);
  delete h;
  return r == 0 ? TRUE : Fail();
}

/***********************************************************************
 * DeleteFileA (KERNEL32.@)
 * RETURNS FALSE with the last error set on failure.
 */
extern "C" BOOL WINAPI DeleteFileA(LPCSTR name) {
  std::string p;
  if (!PosixPathOf(name, &p)) return FALSE;
  return unlink(p.c_str()) == 0 ? TRUE : Fail();
}

/***********************************************************************
 * GetFileAttributesA, SetFileAttributesA (KERNEL32.@)
 */
// Read-only is the absence of the owner's write bit; the other attribute bits
// have no POSIX counterpart and read as archive.
extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR name) {
  struct stat st;
  std::string p;
  if (!PosixPathOf(name, &p)) return INVALID_FILE_ATTRIBUTES;
  if (p.empty() || stat(p.c_str(), &st) != 0) {
    Fail();
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD a = FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

extern "C" BOOL WINAPI SetFileAttributesA(LPCSTR name, DWORD attrs) {
  struct stat st;
  std::string p;
  if (!PosixPathOf(name, &p)) return FALSE;
  if (stat(p.c_str(), &st) != 0) return Fail();
  mode_t m = st.st_mode & 07777;
  m = (attrs & FILE_ATTRIBUTE_READONLY) ? (m & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (m | S_IWUSR);
  return chmod(p.c_str(), m) == 0 ? TRUE : Fail();
}

/***********************************************************************
 * CreateDirectoryA, RemoveDirectoryA, GetCurrentDirectoryA, SetCurrentDirectoryA
 * (KERNEL32.@)
 * RETURNS FALSE (0) with the last error set on failure; GetCurrentDirectoryA
 *         the length needed, NUL included, when len is too small.
 */
extern "C" BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
  std::string p;
  if (!PosixPathOf(name, &p)) return FALSE;
  return mkdir(p.c_str(), 0777) == 0 ? TRUE : Fail();
}

extern "C" BOOL WINAPI RemoveDirectoryA(LPCSTR name) {
  std::string p;
  if (!PosixPathOf(name, &p)) return FALSE;
  return rmdir(p.c_str()) == 0 ? TRUE : Fail();
}

extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD len, LPSTR buf) {
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) {
    Fail();
    return 0;
  }
  size_t n = std::strlen(cwd);
  if (len < n + 1) return static_cast<DWORD>(n + 1);
  std::memcpy(buf, cwd, n + 1);
  return static_cast<DWORD>(n);
}

extern "C" BOOL WINAPI SetCurrentDirectoryA(LPCSTR name) {
  std::string p;
  if (!PosixPathOf(name, &p)) return FALSE;
  return chdir(p.c_str()) == 0 ? TRUE : Fail();
}

/***********************************************************************
 * GetFileTime, SetFileTime (KERNEL32.@)
 * NOTES   POSIX keeps no creation time: the modification time stands for it,
 *         and setting it does nothing.
 */
extern "C" BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME created, LPFILETIME accessed,
                                   LPFILETIME written) {
  struct stat st;
  if (fstat(Fd(hFile), &st) != 0) return Fail();
  if (created) *created = ToFileTime(st.st_mtim);
  if (accessed) *accessed = ToFileTime(st.st_atim);
  if (written) *written = ToFileTime(st.st_mtim);
  return TRUE;
}

extern "C" BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME*, const FILETIME* accessed,
                                   const FILETIME* written) {
  struct timespec ts[2];
  ts[0].tv_nsec = ts[1].tv_nsec = UTIME_OMIT;
  if (accessed) ts[0] = FromFileTime(*accessed);
  if (written) ts[1] = FromFileTime(*written);
  return futimens(Fd(hFile), ts) == 0 ? TRUE : Fail();
}
