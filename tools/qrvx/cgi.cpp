// qrvx cgi: a CGI/1.1 program (RFC 3875) that receives uploads the way an
// Active Server Pages script does, through the members of IAcceptor.
//
//   GET, HEAD  the upload form
//   POST       a multipart/form-data body, exactly CONTENT_LENGTH bytes read
//              from standard input into a byte array for ProcessRequest;
//              every received file saved into the upload directory; the
//              answer lists fields, files and tables (HTML, or with
//              "Accept: application/json" the JSON of qrvx receive --json)
//
// Settings come from the environment the web server passes (see
// ReadSettings). A request that cannot be served gets its HTTP status and a
// short page, and nothing of it stays in the upload directory.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "automation_text.h"
#include "commands.h"
#include "common/Ascii.h"
#include "common/AutoHolders.h"
#include "receiver/Acceptors.h"

namespace {

// The largest body a byte array (and FileSize, a long) can describe.
constexpr uint64_t kMaxBodyCeiling = 0x7FFFFFFF;
constexpr uint64_t kDefaultMaxBody = 256u << 20;
// Read from standard input in slices of this size.
constexpr size_t kReadSlice = 1 << 20;
// Numbered names tried before giving up on a file name ("a.txt", "a-1.txt",
// ... "a-999.txt"): bounds the work per file whatever the directory holds.
constexpr int kNameTries = 1000;
// Longest saved name, in bytes (file systems allow 255).
constexpr size_t kMaxNameBytes = 200;

struct HttpError {
  int status;
  std::string message;
};

struct Settings {
  std::string uploadDir;
  bool zip = true, dbf = true;
  bool cp1251 = false;  // the form in windows-1251 rather than UTF-8
  uint64_t maxBody = kDefaultMaxBody;
};

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// A decimal count: digits only, no sign, no overflow (RFC 3875 4.1.2).
bool ParseCount(const std::string& s, uint64_t* out) {
  if (s.empty() || s.size() > 18) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *out = v;
  return true;
}

bool ParseSwitch(const char* name, bool* out) {
  std::string v = LowerAscii(Trim(Env(name)));
  if (v.empty()) return true;
  if (v == "1" || v == "true" || v == "yes" || v == "on") {
    *out = true;
  } else if (v == "0" || v == "false" || v == "no" || v == "off") {
    *out = false;
  } else {
    return false;
  }
  return true;
}

//   QRVX_UPLOAD_DIR   the directory received files are saved in (must exist)
//   QRVX_PROCESS_ZIP  1 or 0: unpack received ZIP archives (default 1)
//   QRVX_PROCESS_DBF  1 or 0: open received dBase tables (default 1)
//   QRVX_CHARSET      utf-8 (default) or windows-1251: the form's encoding
//   QRVX_MAX_BODY     the largest body accepted, in bytes (default 256 MiB)
Settings ReadSettings() {
  Settings s;
  s.uploadDir = Env("QRVX_UPLOAD_DIR");
  if (!ParseSwitch("QRVX_PROCESS_ZIP", &s.zip))
    throw HttpError{500, "QRVX_PROCESS_ZIP must be 1 or 0."};
  if (!ParseSwitch("QRVX_PROCESS_DBF", &s.dbf))
    throw HttpError{500, "QRVX_PROCESS_DBF must be 1 or 0."};
  std::string cs = LowerAscii(Trim(Env("QRVX_CHARSET")));
  if (cs == "windows-1251" || cs == "cp1251" || cs == "1251") {
    s.cp1251 = true;
  } else if (!cs.empty() && cs != "utf-8" && cs != "utf8" && cs != "65001") {
    throw HttpError{500, "QRVX_CHARSET must be utf-8 or windows-1251."};
  }
  std::string limit = Trim(Env("QRVX_MAX_BODY"));
  if (!limit.empty() && (!ParseCount(limit, &s.maxBody) || s.maxBody > kMaxBodyCeiling))
    throw HttpError{500, "QRVX_MAX_BODY must be a number of bytes up to 2147483647."};
  return s;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    default: return "Internal Server Error";
  }
}

std::string HtmlEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

bool WantsJson() {
  return LowerAscii(Env("HTTP_ACCEPT")).find("application/json") != std::string::npos;
}

// The CGI response: a Status header, the other headers, then the body
// (none for HEAD).
void Respond(int status, const std::string& contentType, const std::string& body,
             const std::string& extraHeaders = "") {
  std::printf("Status: %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n%s\r\n", status,
              Reason(status), contentType.c_str(), body.size(), extraHeaders.c_str());
  if (Env("REQUEST_METHOD") != "HEAD") std::fwrite(body.data(), 1, body.size(), stdout);
  std::fflush(stdout);
}

