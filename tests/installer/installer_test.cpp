// The installer program, run whole through the dialog stand-in: a user
// presses buttons, ticks boxes and types text; the log is read back from the
// progress dialog; then the files, the uninstall record, the registry, the
// shell links, and the installed uninstaller removing it all again.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "setup/UninstallRecord.h"
#include "support/Automation.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QRVX\\";
const char kClsidKey[] = "CLSID\\{7806FC75-04C2-45B7-A723-3DC129D6344A}";

typedef std::vector<std::pair<std::string, std::string>> TMembers;

// A package "setup.dat": header, directory, then the members' bytes.
std::string Package(const TMembers& members) {
  std::string out = "WLib";
  auto put32 = [&out](int32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  put32(static_cast<int32_t>(members.size()));
  int32_t offset = 8 + 32 * static_cast<int32_t>(members.size());
  for (const auto& [name, data] : members) {
    char entry[24] = {};
    entry[0] = static_cast<char>(name.size());
    name.copy(entry + 1, 23);
    out.append(entry, 24);
    put32(offset);
    put32(static_cast<int32_t>(data.size()));
    offset += static_cast<int32_t>(data.size());
  }
  for (const auto& m : members) out += m.second;
  return out;
}

std::string Value(HKEY root, const char* key, const char* name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return "<no key>";
  char buf[1024];
  DWORD size = sizeof buf;
  LSTATUS st = RegQueryValueExA(h, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &size);
  RegCloseKey(h);
  return st == ERROR_SUCCESS && size > 0 ? std::string(buf, size - 1) : "<no value>";
}

bool KeyExists(HKEY root, const char* key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// A link's target and description, read back through the link object.
std::pair<std::string, std::string> ReadLink(const std::string& path) {
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  std::pair<std::string, std::string> out;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return out;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    std::u16string wide(path.begin(), path.end());
    char buf[MAX_PATH];
    if (SUCCEEDED(file->Load(wide.c_str(), 0))) {
      if (SUCCEEDED(link->GetPath(buf, sizeof buf, nullptr, 0))) out.first = buf;
      if (SUCCEEDED(link->GetDescription(buf, sizeof buf))) out.second = buf;
    }
    file->Release();
  }
  link->Release();
  return out;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\r\n") + l;
  return out;
}

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"prog", "sys", "reg", "shell", "www"}) fs::create_directories(dir / d);
    setenv("QRVX_SYSTEM_DIR", Path("sys").c_str(), 1);
    setenv("QRVX_REGISTRY_DIR", Path("reg").c_str(), 1);
    setenv("QRVX_SHELL_DIR", Path("shell").c_str(), 1);
    unsetenv("QRVX_MESSAGEBOX_ANSWER");
    fs::copy_file(QRVX_SETUP_PROGRAM, dir / "prog" / "setup");
    library = ReadWholeFile(QRVX_LIBRARY_FILE);
    uninstaller = ReadWholeFile(QRVX_UNINSTALL_PROGRAM);
    WebRoot(Path("www"));
    // The library first: documentation is installed before it all the same.
    WritePackage({{"qrvx.dll", library},
                  {"Readme.txt", "Read me\r\n"},
                  {"Default.htm", "<html>reference</html>"},
                  {"Upload.htm", "<form></form>"},
                  {"Upload.asp", "<% ' receive %>"},
                  {"QRVXUnst.exe", uninstaller}});
  }

  std::string Path(const std::string& rel) const { return (dir / rel).string(); }

  void WritePackage(const TMembers& members) const {
    std::ofstream(Path("prog/setup.dat"), std::ios::binary) << Package(members);
  }

  void WebRoot(const std::string& root) const {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\INetStp", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(h, "PathWWWRoot", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                   static_cast<DWORD>(root.size() + 1));
    RegCloseKey(h);
  }

  // Runs setup with the user's actions; what the dialogs showed.
  std::string Run(const std::string& actions) {
    std::ofstream(Path("actions.txt")) << actions;
    std::string command = "cd '" + Path("prog") + "' && ./setup < '" + Path("actions.txt") +
                          "' > '" + Path("out.txt") + "' 2> '" + Path("err.txt") + "'";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return ReadWholeFile(Path("out.txt"));
  }

  // The text of control id as the last "get id" printed it.
  static std::string Shown(const std::string& out, int id) {
    std::string open = "=== " + std::to_string(id) + "\n";
    size_t at = out.rfind(open);
    if (at == std::string::npos) return "<not shown>";
    at += open.size();
    size_t end = out.find("\n===", at);
    return out.substr(at, end == std::string::npos ? std::string::npos : end - at);
  }

  // Welcome, options as given, Install, then the log and the status read
  // back and "OK" pressed (a terminated run answers its message box first).
  std::string Install(const std::string& options = "", bool terminated = false) {
    return Run("press 1\n" + options + "press 1\n" + (terminated ? "ok\n" : "") +
               "get 101\nget 102\npress 1\n");
  }

  std::string Sys() const { return Path("sys") + "\\"; }
  std::string Docs() const { return Path("www") + "\\QRVXDocs\\"; }
  std::string Group() const { return Path("shell/Programs") + "\\Quorvex\\"; }

  std::vector<std::string> Head(bool docs, bool links) const {
    return {
        "Setup options:",
        "    * Install QRVX COM library to: " + Sys(),
        docs ? "    * Install QRVX reference to: " + Docs() : "    * Do not install QRVX reference",
        links ? "    * Create shortcuts in Start menu"
              : "    * Do not create shortcuts in Start menu",
        "",
        "Setup log:"};
  }

  TTestDir temp{"qrvx_installer_"};
  const fs::path& dir = temp.Path;
  std::string library, uninstaller;
};

