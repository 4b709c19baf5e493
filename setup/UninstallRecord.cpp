// The uninstall record, over the platform's file functions.
#include <windows.h>

#include "UninstallRecord.h"

#include <cstring>

bool TUninstallList::Add(const std::string& line) {
  if (Count >= kUninstallCapacity) return false;
  Lines[Count++] = line;
  return true;
}

std::string SystemDirectory() {
  char buf[256];
  UINT n = GetSystemDirectoryA(buf, 255);
  std::string dir = n > 0 && n < 255 ? std::string(buf, n) : std::string();
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}

std::string UninstallRecordPath() {
  return SystemDirectory() + "QRVXUnst.dat";
}

namespace {

// Where appended lines must begin in an open record so that a reader sees
// them: at its first Ctrl-Z (a reader stops there, so the mark and what
// follows it are cut off), else at its end. *lineOpen tells whether the text
// kept before that point ends inside a line (the new lines then start on a
// line of their own).
void AppendPoint(HANDLE h, int64_t* at, bool* lineOpen) {
  char buf[65536];
  DWORD n = 0;
  int64_t pos = 0;
  char last = '\r', before = '\0';  // the last two bytes kept
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) {
    const void* eof = std::memchr(buf, '\x1A', n);
    DWORD keep = eof ? static_cast<DWORD>(static_cast<const char*>(eof) - buf) : n;
    for (DWORD i = keep > 2 ? keep - 2 : 0; i < keep; ++i) {
      before = last;
      last = buf[i];
    }
    pos += keep;
    if (eof) break;
  }
  *at = pos;
  // A line ends at CR, or at CR LF; a lone LF does not end one.
  *lineOpen = !(last == '\r' || (last == '\n' && before == '\r'));
}

}  // namespace

bool AppendRecordLines(const std::string& path, const TUninstallList& list) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  int64_t at = 0;
  bool lineOpen = false;
  if (h != INVALID_HANDLE_VALUE) {
    AppendPoint(h, &at, &lineOpen);
    LARGE_INTEGER to;
    to.QuadPart = at;
    if (!SetFilePointerEx(h, to, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
      CloseHandle(h);
      h = INVALID_HANDLE_VALUE;
      lineOpen = false;
    }
  }
  if (h == INVALID_HANDLE_VALUE) {
    h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
  }
  std::string text = lineOpen ? "\r\n" : "";
  for (int i = 0; i < list.Count && i < kUninstallCapacity; ++i) text += list.Lines[i] + "\r\n";
  DWORD written = 0;
  bool ok = text.empty() ||
            (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
             written == text.size());
  return CloseHandle(h) && ok;
}

std::vector<std::string> ReadRecordLines(const std::string& path) {
  std::vector<std::string> lines;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) text.append(buf, n);
  CloseHandle(h);
  size_t end = text.find('\x1A');
  if (end != std::string::npos) text.resize(end);
  size_t at = 0;
  while (at < text.size()) {
    size_t cr = text.find('\r', at);
    if (cr == std::string::npos) {
      lines.push_back(text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, cr - at));
    at = cr + 1;
    if (at < text.size() && text[at] == '\n') ++at;
  }
  return lines;
}
