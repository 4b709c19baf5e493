// The registry in text files, one per root key, in the regedit export format:
//   REGEDIT4
//   [HKEY_CLASSES_ROOT\CLSID\{...}]
//   @="default value"
//   "Name"="value"
//   "Count"=dword:0000002a
//   "Other"=hex(3):01,02
// Keys appear in creation order, every key (also the empty ones between a
// root and a value) on its own. Each call locks the directory, reads the
// file, and writes it back (through a temporary file) if it changed.
#include <windows.h>

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct TValue {
  std::string Name;  // "" for the default value
  DWORD Type;
  std::string Data;
};
struct TKey {
  std::string Path;  // below the root, "\"-separated, no leading "\"
  std::vector<TValue> Values;
};
struct THive {
  std::vector<TKey> Keys;
};

// An open key.
struct TKeyHandle {
  int Root;
  std::string Path;
};

const char* const kRootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

std::string g_dirOverride;
bool g_haveOverride = false;

std::string RegistryDir() {
  if (g_haveOverride) return g_dirOverride;
  if (const char* d = std::getenv("QRVX_REGISTRY_DIR"); d && *d) return d;
  if (const char* d = std::getenv("XDG_DATA_HOME"); d && *d)
    return std::string(d) + "/qrvx/registry";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/qrvx/registry";
}

void MakeDirs(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i)
    if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0755);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Root index of a predefined key, -1 for an open key handle.
int RootOf(HKEY h) {
  auto v = reinterpret_cast<ULONG_PTR>(h);
  if (v >= 0x80000000u && v <= 0x80000002u) return static_cast<int>(v - 0x80000000u);
  return -1;
}

bool Resolve(HKEY h, const char* sub, int* root, std::string* path) {
  int r = RootOf(h);
  std::string base;
  if (r < 0) {
    if (!h) return false;
    auto* k = reinterpret_cast<TKeyHandle*>(h);
    r = k->Root;
    base = k->Path;
  }
  std::string s = sub ? sub : "";
  while (!s.empty() && s.front() == '\\') s.erase(0, 1);
  while (!s.empty() && s.back() == '\\') s.pop_back();
  *root = r;
  *path = base.empty() ? s : (s.empty() ? base : base + "\\" + s);
  return true;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool Printable(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20) return false;
  return true;
}

std::string FormatValue(const TValue& v) {
  std::string out = v.Name.empty() ? "@" : Quote(v.Name);
  out += '=';
  if (v.Type == REG_SZ && !v.Data.empty() && v.Data.back() == '\0' &&
      Printable(v.Data.substr(0, v.Data.size() - 1))) {
    out += Quote(v.Data.substr(0, v.Data.size() - 1));
  } else if (v.Type == REG_DWORD && v.Data.size() == 4) {
    DWORD d;
    std::memcpy(&d, v.Data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", d);
    out += buf;
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.Type);
    out += buf;
    for (size_t i = 0; i < v.Data.size(); ++i) {
      std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", static_cast<unsigned char>(v.Data[i]));
      out += buf;
    }
  }
  return out;
}

// Reads a quoted string at s[i] (just past the opening quote).
std::string Unquote(const std::string& s, size_t& i) {
  std::string out;
  while (i < s.size() && s[i] != '"') {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out += s[i++];
  }
  ++i;
  return out;
}

bool ParseValue(const std::string& line, TValue* v) {
  size_t i = 0;
  if (line[0] == '@') {
    i = 1;
  } else if (line[0] == '"') {
    i = 1;
    v->Name = Unquote(line, i);
  } else {
    return false;
  }
  if (i >= line.size() || line[i] != '=') return false;
  std::string rest = line.substr(i + 1);
  if (!rest.empty() && rest[0] == '"') {
    size_t j = 1;
    v->Type = REG_SZ;
    v->Data = Unquote(rest, j) + '\0';
  } else if (rest.rfind("dword:", 0) == 0) {
    DWORD d = static_cast<DWORD>(std::strtoul(rest.c_str() + 6, nullptr, 16));
    v->Type = REG_DWORD;
    v->Data.assign(reinterpret_cast<const char*>(&d), 4);
  } else if (rest.rfind("hex(", 0) == 0) {
    char* end = nullptr;
    v->Type = static_cast<DWORD>(std::strtoul(rest.c_str() + 4, &end, 16));
    const char* p = std::strchr(rest.c_str(), ':');
    if (!p) return false;
    for (++p; *p;) {
      v->Data += static_cast<char>(std::strtoul(p, &end, 16));
      if (end == p) break;
      p = *end == ',' ? end + 1 : end;
    }
  } else {
    return false;
  }
  return true;
}

