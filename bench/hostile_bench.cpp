// Hostile archives posted with ProcessZIP on: the time ProcessRequest takes
// and the memory it adds at its peak, one row per archive shape, each row in
// a child process of its own (so that peaks do not mix) on a 1 MiB stack.
//
//   hostile_bench            every row, with the figures the receiver gave
//                            before archive intake was bounded
//   hostile_bench --check    the same; exits 1 when a row breaks its bound
//   hostile_bench ROW        one row, in this process
//
// Bounds: 30 s a row (minutes before; the machine may be busy), and a peak
// of at most 100 times the archive plus 1 MiB of unpacked data, plus 4
// copies of the body and 16 MiB. An archive whose entries unpack to no more
// than its own size (many small entries) must also stay under 8 times the
// body plus 64 MiB, the bound of any body however it is cut into parts.
#include <windows.h>

#include <oleauto.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "receiver/Acceptors.h"
#include "tests/hostile/HostileArchives.h"

namespace {

struct TRow {
  const char* Name;
  std::function<std::string()> Make;
  // The receiver before the bounds (commit b1a9152), the same program on
  // the same machine under load: seconds, peak, files received.
  const char* Before;
  bool Small = false;  // unpacks to no more than its own size
};

const TRow kRows[] = {
    {"names *a*a...*b and 200 x a (backtracking)", hostile::BacktrackingNames,
     "over 60 s (stopped)"},
    {"one name of 30,000 x *a (deep recursion)", hostile::DeepStarName, "crashed (stack overflow)"},
    {"30,000 names ?00000... (all pairs matched)", [] { return hostile::ManyWildcardNames(30000); },
     "over 300 s (stopped; 95 MB by then)", true},
    {"8 entries of 100 MB of zeros (780 KB)", [] { return hostile::ZeroBombs(8); },
     "47.7 s, 802 MB, 9 files"},
    {"one/same.txt + two/same.txt, second bad CRC", hostile::SameNameOneBad,
     "0.03 s, 3 files (each same.txt both entries)"},
    {"2,000 stored entries over one 1 MiB run", [] { return hostile::OverlappingEntries(2000); },
     "272.7 s, 2083 MB, 2001 files"},
    {"65,520 names ?00000... (a directory's most)",
     [] { return hostile::ManyWildcardNames(65520); }, "not measured (30,000 took over 300 s)",
     true},
    {"13,000 names * (every entry a candidate)", [] { return hostile::ManyStarNames(13000); },
     "2.8 s, 1 file (every candidate listed and sorted)", true},
};
constexpr int kRowCount = sizeof kRows / sizeof kRows[0];

// Resident set now and at its peak, in bytes (Linux).
int64_t StatusBytes(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.compare(0, std::strlen(key), key) == 0)
      return std::atoll(line.c_str() + std::strlen(key) + 1) * 1024;
  return -1;
}

void* RunOnStack(void* p) {
  (*static_cast<std::function<void()>*>(p))();
  return nullptr;
}

// One row in this process: prints "seconds peak-bytes archive-bytes body-bytes files".
int RunRow(int row) {
  std::string zip = kRows[row].Make();
  std::string body = hostile::Body(zip);
  VARIANT v;
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
  std::memcpy(v.parray->pvData, body.data(), body.size());
  TAcceptor acc;
  acc.put_ProcessZIP(VARIANT_TRUE);
  // Start the peak afresh: what was made above is not the receiver's.
  std::ofstream("/proc/self/clear_refs") << "5";
  int64_t base = StatusBytes("VmRSS:");
  auto t0 = std::chrono::steady_clock::now();
  std::function<void()> run = [&] { acc.ProcessRequest(v); };
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 1 << 20);
  pthread_t t;
  pthread_create(&t, &attr, RunOnStack, &run);
  pthread_join(t, nullptr);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int64_t peak = StatusBytes("VmHWM:") - base;
  LONG files = 0;
  acc.FileCount(&files);
  std::printf("%.3f %lld %zu %zu %ld\n", s, static_cast<long long>(peak), zip.size(), body.size(),
              static_cast<long>(files));
  VariantClear(&v);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && argv[1][0] != '-') return RunRow(std::atoi(argv[1]));
  bool check = argc == 2 && std::strcmp(argv[1], "--check") == 0;
  bool ok = true;
  std::printf("%-46s %9s %10s %8s %7s   %s\n", "row", "seconds", "peak MB", "zip KB", "files",
              "before");
  for (int row = 0; row < kRowCount; ++row) {
    std::string cmd = std::string("timeout 60 '") + argv[0] + "' " + std::to_string(row);
    FILE* p = popen(cmd.c_str(), "r");
    double s = 0;
    long long peak = 0;
    size_t zip = 0, body = 0;
    long files = 0;
    int got = p ? std::fscanf(p, "%lf %lld %zu %zu %ld", &s, &peak, &zip, &body, &files) : 0;
    int status = p ? pclose(p) : -1;
    if (got != 5 || status != 0) {
      std::printf("%-46s %9s %10s %8s %7s   %s\n", kRows[row].Name, "failed", "-", "-", "-",
                  kRows[row].Before);
      ok = false;
      continue;
    }
    double boundMB = (100.0 * zip + (1 << 20) + 4.0 * body + (16 << 20)) / 1048576.0;
    if (kRows[row].Small) boundMB = std::min(boundMB, (8.0 * body + (64 << 20)) / 1048576.0);
    bool within = s <= 30 && peak / 1048576.0 <= boundMB;
    ok = ok && within;
    std::printf("%-46s %9.3f %10.1f %8.0f %7ld   %s%s\n", kRows[row].Name, s, peak / 1048576.0,
                zip / 1024.0, files, kRows[row].Before, within ? "" : "  OVER BOUND");
  }
  return check && !ok ? 1 : 0;
}
