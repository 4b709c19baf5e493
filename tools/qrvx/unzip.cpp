// qrvx unzip [-l | -t] [-d DIR] [-o | -n] [-P PASSWORD] [--json] ARCHIVE [PATTERN ...]
// Lists (-l), tests in memory (-t) or extracts into DIR the entries of a ZIP
// archive that match the patterns (all when none), through TUnZip.
#include <windows.h>

#include "unzip/UnZip.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "automation_text.h"
#include "commands.h"
#include "unzip/Helpers.h"

namespace {

struct TOptions {
  bool list = false, test = false, always = false, never = false, json = false;
  std::string dir, password, archive;
  std::vector<std::string> patterns;
  bool havePassword = false;
};

// The sink of -t: keeps nothing, the component checks the CRC.
class TNullStream : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override { return count; }
  int64_t Seek(int64_t, int) override { return 0; }
};

bool Supported(int method) {
  return method == 0 || (method >= 1 && method <= 6) || method == 8;
}

std::string DosDate(uint32_t v) {
  return Format("%04u-%02u-%02u %02u:%02u:%02u", 1980 + (v >> 25), (v >> 21) & 15, (v >> 16) & 31,
                (v >> 11) & 31, (v >> 5) & 63, (v & 31) * 2);
}

nlohmann::ordered_json EntryJson(TUnZip& u, int i) {
  const TZipHeaderInfo& e = u.Entry(i);
  return {{"index", i},
          {"directory", AnsiToUtf8(e.Directory())},
          {"name", AnsiToUtf8(e.FileName())},
          {"method", e.Method},
          {"packed", e.PackedSize},
          {"unpacked", e.UnpackedSize},
          {"crc", Format("%08x", e.Crc)},
          {"encrypted", e.Encrypted()}};
}

// Volumes of a split set are ARCHIVE's name with .z01, .z02, ... and the
// archive itself last. A run goes back to volumes it left (the directory
// lies after the entries), so each request is answered afresh; none once
// even the archive is gone, which ends the component's asking.
void FindVolumes(TUnZip& u, const std::string& archive) {
  std::string base = archive;
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && base.find_first_of("\\/", dot) == std::string::npos)
    base.erase(dot);
  u.OnGetNextDisk = [base, archive](TUnZip*, int disk, std::string& name) {
    std::string part = base + Format(".z%02d", disk);
    name = FileExists(part) ? part : FileExists(archive) ? archive : std::string();
  };
}

