// Arbitrary bytes as an archive extracted into files, with its stored
// directories, into a fresh folder per run. Fails when anything appears
// outside that folder: no stored name may lead out of DestDir. Entries are
// limited in declared size so that a run writes at most a few megabytes.
#include <windows.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "unzip/UnZip.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kEntryLimit = 1 << 20;
constexpr int64_t kRunLimit = 8 << 20;

// root/box/dest is DestDir; root holds nothing else between runs.
const fs::path& Root() {
  static const fs::path root =
      fs::temp_directory_path() /
      ("qrvx_unzip_files_fuzz_" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  return root;
}

// Everything below root must lie below root/box/dest (or be box or dest).
void CheckInside(const fs::path& root) {
  const std::string dest = (root / "box" / "dest").string();
  const std::string box = (root / "box").string();
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    std::string p = it->path().string();
    if (p == box || p == dest) continue;
    if (p.compare(0, dest.size() + 1, dest + "/") != 0) {
      std::fprintf(stderr, "written outside the destination: %s\n", p.c_str());
      std::abort();
    }
  }
}

void Exercise(const uint8_t* data, size_t size, bool recreate) {
  const fs::path& root = Root();
  std::error_code ec;
  fs::remove_all(root, ec);
  fs::create_directories(root / "box", ec);
  {
    TUnZip u;
    u.IncompleteZipMode = izAssumeBad;
    u.Password = "test";
    auto* archive = new TMemoryStream;
    archive->SetPointer(data, static_cast<int64_t>(size));
    u.SetArchiveStream(archive);
    u.SetDestDir((root / "box" / "dest").string());
    u.RecreateDirs = recreate;
    u.DoAll = true;
    u.OverwriteMode = Always;
    int64_t total = 0;
    u.OnStartUnZip = [&](TUnZip* s, int i, const std::string&, bool& skip) {
      int64_t n = s->Entry(i).UnpackedSize;
      skip = n < 0 || n > kEntryLimit || total + n > kRunLimit;
      if (!skip) total += n;
    };
    try {
      u.ExtractToFiles();
    } catch (const Exception&) {
    }
  }
  CheckInside(root);
  fs::remove_all(root, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Exercise(data, size, true);
  Exercise(data, size, false);
  return 0;
}
