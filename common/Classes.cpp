#include <windows.h>

#include "common/Classes.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char small[256];
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  std::string out;
  if (n < 0) {
    va_end(ap2);
    return out;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, n);
  } else {
    out.resize(n);
    std::vsnprintf(out.data(), n + 1, fmt, ap2);
  }
  va_end(ap2);
  return out;
}

void ListIndexError(int64_t index) {
  throw EListError(Format("List index out of bounds (%lld)", static_cast<long long>(index)));
}

// ---- TStream ---------------------------------------------------------------

int64_t TStream::GetSize() {
  int64_t pos = Seek(0, soFromCurrent);
  int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  const int32_t kChunk = 61440;
  char buf[kChunk];
  int64_t done = 0;
  while (done < count) {
    int32_t n = count - done > kChunk ? kChunk : static_cast<int32_t>(count - done);
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    done += n;
  }
  return done;
}

// ---- TMemoryStream ---------------------------------------------------------

TMemoryStream::~TMemoryStream() {
  if (FCapacity) std::free(FMemory);
}

void TMemoryStream::Clear() {
  if (FCapacity) std::free(FMemory);
  FMemory = nullptr;
  FSize = FPosition = FCapacity = 0;
}

void TMemoryStream::SetPointer(const void* data, int64_t size) {
  Clear();
  FMemory = const_cast<uint8_t*>(static_cast<const uint8_t*>(data));
  FSize = data ? size : 0;
}

void TMemoryStream::Assign(const void* data, int64_t size) {
  Clear();
  if (size > 0) {
    Reserve(size);
    std::memcpy(FMemory, data, size);
    FSize = size;
  }
}

// Grows the owned block to at least capacity bytes; a view becomes owned.
void TMemoryStream::Reserve(int64_t capacity) {
  if (FCapacity >= capacity && FCapacity != 0) return;
  int64_t cap = FCapacity ? FCapacity : 0;
  if (capacity > cap) {
    // Grow geometrically so that a sequence of small writes stays linear.
    cap = cap + cap / 2;
    if (cap < capacity) cap = capacity;
    cap = (cap + 8191) & ~int64_t(8191);
  }
  if (static_cast<uint64_t>(cap) > SIZE_MAX / 2) throw EOutOfMemory();
  uint8_t* p;
  if (FCapacity) {
    p = static_cast<uint8_t*>(std::realloc(FMemory, cap));
  } else {
    p = static_cast<uint8_t*>(std::malloc(cap));
    // Leaving a view: keep what fits, since a view may shrink as it is
    // copied.
    if (p && FSize) std::memcpy(p, FMemory, FSize < cap ? FSize : cap);
  }
  if (!p) throw EOutOfMemory();
  FMemory = p;
  FCapacity = cap;
}

void TMemoryStream::ShrinkToFit() {
  if (!FCapacity || FCapacity == FSize) return;
  if (FSize == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  // Shrinking in place may still fail; the larger block then stays.
  if (auto* p = static_cast<uint8_t*>(std::realloc(FMemory, static_cast<size_t>(FSize)))) {
    FMemory = p;
    FCapacity = FSize;
  }
}

uint8_t* TMemoryStream::MutableMemory() {
  if (IsView()) Reserve(FSize);
  return FMemory;
}

uint8_t* TMemoryStream::GrowUnfilled(int64_t size) {
  if (size > FSize) {
    Reserve(size);
    FSize = size;
  }
  return MutableMemory();
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (FPosition < 0 || count <= 0) return 0;
  int64_t left = FSize - FPosition;
  if (left <= 0) return 0;
  int32_t n = left < count ? static_cast<int32_t>(left) : count;
  std::memcpy(buffer, FMemory + FPosition, n);
  FPosition += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (FPosition < 0 || count <= 0) return 0;
  int64_t end = FPosition + count;
  if (end > FCapacity || IsView()) Reserve(end > FSize ? end : FSize);
  if (FPosition > FSize) std::memset(FMemory + FSize, 0, FPosition - FSize);
  std::memcpy(FMemory + FPosition, buffer, count);
  if (end > FSize) FSize = end;
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
  switch (origin) {
    case soFromBeginning: FPosition = offset; break;
    case soFromCurrent: FPosition += offset; break;
    case soFromEnd: FPosition = FSize + offset; break;
  }
  return FPosition;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  if (size > FSize) {
    Reserve(size);
    std::memset(FMemory + FSize, 0, size - FSize);
  } else if (IsView() && size < FSize) {
    Reserve(size);
  }
  FSize = size;
  if (FPosition > size) FPosition = size;
}

// ---- TFileStream -----------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) {
  if (mode == fmCreate) {
    FHandle = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE) throw EFCreateError(fileName);
    return;
  }
  static const DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE};
  DWORD access = kAccess[(mode & 3) < 3 ? (mode & 3) : 0];
  DWORD share = kShare[((mode >> 4) & 7) < 5 ? ((mode >> 4) & 7) : 0];
  FHandle = CreateFileA(fileName.c_str(), access, share, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (FHandle == INVALID_HANDLE_VALUE) throw EFOpenError(fileName);
}

TFileStream::~TFileStream() {
  if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  DWORD got = 0;
  if (count <= 0 || !ReadFile(FHandle, buffer, static_cast<DWORD>(count), &got, nullptr)) return 0;
  return static_cast<int32_t>(got);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  DWORD put = 0;
  if (count <= 0 || !WriteFile(FHandle, buffer, static_cast<DWORD>(count), &put, nullptr)) return 0;
  return static_cast<int32_t>(put);
}

int64_t TFileStream::Seek(int64_t offset, int origin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = offset;
  if (!SetFilePointerEx(FHandle, dist, &pos, static_cast<DWORD>(origin))) return -1;
  return pos.QuadPart;
}

void TFileStream::SetSize(int64_t size) {
  Seek(size, soFromBeginning);
  if (!SetEndOfFile(FHandle)) throw EStreamError("Stream write error");
}
