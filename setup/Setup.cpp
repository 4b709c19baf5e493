// The installer: a welcome dialog, the options dialog, then the install
// sequence reported line by line in the progress dialog. Each step logs a
// line ending in "Ok" or one beginning "Error "; the first failure raises
// the abort signal, caught once at the top; nothing is rolled back.
#include <windows.h>

#include "Setup.h"

#include <shlobj.h>

#include <memory>
#include <string>

#include "Members.h"
#include "TmplLib.h"
#include "UninstallRecord.h"

namespace {

const char kTitle[] = "Quorvex v2.0 setup program\r\nCopyright (c) the QRVX developers";
const char kWelcome[] =
    "This program installs Quorvex v2.0, the upload component for Active Server Pages, "
    "on this computer. Please close other programs before you go on.\r\n\r\n"
    "Quorvex is provided as is, without warranty of any kind; you use it at your own risk.";
const char kQuestionCaption[] = "QRVX Setup";
const char kWebRootKey[] = "SOFTWARE\\Microsoft\\INetStp\\";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRVX\\";

// A target directory plus a member name, and the log lines built from them.
constexpr size_t kMaxTargetPath = 255;
constexpr int kDocDirBuffer = 500;
constexpr int kLogBuffer = 32000;
// Lines CreateProgramGroup adds to the uninstall list: three links, the group.
constexpr int kProgramGroupLines = 4;

// The abort signal: carries nothing, caught only by the install sequence.
struct EAbortSetup {};

struct TSetupState {
  std::string DocDir;     // ends in a backslash once set
  std::string SystemDir;  // ends in a backslash
  bool InstallDocs = false;
  bool CreateShortcuts = false;
  HWND Progress = nullptr;  // 0 while no progress dialog is live
  TUninstallList UninstallList;
  MSG Msg{};
};

TSetupState* g_state = nullptr;

[[noreturn]] void AbortSetup() {
  throw EAbortSetup{};
}

HINSTANCE Instance() {
  HMODULE self = nullptr;
  GetModuleHandleExA(0, nullptr, &self);
  return self;
}

bool EndsInBackslash(const std::string& s) {
  return !s.empty() && s.back() == '\\';
}

// Hands every queued message to its window, so the progress dialog stays
// alive while the sequence runs on the only thread.
void DrainMessages() {
  MSG& msg = g_state->Msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!GetMessageA(&msg, nullptr, 0, 0)) break;
    DispatchMessageA(&msg);
  }
}

void ShowStatus(const std::string& text) {
  if (!g_state->Progress) return;
  std::string line = "  ";
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 32) line += c;
  SetDlgItemTextA(g_state->Progress, 102, line.c_str());
  DrainMessages();
}

// The log lives only in its control: each line is added to what the control
// holds now, text the user typed into it included.
void AppendLog(const std::string& text) {
  if (!g_state->Progress) return;
  auto buffer = std::make_unique<char[]>(kLogBuffer);
  GetDlgItemTextA(g_state->Progress, 101, buffer.get(), kLogBuffer);
  std::string log = buffer.get();
  if (!log.empty()) log += "\r\n";
  log += text;
  SetDlgItemTextA(g_state->Progress, 101, log.c_str());
  DrainMessages();
}

// Adds a path to the uninstall list; the callers have made sure there is room.
void Record(const std::string& path) {
  g_state->UninstallList.Add(path);
}

bool ListHasRoom(int lines) {
  return g_state->UninstallList.Count + lines <= kUninstallCapacity;
}

void CentreOnDesktop(HWND dialog) {
  RECT desktop{}, rect{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(dialog, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  SetWindowPos(dialog, nullptr, (desktop.right - width) / 2, (desktop.bottom - height) / 2, 0, 0,
               SWP_NOSIZE);
}

}  // namespace

std::string ReadWebRoot() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWebRootKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::string();
  char buffer[250];
  DWORD size = sizeof buffer;
  std::string root;
  if (RegQueryValueExA(key, "PathWWWRoot", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer),
                       &size) == ERROR_SUCCESS &&
      size > 0 && size <= sizeof buffer)
    root.assign(buffer, size - 1);
  RegCloseKey(key);
  // A value with a zero inside ends there, as any API reading it would.
  return std::string(root.c_str());
}

