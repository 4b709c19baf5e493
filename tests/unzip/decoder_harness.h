// Runs one decoder of the ZIP component over bytes in memory: a run host that
// serves chunks from a buffer, and a sink that records every write.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Classes.h"
#include "unzip/Decoders.h"

// The host's stand-in for the archive running out.
struct TPrematureEnd : std::runtime_error {
  TPrematureEnd() : std::runtime_error("Premature end of file reached") {}
};

class TMemoryRunHost : public TUnZipRunHost {
 public:
  explicit TMemoryRunHost(std::vector<uint8_t> archive) : Archive(std::move(archive)) {}
  void ReadChunk(uint8_t* buf, int32_t n) override {
    Chunks.push_back(n);
    if (Pos + size_t(n) > Archive.size()) throw TPrematureEnd();
    std::memcpy(buf, Archive.data() + Pos, size_t(n));
    Pos += size_t(n);
  }
  void ProcessMessages() override { ++Messages; }
  void Progress(int64_t written, int32_t just) override {
    ProgressCalls.push_back({written, just});
  }
  std::vector<uint8_t> Archive;
  size_t Pos = 0;
  int Messages = 0;
  std::vector<int32_t> Chunks;
  std::vector<std::pair<int64_t, int32_t>> ProgressCalls;
};

class TRecordingSink : public TMemoryStream {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    Writes.push_back(count);
    int32_t n = ShortBy && count > ShortBy ? count - ShortBy : count;
    return TMemoryStream::Write(buffer, n);
  }
  std::string Bytes() {
    return std::string(reinterpret_cast<const char*>(Memory()), size_t(GetSize()));
  }
  std::vector<int32_t> Writes;
  int32_t ShortBy = 0;  // a sink that takes fewer bytes than offered
};

struct TDecodeRun {
  std::string Out;  // what reached the sink
  bool Failed = false;
  uint32_t Crc = 0;  // final CRC (complemented)
  std::vector<int32_t> Writes;
  std::vector<int32_t> Chunks;
  int Messages = 0;
  std::vector<std::pair<int64_t, int32_t>> Progress;
  int64_t Position = 0;  // of a plain sink afterwards
};

struct TDecodeOptions {
  int Method = 8;
  uint16_t Flags = 0;
  int64_t Unpacked = -1;   // -1: as large as can be
  int64_t Packed = -1;     // -1: the size of the data
  uint8_t WindowFill = 0;  // what the window holds from earlier entries
  int32_t ShortBy = 0;
  // A plain memory stream as the sink, holding Prefix before the entry (the
  // case inflate decodes into directly); Writes then stay empty.
  bool PlainSink = false;
  std::string Prefix = std::string();
};

inline TDecodeRun RunDecoder(const std::vector<uint8_t>& data, const TDecodeOptions& o = {}) {
  std::vector<uint8_t> window(kWindowBytes, o.WindowFill), input(kChunkBytes + 1),
      output(kOutputBytes + 1);
  TMemoryRunHost host(data);
  TRecordingSink sink;
  sink.ShortBy = o.ShortBy;
  TMemoryStream plain;
  plain.Write(o.Prefix.data(), int32_t(o.Prefix.size()));
  TRunContext ctx;
  ctx.Window = window.data();
  ctx.InputBuffer = input.data();
  ctx.OutputBuffer = output.data();
  ctx.Host = &host;
  ctx.Sink = o.PlainSink ? static_cast<TStream*>(&plain) : &sink;
  int64_t packed = o.Packed >= 0 ? o.Packed : int64_t(data.size());
  ctx.StartEntry(o.Method, o.Flags, packed, o.Unpacked >= 0 ? o.Unpacked : INT64_C(1) << 40);
  switch (o.Method) {
    case 1: Unshrink(ctx); break;
    case 2:
    case 3:
    case 4:
    case 5: Unreduce(ctx, o.Method - 1); break;
    case 6: Explode(ctx); break;
    default: Inflate(ctx); break;
  }
  TDecodeRun r;
  r.Out = sink.Bytes();
  if (o.PlainSink) {
    r.Out.assign(reinterpret_cast<const char*>(plain.Memory()), size_t(plain.GetSize()));
    r.Position = plain.Seek(0, soFromCurrent);
  }
  r.Failed = ctx.Failed;
  r.Crc = ~ctx.Crc;
  r.Writes = sink.Writes;
  r.Chunks = host.Chunks;
  r.Messages = host.Messages;
  r.Progress = host.ProgressCalls;
  return r;
}

// Writes a bit stream lowest bit first, as deflate and the legacy methods read it.
class TBitWriter {
 public:
  void Put(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) PutBit((value >> i) & 1);
  }
  // A prefix code is sent most significant bit first (RFC 1951 3.1.1).
  void PutCode(uint32_t code, unsigned n) {
    for (unsigned i = n; i-- > 0;) PutBit((code >> i) & 1);
  }
  void PutBit(unsigned b) {
    if (Fill == 0) Bytes.push_back(0);
    Bytes.back() |= uint8_t(b << Fill);
    Fill = (Fill + 1) & 7;
  }
  void AlignByte() { Fill = 0; }
  void PutByte(uint8_t b) {
    AlignByte();
    Bytes.push_back(b);
  }
  std::vector<uint8_t> Bytes;
  unsigned Fill = 0;
};
