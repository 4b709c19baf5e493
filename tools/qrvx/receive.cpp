// qrvx receive: processes a posted multipart/form-data body the way a script
// does, through the members of IAcceptor, and prints what was received.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>

#include "automation_text.h"
#include "commands.h"
#include "common/AutoHolders.h"
#include "receiver/Acceptors.h"

namespace {

struct ReceiveOptions {
  bool zip = false, dbf = false, asString = false, json = false;
  std::string saveDir, input;
};

// The body, read once straight into the byte array ProcessRequest gets: a
// file of known size in one read; standard input (or a file that grows) into
// an array grown geometrically, each growth a reallocation of the same block,
// never a second full copy.
SAFEARRAY* ReadInput(const std::string& name) {
  FILE* in = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
  if (!in) throw std::runtime_error("cannot open " + name);
  struct stat st {};
  size_t capacity = 1 << 20;
  if (fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
    capacity = static_cast<size_t>(st.st_size);
  if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(capacity));
  size_t size = 0;
  bool failed = !psa;
  while (!failed) {
    void* p = nullptr;
    SafeArrayAccessData(psa, &p);
    size += std::fread(static_cast<char*>(p) + size, 1, capacity - size, in);
    int next = size == capacity ? std::fgetc(in) : EOF;  // more than the array holds?
    SafeArrayUnaccessData(psa);
    if (next == EOF) break;
    if (capacity == 0x7FFFFFFF) {
      failed = true;
      break;
    }
    capacity = std::min<size_t>(capacity ? capacity * 2 : 1 << 20, 0x7FFFFFFF);
    SAFEARRAYBOUND b = {static_cast<ULONG>(capacity), 0};
    failed = FAILED(SafeArrayRedim(psa, &b));
    if (!failed) {
      SafeArrayAccessData(psa, &p);
      static_cast<char*>(p)[size++] = static_cast<char>(next);
      SafeArrayUnaccessData(psa);
    }
  }
  failed = failed || std::ferror(in);
  if (in != stdin) std::fclose(in);
  if (!failed && size != capacity) {
    SAFEARRAYBOUND b = {static_cast<ULONG>(size), 0};
    failed = FAILED(SafeArrayRedim(psa, &b));
  }
  if (failed) {
    if (psa) SafeArrayDestroy(psa);
    throw std::runtime_error("cannot read " + name);
  }
  return psa;
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
  SAFEARRAY* body = ReadInput(o.input);
  TAcceptor* acc = new TAcceptor();
  acc->AddRef();
  acc->put_ProcessZIP(o.zip ? VARIANT_TRUE : VARIANT_FALSE);
  acc->put_ProcessDBF(o.dbf ? VARIANT_TRUE : VARIANT_FALSE);
  VARIANT request;
  VariantInit(&request);
  if (o.asString) {
    void* p = nullptr;
    LONG hi = -1;
    SafeArrayGetUBound(body, 1, &hi);
    SafeArrayAccessData(body, &p);
    request.vt = VT_BSTR;
    request.bstrVal = AnsiToBstr(std::string_view(static_cast<const char*>(p), size_t(hi + 1)));
    SafeArrayUnaccessData(body);
    SafeArrayDestroy(body);
  } else {
    request.vt = VT_ARRAY | VT_UI1;
    request.parray = body;
  }
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
    TBstr ansiName;
    acc->FileName(Index(i), ansiName.Out());
    std::string target = o.saveDir + "/" + SafeName(BstrToAnsi(ansiName.Get()), i, used);
    VARIANT_BOOL ok = VARIANT_FALSE;
    acc->FileSaveTo(Index(i), TBstr(AnsiToBstr(target)).Get(), &ok);
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
