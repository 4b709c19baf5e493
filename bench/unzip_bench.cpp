// Whole-archive extraction speed through TUnZip: an archive built in memory
// from generated text-like and binary entries (deflated at levels 6 and 9,
// and stored), every entry extracted with ExtractToStream and its CRC checked,
// in MB/s of output; beside it zlib's inflate plus crc32 and libdeflate's
// decompress plus crc32 on the same entries (for stored entries: memcpy plus
// the CRC). Then, over a 100 MB archive file, the front end's qrvx unzip -t
// against a walker that reads the file whole and checks every entry with
// libdeflate.
//   unzip_bench [megabytes per data set, default 16] [repetitions, default 5]
//               [megabytes of the unzip -t archive, default 100]
// Times are processor time, best of the repetitions (the tool's includes its
// start and the shell that runs it).
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/Bytes.h"
#include "tests/support/Bytes.h"
#include "unzip/UnZip.h"

namespace {

std::string TextLike(size_t n, unsigned seed) {
  static const char* kWords[] = {"the ",  "upload ", "form ",   "field ", "archive ", "entry ",
                                 "data ", "of ",     "<td>",    "</td>",  "\r\n",     "value=\"",
                                 "\" ",   "script ", "server ", "name ",  "file ",    "and "};
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    if (rng() % 7 == 0)
      s += std::to_string(rng() % 100000) + " ";
    else
      s += kWords[rng() % (sizeof kWords / sizeof *kWords)];
  }
  s.resize(n);
  return s;
}

// Binary: short runs and repeats mixed with noise, like executables and images.
std::string BinaryLike(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    unsigned k = rng() % 4;
    if (k == 0 && s.size() > 64) {
      size_t from = s.size() - 1 - rng() % 64, len = 4 + rng() % 32;
      for (size_t i = 0; i < len; ++i) s += s[from + i];
    } else if (k == 1) {
      s.append(1 + rng() % 16, char(rng()));
    } else {
      for (int i = 0; i < 8; ++i) s += char(rng());
    }
  }
  s.resize(n);
  return s;
}

std::string RawDeflate(const std::string& in, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, in.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct TEntry {
  std::string Plain, Packed;
  uint32_t Crc;
};

std::string BuildZip(const std::vector<TEntry>& entries, int method) {
  std::string zip, central;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TEntry& e = entries[i];
    uint32_t at = uint32_t(zip.size());
    std::string name = "entry" + std::to_string(i) + ".dat";
    const std::string& data = method ? e.Packed : e.Plain;
    for (int c = 0; c < 2; ++c) {
      std::string& s = c ? central : zip;
      Put32(s, c ? 0x02014B50 : 0x04034B50);
      if (c) Put16(s, 20);
      Put16(s, 20), Put16(s, 0), Put16(s, method), Put32(s, 0x58A76000), Put32(s, e.Crc);
      Put32(s, uint32_t(data.size())), Put32(s, uint32_t(e.Plain.size()));
      Put16(s, unsigned(name.size())), Put16(s, 0);
      if (c) Put16(s, 0), Put16(s, 0), Put16(s, 0), Put32(s, 32), Put32(s, at);
      s += name;
    }
    zip += data;
  }
  uint32_t at = uint32_t(zip.size());
  zip += central;
  Put32(zip, 0x06054B50), Put16(zip, 0), Put16(zip, 0), Put16(zip, unsigned(entries.size()));
  Put16(zip, unsigned(entries.size())), Put32(zip, uint32_t(central.size())), Put32(zip, at);
  Put16(zip, 0);
  return zip;
}

class TSink : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t n) override { return Bytes += n, n; }
  int64_t Seek(int64_t, int) override { return Bytes; }
  int64_t Bytes = 0;
};