bool BrowseForDirectory(const char* title, std::string& path) {
  path.clear();
  bool result = false;
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
  auto* buffer = static_cast<char*>(allocator->Alloc(MAX_PATH));
  if (buffer) {
    buffer[0] = 0;
    BROWSEINFOA info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = buffer;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = nullptr;
    LPITEMIDLIST items = SHBrowseForFolderA(&info);
    if (items) {
      // A folder with no file-system path is no answer.
      result = SHGetPathFromIDListA(items, buffer) != FALSE;
      allocator->Free(items);
      if (result) path = buffer;
    }
    allocator->Free(buffer);
  }
  allocator->Release();
  return result;
}

void InstallMember(const PackageEntry& entry, const std::string& directory) {
  std::string name = PackageEntryName(entry);
  ShowStatus("Extracting \"" + name + "\" to \"" + directory + "\"...");
  std::string failure = "Error extracting file " + name + " to " + directory;
  std::string target = directory + name;
  if (target.size() > kMaxTargetPath) {
    AppendLog(failure + ": the path is longer than 255 characters");
    AbortSetup();
  }
  if (!IsPlainFileName(name)) {
    AppendLog(failure + ": not a plain file name");
    AbortSetup();
  }
  if (!ListHasRoom(1)) {
    AppendLog(failure + ": the uninstall record is full (301 lines)");
    AbortSetup();
  }
  DeleteFileA(target.c_str());
  std::string data = ReadPackageMember(name);
  bool ok = false;
  if (!data.empty()) {
    HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      BOOL wrote = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
      BOOL closed = CloseHandle(file);
      ok = wrote && closed && written == data.size();
    }
  }
  // A member that ends before its recorded size (a package cut short) would
  // be installed incomplete.
  if (static_cast<int64_t>(data.size()) != entry.Size) ok = false;
  if (!ok) {
    AppendLog(failure);
    AbortSetup();
  }
  AppendLog("    " + name + " ...  Ok");
  Record(target);
}

void CreateShortcut(const std::string& target, const std::string& link,
                    const std::string& description) {
  IShellLinkA* shellLink = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shellLink));
  if (SUCCEEDED(hr)) {
    shellLink->SetPath(target.c_str());
    shellLink->SetDescription(description.c_str());
    hr = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
      WCHAR wide[MAX_PATH];
      // A link path that does not fit is a failed save, never a cut one.
      if (MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH) == 0)
        hr = E_INVALIDARG;
      else
        hr = file->Save(wide, TRUE);
    }
  }
  if (file) file->Release();
  if (shellLink) shellLink->Release();
  if (FAILED(hr)) {
    AppendLog("Error creating shortcuts in Start menu");
    AbortSetup();
  }
  Record(link);
}

void CreateProgramGroup() {
  ShowStatus("Creating program group...");
  TSetupState& s = *g_state;
  if (!ListHasRoom(kProgramGroupLines)) {
    AppendLog("Error creating shortcuts in Start menu: the uninstall record is full (301 lines)");
    AbortSetup();
  }
  IMalloc* allocator = nullptr;
  std::string group;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    if (auto* buffer = static_cast<char*>(allocator->Alloc(MAX_PATH))) {
      LPITEMIDLIST items = nullptr;
      if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &items)) && items) {
        if (SHGetPathFromIDListA(items, buffer)) group = buffer;
        allocator->Free(items);
      }
      allocator->Free(buffer);
    }
  }
  // Without the programs folder the group would land in the root directory.
  if (group.empty()) {
    if (allocator) allocator->Release();
    AppendLog("Error creating shortcuts in Start menu");
    AbortSetup();
  }
  if (!EndsInBackslash(group)) group += '\\';
  group += "Quorvex\\";
  CreateDirectoryA(group.c_str(), nullptr);
  try {
    CreateShortcut(s.DocDir + "Readme.txt", group + "Read Me.lnk", "Quorvex readme file");
    CreateShortcut(s.DocDir + "Default.htm", group + "Quorvex reference.lnk", "Quorvex reference");
    CreateShortcut(s.SystemDir + "QRVXUnst.exe", group + "Uninstall QRVX.lnk", "Uninstall QRVX");
  } catch (...) {
    allocator->Release();
    throw;
  }
  Record(group);
  AppendLog("Creating links... Ok");
  allocator->Release();
}

