// Posted bodies and dBase tables built byte by byte for the receiver tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Parts of a multipart/form-data body whose delimiter is "--B".
inline std::string FieldPart(const std::string& name, const std::string& value) {
  return "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}
// contentType "": no Content-Type line.
inline std::string FilePart(const std::string& field, const std::string& file,
                            const std::string& data,
                            const std::string& contentType = "application/octet-stream") {
  return "--B\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + file +
         "\"\r\n" + (contentType.empty() ? "" : "Content-Type: " + contentType + "\r\n") + "\r\n" +
         data + "\r\n";
}
inline const std::string kBodyEnd = "--B--\r\n";

struct TColumn {
  const char* Name;
  char Type;
  int Length, Decimals;
};

// A dBase III table: header, descriptors, records (" " live, "*" deleted).
inline std::string DbfTable(const std::vector<TColumn>& cols,
                            const std::vector<std::string>& records, uint8_t version = 0x03,
                            uint8_t language = 0x57) {
  int recordSize = 1;
  for (const TColumn& c : cols) recordSize += c.Length;
  int headerSize = 32 + 32 * static_cast<int>(cols.size()) + 1;
  std::string t(32, '\0');
  t[0] = static_cast<char>(version);
  t[1] = 126;
  t[2] = 12;
  t[3] = 7;
  uint32_t n = static_cast<uint32_t>(records.size());
  std::memcpy(&t[4], &n, 4);
  t[8] = static_cast<char>(headerSize & 0xFF);
  t[9] = static_cast<char>(headerSize >> 8);
  t[10] = static_cast<char>(recordSize & 0xFF);
  t[11] = static_cast<char>(recordSize >> 8);
  t[29] = static_cast<char>(language);
  for (const TColumn& c : cols) {
    std::string d(32, '\0');
    std::memcpy(&d[0], c.Name, std::strlen(c.Name));
    d[11] = c.Type;
    d[16] = static_cast<char>(c.Length);
    d[17] = static_cast<char>(c.Decimals);
    t += d;
  }
  t += '\r';
  for (const std::string& r : records) {
    EXPECT_EQ(static_cast<int>(r.size()), recordSize) << r;
    t += r;
  }
  t += '\x1A';
  return t;
}
