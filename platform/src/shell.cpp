// The shell: the task allocator, item lists that carry a path, special
// folders below one directory, the folder picker answered by the user, and
// the shell link object, whose links are small text files:
//   [QRVX shell link]
//   Path=<target>
//   Description=<text>
//   WorkingDirectory=<dir>
//   Arguments=<text>
// one "Name=value" line each, CR LF, values in the ANSI code page.
#include <windows.h>

#include <shlobj.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "posix_path.h"
#include "user_input.h"

extern "C" const CLSID CLSID_ShellLink = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const IID IID_IPersistFile = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// An item list of the stand-in: one item holding a tag and the path with its
// zero, then the terminating empty item (cb 0).
constexpr char kTag[4] = {'Q', 'P', 'T', 'H'};

LPITEMIDLIST MakeItemList(const std::string& path) {
  size_t cb = 2 + sizeof kTag + path.size() + 1;
  if (cb > 0xFFFF) return nullptr;
  auto* p = static_cast<BYTE*>(CoTaskMemAlloc(cb + 2));
  if (!p) return nullptr;
  p[0] = static_cast<BYTE>(cb);
  p[1] = static_cast<BYTE>(cb >> 8);
  std::memcpy(p + 2, kTag, sizeof kTag);
  std::memcpy(p + 2 + sizeof kTag, path.c_str(), path.size() + 1);
  p[cb] = p[cb + 1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(p);
}

class TMalloc final : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *ppv = static_cast<IMalloc*>(this);
    return S_OK;
  }
  // The allocator lives as long as the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void* STDMETHODCALLTYPE Alloc(SIZE_T cb) override { return CoTaskMemAlloc(cb); }
  void* STDMETHODCALLTYPE Realloc(void* pv, SIZE_T cb) override { return std::realloc(pv, cb); }
  void STDMETHODCALLTYPE Free(void* pv) override { CoTaskMemFree(pv); }
  SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
  int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

TMalloc g_malloc;

std::string ShellDir() {
  if (const char* d = std::getenv("QRVX_SHELL_DIR"); d && *d) return d;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/qrvx/shell";
}

void MakeDirs(const std::string& dir) {
  for (size_t at = 1; at <= dir.size(); ++at)
    if (at == dir.size() || dir[at] == '/') mkdir(dir.substr(0, at).c_str(), 0777);
}

std::string Ansi(LPCOLESTR wide) {
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

HRESULT CopyOut(const std::string& s, LPSTR out, int cch) {
  if (!out || cch <= 0) return E_INVALIDARG;
  size_t n = std::min(s.size(), static_cast<size_t>(cch - 1));
  std::memcpy(out, s.data(), n);
  out[n] = 0;
  return S_OK;
}

class TShellLink final : public IShellLinkA, public IPersistFile {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IShellLinkA)
      *ppv = static_cast<IShellLinkA*>(this);
    else if (riid == IID_IPersistFile)
      *ppv = static_cast<IPersistFile*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --FRefs;
    if (n == 0) delete this;
    return n;
  }

  // IShellLinkA
  HRESULT STDMETHODCALLTYPE GetPath(LPSTR out, int cch, LPWIN32_FIND_DATAA, DWORD) override {
    return CopyOut(FPath, out, cch);
  }
  HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST* ppidl) override {
    if (!ppidl) return E_POINTER;
    *ppidl = MakeItemList(FPath);
    return *ppidl ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE pidl) override {
    char buf[MAX_PATH];
    if (!SHGetPathFromIDListA(pidl, buf)) return E_INVALIDARG;
    FPath = buf;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescription(LPSTR out, int cch) override {
    return CopyOut(FDescription, out, cch);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR s) override { return Set(&FDescription, s); }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR out, int cch) override {
    return CopyOut(FDirectory, out, cch);
  }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR s) override { return Set(&FDirectory, s); }
  HRESULT STDMETHODCALLTYPE GetArguments(LPSTR out, int cch) override {
    return CopyOut(FArguments, out, cch);
  }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR s) override { return Set(&FArguments, s); }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return S_OK; }
  // NOTES native refuses a path of MAX_PATH characters or more; so does the
  // stand-in.
  HRESULT STDMETHODCALLTYPE SetPath(LPCSTR s) override {
    if (s && std::strlen(s) >= MAX_PATH) return E_INVALIDARG;
    return Set(&FPath, s);
  }

  // IPersistFile
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_ShellLink;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return FDirty ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
    if (!name) return E_INVALIDARG;
    HANDLE h = CreateFileA(Ansi(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return STG_E_FILENOTFOUND;
    std::string text;
    char buf[4096];
    DWORD n = 0;
    // A link is a few lines; more than 64 KB is no link of ours.
    while (text.size() < 65536 && ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
      text.append(buf, n);
    CloseHandle(h);
    if (text.rfind(kHeader, 0) != 0) return E_FAIL;
    FPath.clear();
    FDescription.clear();
    FDirectory.clear();
    FArguments.clear();
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find("\r\n", at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 2;
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "Path") FPath = value;
      if (key == "Description") FDescription = value;
      if (key == "WorkingDirectory") FDirectory = value;
      if (key == "Arguments") FArguments = value;
    }
    FDirty = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR name, BOOL remember) override {
    if (!name) return E_INVALIDARG;
    std::string file = Ansi(name);
    std::string text = std::string(kHeader) + "Path=" + FPath + "\r\nDescription=" + FDescription +
                       "\r\nWorkingDirectory=" + FDirectory + "\r\nArguments=" + FArguments +
                       "\r\n";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return E_ACCESSDENIED;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (!CloseHandle(h) || !ok || written != text.size()) return STG_E_WRITEFAULT;
    if (remember) FFile = file;
    FDirty = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return FFile.empty() ? S_FALSE : E_NOTIMPL;
  }

 private:
  static constexpr char kHeader[] = "[QRVX shell link]\r\n";

  HRESULT Set(std::string* field, LPCSTR s) {
    *field = s ? s : "";
    FDirty = true;
    return S_OK;
  }

  ~TShellLink() = default;

  std::atomic<ULONG> FRefs{1};
  std::string FPath, FDescription, FDirectory, FArguments, FFile;
  bool FDirty = false;
};

}  // namespace

