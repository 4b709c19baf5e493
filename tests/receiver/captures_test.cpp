// Bodies captured from real browsers (tests/data/multipart, see PROVENANCE.md),
// read the way this receiver reads them: names folded, file names split at
// "\" and ":".
#include <gtest/gtest.h>

#include "receiver/Acceptors.h"
#include "support/Automation.h"

namespace {

struct Received {
  std::vector<std::pair<std::string, std::string>> vars;  // name, value
  struct File {
    std::string field, name, path, bytes;
  };
  std::vector<File> files;
};

Received Receive(const std::string& body) {
  TAcceptor acc;
  Var v;
  SetBytes(&v, body);
  EXPECT_EQ(acc.ProcessRequest(v), S_OK);
  Received r;
  for (const TVarInfo& x : acc.Vars()) r.vars.emplace_back(x.Name, x.Value);
  for (const TFileInfo& f : acc.Files())
    r.files.push_back({f.VarName, f.FileName, f.FilePath,
                       std::string(reinterpret_cast<const char*>(f.Data->Memory()),
                                   static_cast<size_t>(f.Data->GetSize()))});
  return r;
}

// The body of a complete HTTP request: what follows the first empty line.
std::string HttpBody(const std::string& request) {
  size_t at = request.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : request.substr(at + 4);
}

}  // namespace

TEST(BrowserCaptures, TwoImagesAndATextField) {
  const struct {
    const char* dir;
    const char* file1;
    const char* file2;
    std::string text;
  } captures[] = {
      {"firefox3-2png1txt", "anchor.png", "application_edit.png", "example text"},
      {"firefox3-2pnglongtext", "accept.png", "add.png",
       "--long text\r\n--with boundary\r\n--lookalikes--"},
      {"opera8-2png1txt", "arrow_branch.png", "award_star_bronze_1.png",
       "blafasel \xC3\xB6\xC3\xA4\xC3\xBC"},
      {"webkit3-2png1txt", "gtk-apply.png", "gtk-no.png",
       "this is another text with \xC3\xBCml\xC3\xA4\xC3\xBCts"},
      {"ie6-2png1txt", "file1.png", "file2.png", "ie6 sucks :-/"},
  };
  for (const auto& c : captures) {
    SCOPED_TRACE(c.dir);
    std::string dir = DataPath(std::string("multipart/werkzeug/") + c.dir + "/");
    Received r = Receive(ReadWholeFile(dir + "request.http"));
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[0].field, "file1");
    EXPECT_EQ(r.files[0].name, c.file1);
    EXPECT_EQ(r.files[0].path, "");
    EXPECT_EQ(r.files[0].bytes, ReadWholeFile(dir + "file1.png"));
    EXPECT_EQ(r.files[1].field, "file2");
    EXPECT_EQ(r.files[1].name, c.file2);
    EXPECT_EQ(r.files[1].bytes, ReadWholeFile(dir + "file2.png"));
    ASSERT_EQ(r.vars.size(), 1u);
    EXPECT_EQ(r.vars[0].first, "text");
    EXPECT_EQ(r.vars[0].second, c.text);
  }
}

// Internet Explorer 7's capture lost its CR bytes upstream: without a CR LF
// the whole body is the delimiter line, and nothing is received.
TEST(BrowserCaptures, LineFeedOnlyBodyRecordsNothing) {
  Received r = Receive(ReadWholeFile(DataPath("multipart/werkzeug/ie7_full_path_request.http")));
  EXPECT_TRUE(r.vars.empty());
  EXPECT_TRUE(r.files.empty());
}

TEST(BrowserCaptures, SpecialCharactersInFileNames) {
  const std::string webkit = " ? % * | %22 < > . ? ; ' @ # $ ^ & ( ) - _ = + { } [ ] ` ~.txt";
  const struct {
    const char* file;
    std::string name, path;
  } captures[] = {
      {"osx-chrome-13.http", webkit, ": \\"},
      {"osx-safari-5.http", webkit, ": \\"},
      {"xp-chrome-12.http", webkit, ""},
      {"xp-safari-5.http", webkit, ""},
      // An unescaped quote inside the quoted name cuts it there.
      {"osx-firefox-3.6.http", " ? % * | ", ": \\"},
      {"xp-ie-7.http", " ? % * | ", ""},
      {"xp-ie-8.http", " ? % * | ", ""},
  };
  for (const auto& c : captures) {
    SCOPED_TRACE(c.file);
    Received r = Receive(HttpBody(
        ReadWholeFile(DataPath(std::string("multipart/formidable/odd-file-names/") + c.file))));
    ASSERT_EQ(r.vars.size(), 1u);
    EXPECT_EQ(r.vars[0].first, "title");
    EXPECT_EQ(r.vars[0].second, "Weird filename");
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].field, "upload");
    EXPECT_EQ(r.files[0].name, c.name);
    EXPECT_EQ(r.files[0].path, c.path);
  }
}

TEST(BrowserCaptures, Base64FilePartsDecodeToTheUploadedFiles) {
  for (const char* f :
       {"beta-sticker-1.png", "binaryfile.tar.gz", "blank.gif", "menu_separator.png"}) {
    SCOPED_TRACE(f);
    std::string dir = DataPath("multipart/formidable/encoding/");
    Received r = Receive(HttpBody(ReadWholeFile(dir + f + ".http")));
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].name, f);
    EXPECT_EQ(r.files[0].bytes, ReadWholeFile(dir + f));
  }
}
