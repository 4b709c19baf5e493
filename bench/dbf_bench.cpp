// Opens and walks a generated table of one million records with C, N, D and
// L columns, converting every field, and prints records per second; then
// times python3-dbfread reading the same table (when it is installed), so
// the two can be compared.
//
//   dbf_bench [records]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

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

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::string bytes = MakeTable(records);
  TMemoryStream data;
  data.SetPointer(bytes.data(), static_cast<int64_t>(bytes.size()));

  auto start = std::chrono::steady_clock::now();
  TDBF t;
  t.AssignStreams(&data, nullptr, true);
  t.SetReadOnly(true);
  t.Open();
  long long visited = 0, values = 0;
  double sum = 0;
  for (t.First(); !t.Eof(); t.Next(), ++visited) {
    for (int i = 0; i < t.Fields().Count(); ++i) {
      TDBFValue v = t.Fields()[i]->Value();
      if (!v.IsNull()) ++values;
      sum += v.Num + static_cast<double>(v.Str.size());
    }
  }
  double ours = Seconds(start);
  std::printf(
      "qrvx TDBF: %lld records, %lld values in %.3f s: %.0f records/s (%.1f MB/s) [check %.0f]\n",
      visited, values, ours, visited / ours, bytes.size() / ours / 1e6, sum);

  if (std::system("/usr/bin/python3 -c 'import dbfread' >/dev/null 2>&1") != 0) {
    std::printf("python3-dbfread: not installed\n");
    return 0;
  }
  auto path = std::filesystem::temp_directory_path() / "qrvx_dbf_bench.dbf";
  std::ofstream(path, std::ios::binary) << bytes;
  std::string cmd =
      "/usr/bin/python3 -c \"import sys,time,dbfread\n"
      "t=time.perf_counter()\n"
      "n=sum(1 for r in dbfread.DBF(sys.argv[1], encoding='latin-1'))\n"
      "print(n, time.perf_counter()-t)\" " +
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
