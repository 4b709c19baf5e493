// The uninstaller's steps over the platform's files, modules, registry and
// message boxes.
#include <windows.h>

#include "Uninstall.h"

#include <exception>
#include <memory>

#include "common/Trim.h"

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRVX\\";

namespace {

const char kCaption[] = "Uninstal summary...";

std::string FileLine(const std::string& path) {
  return "file \"" + path + "\" \r";
}

std::string DirectoryLine(const std::string& path) {
  return "directory \"" + path + "\"\r";
}

}  // namespace

void ReadPathTable(const std::string& recordPath, TPathTable& table) {
  for (int i = 0; i < kUninstallCapacity; ++i) {
    table.Paths[i].clear();
    table.IsDirectory[i] = false;
  }
  table.Count = 0;
  table.Overflow.clear();
  for (const std::string& line : ReadRecordLines(recordPath)) {
    if (TrimBlanks(line).empty()) continue;
    DWORD attributes = GetFileAttributesA(line.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (table.Count == kUninstallCapacity) {
      table.Overflow.push_back(directory ? DirectoryLine(line) : FileLine(line));
      continue;
    }
    table.Paths[table.Count] = line;
    table.IsDirectory[table.Count] = directory;
    ++table.Count;
  }
}

bool UnregisterLibrary(const std::string& systemDir) {
  typedef HRESULT(WINAPI * TUnregister)();
  LONG result = -1;
  try {
    HMODULE lib = LoadLibraryA((systemDir + "qrvx.dll").c_str());
    if (lib) {
      auto unregister = reinterpret_cast<TUnregister>(
          reinterpret_cast<void (*)()>(GetProcAddress(lib, "DllUnregisterServer")));
      if (unregister) result = unregister();
      FreeLibrary(lib);
    }
  } catch (...) {
    return false;
  }
  return result == 0;
}

std::string RemoveObjects(const TPathTable& table) {
  std::string notDeleted;
  for (int i = 0; i < table.Count; ++i)
    if (!table.IsDirectory[i] && !DeleteFileA(table.Paths[i].c_str()))
      notDeleted += FileLine(table.Paths[i]);
  for (int i = 0; i < table.Count; ++i)
    if (table.IsDirectory[i] && !RemoveDirectoryA(table.Paths[i].c_str()))
      notDeleted += DirectoryLine(table.Paths[i]);
  for (const std::string& line : table.Overflow) notDeleted += line;
  return notDeleted;
}

std::string SummaryText(const std::string& notDeleted) {
  if (notDeleted.empty()) return "Quorvex was successfuly uninstalled";
  return "Quorvex uninstall is complete, but the following component(s) was not deleted:\r\n" +
         notDeleted + "\r\nPlease exit all programs and remove these objects manually.";
}

int UninstallMain() {
  if (MessageBoxA(nullptr,
                  "Du you really want to completely remove Quorvex v2.0 from your computer?",
                  "QRVX Setup", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;
  std::string summary;
  try {
    std::string systemDir = SystemDirectory();
    auto table = std::make_unique<TPathTable>();
    ReadPathTable(systemDir + "QRVXUnst.dat", *table);
    UnregisterLibrary(systemDir);
    std::string notDeleted = RemoveObjects(*table);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    summary = SummaryText(notDeleted);
  } catch (const std::exception&) {
    summary = "The installation of Quorvex was aborted";
  }
  MessageBoxA(nullptr, summary.c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
  return 0;
}
