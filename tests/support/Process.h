// Running a program of the build from a test (natively only): its standard
// output and its exit code.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TRunResult {
  std::string Out;
  int Code = -1;  // exit code; -1 when it did not exit normally
};

// Runs cmd through the shell; standard error goes where cmd sends it.
inline TRunResult RunCommand(const std::string& cmd) {
  TRunResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Out.append(buf, n);
  int st = pclose(p);
  if (WIFEXITED(st)) r.Code = WEXITSTATUS(st);
  return r;
}

// A shell word for any text.
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
#endif  // _WIN32
