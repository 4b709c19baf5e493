// qrvx receive: processes a posted multipart/form-data body the way a script
// does, through the members of IAcceptor, and prints what was received.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "automation_text.h"
#include "commands.h"
#include "receiver/Acceptors.h"

namespace {

struct ReceiveOptions {
  bool zip = false, dbf = false, asString = false, json = false;
  std::string saveDir, input;
};

std::string ReadInput(const std::string& name) {
  if (name == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + name);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

VARIANT Index(LONG i) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

// A name safe to create inside the save directory: no directory parts, not
// "." or "..", unique among the names already used.
std::string SafeName(std::string name, LONG index, std::set<std::string>& used) {
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "file" + std::to_string(index);
  std::string candidate = name;
  for (int n = 1; used.count(candidate); ++n) candidate = std::to_string(n) + "_" + name;
  used.insert(candidate);
  return candidate;
}

int RunReceive(const ReceiveOptions& o) {
  std::string body = ReadInput(o.input);
  TAcceptor* acc = new TAcceptor();
  acc->AddRef();
  acc->put_ProcessZIP(o.zip ? VARIANT_TRUE : VARIANT_FALSE);
  acc->put_ProcessDBF(o.dbf ? VARIANT_TRUE : VARIANT_FALSE);
  VARIANT request;
  VariantInit(&request);
  if (o.asString) {
    request.vt = VT_BSTR;
    request.bstrVal = AnsiToBstr(body);
  } else {
    request.vt = VT_ARRAY | VT_UI1;
    request.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
    void* p;
    SafeArrayAccessData(request.parray, &p);
    if (!body.empty()) std::memcpy(p, body.data(), body.size());
    SafeArrayUnaccessData(request.parray);
  }
  std::string().swap(body);
  HRESULT hr = acc->ProcessRequest(request);
  VariantClear(&request);
  if (FAILED(hr)) {
    std::fprintf(stderr, "qrvx: ProcessRequest failed (0x%08x)\n", static_cast<unsigned>(hr));
    acc->Release();
    return 1;
  }

  nlohmann::ordered_json doc = ReceivedAsJson(*acc);
  std::set<std::string> used;
  int saveErrors = 0;
  LONG n = 0;
  acc->FileCount(&n);
  for (LONG i = 0; i < n && !o.saveDir.empty(); ++i) {
    BSTR ansiName;
    acc->FileName(Index(i), &ansiName);
    std::string target = o.saveDir + "/" + SafeName(BstrToAnsi(ansiName), i, used);
    SysFreeString(ansiName);
    BSTR b = AnsiToBstr(target);
    VARIANT_BOOL ok = VARIANT_FALSE;
    acc->FileSaveTo(Index(i), b, &ok);
    SysFreeString(b);
    if (!ok) {
      std::fprintf(stderr, "qrvx: could not save %s\n", target.c_str());
      ++saveErrors;
    }
    doc["files"][static_cast<size_t>(i)]["saved_to"] = AnsiToUtf8(target);
  }
  acc->Release();

  if (o.json) {
    std::cout << doc.dump(2) << "\n";
  } else {
    PrintReceived(doc);
  }
  return saveErrors ? 1 : 0;
}

}  // namespace

void AddReceiveCommand(CLI::App& app) {
  auto o = std::make_shared<ReceiveOptions>();
  CLI::App* cmd = app.add_subcommand(
      "receive", "Process a posted multipart/form-data body and list what was received");
  cmd->add_flag("--zip", o->zip, "Unpack received ZIP archives (ProcessZIP)");
  cmd->add_flag("--dbf", o->dbf, "Open received dBase tables (ProcessDBF)");
  cmd->add_flag("--string", o->asString, "Pass the body as a string instead of a byte array");
  cmd->add_option("--save-dir", o->saveDir, "Save every received file into DIR (FileSaveTo)");
  cmd->add_flag("--json", o->json, "Print one JSON document");
  cmd->add_option("body", o->input, "File holding the body, or - for standard input")->required();
  cmd->callback([o]() {
    int rc = 1;
    try {
      rc = RunReceive(*o);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qrvx: %s\n", e.what());
    }
    if (rc) throw CLI::RuntimeError(rc);
  });
}