const char kStyle[] =
    "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse;margin:.5em "
    "0 1.5em}td,th{border:1px solid #999;padding:.2em .5em;text-align:left;vertical-align:top}"
    "td.value{white-space:pre-wrap}td.sha256{font-family:monospace;font-size:.85em}label{display:"
    "block;margin:.6em 0}</style>";

void RespondError(const HttpError& e) {
  std::string title = std::to_string(e.status) + " " + Reason(e.status);
  std::string extra = e.status == 405 ? "Allow: GET, HEAD, POST\r\n" : "";
  if (WantsJson()) {
    nlohmann::ordered_json doc = {{"status", e.status}, {"error", e.message}};
    Respond(e.status, "application/json", doc.dump(2) + "\n", extra);
    return;
  }
  std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                     title + "</title>" + kStyle + "</head><body>\n<h1>" + title +
                     "</h1>\n<p id=\"error\">" + HtmlEscape(e.message) +
                     "</p>\n<p>Nothing was saved. <a href=\"" + HtmlEscape(Env("SCRIPT_NAME")) +
                     "\">Back to the upload form</a></p>\n</body></html>\n";
  Respond(e.status, "text/html; charset=utf-8", page, extra);
}

// The upload form, with the fields of the documentation's sample page (and
// a second file). Its text is ASCII, the same bytes in either encoding; the
// declared charset tells the browser how to encode what the user types.
void RespondForm(const Settings& s) {
  const char* charset = s.cp1251 ? "windows-1251" : "utf-8";
  std::string action = HtmlEscape(Env("SCRIPT_NAME"));
  std::string page =
      std::string("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"") + charset +
      "\"><title>QRVX upload</title>" + kStyle +
      "</head><body>\n<h1>Send files to QRVX</h1>\n"
      "<form method=\"post\" action=\"" +
      action + "\" enctype=\"multipart/form-data\" accept-charset=\"" + charset +
      "\">\n"
      "<label>Your name: <input type=\"text\" name=\"Customer\" size=\"40\"></label>\n"
      "<label>Comment: <textarea name=\"Comment\" rows=\"4\" "
      "cols=\"40\"></textarea></label>\n"
      "<label>A file: <input type=\"file\" name=\"Attachment\"></label>\n"
      "<label>Another file: <input type=\"file\" name=\"Attachment2\"></label>\n"
      "<label>A ZIP archive: <input type=\"file\" name=\"Archive\"></label>\n"
      "<label>A dBase table: <input type=\"file\" name=\"Table\"></label>\n"
      "<p><input type=\"submit\" value=\"Send\"></p>\n"
      "</form>\n</body></html>\n";
  Respond(200, std::string("text/html; charset=") + charset, page);
}

// The body, exactly `length` bytes of standard input, as the byte array a
// script passes to ProcessRequest. Fewer bytes mean the client went away.
SAFEARRAY* ReadBody(uint64_t length) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(length));
  if (!sa)
    throw HttpError{500, "Not enough memory for a body of " + std::to_string(length) + " bytes."};
  void* p = nullptr;
  SafeArrayAccessData(sa, &p);
  auto* data = static_cast<unsigned char*>(p);
  uint64_t got = 0;
  while (got < length) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(length - got, kReadSlice));
    ssize_t n = read(STDIN_FILENO, data + got, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<uint64_t>(n);
  }
  SafeArrayUnaccessData(sa);
  if (got < length) {
    SafeArrayDestroy(sa);
    throw HttpError{400, "The body ended after " + std::to_string(got) + " of the " +
                             std::to_string(length) + " bytes announced."};
  }
  return sa;
}

// A name to save a received file under: one path component, no control
// characters, not hidden (no leading dot, so never "." or ".."), at most
// kMaxNameBytes bytes cut at a character boundary.
std::string DiskName(const std::string& utf8) {
  std::string s;
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    s += (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') ? '_' : ch;
  }
  if (s.size() > kMaxNameBytes) {
    size_t n = kMaxNameBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
  }
  if (!s.empty() && s[0] == '.') s[0] = '_';
  return s.empty() ? "file" : s;
}

// "a.txt" for try 0, then "a-1.txt", "a-2.txt", ...
std::string Numbered(const std::string& name, int n) {
  if (n == 0) return name;
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}

// Files of one request: each written under a temporary name and renamed
// into place, so no half-written file is ever visible. Unless Commit is
// called, whatever was placed is removed again.
class UploadDir {
 public:
  explicit UploadDir(std::string dir) : FDir(std::move(dir)) {}
  UploadDir(const UploadDir&) = delete;
  UploadDir& operator=(const UploadDir&) = delete;
  ~UploadDir() {
    if (FCommitted) return;
    for (const std::string& p : FPlaced) unlink(p.c_str());
  }

