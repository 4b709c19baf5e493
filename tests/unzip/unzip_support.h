// Helpers for the TUnZip tests: a component over archive bytes, hand-made
// stored archives, temporary directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Classes.h"
#include "support/Bytes.h"
#include "support/Data.h"
#include "support/Errors.h"
#include "support/Process.h"
#include "unzip/Decoders.h"
#include "unzip/UnZip.h"

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

inline TMemoryStream* MemoryOf(const std::string& bytes) {
  auto* m = new TMemoryStream;
  m->Assign(bytes.data(), bytes.size());
  return m;
}

inline std::string BytesOf(TMemoryStream& m) {
  return std::string(reinterpret_cast<const char*>(m.Memory()), size_t(m.GetSize()));
}

inline uint32_t Crc(const std::string& s) {
  return ~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A component reading the archive bytes as a caller's stream (which it owns).
inline void OpenBytes(TUnZip& u, const std::string& bytes) {
  u.SetArchiveStream(MemoryOf(bytes));
}

// Extracts the entries matching pattern into memory.
inline int Extract(TUnZip& u, const std::string& pattern, std::string* out = nullptr) {
  TMemoryStream m;
  int n = u.ExtractToStream(&m, pattern);
  if (out) *out = BytesOf(m);
  return n;
}

// Stored archives built by hand, for shapes no tool writes.
struct TFakeEntry {
  std::string Name, Data;
  uint32_t Crc = 0;
  bool AutoCrc = true;
  int32_t Packed = -1, Unpacked = -1;  // -1: the data's length
  uint16_t Method = 0, Flags = 0;
  uint32_t DosDateTime = 0x58A76000;  // 2024-05-07 12:00:00
};

// order: the order of the central records (indexes into entries); empty: as given.
inline std::string MakeZip(const std::vector<TFakeEntry>& entries, std::vector<int> order = {},
                           const std::string& comment = "") {
  std::string out, central;
  std::vector<uint32_t> offsets;
  for (const TFakeEntry& e : entries) {
    offsets.push_back(uint32_t(out.size()));
    uint32_t crc = e.AutoCrc ? Crc(e.Data) : e.Crc;
    uint32_t packed = e.Packed < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Packed);
    uint32_t unpacked = e.Unpacked < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Unpacked);
    Put32(out, 0x04034B50), Put16(out, 20), Put16(out, e.Flags), Put16(out, e.Method);
    Put32(out, e.DosDateTime), Put32(out, crc), Put32(out, packed), Put32(out, unpacked);
    Put16(out, uint16_t(e.Name.size())), Put16(out, 0);
    out += e.Name + e.Data;
  }
  if (order.empty())
    for (size_t i = 0; i < entries.size(); ++i) order.push_back(int(i));
  for (int i : order) {
    const TFakeEntry& e = entries[i];
    uint32_t crc = e.AutoCrc ? Crc(e.Data) : e.Crc;
    uint32_t packed = e.Packed < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Packed);
    uint32_t unpacked = e.Unpacked < 0 ? uint32_t(e.Data.size()) : uint32_t(e.Unpacked);
    Put32(central, 0x02014B50), Put16(central, 20), Put16(central, 20), Put16(central, e.Flags);
    Put16(central, e.Method), Put32(central, e.DosDateTime), Put32(central, crc);
    Put32(central, packed), Put32(central, unpacked), Put16(central, uint16_t(e.Name.size()));
    Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
    Put32(central, 32), Put32(central, offsets[i]);
    central += e.Name;
  }
  uint32_t at = uint32_t(out.size());
  out += central;
  Put32(out, 0x06054B50), Put16(out, 0), Put16(out, 0), Put16(out, uint16_t(order.size()));
  Put16(out, uint16_t(order.size())), Put32(out, uint32_t(central.size())), Put32(out, at);
  Put16(out, uint16_t(comment.size()));
  return out + comment;
}

#ifndef _WIN32
#include <unistd.h>

// A fresh directory under /tmp, removed at the end of the test.
struct TTempDir {
  TTempDir() {
    char tmpl[] = "/tmp/qrvx_unzip_XXXXXX";
    Path = mkdtemp(tmpl) ? tmpl : "";
  }
  ~TTempDir() { std::system(("rm -rf '" + Path + "'").c_str()); }
  std::string Path;
};

// Runs a shell command; gives its standard output (and its exit code).
inline std::string Shell(const std::string& cmd, int* code = nullptr) {
  TRunResult r = RunCommand(cmd);
  if (code) *code = r.Code;
  return r.Out;
}
#endif  // _WIN32
