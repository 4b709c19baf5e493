// Arbitrary bytes as a posted body, with both switches on, then every member
// that reads what was received. The first byte chooses how the body is passed
// (bit 0: byte array or string) and is not part of it; with bit 1 set the
// rest describes an archive instead, which is posted, valid, in a valid body
// (ZIP-aware mode, below).
#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "receiver/Acceptors.h"
#include "tests/hostile/HostileArchives.h"

namespace {

// Reads the description of an archive from fuzzed bytes; what runs out reads
// as zeros.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : FNext(data), FEnd(data + size) {}
  bool More() const { return FNext < FEnd; }
  uint32_t Byte() { return FNext < FEnd ? *FNext++ : 0; }
  uint32_t U16() { return Byte() | Byte() << 8; }
  uint32_t U24() { return U16() | Byte() << 16; }
  uint32_t U32() { return U16() | U16() << 16; }
  std::string Bytes(size_t n) {
    n = std::min<size_t>(n, static_cast<size_t>(FEnd - FNext));
    std::string s(reinterpret_cast<const char*>(FNext), n);
    FNext += n;
    return s;
  }

 private:
  const uint8_t* FNext;
  const uint8_t* FEnd;
};

// ZIP-aware mode. The first byte is the archive's shape:
//   0  entries, each: u16 name length, name, u8 flags, u16 data length, data;
//      flags 1: deflated (the data is the deflate stream), 2: the CRC is
//      wrong, 4: repeated (u16 count follows; each copy's name gets a
//      five-digit number and its data is that name), 8: declared sizes
//      follow (u32 packed, u32 unpacked);
//   1  u16 count, u24 run: stored entries whose data ranges overlap one run;
//   2  u8 count, u16 runs (below 2048): deflated zeros, 258 * runs bytes each.
// Counts and sizes are capped so that one input stays quick.
std::string FuzzedArchive(TReader& in) {
  switch (in.Byte() % 3) {
    case 1: return hostile::OverlappingEntries(1 + in.U16() % 512, in.U24() % (1 << 16));
    case 2: {
      int count = 1 + in.Byte() % 8;
      uint32_t runs = in.U16() % 2048;
      hostile::TEntry e;
      e.Method = 8;
      e.Data = hostile::DeflatedZeros(runs);
      e.Crc = hostile::CrcOfZeros(1 + 258ull * runs);
      e.Packed = static_cast<uint32_t>(e.Data.size());
      e.Unpacked = 1 + 258 * runs;
      std::vector<hostile::TEntry> entries;
      for (int i = 0; i < count; ++i) {
        e.Name = "z" + std::to_string(i);
        entries.push_back(e);
      }
      return hostile::Zip(entries);
    }
  }
  std::vector<hostile::TEntry> entries;
  while (in.More() && entries.size() < 2048) {
    std::string name = in.Bytes(in.U16());
    uint32_t flags = in.Byte();
    std::string data = in.Bytes(in.U16());
    uint32_t copies = flags & 4 ? in.U16() % 1024 : 0;
    hostile::TEntry e = hostile::Stored(name, data);
    if (flags & 1) e.Method = 8;
    if (flags & 2) e.Crc ^= 0x80000001u;
    if (flags & 8) {
      e.Packed = std::min<uint32_t>(in.U32(), e.Packed + 4096);
      e.Unpacked = in.U32();
    }
    if (!(flags & 4)) {
      entries.push_back(e);
      continue;
    }
    for (uint32_t i = 0; i < copies; ++i) {
      char n[16];
      std::snprintf(n, sizeof n, "%05u", i);
      hostile::TEntry c = hostile::Stored(name + n, name + n);
      c.Method = e.Method;
      entries.push_back(c);
    }
  }
  return hostile::Zip(entries);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool asString = data[0] & 1;
  bool zipAware = data[0] & 2;
  ++data;
  --size;
  std::string made;
  if (zipAware) {
    TReader in(data, size);
    made = hostile::Body(FuzzedArchive(in));
    data = reinterpret_cast<const uint8_t*>(made.data());
    size = made.size();
  }
  TAcceptor acc;
  acc.put_ProcessZIP(VARIANT_TRUE);
  acc.put_ProcessDBF(VARIANT_TRUE);
  VARIANT body;
  VariantInit(&body);
  if (asString) {
    body.vt = VT_BSTR;
    body.bstrVal = AnsiToBstr(std::string_view(reinterpret_cast<const char*>(data), size));
  } else {
    body.vt = VT_ARRAY | VT_UI1;
    body.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
    if (size) std::memcpy(body.parray->pvData, data, size);
  }
  acc.ProcessRequest(body);
  VariantClear(&body);

  VARIANT id;
  id.vt = VT_I4;
  LONG n = 0;
  acc.VarCount(&n);
  for (LONG i = 0; i < n; ++i) {
    id.lVal = i;
    BSTR b;
    acc.VarName(id, &b);
    // Look the name up again, as text.
    VARIANT byName;
    byName.vt = VT_BSTR;
    byName.bstrVal = b;
    BSTR v;
    acc.VarValue(byName, &v);
    SysFreeString(v);
    SysFreeString(b);
  }
  acc.FileCount(&n);
  for (LONG i = 0; i < n; ++i) {
    id.lVal = i;
    LONG size32 = 0;
    acc.FileSize(id, &size32);
    VARIANT block;
    acc.FileRead(id, 0, 4096, &block);
    VariantClear(&block);
    BSTR t;
    acc.FileReadText(id, size32 / 2, 64, &t);
    SysFreeString(t);
  }
  acc.DBFCount(&n);
  for (LONG t = 0; t < n; ++t) {
    id.lVal = t;
    LONG rows = 0, cols = 0;
    acc.DBFRowCount(id, &rows);
    acc.DBFColCount(id, &cols);
    for (LONG r = 0; r < rows && r < 64; ++r) {
      acc.put_DBFRow(id, r);
      for (LONG c = 0; c < cols; ++c) {
        VARIANT col, cell;
        col.vt = VT_I4;
        col.lVal = c;
        acc.DBF(id, col, &cell);
        VariantClear(&cell);
      }
    }
  }
  return 0;
}