  // Whether a file can be created here at all (checked before the body is read).
  void Check() const {
    struct stat st;
    if (FDir.empty()) throw HttpError{500, "No upload directory is configured (QRVX_UPLOAD_DIR)."};
    if (stat(FDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw HttpError{500, "The upload directory does not exist."};
    std::string probe = Temporary();
    unlink(probe.c_str());
  }

  // Saves received file i through FileSaveTo; answers the path it got.
  std::string Save(IAcceptor& acc, LONG i, const std::string& name) {
    std::string tmp = Temporary();
    VARIANT id;
    id.vt = VT_I4;
    id.lVal = i;
    VARIANT_BOOL ok = VARIANT_FALSE;
    acc.FileSaveTo(id, TBstr(AnsiToBstr(tmp)).Get(), &ok);
    if (!ok) {
      unlink(tmp.c_str());
      throw HttpError{500, "A received file could not be written to the upload directory."};
    }
    for (int n = 0; n < kNameTries; ++n) {
      std::string path = FDir + "/" + Numbered(name, n);
      if (Place(tmp, path)) {
        FPlaced.push_back(path);
        return path;
      }
      if (errno != EEXIST) break;
    }
    unlink(tmp.c_str());
    throw HttpError{500, "A received file could not be given a name in the upload directory."};
  }

  void Commit() { FCommitted = true; }

 private:
  // A fresh, empty file of a unique hidden name.
  std::string Temporary() const {
    std::string t = FDir + "/.qrvx-XXXXXX";
    int fd = mkstemp(t.data());
    if (fd < 0) throw HttpError{500, "The upload directory cannot be written."};
    // mkstemp makes it private; a saved file gets the usual mode.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    return t;
  }

  // Renames tmp to path unless path exists (errno EEXIST then).
  static bool Place(const std::string& tmp, const std::string& path) {
    if (renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
      return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without RENAME_NOREPLACE: link fails on an existing name too.
    if (link(tmp.c_str(), path.c_str()) != 0) return false;
    unlink(tmp.c_str());
    return true;
  }

  std::string FDir;
  std::vector<std::string> FPlaced;
  bool FCommitted = false;
};

std::string CellText(const nlohmann::ordered_json& v) {
  if (v.is_null()) return "";
  if (v.is_string()) return v.get<std::string>();
  return v.dump();
}

std::string ResultPage(const nlohmann::ordered_json& doc) {
  std::string h =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>QRVX: "
      "received</title>";
  h += kStyle;
  h += "</head><body>\n<h1>Received</h1>\n";
  h += "<h2>Fields (" + std::to_string(doc["variables"].size()) + ")</h2>\n";
  h += "<table id=\"fields\"><tr><th>Name</th><th>Value</th></tr>\n";
  for (const auto& v : doc["variables"])
    h += "<tr><td class=\"name\">" + HtmlEscape(v["name"].get<std::string>()) +
         "</td><td class=\"value\">" + HtmlEscape(v["value"].get<std::string>()) + "</td></tr>\n";
  h += "</table>\n<h2>Files (" + std::to_string(doc["files"].size()) + ")</h2>\n";
  h += "<table id=\"files\"><tr><th>Name</th><th>Path</th><th>Field</th><th>Size</th>"
       "<th>SHA-256</th><th>Saved as</th></tr>\n";
  for (const auto& f : doc["files"]) {
    std::string saved = f.value("saved_to", "");
    saved = saved.substr(saved.rfind('/') + 1);
    h += "<tr><td class=\"name\">" + HtmlEscape(f["name"].get<std::string>()) +
         "</td><td class=\"path\">" + HtmlEscape(f["path"].get<std::string>()) +
         "</td><td class=\"field\">" + HtmlEscape(f["field"].get<std::string>()) +
         "</td><td class=\"size\">" + std::to_string(f["size"].get<long>()) +
         "</td><td class=\"sha256\">" + f["sha256"].get<std::string>() +
         "</td><td class=\"saved\">" + HtmlEscape(saved) + "</td></tr>\n";
  }
  h += "</table>\n<h2>Tables (" + std::to_string(doc["tables"].size()) + ")</h2>\n";
  for (const auto& t : doc["tables"]) {
    h += "<h3>" + HtmlEscape(t["name"].get<std::string>()) + " (field " +
         HtmlEscape(t["field"].get<std::string>()) + ", " + std::to_string(t["rows"].size()) +
         " rows)</h3>\n<table class=\"dbf\"><tr>";
    for (const auto& c : t["columns"]) h += "<th>" + HtmlEscape(c.get<std::string>()) + "</th>";
    h += "</tr>\n";
    for (const auto& r : t["rows"]) {
      h += "<tr>";
      for (const auto& cell : r) h += "<td>" + HtmlEscape(CellText(cell)) + "</td>";
      h += "</tr>\n";
    }
    h += "</table>\n";
  }
  h += "<p><a href=\"" + HtmlEscape(Env("SCRIPT_NAME")) + "\">Send more</a></p>\n</body></html>\n";
  return h;
}

// Owns the automation objects of one request.
struct Request {
  TAcceptor* acc = nullptr;
  SAFEARRAY* body = nullptr;
  ~Request() {
    if (body) SafeArrayDestroy(body);
    if (acc) acc->Release();
  }
};

void HandlePost(const Settings& s) {
  std::string type = LowerAscii(Trim(Env("CONTENT_TYPE").substr(0, Env("CONTENT_TYPE").find(';'))));
  if (type != "multipart/form-data")
    throw HttpError{
        415, "Only multipart/form-data bodies are accepted, not \"" + Env("CONTENT_TYPE") + "\"."};
  std::string lengthText = Trim(Env("CONTENT_LENGTH"));
  uint64_t length = 0;
  if (lengthText.empty()) throw HttpError{411, "The request has no Content-Length."};
  if (!ParseCount(lengthText, &length))
    throw HttpError{400, "The Content-Length \"" + lengthText + "\" is not a number."};
  // Refused before a byte of the body is read.
  if (length > s.maxBody)
    throw HttpError{413, "The body of " + std::to_string(length) +
                             " bytes is larger than the limit of " + std::to_string(s.maxBody) +
                             " bytes."};
  UploadDir dir(s.uploadDir);
  dir.Check();

  Request r;
  r.body = ReadBody(length);
  r.acc = new TAcceptor();
  r.acc->AddRef();
  r.acc->put_ProcessZIP(s.zip ? VARIANT_TRUE : VARIANT_FALSE);
  r.acc->put_ProcessDBF(s.dbf ? VARIANT_TRUE : VARIANT_FALSE);
  VARIANT request;
  request.vt = VT_ARRAY | VT_UI1;
  request.parray = r.body;
  HRESULT hr = r.acc->ProcessRequest(request);
  SafeArrayDestroy(r.body);
  r.body = nullptr;
  if (FAILED(hr)) throw HttpError{500, "The request could not be processed."};

  nlohmann::ordered_json doc = ReceivedAsJson(*r.acc, s.cp1251 ? TakeUtf8 : TakePostedUtf8);
  // A web server stops the program with SIGTERM when the client goes away;
  // held off while files are placed, it makes the request save nothing.
  sigset_t stops, old;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, &old);
  auto& files = doc["files"];
  for (size_t i = 0; i < files.size(); ++i) {
    std::string name = DiskName(files[i]["name"].get<std::string>());
    files[i]["saved_to"] = dir.Save(*r.acc, static_cast<LONG>(i), name);
  }
  sigset_t pending;
  sigpending(&pending);
  bool stopped = false;
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) stopped = stopped || sigismember(&pending, sig) == 1;
  if (stopped) throw HttpError{400, "The request was stopped before it was answered."};
  // The answer is made before the files are kept, so that a failure here
  // too leaves nothing behind. The saved paths hold the upload directory's
  // own bytes, which need not be UTF-8.
  bool json = WantsJson();
  std::string answer =
      json ? doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n"
           : ResultPage(doc);
  dir.Commit();
  sigprocmask(SIG_SETMASK, &old, nullptr);
  Respond(200, json ? "application/json" : "text/html; charset=utf-8", answer);
}

int RunCgi() {
  // A client that goes away while the answer is written is not a fault.
  signal(SIGPIPE, SIG_IGN);
  try {
    Settings s = ReadSettings();
    // Table texts and, with the windows-1251 form, everything posted is in
    // code page 1251.
    if (s.cp1251) QrvxSetSystemLocale("ru_RU");
    std::string method = Env("REQUEST_METHOD");
    if (method == "GET" || method == "HEAD") {
      RespondForm(s);
    } else if (method == "POST") {
      HandlePost(s);
    } else {
      throw HttpError{405, "The method \"" + method + "\" is not served here; use GET or POST."};
    }
  } catch (const HttpError& e) {
    RespondError(e);
  } catch (const std::exception& e) {
    RespondError(HttpError{500, e.what()});
  }
  return 0;
}

}  // namespace

void AddCgiCommand(CLI::App& app) {
  CLI::App* cmd = app.add_subcommand(
      "cgi", "Serve the upload form and receive uploads as a CGI/1.1 program (see README)");
  cmd->callback([]() {
    if (int rc = RunCgi()) throw CLI::RuntimeError(rc);
  });
}