int RunUnzip(const TOptions& o) {
  TUnZip u;
  nlohmann::ordered_json doc;
  doc["entries"] = nlohmann::ordered_json::array();
  std::map<int, std::string> results;
  bool failures = false;
  try {
    // Extraction makes the target folder current: volumes are named from the
    // root so that they are found from there too.
    FindVolumes(u, std::filesystem::absolute(o.archive).string());
    u.SetZipName(o.archive);
    if (o.havePassword) u.Password = o.password;
    u.ReadDirectory();
    if (o.list) {
      for (int i = 0; i < u.EntryCount(); ++i) {
        const TZipHeaderInfo& e = u.Entry(i);
        if (o.json) {
          doc["entries"].push_back(EntryJson(u, i));
        } else {
          std::cout << Format("%5d %-8s %10d %10d %08x %s %s ", i,
                              Format("m%d%s", e.Method, e.Encrypted() ? "*" : "").c_str(),
                              e.PackedSize, e.UnpackedSize, e.Crc, DosDate(e.DosDateTime).c_str(),
                              e.Encrypted() ? "E" : "-")
                    << AnsiToUtf8(e.Directory() + e.FileName()) << "\n";
        }
      }
      if (o.json) std::cout << doc.dump() << "\n";
      return 0;
    }

    std::vector<std::string> patterns = o.patterns;
    for (std::string& p : patterns) SlashesToBackslashes(p);
    u.OnEndUnZip = [&](TUnZip*, int i, const std::string&) { results[i] = "ok"; };
    u.OnBadCRC = [&](TUnZip* s, uint32_t, uint32_t, int i) {
      results[i] = Supported(s->Entry(i).Method) ? "crc" : "unsupported";
    };
    u.OnBadPassword = [&](TUnZip*, int i, std::string&) { results[i] = "password"; };
    u.OnSkippingFile = [&](TUnZip*, TSkipReason r, int i) {
      static const char* const kReasons[] = {"password", "skipped", "unsafe name", "too long"};
      results[i] = kReasons[r];
    };
    bool progress = !o.json && isatty(2);
    std::string current;
    u.OnStartUnZip = [&](TUnZip* s, int i, const std::string&, bool&) {
      const TZipHeaderInfo& e = s->Entry(i);
      current = e.UnpackedSize > (4 << 20) ? AnsiToUtf8(e.Directory() + e.FileName()) : "";
    };
    u.OnFilePercentDone = [&](TUnZip*, int percent) {
      if (progress && !current.empty())
        std::fprintf(stderr, "\r%s: %3d%%%s", current.c_str(), percent, percent == 100 ? "\n" : "");
    };
    if (o.test) {
      u.FilesList = patterns.empty() ? std::vector<std::string>{"*"} : patterns;
      TNullStream sink;
      u.ExtractToStream(&sink);
    } else {
      u.SetDestDir(o.dir);
      u.RecreateDirs = true;
      u.OverwriteMode = o.always ? Always : o.never ? Never : Prompt;
      u.OnPromptForOverwrite = [](TUnZip*, bool& over, int, std::string& name) {
        std::fprintf(stderr, "replace %s? [y]es, [n]o: ", AnsiToUtf8(name).c_str());
        std::string answer;
        over = std::getline(std::cin, answer) && !answer.empty() &&
               (answer[0] == 'y' || answer[0] == 'Y');
      };
      u.DoAll = patterns.empty();
      u.FilesList = patterns;
      u.ExtractToFiles();
    }
  } catch (const std::exception& e) {
    if (!o.json) {
      std::fprintf(stderr, "qrvx unzip: %s\n", e.what());
      return 1;
    }
    doc["error"] = e.what();
    std::cout << doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    return 1;
  }
  for (int i = 0; i < u.EntryCount(); ++i) {
    const TZipHeaderInfo& e = u.Entry(i);
    std::string r;
    auto it = results.find(i);
    if (it != results.end())
      r = it->second;
    else if (e.Selected && e.FileName().empty())
      r = "ok";  // a directory made
    else if (!e.Selected)
      r = "skipped";
    else
      // Selected, yet neither extracted nor refused with a reason: its data
      // was not where the directory says (a foreign local header, bytes
      // another entry already used, a volume of the set missing).
      r = Supported(e.Method) ? "unreadable" : "unsupported";
    if (r != "ok" && r != "skipped") failures = true;
    if (o.json) {
      auto j = EntryJson(u, i);
      j["result"] = r;
      doc["entries"].push_back(j);
    } else if (r != "skipped" || e.Selected) {
      std::cout << Format("%-11s ", r.c_str()) << AnsiToUtf8(e.Directory() + e.FileName()) << "\n";
    }
  }
  if (o.json) {
    doc["error"] = nullptr;
    std::cout << doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  }
  return failures ? 2 : 0;
}

}  // namespace

void AddUnzipCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("unzip", "List, test or extract the entries of a ZIP archive");
  auto o = std::make_shared<TOptions>();
  auto* list = cmd->add_flag("-l", o->list, "List the entries");
  auto* test = cmd->add_flag("-t", o->test, "Extract into memory and check each entry");
  list->excludes(test);
  cmd->add_option("-d", o->dir, "Extract into DIR (default: the current directory)");
  auto* always = cmd->add_flag("-o", o->always, "Overwrite existing files without asking");
  auto* never = cmd->add_flag("-n", o->never, "Never overwrite existing files");
  always->excludes(never);
  auto* pw = cmd->add_option("-P", o->password, "Password of encrypted entries");
  cmd->add_flag("--json", o->json, "Print JSON (with -l or -t)");
  cmd->add_option("ARCHIVE", o->archive, "The archive")->required();
  cmd->add_option("PATTERN", o->patterns, "Entry name patterns (*, ?, [set]); all when none");
  cmd->callback([o, pw] {
    o->havePassword = pw->count() > 0;
    int rc = RunUnzip(*o);
    if (rc) throw CLI::RuntimeError(rc);
  });
}