void WriteUninstallRecord() {
  ShowStatus("Configring uninstaller...");
  bool ok = false;
  try {
    ok = AppendRecordLines(g_state->SystemDir + "QRVXUnst.dat", g_state->UninstallList);
    if (ok) AppendLog("Configuring uninstaller... Ok");
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    AppendLog("Error setting up uninstaller");
    AbortSetup();
  }
}

void RegisterLibrary() {
  ShowStatus("Registering QRVX COM library...");
  typedef HRESULT(WINAPI * TRegister)();
  LONG result = -1;
  HMODULE library = LoadLibraryA((g_state->SystemDir + "qrvx.dll").c_str());
  if (library) {
    auto registerServer = reinterpret_cast<TRegister>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllRegisterServer")));
    if (registerServer) result = registerServer();
    FreeLibrary(library);
  }
  if (result != 0) {
    AppendLog("Error registering QRVX COM library");
    AbortSetup();
  }
  AppendLog("Registering QRVX COM library... Ok");
}

void WriteUninstallKey() {
  ShowStatus("Updating registry...");
  HKEY key = nullptr;
  bool ok = false;
  char noClass[] = "";
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, noClass, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    const char name[] = "Quorvex v2.0";
    std::string command = g_state->SystemDir + "QRVXUnst.exe";
    ok = RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                        sizeof name) == ERROR_SUCCESS &&
         RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  if (!ok) {
    AppendLog("Error updating registry ");
    AbortSetup();
  }
  AppendLog("Updating registry... Ok");
}

INT_PTR CALLBACK WelcomeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CentreOnDesktop(dialog);
      SetDlgItemTextA(dialog, 100, kTitle);
      SetDlgItemTextA(dialog, 101, kWelcome);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == 1 || LOWORD(wParam) == 2) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  TSetupState& s = *g_state;
  switch (message) {
    case WM_INITDIALOG:
      CentreOnDesktop(dialog);
      SendDlgItemMessageA(dialog, 9, BM_SETCHECK, 1, 0);
      SendDlgItemMessageA(dialog, 12, BM_SETCHECK, 1, 0);
      SetDlgItemTextA(dialog, 10, s.DocDir.c_str());
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case 1: {
          s.InstallDocs = SendDlgItemMessageA(dialog, 9, BM_GETCHECK, 0, 0) == 1;
          s.CreateShortcuts = SendDlgItemMessageA(dialog, 12, BM_GETCHECK, 0, 0) == 1;
          char buffer[kDocDirBuffer];
          GetDlgItemTextA(dialog, 10, buffer, sizeof buffer);
          s.DocDir = buffer;
          EndDialog(dialog, 1);
          return TRUE;
        }
        case 2:
          if (MessageBoxA(dialog, "Do you really want to abort installation?", kQuestionCaption,
                          MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
            EndDialog(dialog, 2);
          return TRUE;
        case 9:
          s.InstallDocs = SendDlgItemMessageA(dialog, 9, BM_GETCHECK, 0, 0) == 1;
          // The edit box, "Browse", the shortcut box, the frame and the text.
          for (int id = 10; id <= 14; ++id) EnableWindow(GetDlgItem(dialog, id), s.InstallDocs);
          return TRUE;
        case 11: {
          std::string path;
          if (BrowseForDirectory("Select directory to install QRVX:", path))
            SetDlgItemTextA(dialog, 10, path.c_str());
          return TRUE;
        }
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: CentreOnDesktop(dialog); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == 1 || LOWORD(wParam) == 2) {
        EndDialog(dialog, 1);
        g_state->Progress = nullptr;
        return TRUE;
      }
      break;
  }
  return FALSE;
}

