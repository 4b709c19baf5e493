// Time and peak memory of ProcessRequest on the hostile bodies of
// tests/hostile/HostileBodies.h, each checked against the receiver's memory
// promise: whatever the body, it is held in less than 8 times its size plus
// 64 MiB (the body the caller passes included). Exits 1 when a body breaks it.
//
//   hostile_body_bench [BODY]     (one body by its number; all when none)
//
// Peak memory is the caller's byte array plus the growth of the resident
// set's high-water mark (/proc/self/status VmHWM, reset through
// /proc/self/clear_refs) while the object receives the body and holds it.
#include <windows.h>

#include <oleauto.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "receiver/Acceptors.h"
#include "tests/hostile/HostileBodies.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs one body; true when its peak keeps the promise.
bool Run(const char* label, std::string body) {
  const double size = static_cast<double>(body.size());
  VARIANT arg;
  arg.vt = VT_ARRAY | VT_UI1;
  arg.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
  std::memcpy(arg.parray->pvData, body.data(), body.size());
  std::string().swap(body);
  long before = ReadStatusKb("VmRSS:");
  ResetPeak();
  auto* acc = new TAcceptor();
  auto t0 = Clock::now();
  acc->ProcessRequest(arg);
  double sec = std::chrono::duration<double>(Clock::now() - t0).count();
  size_t vars = acc->Vars().size(), files = acc->Files().size();
  long peakKb = ReadStatusKb("VmHWM:") - before;
  delete acc;
  VariantClear(&arg);
  const double peak = peakKb * 1024.0 + size;  // the caller's array counts too
  const double bound = 8 * size + 64.0 * 1024 * 1024;
  bool ok = peak < bound;
  std::printf(
      "%-32s %7.1f MB  %7zu vars %7zu files  %6.3f s  peak %7.1f MB (%.2fx body)  "
      "bound %7.1f MB  %s\n",
      label, size / 1e6, vars, files, sec, peak / 1e6, peak / size, bound / 1e6,
      ok ? "ok" : "OVER");
  return ok;
}

}  // namespace

// Each body runs in a process of its own (the program runs itself with the
// body's number), so that no body's peak hides in memory an earlier one freed.
int main(int argc, char** argv) {
  const int kBodies = 4;
  if (argc > 1) {
    switch (std::atoi(argv[1])) {
      case 0:
        return Run("base64 part of 20 MB of breaks", hostile::Base64LineBreaks(20 << 20)) ? 0 : 1;
      case 1: return Run("150,000 one-byte files", hostile::OneByteFiles(150000)) ? 0 : 1;
      case 2: return Run("2,400,000 empty parts", hostile::TinyParts(2400000)) ? 0 : 1;
      case 3: return Run("100,000 empty parts", hostile::TinyParts(100000)) ? 0 : 1;
      default: return 2;
    }
  }
  bool ok = true;
  for (int i = 0; i < kBodies; ++i) {
    std::fflush(stdout);
    std::string command = std::string("\"") + argv[0] + "\" " + std::to_string(i);
    ok &= std::system(command.c_str()) == 0;
  }
  return ok ? 0 : 1;
}
