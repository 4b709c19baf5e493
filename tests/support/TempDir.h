// A fresh directory for one test, under the system's temporary directory and
// named after the test, removed when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

struct TTestDir {
  explicit TTestDir(const std::string& prefix)
      : Path(std::filesystem::temp_directory_path() /
             (prefix + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
              "_" + testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::filesystem::create_directories(Path);
  }
  ~TTestDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  TTestDir(const TTestDir&) = delete;
  TTestDir& operator=(const TTestDir&) = delete;

  std::filesystem::path Path;
};
