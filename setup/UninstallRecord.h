// The uninstall record "QRVXUnst.dat" in the system directory: 8-bit text,
// one path per line, every line ending in CR LF, no header. The installer
// appends its lines (a second installation adds after the first); the
// uninstaller reads them back.
#pragma once

#include <string>
#include <vector>

// Room for the lines of one installation, and for the paths the uninstaller
// takes from a record.
constexpr int kUninstallCapacity = 301;

// The lines one installation collects and writes out in one go.
struct TUninstallList {
  std::string Lines[kUninstallCapacity];
  int Count = 0;
  // False, and the line not kept, when the list is full.
  bool Add(const std::string& line);
};

// The system directory, ending in a backslash.
std::string SystemDirectory();
// SystemDirectory() + "QRVXUnst.dat".
std::string UninstallRecordPath();

// Appends the list's lines, each followed by CR LF, to the record at path:
// an existing record is opened for appending, a new one created only when
// that fails. The lines always stay readable: a record ending in a Ctrl-Z
// (which a reader takes as its end) gets them in place of the mark, and a
// record whose last line has no line break gets one first. False when the record can be neither
// opened nor created, or a write fails.
bool AppendRecordLines(const std::string& path, const TUninstallList& list);

// The record's lines in order. A line ends at CR (an LF right after it is
// skipped); byte 26 (Ctrl-Z) ends the file; a last line without CR counts
// when it is not empty. A missing or unreadable record has no lines.
std::vector<std::string> ReadRecordLines(const std::string& path);