// The peer of qrvx unzip -t: the file read whole, the central directory
// walked, each entry decompressed by libdeflate into one reused buffer and its
// CRC checked. Returns the entries that passed.
size_t LibdeflateWalk(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string zip(std::filesystem::file_size(path), '\0');
  f.read(zip.data(), std::streamsize(zip.size()));
  size_t end = zip.rfind("PK\x05\x06");
  if (end == std::string::npos) return 0;
  const uint8_t* z = reinterpret_cast<const uint8_t*>(zip.data());
  unsigned count = GetLE16(z + end + 10);
  size_t at = GetLE32(z + end + 16), ok = 0;
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  std::vector<uint8_t> out;
  for (unsigned i = 0; i < count; ++i) {
    unsigned method = GetLE16(z + at + 10);
    uint32_t crc = GetLE32(z + at + 16), packed = GetLE32(z + at + 20),
             plain = GetLE32(z + at + 24);
    size_t local = GetLE32(z + at + 42);
    at += 46 + GetLE16(z + at + 28) + GetLE16(z + at + 30) + GetLE16(z + at + 32);
    const uint8_t* data = z + local + 30 + GetLE16(z + local + 26) + GetLE16(z + local + 28);
    if (out.size() < plain) out.resize(plain);
    size_t got = packed;
    if (method == 8) {
      if (libdeflate_deflate_decompress(d, data, packed, out.data(), plain, &got) !=
          LIBDEFLATE_SUCCESS)
        continue;
      ok += libdeflate_crc32(0, out.data(), got) == crc;
    } else {
      ok += libdeflate_crc32(0, data, got) == crc;
    }
  }
  libdeflate_free_decompressor(d);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  int reps = argc > 2 ? std::atoi(argv[2]) : 5;
  size_t testMb = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 100;
  const size_t kEntry = 2 << 20;
  size_t count = (mb << 20) / kEntry ? (mb << 20) / kEntry : 1;
  std::printf("%-8s %6s %8s %9s %10s %10s %10s %9s\n", "data", "method", "MB out", "ratio",
              "ours MB/s", "zlib MB/s", "libdeflate", "ours/ldf");
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  for (int kind = 0; kind < 2; ++kind) {
    for (int level : {0, 6, 9}) {
      std::vector<TEntry> entries(count);
      size_t packed = 0, plain = 0;
      for (size_t i = 0; i < count; ++i) {
        TEntry& e = entries[i];
        e.Plain = kind ? BinaryLike(kEntry, unsigned(i + 1)) : TextLike(kEntry, unsigned(i + 1));
        e.Crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.Plain.data()), uInt(kEntry)));
        e.Packed = level ? RawDeflate(e.Plain, level) : e.Plain;
        packed += e.Packed.size();
        plain += kEntry;
      }
      std::string zip = BuildZip(entries, level ? 8 : 0);
      double ours = 1e30, theirs = 1e30, ldf = 1e30;
      std::string out(kEntry, '\0');
      for (int r = 0; r < reps; ++r) {
        TUnZip u;
        auto* archive = new TMemoryStream;
        archive->SetPointer(zip.data(), int64_t(zip.size()));
        u.SetArchiveStream(archive);
        double t0 = ThreadCpuSeconds();
        u.ReadDirectory();
        TSink sink;
        int ok = u.ExtractToStream(&sink, "*");
        ours = std::min(ours, ThreadCpuSeconds() - t0);
        if (ok != int(count) || sink.Bytes != int64_t(plain)) {
          std::fprintf(stderr, "TUnZip extracted %d of %zu entries\n", ok, count);
          return 1;
        }
        u.SetArchiveStream(nullptr);
        delete archive;

        t0 = ThreadCpuSeconds();
        for (const TEntry& e : entries) {
          uLong crc;
          if (level) {
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.Packed.data()));
            z.avail_in = uInt(e.Packed.size());
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            inflate(&z, Z_FINISH);
            inflateEnd(&z);
            crc = crc32(0, reinterpret_cast<const Bytef*>(out.data()), uInt(z.total_out));
          } else {
            crc = crc32(0, reinterpret_cast<const Bytef*>(e.Packed.data()), uInt(e.Packed.size()));
          }
          if (crc != e.Crc) {
            std::fprintf(stderr, "zlib gave a wrong result\n");
            return 1;
          }
        }
        theirs = std::min(theirs, ThreadCpuSeconds() - t0);

        t0 = ThreadCpuSeconds();
        for (const TEntry& e : entries) {
          size_t got = 0;
          if (level) {
            libdeflate_deflate_decompress(ld, e.Packed.data(), e.Packed.size(), out.data(),
                                          out.size(), &got);
          } else {
            // Stored: the copy a sink receives, then the CRC.
            std::memcpy(out.data(), e.Packed.data(), e.Packed.size());
            got = e.Packed.size();
          }
          if (libdeflate_crc32(0, out.data(), got) != e.Crc) {
            std::fprintf(stderr, "libdeflate gave a wrong result\n");
            return 1;
          }
        }
        ldf = std::min(ldf, ThreadCpuSeconds() - t0);
      }
      double outMB = double(plain) / (1 << 20);
      std::printf("%-8s %6s %8.1f %9.2f %10.0f %10.0f %10.0f %9.2f\n", kind ? "binary" : "text",
                  level ? (level == 6 ? "def6" : "def9") : "stored", outMB,
                  double(plain) / double(packed), outMB / ours, outMB / theirs, outMB / ldf,
                  ldf / ours);
    }
  }
  libdeflate_free_decompressor(ld);

#ifdef QRVX_TOOL
  // qrvx unzip -t over an archive file of text and binary entries, level 6.
  if (testMb == 0) return 0;
  std::vector<TEntry> entries((testMb << 20) / kEntry);
  for (size_t i = 0; i < entries.size(); ++i) {
    TEntry& e = entries[i];
    e.Plain = i % 2 ? BinaryLike(kEntry, unsigned(i + 1)) : TextLike(kEntry, unsigned(i + 1));
    e.Crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.Plain.data()), uInt(kEntry)));
    e.Packed = RawDeflate(e.Plain, 6);
  }
  auto path = std::filesystem::temp_directory_path() / "qrvx_unzip_bench.zip";
  std::ofstream(path, std::ios::binary) << BuildZip(entries, 8);
  std::string cmd = std::string(QRVX_TOOL) + " unzip -t " + path.string() + " >/dev/null";
  double tool = 1e30, walker = 1e30;
  for (int r = 0; r < reps; ++r) {
    double c0 = ChildrenCpuSeconds();
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "qrvx unzip -t failed\n");
      return 1;
    }
    tool = std::min(tool, ChildrenCpuSeconds() - c0);
    double t0 = ThreadCpuSeconds();
    size_t ok = LibdeflateWalk(path.string());
    walker = std::min(walker, ThreadCpuSeconds() - t0);
    if (ok != entries.size()) {
      std::fprintf(stderr, "the walker passed %zu of %zu entries\n", ok, entries.size());
      return 1;
    }
  }
  std::filesystem::remove(path);
  std::printf("qrvx unzip -t, %zu MB out: %.3f s; libdeflate walker %.3f s; ours/walker %.2f\n",
              entries.size() * kEntry >> 20, tool, walker, tool / walker);
#endif
  return 0;
}
