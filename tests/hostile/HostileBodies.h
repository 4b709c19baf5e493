// Posted bodies that attack the receiver's memory rather than its archive
// intake, made at run time: shared by the hostile-input tests and by
// bench/hostile_body_bench, which measures their time and peak memory.
#pragma once

#include <cstddef>
#include <string>

namespace hostile {

inline const std::string kDelimiter = "----HostileBoundary";

// One file part whose base64 body is nothing but line breaks (LF): when
// decoding read a body as a list of lines, each became a string of its own.
inline std::string Base64LineBreaks(size_t breakBytes) {
  std::string body = kDelimiter +
                     "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"breaks.bin\"\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n";
  body.reserve(body.size() + breakBytes + 64);
  body.append(breakBytes, '\n');
  body += "\r\n" + kDelimiter + "--\r\n";
  return body;
}

// count files of one byte each (byte i % 251), each in a part of its own.
inline std::string OneByteFiles(size_t count) {
  std::string body;
  body.reserve(count * 112 + 64);
  for (size_t i = 0; i < count; ++i) {
    body += kDelimiter;
    body += "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"";
    body += std::to_string(i);
    body += ".bin\"\r\nContent-Type: application/octet-stream\r\n\r\n";
    body += static_cast<char>(i % 251);
    body += "\r\n";
  }
  body += kDelimiter + "--\r\n";
  return body;
}

// count parts as small as a part can be: no headers, an empty value, a
// one-byte delimiter. Each becomes a variable with an empty name.
inline std::string TinyParts(size_t count) {
  std::string body = "-\r\n";
  body.reserve(count * 7 + 8);
  for (size_t i = 0; i < count; ++i) body += "\r\n\r\n-\r\n";
  return body;
}

}  // namespace hostile
