// In-memory extraction speed of deflated entries, in MB/s of output: our
// Inflate with its CRC-32, into a stream sink (the window path) and into a
// plain memory stream (whole-entry decoding, the receiver's case), against
// libdeflate (whole-buffer decompress plus its crc32) and zlib (inflate plus
// crc32) on the same streams. Then CRC-32 alone over 64 MB: ours, the table
// method, libdeflate's and zlib's, in GB/s.
// Data: generated text-like and binary content, deflated at levels 6 and 9.
// Times are processor time of the running thread, best of the repetitions.
//   inflate_bench [megabytes per data set, default 16] [repetitions, default 5]
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/Classes.h"
#include "unzip/Decoders.h"

namespace {

std::vector<uint8_t> TextLike(size_t n) {
  static const char* kWords[] = {"the ",     "upload ", "form ",   "field ", "archive ", "entry ",
                                 "data ",    "of ",     "<td>",    "</td>",  "\r\n",     "value=\"",
                                 "\" ",      "script ", "server ", "name ",  "file ",    "and ",
                                 "Content-", "Type: ",  "text/",   "html",   "2026-12-", "07 "};
  std::mt19937 rng(1);
  std::vector<uint8_t> v;
  v.reserve(n);
  while (v.size() < n) {
    const char* w = kWords[rng() % (sizeof(kWords) / sizeof(*kWords))];
    if (rng() % 7 == 0) {
      char num[16];
      std::snprintf(num, sizeof num, "%u ", unsigned(rng() % 100000));
      w = num;
      while (*w && v.size() < n) v.push_back(uint8_t(*w++));
      continue;
    }
    while (*w && v.size() < n) v.push_back(uint8_t(*w++));
  }
  return v;
}

// Machine-code-like: short runs of random bytes, zero padding, repeated
// small structures with varying fields.
std::vector<uint8_t> BinaryLike(size_t n) {
  std::mt19937 rng(2);
  std::vector<uint8_t> v;
  v.reserve(n);
  while (v.size() < n) {
    switch (rng() % 4) {
      case 0:
        for (unsigned i = rng() % 64; i-- > 0;) v.push_back(uint8_t(rng()));
        break;
      case 1: v.insert(v.end(), rng() % 32, 0); break;
      default: {
        uint32_t field = rng() % 4096;
        uint8_t rec[12] = {
            0x8B, 0x45, uint8_t(field), uint8_t(field >> 8), 0x89, 0x44, 0x24, 0x08, 0xE8, 0, 0, 0};
        rec[9] = uint8_t(rng());
        v.insert(v.end(), rec, rec + 12);
      }
    }
  }
  v.resize(n);
  return v;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, uLong(in.size())));
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

class TMemoryHost : public TUnZipRunHost {
 public:
  explicit TMemoryHost(const std::vector<uint8_t>& d) : Data(d) {}
  void ReadChunk(uint8_t* buf, int32_t n) override {
    std::memcpy(buf, Data.data() + Pos, size_t(n));
    Pos += size_t(n);
  }
  void ProcessMessages() override {}
  void Progress(int64_t, int32_t) override {}
  const std::vector<uint8_t>& Data;
  size_t Pos = 0;
};

