// The server under load, as a web server uses it: several threads at once,
// each creating, using and releasing its own objects through the library's
// exports (qrvx.dll under Wine, libqrvx.so natively). Only the factory list,
// the object and lock counts and the lock are shared; every request must give
// what it gives alone, and the library must be free to unload at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoadClient.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr int kThreads = 8;
constexpr int kRequestsPerThread = 1000;

// The body of a complete HTTP request: what follows the first empty line.
std::string HttpBody(const std::string& request) {
  size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? request : request.substr(at + 4);
}

// Real bodies: fields in code page 1251 with a text file, an archive holding
// a table and a table; two images and a text; a base64-encoded archive.
std::vector<std::string> Bodies() {
  return {
      ReadWholeFile(DataPath("multipart/chromium/upload.body")),
      ReadWholeFile(DataPath("multipart/werkzeug/webkit3-2png1txt/request.http")),
      HttpBody(ReadWholeFile(DataPath("multipart/formidable/encoding/binaryfile.tar.gz.http")))};
}

class Load : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#ifndef _WIN32
    static char dir[] = "/tmp/qrvx_registry_XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    setenv("QRVX_REGISTRY_DIR", dir, 1);
#endif
    CoInitialize(nullptr);
    ASSERT_TRUE(Lib.Load(QRVX_LIBRARY)) << QRVX_LIBRARY;
  }
  static TQrvxExports Lib;
};
TQrvxExports Load::Lib;

TEST_F(Load, ThreadsWithTheirOwnObjectsGetWhatOneThreadGets) {
  std::vector<std::string> bodies = Bodies();
  std::vector<std::string> expected;
  for (const std::string& b : bodies) {
    ASSERT_FALSE(b.empty());
    expected.push_back(ServeRequest(Lib, b));
  }
  // The capture with an archive and a table gives files and tables from both.
  EXPECT_NE(expected[0].find("tables 2\n"), std::string::npos) << expected[0];
  EXPECT_NE(expected[0].find("readme.txt"), std::string::npos) << expected[0];
  EXPECT_NE(expected[1].find("files 2\n"), std::string::npos) << expected[1];
  EXPECT_EQ(Lib.CanUnloadNow(), S_OK);

  std::atomic<int> mismatches{0}, lockFailures{0};
  std::vector<std::string> firstMismatch(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      CoInitialize(nullptr);
      IClassFactory* factory = nullptr;
      Lib.GetClassObject(CLSID_Acceptor, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      for (int i = 0; i < kRequestsPerThread; ++i) {
        size_t which = static_cast<size_t>(i + t) % bodies.size();
        // Now and then the server is held locked across a request, as a host
        // keeping the library loaded does.
        bool lock = factory && i % 50 == t;
        if (lock && factory->LockServer(TRUE) != S_OK) ++lockFailures;
        std::string got = ServeRequest(Lib, bodies[which]);
        if (lock && factory->LockServer(FALSE) != S_OK) ++lockFailures;
        if (got != expected[which] && mismatches++ == 0) firstMismatch[t] = got;
      }
      if (factory) factory->Release();
      CoUninitialize();
    });
  // Meanwhile the host asks now and then whether the library may go, as
  // COM does for unused libraries.
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    while (!done) {
      if (Lib.CanUnloadNow() != S_OK && Lib.CanUnloadNow() != S_FALSE) ++lockFailures;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (std::thread& th : threads) th.join();
  done = true;
  watcher.join();
  EXPECT_EQ(mismatches.load(), 0);
  for (const std::string& m : firstMismatch)
    if (!m.empty()) ADD_FAILURE() << "first differing result:\n" << m;
  EXPECT_EQ(lockFailures.load(), 0);
  // Every object released and every lock given back: both counts are 0.
  EXPECT_EQ(Lib.CanUnloadNow(), S_OK);
}

}  // namespace