std::string HiveFile(int root) {
  return RegistryDir() + "/" + kRootNames[root] + ".reg";
}

THive Load(int root) {
  THive hive;
  std::ifstream in(HiveFile(root), std::ios::binary);
  std::string line;
  const std::string prefix = std::string("[") + kRootNames[root];
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line == "REGEDIT4") continue;
    if (line.rfind(prefix, 0) == 0 && line.back() == ']') {
      std::string path = line.substr(prefix.size(), line.size() - prefix.size() - 1);
      if (!path.empty() && path[0] == '\\') path.erase(0, 1);
      hive.Keys.push_back(TKey{path, {}});
    } else if (!hive.Keys.empty()) {
      TValue v;
      if (ParseValue(line, &v)) hive.Keys.back().Values.push_back(v);
    }
  }
  return hive;
}

bool Save(int root, const THive& hive) {
  std::string file = HiveFile(root);
  std::string tmp = file + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << "REGEDIT4\n";
    for (const TKey& k : hive.Keys) {
      out << "\n[" << kRootNames[root] << (k.Path.empty() ? "" : "\\") << k.Path << "]\n";
      for (const TValue& v : k.Values) out << FormatValue(v) << "\n";
    }
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), file.c_str()) == 0;
}

// Holds the directory's lock for one call.
struct TLock {
  int Fd = -1;
  TLock() {
    std::string dir = RegistryDir();
    MakeDirs(dir);
    Fd = open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (Fd >= 0) flock(Fd, LOCK_EX);
  }
  ~TLock() {
    if (Fd >= 0) close(Fd);
  }
};

TKey* Find(THive& hive, const std::string& path) {
  if (path.empty()) return nullptr;
  for (TKey& k : hive.Keys)
    if (SameNoCase(k.Path, path)) return &k;
  return nullptr;
}

// The root itself always exists.
bool Exists(THive& hive, const std::string& path) {
  return path.empty() || Find(hive, path);
}

HKEY NewHandle(int root, const std::string& path) {
  return reinterpret_cast<HKEY>(new TKeyHandle{root, path});
}

}  // namespace

/***********************************************************************
 * QrvxSetRegistryDir (stand-in only)
 * Keeps the registry's files in dir instead of $QRVX_REGISTRY_DIR; NULL goes
 * back to the environment.
 */
extern "C" void QrvxSetRegistryDir(const char* dir) {
  g_haveOverride = dir != nullptr;
  g_dirOverride = dir ? dir : "";
}

/***********************************************************************
 * RegCreateKeyExA, RegOpenKeyExA, RegCloseKey (ADVAPI32.@)
 * Key names compare without regard to ASCII case. RegCreateKeyExA creates
 * every missing key on the path.
 * RETURNS ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE, or
 *         ERROR_ACCESS_DENIED when the file cannot be written.
 * NOTES   Access rights and security attributes are ignored.
 */
extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub, DWORD, LPSTR, DWORD, REGSAM,
                                          LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disp) {
  int root;
  std::string path;
  if (!result || !Resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
  TLock lock;
  THive hive = Load(root);
  bool created = false;
  // Create every missing key from the top down.
  for (size_t i = 0; i <= path.size() && !path.empty(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      std::string part = path.substr(0, i);
      if (!Find(hive, part)) {
        hive.Keys.push_back(TKey{part, {}});
        created = true;
      }
    }
  }
  if (created && !Save(root, hive)) return ERROR_ACCESS_DENIED;
  if (disp) *disp = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  TKey* k = Find(hive, path);
  *result = NewHandle(root, k ? k->Path : path);
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub, DWORD, REGSAM, PHKEY result) {
  int root;
  std::string path;
  if (!result || !Resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
  *result = nullptr;
  TLock lock;
  THive hive = Load(root);
  if (!Exists(hive, path)) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(root, path);
  return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (RootOf(key) >= 0) return ERROR_SUCCESS;
  if (!key) return ERROR_INVALID_HANDLE;
  delete reinterpret_cast<TKeyHandle*>(key);
  return ERROR_SUCCESS;
}

/***********************************************************************
 * RegSetValueExA, RegQueryValueExA, RegDeleteValueA (ADVAPI32.@)
 * Values keep their type and bytes as given; NULL or "" is the default value.
 * RETURNS ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA (with the size
 *         needed) or ERROR_INVALID_PARAMETER.
 */
extern "C" LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data,
                                         DWORD size) {
  int root;
  std::string path;
  if (!Resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  TLock lock;
  THive hive = Load(root);
  TKey* k = Find(hive, path);
  if (!k) return path.empty() ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
  std::string vname = name ? name : "";
  std::string bytes(reinterpret_cast<const char*>(data), size);
  TValue* found = nullptr;
  for (TValue& v : k->Values)
    if (SameNoCase(v.Name, vname)) found = &v;
  if (found) {
    found->Type = type;
    found->Data = bytes;
  } else {
    k->Values.push_back(TValue{vname, type, bytes});
  }
  return Save(root, hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type,
                                           LPBYTE data, LPDWORD size) {
  int root;
  std::string path;
  if (!Resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
  TLock lock;
  THive hive = Load(root);
  TKey* k = Find(hive, path);
  if (!k) return ERROR_FILE_NOT_FOUND;
  std::string vname = name ? name : "";
  for (const TValue& v : k->Values) {
    if (!SameNoCase(v.Name, vname)) continue;
    if (type) *type = v.Type;
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD need = static_cast<DWORD>(v.Data.size());
    if (data && *size < need) {
      *size = need;
      return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, v.Data.data(), need);
    *size = need;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
  int root;
  std::string path;
  if (!Resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
  TLock lock;
  THive hive = Load(root);
  TKey* k = Find(hive, path);
  if (!k) return ERROR_FILE_NOT_FOUND;
  std::string vname = name ? name : "";
  for (size_t i = 0; i < k->Values.size(); ++i)
    if (SameNoCase(k->Values[i].Name, vname)) {
      k->Values.erase(k->Values.begin() + i);
      return Save(root, hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
  return ERROR_FILE_NOT_FOUND;
}

/***********************************************************************
 * RegDeleteKeyA (ADVAPI32.@)
 * RETURNS ERROR_ACCESS_DENIED for a key that still has subkeys or for a root,
 *         as on Windows.
 */
extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR sub) {
  int root;
  std::string path;
  if (!sub || !Resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
  if (path.empty()) return ERROR_ACCESS_DENIED;
  TLock lock;
  THive hive = Load(root);
  size_t index = hive.Keys.size();
  for (size_t i = 0; i < hive.Keys.size(); ++i) {
    const std::string& p = hive.Keys[i].Path;
    if (SameNoCase(p, path))
      index = i;
    else if (p.size() > path.size() && p[path.size()] == '\\' &&
             SameNoCase(p.substr(0, path.size()), path))
      return ERROR_ACCESS_DENIED;
  }
  if (index == hive.Keys.size()) return ERROR_FILE_NOT_FOUND;
  hive.Keys.erase(hive.Keys.begin() + index);
  return Save(root, hive) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

/***********************************************************************
 * RegEnumKeyExA (ADVAPI32.@)
 * RETURNS the name of the index-th direct subkey; ERROR_NO_MORE_ITEMS past
 *         the last, ERROR_MORE_DATA when cchName is too small.
 */
extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD,
                                        LPSTR, LPDWORD, PFILETIME) {
  int root;
  std::string path;
  if (!name || !cchName || !Resolve(key, nullptr, &root, &path)) return ERROR_INVALID_PARAMETER;
  TLock lock;
  THive hive = Load(root);
  DWORD n = 0;
  for (const TKey& k : hive.Keys) {
    std::string rest;
    if (path.empty()) {
      rest = k.Path;
    } else if (k.Path.size() > path.size() && k.Path[path.size()] == '\\' &&
               SameNoCase(k.Path.substr(0, path.size()), path)) {
      rest = k.Path.substr(path.size() + 1);
    } else {
      continue;
    }
    if (rest.empty() || rest.find('\\') != std::string::npos) continue;
    if (n++ != index) continue;
    if (rest.size() + 1 > *cchName) return ERROR_MORE_DATA;
    std::memcpy(name, rest.c_str(), rest.size() + 1);
    *cchName = static_cast<DWORD>(rest.size());
    return ERROR_SUCCESS;
  }
  return ERROR_NO_MORE_ITEMS;
}
