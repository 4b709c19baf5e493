// The package reader: every read goes through the LZ expansion API, which
// gives a compressed package's expanded bytes and a plain one's as they are.
#include <windows.h>

#include "TmplLib.h"

#include <lzexpand.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/Trim.h"

namespace {

PackageHeader g_header{};
std::vector<PackageEntry> g_directory;  // released and replaced by OpenPackage
std::string g_packagePath;              // set by a successful OpenPackage
// False while the directory held is not that of the package path: after a
// short directory read, its entries would find other bytes in the package
// opened before.
bool g_directoryOfPath = false;

// Memory grows with what arrives, never with what a header promises.
constexpr int32_t kChunk = 1 << 20;

// Reads up to want bytes from h into out, in chunks; the bytes that came.
int64_t ReadUpTo(INT h, int64_t want, std::string* out) {
  int64_t got = 0;
  while (got < want) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(want - got, kChunk));
    size_t at = out->size();
    out->resize(at + static_cast<size_t>(n));
    INT r = LZRead(h, out->data() + at, n);
    if (r < 0) r = 0;
    out->resize(at + static_cast<size_t>(r));
    got += r;
    if (r < n) break;
  }
  return got;
}

INT OpenForReading(const std::string& path) {
  std::string name = path;  // LZOpenFileA takes a writable string
  OFSTRUCT of;
  return LZOpenFileA(name.data(), &of, OF_READ);
}

}  // namespace

bool OpenPackage(const std::string& path) {
  g_directory.clear();
  g_directory.shrink_to_fit();
  g_header.Count = 0;
  g_directoryOfPath = false;
  INT h = OpenForReading(path);
  if (h <= 0) return false;
  bool result = false;
  std::string bytes;
  // A header that is not whole is no header.
  if (ReadUpTo(h, sizeof g_header, &bytes) == sizeof g_header)
    std::memcpy(&g_header, bytes.data(), sizeof g_header);
  else
    g_header = PackageHeader{};
  if (g_header.Magic == kPackageMagic && g_header.Count >= 0) {
    int64_t want = static_cast<int64_t>(g_header.Count) * sizeof(PackageEntry);
    bytes.clear();
    int64_t got = ReadUpTo(h, want, &bytes);
    g_directory.resize((static_cast<size_t>(got) + sizeof(PackageEntry) - 1) /
                       sizeof(PackageEntry));
    if (got > 0) std::memcpy(g_directory.data(), bytes.data(), static_cast<size_t>(got));
    result = got == want;
  } else {
    // Another magic, or a count no directory can have.
    g_header.Count = 0;
  }
  if (result) {
    g_packagePath = path;
    g_directoryOfPath = true;
  }
  LZClose(h);
  return result;
}

std::string ReadPackageMember(const std::string& name) {
  std::string result;
  if (g_packagePath.empty() || !g_directoryOfPath) return result;
  INT h = OpenForReading(g_packagePath);
  if (h <= 0) return result;
  std::string_view wanted = TrimBlanks(name);
  for (const PackageEntry& e : g_directory) {
    if (PackageEntryName(e) != wanted) continue;
    // A member read from anywhere but its offset would be another's bytes.
    if (e.Size > 0 && e.Offset >= 0 && LZSeek(h, e.Offset, 0) == e.Offset)
      ReadUpTo(h, e.Size, &result);
    break;
  }
  LZClose(h);
  return result;
}

const PackageHeader& PackageHeaderRead() {
  return g_header;
}

int PackageEntryCount() {
  return static_cast<int>(g_directory.size());
}

const PackageEntry& PackageEntryAt(int i) {
  // The header's count may promise more entries than arrived: past those
  // held, every entry is the empty one.
  static const PackageEntry kNone{};
  if (i < 0 || static_cast<size_t>(i) >= g_directory.size()) return kNone;
  return g_directory[static_cast<size_t>(i)];
}

std::string PackageEntryName(const PackageEntry& e) {
  return std::string(e.Name, std::min<size_t>(e.NameLength, sizeof e.Name));
}
