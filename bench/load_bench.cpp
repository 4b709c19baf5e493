// Requests per second through the library's exports with 1, 2, 4 and 8
// threads, each thread creating, using and releasing its own objects the way
// a web server's script threads do (the same requests as the load test: the
// captured upload with an archive and tables, a browser capture with two
// images, a base64-encoded archive).
//
//   load_bench [REQUESTS_PER_THREAD]     (default 2000)
//
// The machine's core count bounds the scaling; it is printed beside the rates.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoadClient.h"

namespace {

std::string HttpBody(const std::string& request) {
  size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? request : request.substr(at + 4);
}

}  // namespace

int main(int argc, char** argv) {
  int perThread = argc > 1 ? std::atoi(argv[1]) : 2000;
  char dir[] = "/tmp/qrvx_registry_XXXXXX";
  if (mkdtemp(dir)) setenv("QRVX_REGISTRY_DIR", dir, 1);
  CoInitialize(nullptr);
  TQrvxExports lib;
  if (!lib.Load(QRVX_LIBRARY)) {
    std::fprintf(stderr, "cannot load %s\n", QRVX_LIBRARY);
    return 1;
  }
  std::vector<std::string> bodies = {
      ReadWholeFile(DataPath("multipart/chromium/upload.body")),
      ReadWholeFile(DataPath("multipart/werkzeug/webkit3-2png1txt/request.http")),
      HttpBody(ReadWholeFile(DataPath("multipart/formidable/encoding/binaryfile.tar.gz.http")))};
  std::vector<std::string> expected;
  for (const std::string& b : bodies) expected.push_back(ServeRequest(lib, b));

  std::printf("cores: %u, requests per thread: %d\n", std::thread::hardware_concurrency(),
              perThread);
  std::printf("%-8s %12s %10s %12s\n", "threads", "requests/s", "vs 1", "per request");
  double single = 0;
  for (int threads : {1, 2, 4, 8}) {
    std::vector<int> wrong(threads, 0);
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        CoInitialize(nullptr);
        for (int i = 0; i < perThread; ++i) {
          size_t which = static_cast<size_t>(i + t) % bodies.size();
          if (ServeRequest(lib, bodies[which]) != expected[which]) ++wrong[t];
        }
        CoUninitialize();
      });
    for (std::thread& th : pool) th.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double rate = threads * perThread / seconds;
    if (threads == 1) single = rate;
    int bad = 0;
    for (int w : wrong) bad += w;
    std::printf("%-8d %12.0f %9.2fx %10.1f us%s\n", threads, rate, rate / single,
                1e6 * threads / rate, bad ? "  (RESULTS DIFFER)" : "");
  }
  std::printf("DllCanUnloadNow: %s\n", lib.CanUnloadNow() == S_OK ? "S_OK" : "S_FALSE");
  return 0;
}