std::string ProgramDirectory() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, n < MAX_PATH ? n : 0);
  // Up to and including the last separator (the stand-in's paths use "/").
  size_t cut = path.find_last_of("\\:/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

int SetupMain() {
  auto state = std::make_unique<TSetupState>();
  g_state = state.get();
  TSetupState& s = *state;
  HINSTANCE instance = Instance();

  CoInitialize(nullptr);
  DialogBoxParamA(instance, "AboutDlg", nullptr, WelcomeDialogProc, 0);
  s.DocDir = ReadWebRoot();
  if (s.DocDir.empty()) s.DocDir = "C:\\Program Files\\";
  if (!EndsInBackslash(s.DocDir)) s.DocDir += '\\';
  s.DocDir += "QRVXDocs\\";
  s.SystemDir = SystemDirectory();
  s.Progress = nullptr;

  try {
    INT_PTR choice = DialogBoxParamA(instance, "OptionsDlg", nullptr, OptionsDialogProc, 0);
    s.Progress = CreateDialogParamA(instance, "ProcessDlg", nullptr, ProgressDialogProc, 0);
    if (choice != 1) {
      AppendLog("Setup aborted by user request");
      AbortSetup();
    }
    if (!EndsInBackslash(s.DocDir)) s.DocDir += '\\';
    AppendLog("Setup options:");
    AppendLog("    * Install QRVX COM library to: " + s.SystemDir);
    AppendLog(s.InstallDocs ? "    * Install QRVX reference to: " + s.DocDir
                            : std::string("    * Do not install QRVX reference"));
    AppendLog(s.CreateShortcuts ? "    * Create shortcuts in Start menu"
                                : "    * Do not create shortcuts in Start menu");
    AppendLog("\r\nSetup log:");
    s.UninstallList.Count = 0;
    Record(s.SystemDir + "QRVXUnst.dat");
    Record(s.DocDir);
    OpenPackage(ProgramDirectory() + "setup.dat");
    if (s.InstallDocs) {
      CreateDirectoryA(s.DocDir.c_str(), nullptr);
      AppendLog("Creating directory \"" + s.DocDir + "\"... Ok");
      AppendLog("Extracting files to \"" + s.DocDir + "\":");
      for (int i = 0; i < PackageEntryCount(); ++i)
        if (!IsSystemMember(PackageEntryAt(i))) InstallMember(PackageEntryAt(i), s.DocDir);
    }
    AppendLog("Extracting files to \"" + s.SystemDir + "\":");
    for (int i = 0; i < PackageEntryCount(); ++i)
      if (IsSystemMember(PackageEntryAt(i))) InstallMember(PackageEntryAt(i), s.SystemDir);
    if (s.CreateShortcuts) CreateProgramGroup();
    WriteUninstallRecord();
    RegisterLibrary();
    WriteUninstallKey();
    AppendLog("\r\nSetup was finished sucessfuly.");
    ShowStatus("Setup was finished sucessfuly.");
  } catch (...) {
    AppendLog("\r\nSetup was terminated.");
    ShowStatus("Setup was terminated.");
    MessageBoxA(nullptr, "There are errors! Please check setup log...", "Setup aborted!",
                MB_OK | MB_ICONINFORMATION);
  }

  if (s.Progress) {
    EnableWindow(GetDlgItem(s.Progress, 1), TRUE);
    while (s.Progress && GetMessageA(&s.Msg, nullptr, 0, 0)) DispatchMessageA(&s.Msg);
  }
  g_state = nullptr;
  return 0;
}
