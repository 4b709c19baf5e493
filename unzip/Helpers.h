// Small helpers of the ZIP component: name patterns, percentages, paths,
// directories and files.
#pragma once

#include <cstdint>
#include <string>

// Matches text against pattern: "?" one character, "*" any run, "[...]" a set
// ("!" or "^" negates, a-b ranges); ASCII letters match either case; no
// escape character. An invalid pattern never matches.
// Time O(|pattern| x |text|), constant space.
bool WildcardMatch(const std::string& pattern, const std::string& text);
// The same with a limit on the work: *steps is lowered by the characters the
// match visits; when it would need more than *steps, the answer is false and
// *steps is left below 0.
bool WildcardMatch(const std::string& pattern, const std::string& text, int64_t* steps);

// part as a percentage of total, rounded half to even, at most 100; 0 when
// total < 1.
int PercentOf(int64_t total, int64_t part);
// done as a percentage of total (same rounding and cap); 0 when total <= 0;
// raises "Total Done more than total" when done exceeds total.
int TotalPercent(int64_t done, int64_t total);

void SlashesToBackslashes(std::string& s);
std::string LeftStr(const std::string& s, size_t n);
std::string RightStr(const std::string& s, size_t n);

// Creates dir and every missing parent; a trailing backslash is ignored.
// Raises "Unable to create directory" for an empty path, EInOutError when a
// directory cannot be created.
void ForceDirectories(std::string dir);
bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);
std::string GetCurrentDir();
// Raises EInOutError when dir cannot be made current.
void ChDir(const std::string& dir);
// The label of the volume whose root is root ("A:\"), empty when unknown.
std::string VolumeLabel(const std::string& root);
// A new zero-terminated copy of s, released by the owner with delete[].
char* StrNewCopy(const std::string& s);
