// Numbered messages kept in a resource of type "S_StringTable": records of a
// 16-bit number, one length byte and the characters, ended by number 0.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class TS_StringResource {
 public:
  // Finds the table in the library's own module; raises "No such string
  // resource: %s" when absent, EOutOfResources when it cannot be loaded.
  explicit TS_StringResource(const std::string& name);
  ~TS_StringResource();
  TS_StringResource(const TS_StringResource&) = delete;
  TS_StringResource& operator=(const TS_StringResource&) = delete;

  // The text of message number, empty when the table has no such number.
  std::string Message(uint16_t number);

  // Through the process-wide list of tables, made on first use.
  static std::string GetMessage(const std::string& table, uint16_t number);

 private:
  HRSRC FResInfo = nullptr;
  HGLOBAL FHandle = nullptr;
  const uint8_t* FData = nullptr;  // locked data while a message is read
};

// The stream messages of table "S_Stream".
enum : uint16_t {
  smSeekError = 1,
  smInvalidOrigin = 2,
  smPutbackOverflow = 3,
  smNoResource = 4,
  smResourceAccess = 5,
  smSeekPastEnd = 6,
  smResourceWrite = 7,
};
inline std::string StreamMessage(uint16_t n) {
  return TS_StringResource::GetMessage("S_Stream", n);
}
