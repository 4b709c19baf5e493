// Opens and walks a generated table of one million records with C, N, D and
// L columns, converting every field, and prints records per second; beside
// it a plain walk over views of the same bytes written for this benchmark
// (what the conversions cost at the least), and python3-dbfread reading the
// same table (when it is installed). Prints each ratio.
//
//   dbf_bench [records] [repetitions, default 3]
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchSupport.h"
#include "dbf/DBF.h"

namespace {

std::string MakeTable(int records) {
  struct Col {
    const char* name;
    char type;
    int len, dec;
  } cols[] = {{"NAME", 'C', 20, 0}, {"AMOUNT", 'N', 12, 2}, {"DAY", 'D', 8, 0}, {"OK", 'L', 1, 0}};
  const int h = 32 + 32 * 4 + 1, r = 1 + 20 + 12 + 8 + 1;
  std::string t(32, '\0');
  t[0] = 0x03, t[1] = 126, t[2] = 12, t[3] = 7;
  for (int i = 0; i < 4; ++i) t[4 + i] = char(uint32_t(records) >> (8 * i));
  t[8] = char(h), t[9] = char(h >> 8), t[10] = char(r), t[11] = 0;
  t[29] = 0x57;
  for (const Col& c : cols) {
    std::string d(32, '\0');
    d.replace(0, strlen(c.name), c.name);
    d[11] = c.type, d[16] = char(c.len), d[17] = char(c.dec);
    t += d;
  }
  t += '\x0D';
  t.reserve(t.size() + size_t(records) * r + 1);
  char rec[64];
  for (int i = 0; i < records; ++i) {
    std::snprintf(rec, sizeof rec, " %-20.20s%12.2f%04d%02d%02d%c", (i % 7 ? "customer " : "x"),
                  (i % 100000) * 1.25 - 5000, 1950 + i % 70, 1 + i % 12, 1 + i % 28, "TF ?"[i % 4]);
    if (i % 10 == 9) std::memcpy(rec + 1 + 20 + 12, "        ", 8);  // blank date
    t.append(rec, r);
  }
  t += '\x1A';
  return t;
}

// The least a converting walk does: header and columns read, every live
// record's values made from views of the bytes (text trimmed, numbers parsed,
// dates to a day count, logicals to a flag), nothing kept.
double ViewWalk(const std::string& t, long long& records, long long& values) {
  const auto* b = reinterpret_cast<const uint8_t*>(t.data());
  uint32_t count = b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
  unsigned header = b[8] | b[9] << 8, size = b[10] | b[11] << 8;
  struct Col {
    char Type;
    unsigned At, Len;
  };
  std::vector<Col> cols;
  for (unsigned at = 32, off = 1; at + 32 <= header && b[at] != 0x0D; at += 32) {
    cols.push_back({char(b[at + 11]), off, b[at + 16]});
    off += b[at + 16];
  }
  double sum = 0;
  for (uint32_t i = 0; i < count && header + size_t(i + 1) * size <= t.size(); ++i) {
    const char* r = t.data() + header + size_t(i) * size;
    if (*r == '*') continue;
    ++records;
    for (const Col& c : cols) {
      std::string_view v(r + c.At, c.Len);
      while (!v.empty() && uint8_t(v.front()) <= ' ') v.remove_prefix(1);
      while (!v.empty() && uint8_t(v.back()) <= ' ') v.remove_suffix(1);
      if (v.empty()) continue;
      switch (c.Type) {
        case 'C': sum += double(v.size()); break;
        case 'N': {
          double d = 0;
          if (std::from_chars(v.data(), v.data() + v.size(), d).ec != std::errc()) continue;
          sum += d;
          break;
        }
        case 'D': {
          int ymd = 0;
          std::from_chars(v.data(), v.data() + v.size(), ymd);
          int y = ymd / 10000, m = ymd / 100 % 100, d = ymd % 100;
          sum += y * 372 + m * 31 + d;  // a day count, enough to order dates
          break;
        }
        case 'L':
          if (std::strchr("TtYyFfNn", v[0]) == nullptr) continue;
          sum += std::strchr("TtYy", v[0]) != nullptr;
          break;
      }
      ++values;
    }
  }
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::string bytes = MakeTable(records);
  TMemoryStream data;
  data.SetPointer(bytes.data(), static_cast<int64_t>(bytes.size()));

  int reps = argc > 2 ? std::atoi(argv[2]) : 3;
  double ours = 1e30, view = 1e30, sum = 0, viewSum = 0;
  long long visited = 0, values = 0, viewRecords = 0, viewValues = 0;
  for (int r = 0; r < reps; ++r) {
    double start = ThreadCpuSeconds();
    TDBF t;
    t.AssignStreams(&data, nullptr, true);
    t.SetReadOnly(true);
    t.Open();
    visited = values = 0;
    sum = 0;
    for (t.First(); !t.Eof(); t.Next(), ++visited) {
      for (int i = 0; i < t.Fields().Count(); ++i) {
        TDBFValue v = t.Fields()[i]->Value();
        if (!v.IsNull()) ++values;
        sum += v.Num + static_cast<double>(v.Str.size());
      }
    }
    ours = std::min(ours, ThreadCpuSeconds() - start);
    start = ThreadCpuSeconds();
    viewRecords = viewValues = 0;
    viewSum = ViewWalk(bytes, viewRecords, viewValues);
    view = std::min(view, ThreadCpuSeconds() - start);
  }
  std::printf(
      "qrvx TDBF: %lld records, %lld values in %.3f s: %.0f records/s (%.1f MB/s) [check %.0f]\n",
      visited, values, ours, visited / ours, bytes.size() / ours / 1e6, sum);
  std::printf(
      "view walk: %lld records, %lld values in %.3f s: %.0f records/s [check %.0f]; "
      "qrvx/view %.2f\n",
      viewRecords, viewValues, view, viewRecords / view, viewSum, view / ours);

  if (std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") != 0) {
    std::printf("python3-dbfread: not installed\n");
    return 0;
  }
  auto path = std::filesystem::temp_directory_path() / "qrvx_dbf_bench.dbf";
  std::ofstream(path, std::ios::binary) << bytes;
  std::string cmd =
      "/usr/bin/python3 -c \"import sys,time,dbfread\n"
      "t=time.process_time()\n"
      "n=sum(1 for r in dbfread.DBF(sys.argv[1], encoding='latin-1'))\n"
      "print(n, time.process_time()-t)\" " +
      path.string();
  FILE* p = popen(cmd.c_str(), "r");
  long long n = 0;
  double theirs = 0;
  if (!p || std::fscanf(p, "%lld %lf", &n, &theirs) != 2) theirs = 0;
  if (p) pclose(p);
  std::filesystem::remove(path);
  if (theirs > 0)
    std::printf("python3-dbfread: %lld records in %.3f s: %.0f records/s; qrvx is %.1fx faster\n",
                n, theirs, n / theirs, theirs / ours);
  return 0;
}
