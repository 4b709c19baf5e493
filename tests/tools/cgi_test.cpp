// qrvx cgi run as a web server runs it: the request in the environment, the
// body on standard input. Settings, refused requests, the answer page, the
// names files are saved under, and requests whose files cannot be kept.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "support/Multipart.h"
#include "support/Process.h"
#include "support/TempDir.h"

#if defined(QRVX_CLI) && !defined(_WIN32)
namespace {

using json = nlohmann::json;
using TEnv = std::map<std::string, std::string>;

struct TAnswer {
  int Status = 0;
  std::string Head, Body;
};

class Cgi : public ::testing::Test {
 protected:
  TTestDir dir{"qrvx_cgi_"};
  std::string up = (dir.Path / "up").string();
  void SetUp() override { std::filesystem::create_directory(up); }

  std::string Put(const std::string& name, const std::string& bytes) {
    std::string path = (dir.Path / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::vector<std::string> Saved() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(up))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Every variable the program reads is set (empty is as good as unset), so
  // nothing of the test's own environment leaks in. prefix runs before the
  // program in the same shell.
  TAnswer Run(const TEnv& env, const std::string& body = "", const std::string& prefix = "") {
    TEnv all = {{"REQUEST_METHOD", "POST"},
                {"CONTENT_TYPE", "multipart/form-data; boundary=B"},
                {"CONTENT_LENGTH", std::to_string(body.size())},
                {"HTTP_ACCEPT", ""},
                {"SCRIPT_NAME", "/up.cgi"},
                {"QRVX_UPLOAD_DIR", up},
                {"QRVX_PROCESS_ZIP", ""},
                {"QRVX_PROCESS_DBF", ""},
                {"QRVX_CHARSET", ""},
                {"QRVX_MAX_BODY", ""}};
    for (const auto& [k, v] : env) all[k] = v;
    std::string cmd = prefix + "exec env LANG=C.UTF-8";
    for (const auto& [k, v] : all) cmd += " " + k + "=" + ShellQuote(v);
    cmd += " " + std::string(QRVX_CLI) + " cgi < " + ShellQuote(Put("body", body));
    TRunResult r = RunCommand("sh -c " + ShellQuote(cmd));
    EXPECT_EQ(r.Code, 0) << "a CGI program answers every request and exits 0";
    TAnswer a;
    size_t end = r.Out.find("\r\n\r\n");
    if (r.Out.rfind("Status: ", 0) != 0 || end == std::string::npos) {
      ADD_FAILURE() << "no CGI header: " << r.Out;
      return a;
    }
    a.Status = std::stoi(r.Out.substr(8, 3));
    a.Head = r.Out.substr(0, end + 2);
    a.Body = r.Out.substr(end + 4);
    EXPECT_NE(a.Head.find("\r\nContent-Length: " + std::to_string(a.Body.size()) + "\r\n"),
              std::string::npos)
        << a.Head;
    return a;
  }
  json RunJson(TEnv env, const std::string& body) {
    env["HTTP_ACCEPT"] = "text/html, Application/JSON";
    TAnswer a = Run(env, body);
    EXPECT_EQ(a.Status, 200) << a.Body;
    return json::parse(a.Body, nullptr, false);
  }
};

const std::vector<TColumn> kGoods = {{"NAME", 'C', 6, 0}, {"PRICE", 'N', 5, 2}, {"OK", 'L', 1, 0}};
std::string Goods() {
  return DbfTable(kGoods, {" Tea    4.50T", " Milk       ?"});
}

// QRVX_PROCESS_ZIP and QRVX_PROCESS_DBF take the usual spellings of a
// switch; anything else, or an unknown charset, is a fault of the server's
// set-up, answered 500 with the variable named.
TEST_F(Cgi, SettingsTakeEverySpellingAndNameTheBadOnes) {
  Put("a.txt", "hello");
  ASSERT_EQ(RunCommand("cd " + ShellQuote(dir.Path.string()) + " && zip -q -X in.zip a.txt").Code,
            0);
  std::ifstream zip(dir.Path / "in.zip", std::ios::binary);
  std::string body = FilePart("z", "in.zip", std::string(std::istreambuf_iterator<char>(zip), {})) +
                     FilePart("t", "goods.dbf", Goods()) + kBodyEnd;
  for (const char* on : {"", "1", "true", " Yes ", "ON"}) {
    json doc = RunJson({{"QRVX_PROCESS_ZIP", on}, {"QRVX_PROCESS_DBF", on}}, body);
    EXPECT_EQ(doc["files"].size(), 3u) << on;
    EXPECT_EQ(doc["tables"].size(), 1u) << on;
  }
  for (const char* off : {"0", "false", "no", "Off"}) {
    json doc = RunJson({{"QRVX_PROCESS_ZIP", off}, {"QRVX_PROCESS_DBF", off}}, body);
    EXPECT_EQ(doc["files"].size(), 2u) << off;
    EXPECT_EQ(doc["tables"].size(), 0u) << off;
  }
  for (const char* name : {"QRVX_PROCESS_ZIP", "QRVX_PROCESS_DBF"}) {
    TAnswer a = Run({{name, "maybe"}}, body);
    EXPECT_EQ(a.Status, 500);
    EXPECT_NE(a.Body.find(std::string(name) + " must be 1 or 0."), std::string::npos) << a.Body;
  }
  for (const char* cs : {"windows-1251", "CP1251", " 1251"}) {
    TAnswer a = Run({{"REQUEST_METHOD", "GET"}, {"QRVX_CHARSET", cs}});
    EXPECT_EQ(a.Status, 200);
    EXPECT_NE(a.Head.find("Content-Type: text/html; charset=windows-1251\r\n"), std::string::npos);
    EXPECT_NE(a.Body.find("accept-charset=\"windows-1251\""), std::string::npos) << cs;
  }
  for (const char* cs : {"utf-8", "UTF8", "65001"}) {
    TAnswer a = Run({{"REQUEST_METHOD", "GET"}, {"QRVX_CHARSET", cs}});
    EXPECT_NE(a.Body.find("accept-charset=\"utf-8\""), std::string::npos) << cs;
  }
}

// Each request that cannot be served: its status and reason, the message as
// an HTML page (escaped) or as JSON, and nothing saved.
TEST_F(Cgi, RefusedRequestsAnswerTheirStatusAndSaveNothing) {
  std::string file = FilePart("f", "a.txt", "hello") + kBodyEnd;
  Put("plain", "x");
  struct TCase {
    TEnv Env;
    std::string Body;
    int Status;
    std::string Reason, Message;
  } cases[] = {
      {{{"REQUEST_METHOD", "PUT"}},
       file,
       405,
       "Method Not Allowed",
       "The method \"PUT\" is not served here; use GET or POST."},
      {{{"CONTENT_TYPE", "text/it's"}},
       file,
       415,
       "Unsupported Media Type",
       "Only multipart/form-data bodies are accepted, not \"text/it's\"."},
      {{{"CONTENT_LENGTH", ""}},
       file,
       411,
       "Length Required",
       "The request has no Content-Length."},
      {{{"CONTENT_LENGTH", "-5"}},
       file,
       400,
       "Bad Request",
       "The Content-Length \"-5\" is not a number."},
      {{{"CONTENT_LENGTH", "100"}},
       "--B--",
       400,
       "Bad Request",
       "The body ended after 5 of the 100 bytes announced."},
      {{{"QRVX_MAX_BODY", "10"}, {"CONTENT_LENGTH", "11"}},
       file,
       413,
       "Content Too Large",
       "The body of 11 bytes is larger than the limit of 10 bytes."},
      {{{"QRVX_UPLOAD_DIR", ""}},
       file,
       500,
       "Internal Server Error",
       "No upload directory is configured (QRVX_UPLOAD_DIR)."},
      {{{"QRVX_UPLOAD_DIR", up + "/missing"}},
       file,
       500,
       "Internal Server Error",
       "The upload directory does not exist."},
      {{{"QRVX_UPLOAD_DIR", (dir.Path / "plain").string()}},
       file,
       500,
       "Internal Server Error",
       "The upload directory does not exist."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    TAnswer page = Run(c.Env, c.Body);
    EXPECT_EQ(page.Status, c.Status);
    EXPECT_EQ(page.Head.substr(0, page.Head.find("\r\n")),
              "Status: " + std::to_string(c.Status) + " " + c.Reason);
    EXPECT_EQ(page.Head.find("Allow: GET, HEAD, POST\r\n") != std::string::npos, c.Status == 405);
    std::string escaped;
    for (char ch : c.Message)
      escaped += ch == '"' ? "&quot;" : ch == '\'' ? "&#39;" : std::string(1, ch);
    EXPECT_NE(page.Body.find("<p id=\"error\">" + escaped + "</p>"), std::string::npos)
        << page.Body;
    EXPECT_NE(page.Body.find("<a href=\"/up.cgi\">"), std::string::npos);

    TEnv asJson = c.Env;
    asJson["HTTP_ACCEPT"] = "application/json";
    TAnswer doc = Run(asJson, c.Body);
    EXPECT_EQ(doc.Status, c.Status);
    EXPECT_EQ(json::parse(doc.Body, nullptr, false),
              (json{{"status", c.Status}, {"error", c.Message}}));
    EXPECT_EQ(Saved(), std::vector<std::string>{});
  }
}

// Fields, files and tables on the answer page; the same as JSON.
TEST_F(Cgi, TheAnswerListsFieldsFilesAndTables) {
  std::string body = FieldPart("Note", "a<b") + FilePart("Doc", "C:\\Docs\\Hello.TXT", "hello") +
                     FilePart("T", "goods.dbf", Goods()) + kBodyEnd;
  TAnswer a = Run({}, body);
  ASSERT_EQ(a.Status, 200) << a.Body;
  EXPECT_NE(a.Head.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(a.Body.find("<tr><td class=\"name\">note</td><td class=\"value\">a&lt;b</td></tr>"),
            std::string::npos)
      << a.Body;
  EXPECT_NE(a.Body.find("<tr><td class=\"name\">hello.txt</td><td class=\"path\">c:\\docs\\</td>"
                        "<td class=\"field\">doc</td><td class=\"size\">5</td>"
                        "<td class=\"sha256\">2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e"
                        "73043362938b9824</td><td class=\"saved\">hello.txt</td></tr>"),
            std::string::npos)
      << a.Body;
  EXPECT_NE(a.Body.find("<h3>goods (field t, 2 rows)</h3>\n<table class=\"dbf\"><tr><th>name</th>"
                        "<th>price</th><th>ok</th></tr>\n<tr><td>Tea</td><td>4.5</td>"
                        "<td>true</td></tr>\n<tr><td>Milk</td><td></td><td></td></tr>\n</table>"),
            std::string::npos)
      << a.Body;
  EXPECT_EQ(Saved(), (std::vector<std::string>{"goods.dbf", "hello.txt"}));

  json doc = RunJson({}, body);
  EXPECT_EQ(doc["tables"][0]["rows"], json::parse(R"([["Tea",4.5,true],["Milk",null,null]])"));
  EXPECT_EQ(doc["files"][0]["saved_to"], up + "/hello-1.txt");
  EXPECT_EQ(doc["files"][1]["saved_to"], up + "/goods-1.dbf");
}

// Saved names are one visible path component of at most 200 bytes, cut at a
// character; a taken name gets a number. A name whose thousand numbered forms
// are all taken fails the request, and the files saved before it go too.
TEST_F(Cgi, SavedNamesAreSafeNumberedAndBounded) {
  std::string euros;
  for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC";  // U+20AC, 3 bytes
  std::string body = FilePart("a", "a.txt", "1") + FilePart("b", "a.txt", "2") +
                     FilePart("c", "readme", "3") + FilePart("d", "readme", "4") +
                     FilePart("e", ".profile", "5") + FilePart("f", "x\x01y\x7Fz", "6") +
                     FilePart("g", "x" + euros, "7") + FilePart("h", "notes.tar.gz", "8") +
                     FilePart("i", "notes.tar.gz", "9") + kBodyEnd;
  json doc = RunJson({}, body);
  std::vector<std::string> saved;
  for (const json& f : doc["files"]) saved.push_back(f["saved_to"]);
  std::string cut = "x" + euros.substr(0, 66 * 3);  // 199 bytes: the 200th is inside a character
  EXPECT_EQ(saved,
            (std::vector<std::string>{
                up + "/a.txt", up + "/a-1.txt", up + "/readme", up + "/readme-1", up + "/_profile",
                up + "/x_y_z", up + "/" + cut, up + "/notes.tar.gz", up + "/notes.tar-1.gz"}));
  EXPECT_EQ(Saved().size(), 9u);

  std::filesystem::remove_all(up);
  std::filesystem::create_directory(up);
  Put("up/z.txt", "");
  for (int n = 1; n < 1000; ++n) Put("up/z-" + std::to_string(n) + ".txt", "");
  TAnswer a = Run({{"HTTP_ACCEPT", "application/json"}},
                  FilePart("a", "first.txt", "1") + FilePart("b", "z.txt", "2") + kBodyEnd);
  EXPECT_EQ(a.Status, 500);
  EXPECT_EQ(json::parse(a.Body)["error"],
            "A received file could not be given a name in the upload directory.");
  EXPECT_EQ(Saved().size(), 1000u);
  EXPECT_FALSE(std::filesystem::exists(dir.Path / "up/first.txt"));
}

// A file the file system will not take whole (here past the process's file
// size limit, as on a full disk): the request fails and keeps nothing;
// receive --save-dir names the file, keeps the others and exits 1.
TEST_F(Cgi, AFileThatCannotBeWrittenWholeFailsTheRequest) {
  std::string body = FilePart("a", "small.txt", "hello") +
                     FilePart("b", "big.bin", std::string(3 << 20, 'x')) +
                     FilePart("c", "after.txt", "bye") + kBodyEnd;
  const std::string limit = "trap '' XFSZ; ulimit -f 2048; ";  // 1 or 2 MB, by the shell's unit
  TAnswer a = Run({{"HTTP_ACCEPT", "application/json"}}, body, limit);
  EXPECT_EQ(a.Status, 500);
  EXPECT_EQ(json::parse(a.Body)["error"],
            "A received file could not be written to the upload directory.");
  EXPECT_EQ(Saved(), std::vector<std::string>{});

  TRunResult r = RunCommand("sh -c " + ShellQuote(limit + "exec " + std::string(QRVX_CLI) +
                                                  " receive --save-dir " + up + " " +
                                                  (dir.Path / "body").string() + " 2>&1"));
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find("qrvx: could not save " + up + "/big.bin\n"), std::string::npos) << r.Out;
  EXPECT_TRUE(std::filesystem::exists(up + "/small.txt"));
  EXPECT_TRUE(std::filesystem::exists(up + "/after.txt"));
}

// Texts posted from a UTF-8 form are taken as they are when they are
// well-formed UTF-8, otherwise read in the ANSI code page (1252 here); a
// windows-1251 form's texts are read in 1251. The answer is UTF-8 either way.
TEST_F(Cgi, PostedTextIsTakenAsUtf8OnlyWhenItIsUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"\xC2\x80\xDF\xBF", "\xC2\x80\xDF\xBF"},  // U+0080, U+07FF
      {"\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBD", "\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBD"},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
       "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},                                  // U+10000, U+10FFFF
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                      // overlong
      {"\xE0\x9F\xBF", "\xC3\xA0\xC5\xB8\xC2\xBF"},                          // overlong
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},                      // a surrogate
      {"\xF0\x80\x80\x80", "\xC3\xB0\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},  // overlong
      {"\xF4\xA0\x80\x80", "\xC3\xB4\xC2\xA0\xE2\x82\xAC\xE2\x82\xAC"},      // past U+10FFFF
      {"\xF5\x80\x80\x80", "\xC3\xB5\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},  // no such lead byte
      {"\x80", "\xE2\x82\xAC"},                                              // a lone trail byte
      {"\xE2\x82", "\xC3\xA2\xE2\x80\x9A"},                                  // cut short
      {"\xE2\x28\xA1", "\xC3\xA2(\xC2\xA1"},                                 // bad third byte
      {"\xC3", "\xC3\x83"},                                                  // cut at the end
  };
  std::string body;
  for (const auto& c : cases) body += FieldPart("v", c.first);
  json doc = RunJson({}, body + kBodyEnd);
  ASSERT_EQ(doc["variables"].size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(doc["variables"][i]["value"], cases[i].second) << i;

  // "Привет" and a name with capitals, as a windows-1251 form posts them.
  doc = RunJson({{"QRVX_CHARSET", "windows-1251"}},
                FieldPart("\xC8\xEC\xFF", "\xCF\xF0\xE8\xE2\xE5\xF2") + kBodyEnd);
  EXPECT_EQ(doc["variables"][0]["name"], "\xD0\xB8\xD0\xBC\xD1\x8F");
  EXPECT_EQ(doc["variables"][0]["value"], "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
}

// An upload directory whose name is not UTF-8 is served: the saved path in
// the JSON answer carries a replacement character, the file is kept.
TEST_F(Cgi, AnUploadDirectoryNamedInAnotherEncoding) {
  std::string odd = (dir.Path / "up\xFF").string();
  std::filesystem::create_directory(odd);
  json doc = RunJson({{"QRVX_UPLOAD_DIR", odd}}, FilePart("f", "a.txt", "hello") + kBodyEnd);
  EXPECT_EQ(doc["files"][0]["saved_to"], (dir.Path / "up\xEF\xBF\xBD/a.txt").string());
  EXPECT_TRUE(std::filesystem::exists(odd + "/a.txt"));
}

}  // namespace
#endif
