// Reads arbitrary bytes as an install package, as given and again wrapped
// as the compressed data of a compress.exe file: opens it, walks the
// directory and reads every member it names, sorted and checked as the
// installer does; then reads the same bytes as an
// uninstall record. The readers report failures as false or empty results
// only; anything else (a crash, a hang, an exception, memory beyond the
// input's bound) is a find.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "setup/Members.h"
#include "setup/TmplLib.h"
#include "setup/UninstallRecord.h"

namespace {

std::string TempPath() {
  return "/tmp/qrvx_package_fuzz_" + std::to_string(getpid()) + ".dat";
}

void Run(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  OpenPackage(path);
  int n = PackageEntryCount();
  for (int i = 0; i < n && i < 64; ++i) {
    const PackageEntry& entry = PackageEntryAt(i);
    std::string name = PackageEntryName(entry);
    (void)IsSystemMember(entry);
    (void)IsPlainFileName(name);
    std::string member = ReadPackageMember(name);
    // The installer takes a member only whole: as long as its entry says.
    bool whole = !member.empty() && static_cast<int64_t>(member.size()) == entry.Size;
    (void)whole;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Run(path, bytes);
  (void)ReadRecordLines(path);
  // The same bytes behind a compressed-file header claiming 64 KB.
  static const char kHeader[14] = {'S',    'Z', 'D', 'D', '\x88', '\xF0', '\x27',
                                   '\x33', 'A', 0,   0,   0,      1,      0};
  Run(path, std::string(kHeader, sizeof kHeader) + bytes);
  std::remove(path.c_str());
  return 0;
}