const char kDocNames[][12] = {"Readme.txt", "Default.htm", "Upload.htm", "Upload.asp"};

TEST_F(Installer, FullInstallThenUninstall) {
  std::string out = Install();
  std::vector<std::string> log = Head(true, true);
  log.push_back("Creating directory \"" + Docs() + "\"... Ok");
  log.push_back("Extracting files to \"" + Docs() + "\":");
  for (const char* n : kDocNames) log.push_back(std::string("    ") + n + " ...  Ok");
  log.push_back("Extracting files to \"" + Sys() + "\":");
  log.push_back("    qrvx.dll ...  Ok");
  log.push_back("    QRVXUnst.exe ...  Ok");
  for (const char* l : {"Creating links... Ok", "Configuring uninstaller... Ok",
                        "Registering QRVX COM library... Ok", "Updating registry... Ok", "",
                        "Setup was finished sucessfuly."})
    log.push_back(l);
  EXPECT_EQ(Shown(out, 101), Join(log));
  EXPECT_EQ(Shown(out, 102), "  Setup was finished sucessfuly.");
  EXPECT_EQ(out.find("box ["), std::string::npos) << "no message box on success";

  EXPECT_EQ(ReadWholeFile(Path("www/QRVXDocs/Readme.txt")), "Read me\r\n");
  EXPECT_EQ(ReadWholeFile(Path("www/QRVXDocs/Upload.asp")), "<% ' receive %>");
  EXPECT_EQ(ReadWholeFile(Path("sys/qrvx.dll")), library);
  EXPECT_EQ(ReadWholeFile(Path("sys/QRVXUnst.exe")), uninstaller);

  std::vector<std::string> record = {Sys() + "QRVXUnst.dat", Docs()};
  for (const char* n : kDocNames) record.push_back(Docs() + n);
  for (const char* n : {"qrvx.dll", "QRVXUnst.exe"}) record.push_back(Sys() + n);
  for (const char* n : {"Read Me.lnk", "Quorvex reference.lnk", "Uninstall QRVX.lnk"})
    record.push_back(Group() + n);
  record.push_back(Group());
  EXPECT_EQ(ReadRecordLines(Path("sys/QRVXUnst.dat")), record);

  EXPECT_EQ(ReadLink(Group() + "Read Me.lnk"),
            std::make_pair(Docs() + "Readme.txt", std::string("Quorvex readme file")));
  EXPECT_EQ(ReadLink(Group() + "Quorvex reference.lnk"),
            std::make_pair(Docs() + "Default.htm", std::string("Quorvex reference")));
  EXPECT_EQ(ReadLink(Group() + "Uninstall QRVX.lnk"),
            std::make_pair(Sys() + "QRVXUnst.exe", std::string("Uninstall QRVX")));

  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Quorvex v2.0");
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), Sys() + "QRVXUnst.exe");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey)) << "the library registered itself";

  // The installed uninstaller takes it all away again (a file written
  // through the platform's file functions carries no execute permission).
  fs::permissions(Path("sys/QRVXUnst.exe"), fs::perms::owner_exec, fs::perm_options::add);
  std::string command = "cd '" + Path("sys") + "' && QRVX_MESSAGEBOX_ANSWER=6 ./QRVXUnst.exe 2> '" +
                        Path("unst.txt") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_NE(ReadWholeFile(Path("unst.txt"))
                .find("[Uninstal summary...] Quorvex was successfuly uninstalled"),
            std::string::npos)
      << ReadWholeFile(Path("unst.txt"));
  EXPECT_FALSE(fs::exists(Path("www/QRVXDocs")));
  EXPECT_FALSE(fs::exists(Path("shell/Programs/Quorvex")));
  EXPECT_TRUE(fs::is_empty(Path("sys")));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey));
}

