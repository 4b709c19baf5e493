// The test data of tests/data: where a file lies and its bytes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

// rel below tests/data (a Windows path under Wine).
inline std::string DataPath(const std::string& rel) {
  return std::string(QRVX_TEST_DATA_DIR) + "/" + rel;
}

// The bytes of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
