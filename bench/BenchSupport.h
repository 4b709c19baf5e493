// What the benchmarks measure with: processor time (the machine is shared,
// and wall time would count the other programs' turns) and the resident
// set's peak (/proc/self/status).
#pragma once

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

// Processor time of the calling thread, in seconds.
inline double ThreadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Processor time of the children that have ended and been waited for.
inline double ChildrenCpuSeconds() {
  rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// A "Key:" line of /proc/self/status in kB (VmRSS:, VmHWM:); -1 when absent.
inline long ReadStatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

// Sets the resident set's high-water mark (VmHWM) back to its current size.
inline void ResetPeak() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}