TEST_F(Installer, ExitNeedsYes) {
  // Esc closes the welcome dialog; "No" keeps the options dialog open; the
  // progress dialog still opens to say why the run ended.
  std::string out = Run("esc\npress 2\nno\nget 10\npress 2\nyes\nok\nget 101\nget 102\npress 1\n");
  std::string question = "box [QRVX Setup] Do you really want to abort installation? (yes/no)\n";
  size_t first = out.find(question);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find(question, first + 1), std::string::npos) << "asked again after \"No\"";
  EXPECT_EQ(Shown(out, 10), Docs()) << "the options dialog stayed open";
  EXPECT_NE(out.find("box [Setup aborted!] There are errors! Please check setup log... (ok)"),
            std::string::npos);
  EXPECT_EQ(Shown(out, 101), "Setup aborted by user request\r\n\r\nSetup was terminated.");
  EXPECT_EQ(Shown(out, 102), "  Setup was terminated.");
  EXPECT_TRUE(fs::is_empty(Path("sys")));
  EXPECT_FALSE(fs::exists(Docs()));
}

TEST_F(Installer, EndOfInputEndsTheProgram) {
  // A user who walks away: every dialog ends, nothing is installed.
  Run("press 1\n");
  EXPECT_NE(ReadWholeFile(Path("err.txt")).find("[Setup aborted!]"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(Path("sys")));
}

TEST_F(Installer, DocumentationBoxCleared) {
  // The shortcut box is disabled with the rest but stays ticked, and counts.
  std::string out = Install("press 9\nshow\npress 12\n");
  EXPECT_NE(out.find("12 [x] \"Create shortcut in program group\" (disabled)"), std::string::npos)
      << out;
  EXPECT_NE(out.find("control 12 is disabled"), std::string::npos);
  EXPECT_NE(out.find("10 edit \"" + Docs() + "\" (disabled)"), std::string::npos);
  std::vector<std::string> log = Head(false, true);
  log.push_back("Extracting files to \"" + Sys() + "\":");
  log.push_back("    qrvx.dll ...  Ok");
  log.push_back("    QRVXUnst.exe ...  Ok");
  for (const char* l : {"Creating links... Ok", "Configuring uninstaller... Ok",
                        "Registering QRVX COM library... Ok", "Updating registry... Ok", "",
                        "Setup was finished sucessfuly."})
    log.push_back(l);
  EXPECT_EQ(Shown(out, 101), Join(log));
  EXPECT_FALSE(fs::exists(Path("www/QRVXDocs")));
  std::vector<std::string> record = ReadRecordLines(Path("sys/QRVXUnst.dat"));
  ASSERT_EQ(record.size(), 8u);
  EXPECT_EQ(record[1], Docs()) << "the documentation directory is recorded all the same";
  EXPECT_EQ(ReadLink(Group() + "Read Me.lnk").first, Docs() + "Readme.txt");
}

TEST_F(Installer, WebRootAndChosenDirectory) {
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\INetStp"), ERROR_SUCCESS);
  const std::string leave = "press 2\nyes\nok\npress 1\n";
  EXPECT_EQ(Shown(Run("press 1\nget 10\n" + leave), 10), "C:\\Program Files\\QRVXDocs\\");
  WebRoot("c:\\inetpub\\wwwroot");
  EXPECT_EQ(Shown(Run("press 1\nget 10\n" + leave), 10), "c:\\inetpub\\wwwroot\\QRVXDocs\\");
  WebRoot(std::string(250, 'w'));  // with its zero, more than the 250 bytes read
  EXPECT_EQ(Shown(Run("press 1\nget 10\n" + leave), 10), "C:\\Program Files\\QRVXDocs\\");

  // A folder from "Browse" (no trailing backslash) gets one before use; a
  // cancelled picker changes nothing.
  fs::create_directories(Path("www/picked"));
  std::string out = Install("press 11\ncancel\nget 10\npress 11\nfolder " + Path("www/picked") +
                            "\nget 10\npress 12\n");
  EXPECT_NE(out.find("browse [Select directory to install QRVX:]"), std::string::npos);
  EXPECT_EQ(Shown(out, 10), Path("www/picked"));
  EXPECT_NE(
      Shown(out, 101).find("    * Install QRVX reference to: " + Path("www/picked") + "\\\r\n"),
      std::string::npos);
  EXPECT_EQ(ReadWholeFile(Path("www/picked/Default.htm")), "<html>reference</html>");
}

TEST_F(Installer, MissingOrBrokenMembers) {
  // A member of length 0 cannot be installed; the record is never written.
  WritePackage({{"Readme.txt", "x"}, {"Upload.htm", ""}, {"qrvx.dll", library}});
  std::string out = Install("", true);
  std::string log = Shown(out, 101);
  EXPECT_NE(log.find("    Readme.txt ...  Ok\r\nError extracting file Upload.htm to " + Docs() +
                     "\r\n\r\nSetup was terminated."),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(Path("sys/QRVXUnst.dat")));

  // A package cut short: the last member is not installed incomplete.
  std::string cut = Package({{"Readme.txt", "x"}, {"qrvx.dll", library}});
  std::ofstream(Path("prog/setup.dat"), std::ios::binary) << cut.substr(0, cut.size() - 10);
  log = Shown(Install("press 12\n", true), 101);
  EXPECT_NE(log.find("Error extracting file qrvx.dll to " + Sys() + "\r\n"), std::string::npos)
      << log;

  // A header promising more entries than follow: nothing is read from them.
  std::string lying = Package({{"Readme.txt", "x"}});
  lying[4] = 9;
  std::ofstream(Path("prog/setup.dat"), std::ios::binary) << lying;
  log = Shown(Install("press 12\n", true), 101);
  EXPECT_NE(log.find("Error extracting file Readme.txt to " + Docs() + "\r\n"), std::string::npos)
      << log;

  // A member name with a directory part would land outside its directory.
  WritePackage({{"..\\evil.txt", "x"}});
  log = Shown(Install("press 12\n", true), 101);
  EXPECT_NE(log.find("Error extracting file ..\\evil.txt to " + Docs() + ": not a plain file name"),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(Path("www/evil.txt")));
}

TEST_F(Installer, NoPackage) {
  fs::remove(Path("prog/setup.dat"));
  std::vector<std::string> log = Head(true, false);
  log.push_back("Creating directory \"" + Docs() + "\"... Ok");
  log.push_back("Extracting files to \"" + Docs() + "\":");
  log.push_back("Extracting files to \"" + Sys() + "\":");
  log.push_back("Configuring uninstaller... Ok");
  log.push_back("Error registering QRVX COM library");
  log.push_back("");
  log.push_back("Setup was terminated.");
  EXPECT_EQ(Shown(Install("press 12\n", true), 101), Join(log));
  EXPECT_EQ(ReadRecordLines(Path("sys/QRVXUnst.dat")),
            (std::vector<std::string>{Sys() + "QRVXUnst.dat", Docs()}));
}

TEST_F(Installer, InstallingTwice) {
  Install();
  std::ofstream(Path("www/QRVXDocs/Readme.txt")) << "changed";
  std::string log = Shown(Install(), 101);
  EXPECT_NE(log.find("Setup was finished sucessfuly."), std::string::npos) << log;
  EXPECT_EQ(ReadWholeFile(Path("www/QRVXDocs/Readme.txt")), "Read me\r\n");
  std::vector<std::string> record = ReadRecordLines(Path("sys/QRVXUnst.dat"));
  ASSERT_EQ(record.size(), 24u);
  EXPECT_TRUE(std::equal(record.begin(), record.begin() + 12, record.begin() + 12));
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), Sys() + "QRVXUnst.exe");
}

