// Throughput and peak memory of ProcessRequest on generated bodies, beside the
// speed of memcpy and memmem over the same bytes and of a naive reader (memmem
// for each delimiter, each part copied), with the ratios printed.
//
//   receiver_bench [MB]     (default 100)
//
// Peak memory is the growth of the resident set's high-water mark
// (/proc/self/status VmHWM, reset through /proc/self/clear_refs) while
// ProcessRequest runs, beside the caller's byte array.
#include <windows.h>

#include <oleauto.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "receiver/Acceptors.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string BigFilesBody(size_t total) {
  std::mt19937_64 rng(42);
  std::string body;
  body.reserve(total + 4096);
  const std::string b = "----WebKitFormBoundary7MA4YWxkTrZu0gW";
  for (int i = 0; i < 3; ++i) {
    body += b + "\r\nContent-Disposition: form-data; name=\"file" + std::to_string(i) +
            "\"; filename=\"C:\\Data\\part" + std::to_string(i) +
            ".bin\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    size_t n = total / 3;
    size_t at = body.size();
    body.resize(at + n);
    for (size_t k = 0; k + 8 <= n; k += 8) {
      uint64_t v = rng();
      std::memcpy(&body[at + k], &v, 8);
    }
    body += "\r\n";
  }
  body += b + "--\r\n";
  return body;
}

std::string SmallFieldsBody(int fields) {
  std::string body;
  const std::string b = "-----------------------------9051914041544843365972754266";
  for (int i = 0; i < fields; ++i)
    body += b + "\r\nContent-Disposition: form-data; name=\"field" + std::to_string(i) +
            "\"\r\n\r\nvalue number " + std::to_string(i) + " of the form\r\n";
  body += b + "--\r\n";
  return body;
}

// The reference reader: the first line is the delimiter; each part runs to
// the next CR LF + delimiter (memmem) and is copied into a string.
size_t NaiveParts(const std::string& body) {
  size_t eol = body.find("\r\n");
  if (eol == std::string::npos) return 0;
  const std::string delimiter = "\r\n" + body.substr(0, eol);
  std::vector<std::string> parts;
  const char* p = body.data() + eol + 2;
  const char* end = body.data() + body.size();
  while (p < end) {
    const void* hit = memmem(p, end - p, delimiter.data(), delimiter.size());
    const char* stop = hit ? static_cast<const char*>(hit) : end;
    parts.emplace_back(p, stop);
    if (!hit) break;
    p = stop + delimiter.size() + 2;
  }
  return parts.size();
}

void Run(const char* label, const std::string& body) {
  const double mb = body.size() / 1e6;
  VARIANT arg;
  arg.vt = VT_ARRAY | VT_UI1;
  arg.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
  std::memcpy(arg.parray->pvData, body.data(), body.size());

  // Reference speeds over the same bytes: memcpy into memory already
  // touched, memcpy into fresh memory (as the receiver's copies are), memmem.
  std::string copy(body.size(), '\0');
  auto t0 = Clock::now();
  std::memcpy(copy.data(), body.data(), body.size());
  double memcpySec = std::chrono::duration<double>(Clock::now() - t0).count();
  char* fresh = static_cast<char*>(std::malloc(body.size()));
  t0 = Clock::now();
  std::memcpy(fresh, body.data(), body.size());
  asm volatile("" : : "r"(fresh) : "memory");  // the copy must happen
  double freshSec = std::chrono::duration<double>(Clock::now() - t0).count();
  std::free(fresh);
  t0 = Clock::now();
  const char needle[] = "\r\n--no-such-delimiter-in-this-body";
  const void* volatile hit = memmem(body.data(), body.size(), needle, sizeof needle - 1);
  (void)hit;
  double memmemSec = std::chrono::duration<double>(Clock::now() - t0).count();
  std::string().swap(copy);
  // The naive multipart reader a receiver should keep pace with: memmem for
  // each delimiter, every part copied into a string of its own.
  double naiveSec = 1e9;
  for (int round = 0; round < 3; ++round) {
    t0 = Clock::now();
    size_t parts = NaiveParts(body);
    double sec = std::chrono::duration<double>(Clock::now() - t0).count();
    if (parts == 0) std::printf("(no parts)\n");
    if (sec < naiveSec) naiveSec = sec;
  }

  double best = 1e9;
  long peakKb = 0;
  size_t vars = 0, files = 0;
  for (int round = 0; round < 3; ++round) {
    TAcceptor* acc = new TAcceptor();
    long before = ReadStatusKb("VmRSS:");
    ResetPeak();
    t0 = Clock::now();
    acc->ProcessRequest(arg);
    double sec = std::chrono::duration<double>(Clock::now() - t0).count();
    long hwm = ReadStatusKb("VmHWM:");
    if (sec < best) best = sec;
    if (hwm - before > peakKb) peakKb = hwm - before;
    vars = acc->Vars().size();
    files = acc->Files().size();
    delete acc;
  }
  VariantClear(&arg);
  std::printf(
      "%-22s %8.1f MB  %5zu vars %2zu files  ProcessRequest %8.1f MB/s  "
      "memcpy %8.1f MB/s (fresh memory %7.1f)  memmem %8.1f MB/s  naive reader %8.1f MB/s  "
      "peak +%.1f MB (%.2fx body)\n",
      label, mb, vars, files, mb / best, mb / memcpySec, mb / freshSec, mb / memmemSec,
      mb / naiveSec, peakKb / 1024.0, peakKb * 1024.0 / body.size());
  std::printf(
      "  time / one copy into fresh memory %.2f (goal <= 1.2)   "
      "speed / naive reader %.2f (goal >= 0.6)\n",
      best / freshSec, naiveSec / best);
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  Run("three large files", BigFilesBody(mb * 1000 * 1000));
  Run("10000 small fields", SmallFieldsBody(10000));
  return 0;
}