// Writes into a preallocated buffer, as zlib's side does.
class TBufferSink : public TStream {
 public:
  explicit TBufferSink(uint8_t* p) : P(p) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* b, int32_t n) override {
    std::memcpy(P + Size, b, size_t(n));
    Size += size_t(n);
    return n;
  }
  int64_t Seek(int64_t, int) override { return int64_t(Size); }
  uint8_t* P;
  size_t Size = 0;
};

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? size_t(std::atoi(argv[1])) : 16;
  int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<uint8_t> window(kWindowBytes), input(kChunkBytes + 1), output(kOutputBytes + 1);
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  std::printf("%-7s %5s %7s %6s %9s %9s %9s %9s %8s %8s %8s\n", "data", "level", "MB out", "ratio",
              "stream", "whole", "libdefl", "zlib", "str/ldf", "whl/ldf", "whl/zlib");
  struct TSet {
    const char* Name;
    std::vector<uint8_t> Data;
  } sets[] = {{"text", TextLike(mb << 20)}, {"binary", BinaryLike(mb << 20)}};
  for (auto& set : sets) {
    for (int level : {6, 9}) {
      auto packed = Deflate(set.Data, level);
      std::vector<uint8_t> out(set.Data.size() + 16);
      uint32_t expected = uint32_t(crc32(0, set.Data.data(), uInt(set.Data.size())));
      double streamBest = 1e9, wholeBest = 1e9, zlibBest = 1e9, ldBest = 1e9;
      for (int r = 0; r < reps; ++r) {
        for (int whole = 0; whole < 2; ++whole) {
          TMemoryHost host(packed);
          TBufferSink sink(out.data());
          TMemoryStream memory;
          TRunContext ctx;
          ctx.Window = window.data();
          ctx.InputBuffer = input.data();
          ctx.OutputBuffer = output.data();
          ctx.Host = &host;
          ctx.Sink = whole ? static_cast<TStream*>(&memory) : &sink;
          ctx.StartEntry(8, 0, int64_t(packed.size()), int64_t(set.Data.size()));
          double t0 = ThreadCpuSeconds();
          Inflate(ctx);
          double t1 = ThreadCpuSeconds();
          size_t size = whole ? size_t(memory.GetSize()) : sink.Size;
          if (ctx.Failed || ~ctx.Crc != expected || size != set.Data.size()) {
            std::fprintf(stderr, "our inflate gave a wrong result\n");
            return 1;
          }
          (whole ? wholeBest : streamBest) = std::min(whole ? wholeBest : streamBest, t1 - t0);
        }

        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = packed.data();
        z.avail_in = uInt(packed.size());
        z.next_out = out.data();
        z.avail_out = uInt(out.size());
        double t0 = ThreadCpuSeconds();
        int zr = inflate(&z, Z_FINISH);
        uint32_t crc = uint32_t(crc32(0, out.data(), uInt(z.total_out)));
        double t1 = ThreadCpuSeconds();
        inflateEnd(&z);
        if (zr != Z_STREAM_END || crc != expected) {
          std::fprintf(stderr, "zlib gave a wrong result\n");
          return 1;
        }
        zlibBest = std::min(zlibBest, t1 - t0);

        // libdeflate into fresh memory, as the whole-entry path decodes.
        t0 = ThreadCpuSeconds();
        std::unique_ptr<uint8_t[]> fresh(new uint8_t[set.Data.size()]);
        size_t got = 0;
        auto lr = libdeflate_deflate_decompress(ld, packed.data(), packed.size(), fresh.get(),
                                                set.Data.size(), &got);
        crc = libdeflate_crc32(0, fresh.get(), got);
        t1 = ThreadCpuSeconds();
        if (lr != LIBDEFLATE_SUCCESS || crc != expected) {
          std::fprintf(stderr, "libdeflate gave a wrong result\n");
          return 1;
        }
        ldBest = std::min(ldBest, t1 - t0);
      }
      double outMB = double(set.Data.size()) / 1e6;
      std::printf("%-7s %5d %7.1f %6.2f %9.0f %9.0f %9.0f %9.0f %8.2f %8.2f %8.2f\n", set.Name,
                  level, outMB, double(set.Data.size()) / double(packed.size()), outMB / streamBest,
                  outMB / wholeBest, outMB / ldBest, outMB / zlibBest, ldBest / streamBest,
                  ldBest / wholeBest, zlibBest / wholeBest);
    }
  }
  libdeflate_free_decompressor(ld);

  // CRC-32 alone.
  std::vector<uint8_t> block = BinaryLike(64 << 20);
  double ours = 1e9, table = 1e9, theirs = 1e9, zl = 1e9;
  uint32_t a = 0, b = 0, c = 0, d = 0;
  for (int r = 0; r < reps; ++r) {
    double t0 = ThreadCpuSeconds();
    a = ~UpdateCrc32(0xFFFFFFFFu, block.data(), block.size());
    double t1 = ThreadCpuSeconds();
    b = ~TableUpdateCrc32(0xFFFFFFFFu, block.data(), block.size());
    double t2 = ThreadCpuSeconds();
    c = libdeflate_crc32(0, block.data(), block.size());
    double t3 = ThreadCpuSeconds();
    d = uint32_t(crc32(0, block.data(), uInt(block.size())));
    double t4 = ThreadCpuSeconds();
    ours = std::min(ours, t1 - t0);
    table = std::min(table, t2 - t1);
    theirs = std::min(theirs, t3 - t2);
    zl = std::min(zl, t4 - t3);
  }
  if (a != b || a != c || a != d) {
    std::fprintf(stderr, "CRC-32 results differ\n");
    return 1;
  }
  double gb = double(block.size()) / 1e9;
  std::printf(
      "crc32 GB/s: ours %.1f, table %.1f, libdeflate %.1f, zlib %.1f; ours/libdeflate %.2f\n",
      gb / ours, gb / table, gb / theirs, gb / zl, theirs / ours);
  return 0;
}