/***********************************************************************
 * CoTaskMemAlloc, CoTaskMemFree (OLE32.@)
 * The task allocator is the C heap.
 */
extern "C" LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
  return std::malloc(cb ? cb : 1);
}

extern "C" void WINAPI CoTaskMemFree(LPVOID pv) {
  std::free(pv);
}

/***********************************************************************
 * CoCreateInstance (OLE32.@)
 * Only CLSID_ShellLink, in process, is registered here.
 * RETURNS REGDB_E_CLASSNOTREG for any other class, CLASS_E_NOAGGREGATION.
 */
extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                           REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != CLSID_ShellLink || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto* link = new TShellLink();
  HRESULT hr = static_cast<IShellLinkA*>(link)->QueryInterface(riid, ppv);
  static_cast<IShellLinkA*>(link)->Release();
  return hr;
}

/***********************************************************************
 * SHGetMalloc, SHGetSpecialFolderLocation (SHELL32.@)
 * Special folders (CSIDL_PROGRAMS, CSIDL_PERSONAL, CSIDL_STARTMENU) lie under
 * $QRVX_SHELL_DIR and are created on first use.
 */
extern "C" HRESULT WINAPI SHGetMalloc(IMalloc** out) {
  if (!out) return E_INVALIDARG;
  *out = &g_malloc;
  return S_OK;
}

extern "C" HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int folder, LPITEMIDLIST* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const char* name = folder == CSIDL_PROGRAMS    ? "Programs"
                     : folder == CSIDL_PERSONAL  ? "Documents"
                     : folder == CSIDL_STARTMENU ? "Start Menu"
                                                 : nullptr;
  if (!name) return E_INVALIDARG;
  std::string dir = ShellDir() + "/" + name;
  MakeDirs(dir);
  *out = MakeItemList(dir);
  return *out ? S_OK : E_OUTOFMEMORY;
}

/***********************************************************************
 * SHBrowseForFolderA, SHGetPathFromIDListA, ILFree (SHELL32.@)
 * The folder picker asks the user for a line "folder PATH"; an item list
 * carries the path it stands for.
 * RETURNS NULL when the user cancels or names no existing directory.
 */
extern "C" LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA bi) {
  if (!bi || !QrvxHasUserInterface()) return nullptr;
  QrvxShowUser(std::string("browse [") + (bi->lpszTitle ? bi->lpszTitle : "") +
               "] (folder PATH/cancel)");
  std::string line;
  if (!QrvxReadUserLine(&line) || line.rfind("folder ", 0) != 0) return nullptr;
  std::string path = line.substr(7);
  struct stat st;
  if (path.empty() || stat(QrvxPosixPath(path.c_str()).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    QrvxShowUser("no folder " + path);
    return nullptr;
  }
  if (bi->pszDisplayName) {
    size_t slash = path.find_last_of("\\/");
    std::string display = slash == std::string::npos ? path : path.substr(slash + 1);
    CopyOut(display, bi->pszDisplayName, MAX_PATH);
  }
  return MakeItemList(path);
}

extern "C" BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR out) {
  if (!out) return FALSE;
  out[0] = '\0';
  if (!pidl) return FALSE;
  const auto* p = reinterpret_cast<const BYTE*>(pidl);
  size_t cb = p[0] | (static_cast<size_t>(p[1]) << 8);
  if (cb < 2 + sizeof kTag + 1 || std::memcmp(p + 2, kTag, sizeof kTag) != 0) return FALSE;
  const char* path = reinterpret_cast<const char*>(p + 2 + sizeof kTag);
  size_t n = strnlen(path, cb - 2 - sizeof kTag);
  if (n >= MAX_PATH) return FALSE;
  std::memcpy(out, path, n);
  out[n] = '\0';
  return TRUE;
}

extern "C" void WINAPI ILFree(LPITEMIDLIST pidl) {
  CoTaskMemFree(pidl);
}
