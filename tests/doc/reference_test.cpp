// The reference page documents the interface the type library declares:
// every member with its dispatch identifier, kind and named parameters, a
// result, an empty result and an example; and the sample page calls only
// members that exist.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/Idl.h"

namespace {

std::string ReadSource(const std::string& relative) {
  std::ifstream in(std::string(QRVX_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct TMember {
  int dispid = -1;
  bool method = false, get = false, put = false;
  std::set<std::string> params;  // named [in] parameters
};

// The members of IAcceptor by name, a property's get and put as one.
std::map<std::string, TMember> IdlMembersByName(const std::string& idl) {
  std::map<std::string, TMember> out;
  for (const TIdlMember& d : IdlMembers(idl)) {
    TMember& m = out[d.Name];
    m.dispid = d.Id;
    m.get |= d.Get;
    m.put |= d.Put;
    m.method |= !d.Get && !d.Put;
    for (const TIdlParam& p : d.Params)
      if (p.Attributes == "in" && !p.Name.empty()) m.params.insert(p.Name);
  }
  return out;
}

// Everything wrong with the page's account of the members.
std::vector<std::string> Problems(const std::map<std::string, TMember>& idl,
                                  const std::string& page) {
  std::vector<std::string> out;
  static const std::regex heading(R"re(<h3 id="(\w+)">(\w+)</h3>)re");
  std::map<std::string, std::string> sections;
  for (std::sregex_iterator it(page.begin(), page.end(), heading), end; it != end; ++it) {
    size_t start = it->position() + it->length();
    size_t next = std::min(page.find("<h3", start), page.find("<h2", start));
    if ((*it)[1] != (*it)[2]) out.push_back((*it)[1].str() + ": anchor and title differ");
    sections[(*it)[1]] = page.substr(start, next == std::string::npos ? next : next - start);
  }
  for (const auto& [name, m] : idl) {
    auto s = sections.find(name);
    if (s == sections.end()) {
      out.push_back(name + ": not documented");
      continue;
    }
    const std::string& text = s->second;
    std::smatch v;
    if (!std::regex_search(text, v, std::regex(R"(<th>Dispatch id</th><td>(\d+)</td>)")) ||
        std::stoi(v[1]) != m.dispid)
      out.push_back(name + ": dispatch id is not " + std::to_string(m.dispid));
    std::string kind = m.method         ? "method"
                       : m.get && m.put ? "property (read and write)"
                       : m.get          ? "property (read only)"
                                        : "property (write only)";
    if (text.find("<th>Kind</th><td>" + kind + "</td>") == std::string::npos)
      out.push_back(name + ": kind is not " + kind);
    std::set<std::string> documented;
    static const std::regex param(R"re(<code class="param">(\w+)</code>)re");
    for (std::sregex_iterator it(text.begin(), text.end(), param), end; it != end; ++it)
      documented.insert((*it)[1]);
    if (documented != m.params) out.push_back(name + ": parameters differ");
    for (const char* row : {"<th>Parameters</th>", "<th>Result</th>", "<th>Empty result</th>"})
      if (text.find(row) == std::string::npos) out.push_back(name + ": no " + row);
    if (text.find("<pre>") == std::string::npos) out.push_back(name + ": no example");
    if (page.find("<a href=\"#" + name + "\">") == std::string::npos)
      out.push_back(name + ": not in the contents");
  }
  for (const auto& [name, text] : sections)
    if (!idl.count(name)) out.push_back(name + ": documented but not in the interface");
  return out;
}

TEST(Reference, DocumentsEveryMemberOfTheInterface) {
  auto idl = IdlMembersByName(ReadSource("receiver/qrvx.idl"));
  ASSERT_EQ(idl.size(), 23u) << "IAcceptor's members as the IDL declares them";
  EXPECT_EQ(idl["DBFRow"].dispid, 12);
  EXPECT_TRUE(idl["DBFRow"].get && idl["DBFRow"].put && !idl["DBFRow"].method);
  EXPECT_EQ(idl["FileRead"].params, (std::set<std::string>{"FileID", "StartPos", "Size"}));
  EXPECT_TRUE(idl["ProcessZIP"].params.empty()) << "the put's value is unnamed";

  std::string page = ReadSource("doc/Default.htm");
  for (const std::string& p : Problems(idl, page)) ADD_FAILURE() << p;
}

// The check finds what a stale page gets wrong.
TEST(Reference, ACheckOfAStalePageNamesWhatIsWrong) {
  auto idl = IdlMembersByName(ReadSource("receiver/qrvx.idl"));
  std::string page = ReadSource("doc/Default.htm");
  // One member's section gone, another's dispatch identifier and parameter changed.
  size_t a = page.find("<h3 id=\"FileReadText\">");
  size_t b = page.find("<h3", a + 1);
  ASSERT_NE(a, std::string::npos);
  page.erase(a, b - a);
  size_t d = page.find("<th>Dispatch id</th><td>3</td>");
  ASSERT_NE(d, std::string::npos);
  page.replace(d, 30, "<th>Dispatch id</th><td>33</td>");
  size_t p = page.find("<code class=\"param\">StartPos</code>");
  page.replace(p, 35, "<code class=\"param\">Start</code>");
  page += "<h3 id=\"FileDelete\">FileDelete</h3>";
  std::vector<std::string> problems = Problems(idl, page);
  std::set<std::string> got(problems.begin(), problems.end());
  EXPECT_EQ(got,
            (std::set<std::string>{"FileReadText: not documented", "DBFName: dispatch id is not 3",
                                   "FileRead: parameters differ",
                                   "FileDelete: documented but not in the interface"}));
}

TEST(Reference, TheSamplePageCallsOnlyMembersOfTheInterface) {
  auto idl = IdlMembersByName(ReadSource("receiver/qrvx.idl"));
  std::string asp = ReadSource("doc/Upload.asp");
  static const std::regex call(R"(\bup\.(\w+))");
  std::set<std::string> called;
  for (std::sregex_iterator it(asp.begin(), asp.end(), call), end; it != end; ++it)
    called.insert((*it)[1]);
  EXPECT_GE(called.size(), 18u);
  for (const std::string& name : called) EXPECT_TRUE(idl.count(name)) << name;
  EXPECT_NE(asp.find("Server.CreateObject(\"QRVX.Acceptor\")"), std::string::npos);
}

}  // namespace
