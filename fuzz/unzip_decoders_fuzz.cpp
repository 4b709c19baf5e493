// Fuzz target: arbitrary bytes through each decoder of the ZIP component.
// Byte 0 picks the method (0 inflate, 1 shrink, 2..5 reduce, 6 explode),
// bytes 1-2 the general purpose flags, bytes 3-5 the declared unpacked size;
// the rest is the entry's compressed data. Inflate runs twice, through the
// window into a stream and straight into a plain memory stream, from a cleared
// window: the two must agree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/Classes.h"
#include "unzip/Decoders.h"

namespace {

class TFuzzHost : public TUnZipRunHost {
 public:
  TFuzzHost(const uint8_t* data, size_t size) : Data(data), Size(size) {}
  void ReadChunk(uint8_t* buf, int32_t n) override {
    if (n < 0 || Pos + size_t(n) > Size) throw std::runtime_error("Premature end of file reached");
    std::memcpy(buf, Data + Pos, size_t(n));
    Pos += size_t(n);
  }
  void ProcessMessages() override {}
  void Progress(int64_t, int32_t) override {}
  const uint8_t* Data;
  size_t Size;
  size_t Pos = 0;
};

// Takes every byte and keeps none, so a run costs no memory.
class TNullSink : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override { return count; }
  int64_t Seek(int64_t, int) override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  static std::vector<uint8_t> window(kWindowBytes), input(kChunkBytes + 1),
      output(kOutputBytes + 1);
  int method = data[0] % 7;
  uint16_t flags = uint16_t(data[1] | data[2] << 8);
  int64_t unpacked = int64_t(data[3]) | int64_t(data[4]) << 8 | int64_t(data[5]) << 16;
  TFuzzHost host(data + 6, size - 6);
  TNullSink sink;
  TRunContext ctx;
  ctx.Window = window.data();
  ctx.InputBuffer = input.data();
  ctx.OutputBuffer = output.data();
  ctx.Host = &host;
  ctx.Sink = &sink;
  ctx.StartEntry(method ? method : 8, flags, int64_t(size - 6), unpacked);
  try {
    switch (method) {
      case 0: Inflate(ctx); break;
      case 1: Unshrink(ctx); break;
      case 6: Explode(ctx); break;
      default: Unreduce(ctx, method - 1); break;
    }
  } catch (const std::exception&) {
  }
  if (ctx.BytesWritten > unpacked) __builtin_trap();  // never past the declared size
  if (method == 0) {
    bool failed = ctx.Failed;
    uint32_t crc = ctx.Crc;
    TFuzzHost again(data + 6, size - 6);
    TMemoryStream memory;
    std::fill(window.begin(), window.end(), 0);
    ctx.Host = &again;
    ctx.Sink = &memory;
    ctx.StartEntry(8, flags, int64_t(size - 6), unpacked);
    bool thrown = false;
    try {
      Inflate(ctx);
    } catch (const std::exception&) {
      thrown = true;
    }
    if (memory.GetSize() > unpacked || ctx.BytesWritten != memory.GetSize()) __builtin_trap();
    if (!thrown && (ctx.Failed != failed || (!failed && ctx.Crc != crc))) __builtin_trap();
    std::fill(window.begin(), window.end(), 0);
  }
  return 0;
}
