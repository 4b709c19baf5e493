// qrvx package: builds the installer's package "setup.dat" (plain, or
// compressed as compress.exe does) and reads one back through the installer's
// own reader.
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Szdd.h"
#include "commands.h"
#include "setup/TmplLib.h"

namespace {

struct TOptions {
  std::string package, member;
  std::vector<std::string> files;
  bool json = false;
  bool compress = false;
};

std::string BaseName(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

void Fail(const std::string& message) {
  std::cerr << "qrvx package: " << message << "\n";
  throw CLI::RuntimeError(2);
}

// Header, directory in the order given, then the members' bytes in that order;
// with compress, the whole of it as one SZDD file.
void Create(const TOptions& o) {
  std::vector<std::string> data;
  std::vector<PackageEntry> dir;
  int64_t offset =
      sizeof(PackageHeader) + sizeof(PackageEntry) * static_cast<int64_t>(o.files.size());
  for (const std::string& f : o.files) {
    std::ifstream in(f, std::ios::binary);
    if (!in) Fail("cannot read " + f);
    data.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::string name = BaseName(f);
    PackageEntry e{};
    if (name.empty() || name.size() > sizeof e.Name)
      Fail("member name longer than 23 bytes: " + name);
    if (offset + static_cast<int64_t>(data.back().size()) > 0x7FFFFFFF) Fail("package over 2 GB");
    e.NameLength = static_cast<uint8_t>(name.size());
    name.copy(e.Name, name.size());
    e.Offset = static_cast<int32_t>(offset);
    e.Size = static_cast<int32_t>(data.back().size());
    offset += e.Size;
    dir.push_back(e);
  }
  PackageHeader h{kPackageMagic, static_cast<int32_t>(dir.size())};
  std::string bytes(reinterpret_cast<const char*>(&h), sizeof h);
  bytes.append(reinterpret_cast<const char*>(dir.data()), dir.size() * sizeof(PackageEntry));
  for (const std::string& d : data) bytes += d;
  if (o.compress) bytes = SzddCompress(bytes, o.package.empty() ? 0 : o.package.back());
  std::ofstream out(o.package, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) Fail("cannot write " + o.package);
}

void Open(const TOptions& o) {
  if (!OpenPackage(o.package)) Fail(o.package + ": not a package, or its directory is cut short");
}

void List(const TOptions& o) {
  Open(o);
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (int i = 0; i < PackageEntryCount(); ++i) {
    const PackageEntry& e = PackageEntryAt(i);
    if (o.json)
      entries.push_back({{"name", PackageEntryName(e)}, {"offset", e.Offset}, {"size", e.Size}});
    else
      std::cout << e.Size << "\t" << e.Offset << "\t" << PackageEntryName(e) << "\n";
  }
  if (o.json) {
    nlohmann::ordered_json doc = {{"package", o.package}, {"entries", entries}};
    std::cout << doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  }
}

void Read(const TOptions& o) {
  Open(o);
  std::string bytes = ReadPackageMember(o.member);
  if (bytes.empty()) Fail(o.member + ": no such member, or it is empty");
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void AddPackageCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("package", "Build or read an install package (setup.dat)");
  cmd->require_subcommand(1);
  auto o = std::make_shared<TOptions>();
  auto* create =
      cmd->add_subcommand("create", "Write PACKAGE holding FILEs under their base names");
  create->add_flag("--compress", o->compress,
                   "Compress the package as compress.exe does (SZDD); the installer's reader "
                   "expands it");
  create->add_option("PACKAGE", o->package, "The package to write")->required();
  create->add_option("FILE", o->files, "Member files, in directory order")->required();
  create->callback([o] { Create(*o); });
  auto* list = cmd->add_subcommand("list", "List the members: size, offset, name");
  list->add_flag("--json", o->json, "Print JSON");
  list->add_option("PACKAGE", o->package, "The package (plain or compressed)")->required();
  list->callback([o] { List(*o); });
  auto* read = cmd->add_subcommand("read", "Write one member's bytes to standard output");
  read->add_option("PACKAGE", o->package, "The package (plain or compressed)")->required();
  read->add_option("NAME", o->member, "The member's name")->required();
  read->callback([o] { Read(*o); });
}
