// The uninstaller QRVXUnst: reads the uninstall record, unregisters the COM
// library, deletes the recorded files, then removes the recorded directories,
// deletes the product's uninstall key and reports what it could not remove.
#pragma once

#include <string>
#include <vector>

#include "setup/UninstallRecord.h"

// The recorded objects that existed when the record was read, in record
// order, each marked as a directory or not.
struct TPathTable {
  std::string Paths[kUninstallCapacity];
  bool IsDirectory[kUninstallCapacity] = {};
  int Count = 0;
  // Existing objects beyond the capacity: never removed, always reported.
  std::vector<std::string> Overflow;
};

extern const char kUninstallKey[];  // under HKEY_LOCAL_MACHINE

// Fills table from the record at recordPath: blank lines and objects that do
// not exist are skipped; a path is used exactly as written.
void ReadPathTable(const std::string& recordPath, TPathTable& table);

// Calls DllUnregisterServer of systemDir + "qrvx.dll"; true when it returned 0.
bool UnregisterLibrary(const std::string& systemDir);

// Deletes the files, then removes the directories, both in record order. The
// not-deleted list: a line per object that stayed, each ending in CR.
std::string RemoveObjects(const TPathTable& table);

// The text of the summary box for a not-deleted list.
std::string SummaryText(const std::string& notDeleted);

// The whole program: confirmation, removal, summary. Returns 0.
int UninstallMain();