TEST_F(Installer, RecordHoldsAtMost301Lines) {
  // Two fixed lines, the documents, two system files, three links and the
  // group: 293 documents fill the record exactly.
  TMembers members;
  for (int i = 0; i < 293; ++i) members.push_back({"doc" + std::to_string(i) + ".txt", "d"});
  members.push_back({"qrvx.dll", library});
  members.push_back({"QRVXUnst.exe", uninstaller});
  WritePackage(members);
  std::string log = Shown(Install(), 101);
  EXPECT_NE(log.find("Setup was finished sucessfuly."), std::string::npos) << log;
  EXPECT_EQ(ReadRecordLines(Path("sys/QRVXUnst.dat")).size(), 301u);

  // One more document leaves no room for the program group.
  fs::remove(Path("sys/QRVXUnst.dat"));
  members.insert(members.begin(), {"extra.txt", "e"});
  WritePackage(members);
  log = Shown(Install("", true), 101);
  EXPECT_NE(log.find("Error creating shortcuts in Start menu: the uninstall record is full "
                     "(301 lines)\r\n\r\nSetup was terminated."),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(Path("sys/QRVXUnst.dat")));

  // Without links, the 302nd line is the uninstaller's, which is not extracted.
  for (int i = 0; i < 4; ++i) members.insert(members.begin(), {"more" + std::to_string(i), "m"});
  WritePackage(members);
  fs::remove(Path("sys/QRVXUnst.exe"));
  log = Shown(Install("press 12\n", true), 101);
  EXPECT_NE(log.find("    qrvx.dll ...  Ok\r\nError extracting file QRVXUnst.exe to " + Sys() +
                     ": the uninstall record is full (301 lines)"),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(Path("sys/QRVXUnst.exe")));
}

TEST_F(Installer, TargetPathHoldsAtMost255Characters) {
  WritePackage({{"Readme.txt", "r"}});
  std::string base = Path("www") + "/";
  // Directory plus "Readme.txt": 255 characters fit, 256 do not.
  std::string fits = base + std::string(255 - 10 - base.size() - 1, 'a') + "\\";
  std::string over = base + std::string(255 - 10 - base.size(), 'b') + "\\";
  ASSERT_EQ(fits.size() + 10, 255u);
  std::string log = Shown(Install("type 10 " + fits + "\npress 12\n", true), 101);
  EXPECT_NE(log.find("    Readme.txt ...  Ok"), std::string::npos) << log;
  EXPECT_EQ(ReadWholeFile(fits.substr(0, fits.size() - 1) + "/Readme.txt"), "r");
  log = Shown(Install("type 10 " + over + "\npress 12\n", true), 101);
  EXPECT_NE(log.find("Error extracting file Readme.txt to " + over +
                     ": the path is longer than 255 characters\r\n\r\nSetup was terminated."),
            std::string::npos)
      << log;
  EXPECT_FALSE(fs::exists(over.substr(0, over.size() - 1) + "/Readme.txt"));
}

}  // namespace
