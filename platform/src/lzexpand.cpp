// LZ expansion over POSIX files. A file that begins with the 14-byte SZDD
// header (magic, method 'A', the name's last character, expanded length) is
// expanded into memory when it is opened; any other file is read as it is.
#include <fcntl.h>
#include <lzexpand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "posix_path.h"

namespace {

constexpr unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr size_t kHeader = 14;
constexpr INT kFirstHandle = 0x400;
constexpr size_t kMaxHandles = 256;

struct LzFile {
  int fd = -1;  // a plain file
  bool compressed = false;
  std::vector<unsigned char> data;  // a compressed file, expanded
  int64_t length = 0;               // the expanded length its header gives
  int64_t pos = 0;
};

std::mutex g_lock;
std::unique_ptr<LzFile> g_files[kMaxHandles];

// The LZSS stream of compress.exe: a 4096-byte window of spaces written from
// 4080; each flag byte, low bit first, announces a literal (1) or a match
// (0) of two bytes: 12-bit window position, 4-bit length minus 3. The stream
// ends with its input, so the output is at most 18/2 times the input.
std::vector<unsigned char> Expand(const unsigned char* in, size_t n) {
  std::vector<unsigned char> out;
  out.reserve(n * 2);
  unsigned char window[4096];
  std::memset(window, ' ', sizeof window);
  unsigned w = 4096 - 16;
  size_t i = 0;
  while (i < n) {
    unsigned flags = in[i++];
    for (int bit = 0; bit < 8 && i < n; ++bit, flags >>= 1) {
      if (flags & 1) {
        out.push_back(window[w] = in[i++]);
        w = (w + 1) & 4095;
        continue;
      }
      if (i + 1 >= n) return out;  // half a match: the stream is cut
      unsigned at = in[i] | ((in[i + 1] & 0xF0u) << 4);
      unsigned len = (in[i + 1] & 0x0Fu) + 3;
      i += 2;
      for (unsigned k = 0; k < len; ++k) {
        out.push_back(window[w] = window[(at + k) & 4095]);
        w = (w + 1) & 4095;
      }
    }
  }
  return out;
}

LzFile* Find(INT h) {
  if (h < kFirstHandle || h >= kFirstHandle + static_cast<INT>(kMaxHandles)) return nullptr;
  return g_files[h - kFirstHandle].get();
}

bool ReadAll(int fd, std::vector<unsigned char>* bytes) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  bytes->resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < bytes->size()) {
    ssize_t r = pread(fd, bytes->data() + got, bytes->size() - got, static_cast<off_t>(got));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  bytes->resize(got);
  return true;
}

}  // namespace

/***********************************************************************
 * LZOpenFileA (LZ32.@)
 * Opens a file for reading (OF_READ only). An SZDD file is expanded whole into
 * memory; any other file is read as it is.
 * RETURNS a handle, or LZERROR_BADINHANDLE, LZERROR_READ, LZERROR_GLOBALLOC.
 */
extern "C" INT WINAPI LZOpenFileA(LPSTR lpFileName, LPOFSTRUCT lpReOpenBuf, WORD wStyle) {
  if (lpReOpenBuf) {
    std::memset(lpReOpenBuf, 0, sizeof *lpReOpenBuf);
    lpReOpenBuf->cBytes = sizeof *lpReOpenBuf;
    if (lpFileName) std::strncpy(lpReOpenBuf->szPathName, lpFileName, OFS_MAXPATHNAME - 1);
  }
  if (!lpFileName || wStyle != OF_READ) return LZERROR_BADINHANDLE;
  int fd = open(QrvxPosixPath(lpFileName).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (lpReOpenBuf) lpReOpenBuf->nErrCode = 2;  // ERROR_FILE_NOT_FOUND
    return LZERROR_BADINHANDLE;
  }
  auto f = std::make_unique<LzFile>();
  unsigned char head[kHeader];
  ssize_t n = pread(fd, head, kHeader, 0);
  // A header of another method leaves the file plain, as lz32 does.
  if (n == static_cast<ssize_t>(kHeader) && std::memcmp(head, kMagic, sizeof kMagic) == 0 &&
      head[8] == 'A') {
    std::vector<unsigned char> raw;
    bool ok = ReadAll(fd, &raw);
    close(fd);
    if (!ok) return LZERROR_READ;
    f->compressed = true;
    f->data = Expand(raw.data() + kHeader, raw.size() - kHeader);
    f->length = static_cast<int64_t>(head[10] | head[11] << 8 | head[12] << 16 |
                                     static_cast<uint32_t>(head[13]) << 24);
  } else {
    f->fd = fd;
  }
  std::lock_guard<std::mutex> hold(g_lock);
  for (size_t i = 0; i < kMaxHandles; ++i) {
    if (!g_files[i]) {
      g_files[i] = std::move(f);
      return kFirstHandle + static_cast<INT>(i);
    }
  }
  if (f->fd >= 0) close(f->fd);
  return LZERROR_GLOBALLOC;
}

/***********************************************************************
 * LZRead, LZSeek, LZClose (LZ32.@)
 * Read and seek in the expanded bytes (or the plain file).
 * RETURNS the bytes read or the new position; LZERROR_BADINHANDLE for an
 *         unknown handle, LZERROR_BADVALUE for a position outside the file.
 */
extern "C" INT WINAPI LZRead(INT hFile, LPSTR lpBuffer, INT cbRead) {
  std::lock_guard<std::mutex> hold(g_lock);
  LzFile* f = Find(hFile);
  if (!f) return LZERROR_BADINHANDLE;
  if (cbRead < 0 || (!lpBuffer && cbRead > 0)) return LZERROR_BADVALUE;
  if (!f->compressed) {
    ssize_t r = read(f->fd, lpBuffer, static_cast<size_t>(cbRead));
    return r < 0 ? LZERROR_READ : static_cast<INT>(r);
  }
  int64_t left = static_cast<int64_t>(f->data.size()) - f->pos;
  INT n = left <= 0 ? 0 : static_cast<INT>(left < cbRead ? left : cbRead);
  if (n > 0) std::memcpy(lpBuffer, f->data.data() + f->pos, static_cast<size_t>(n));
  f->pos += n;
  return n;
}

extern "C" LONG WINAPI LZSeek(INT hFile, LONG lOffset, INT iOrigin) {
  std::lock_guard<std::mutex> hold(g_lock);
  LzFile* f = Find(hFile);
  if (!f) return LZERROR_BADINHANDLE;
  if (iOrigin < 0 || iOrigin > 2) return LZERROR_BADVALUE;
  if (!f->compressed) {
    off_t r = lseek(f->fd, lOffset, iOrigin == 0 ? SEEK_SET : iOrigin == 1 ? SEEK_CUR : SEEK_END);
    return r < 0 || r > 0x7FFFFFFF ? LZERROR_BADVALUE : static_cast<LONG>(r);
  }
  int64_t base = iOrigin == 0 ? 0 : iOrigin == 1 ? f->pos : f->length;
  int64_t to = base + lOffset;
  if (to < 0 || to > f->length) return LZERROR_BADVALUE;
  f->pos = to;
  return static_cast<LONG>(to);
}

extern "C" VOID WINAPI LZClose(INT hFile) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (!Find(hFile)) return;
  std::unique_ptr<LzFile>& slot = g_files[hFile - kFirstHandle];
  if (slot->fd >= 0) close(slot->fd);
  slot.reset();
}
