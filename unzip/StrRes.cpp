#include "unzip/StrRes.h"

#include <map>
#include <memory>
#include <mutex>

#include "common/Ascii.h"
#include "common/Bytes.h"
#include "common/Classes.h"

#ifdef _WIN32
extern "C" IMAGE_DOS_HEADER __ImageBase;  // the module this code is linked into
#endif

namespace {

const char kTableType[] = "S_StringTable";

#ifdef _WIN32
HMODULE OwnModule() {
  return reinterpret_cast<HMODULE>(&__ImageBase);
}
#else
HMODULE OwnModule() {
  return nullptr;
}

// The "S_Stream" table, the same bytes strings.rc links into the Windows
// binaries: number (16 bits, little-endian), length byte, characters.
const char kStreamTable[] =
    "\x01\x00"
    "\x0a"
    "Seek error"
    "\x02\x00"
    "\x18"
    "Invalid seek origin (%d)"
    "\x03\x00"
    "\x10"
    "Putback overflow"
    "\x04\x00"
    "\x14"
    "Cannot find resource"
    "\x05\x00"
    "\x16"
    "Cannot access resource"
    "\x06\x00"
    "\x20"
    "Seek past end of resource stream"
    "\x07\x00"
    "\x21"
    "Cannot write to a resource stream"
    "\x00\x00";

void AddCompiledTables() {
  static const bool added =
      QrvxAddResource(kTableType, "S_Stream", kStreamTable, sizeof kStreamTable - 1);
  (void)added;
}
#endif

// The process's tables, freed when the library unloads.
std::map<std::string, std::unique_ptr<TS_StringResource>, TTextLess>& Tables() {
  static std::map<std::string, std::unique_ptr<TS_StringResource>, TTextLess> tables;
  return tables;
}

}  // namespace

TS_StringResource::TS_StringResource(const std::string& name) {
#ifndef _WIN32
  AddCompiledTables();
#endif
  FResInfo = FindResourceA(OwnModule(), name.c_str(), kTableType);
  if (!FResInfo) throw Exception(Format("No such string resource: %s", name.c_str()));
  FHandle = LoadResource(OwnModule(), FResInfo);
  if (!FHandle) throw EOutOfResources();
}

TS_StringResource::~TS_StringResource() {
  if (FHandle) FreeResource(FHandle);
}

std::string TS_StringResource::Message(uint16_t number) {
  FData = static_cast<const uint8_t*>(LockResource(FHandle));
  if (!FData) throw EOutOfResources();
  std::string text;
  const uint8_t* p = FData;
  const uint8_t* end = p + SizeofResource(OwnModule(), FResInfo);
  while (end - p >= 3) {
    uint16_t n = GetLE16(p);
    if (n == 0) break;
    size_t len = p[2];
    if (static_cast<size_t>(end - p - 3) < len) break;  // a cut record ends the table
    if (n == number) {
      text.assign(reinterpret_cast<const char*>(p + 3), len);
      break;
    }
    p += 3 + len;
  }
  FData = nullptr;  // unlocking a resource is a no-op on Win32
  return text;
}

std::string TS_StringResource::GetMessage(const std::string& table, uint16_t number) {
  // Streams of every thread raise their errors through here: the list of
  // tables and the table being read are the process's, so one at a time.
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  auto& tables = Tables();
  auto it = tables.find(table);
  if (it == tables.end())
    it = tables.emplace(table, std::make_unique<TS_StringResource>(table)).first;
  return it->second->Message(number);
}
