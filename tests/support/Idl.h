// The members of IAcceptor as receiver/qrvx.idl declares them, in the order
// of the declarations (the vtable order): each is an attribute list followed
// by "HRESULT Name(parameters);".
#pragma once

#include <regex>
#include <string>
#include <vector>

struct TIdlParam {
  std::string Attributes;  // "in", "out, retval"
  std::string Type;        // "VARIANT", "long", "BSTR", "VARIANT_BOOL"
  bool Pointer = false;
  std::string Name;  // empty for the unnamed value of a property put
};

struct TIdlMember {
  std::string Name;
  int Id = -1;
  bool Get = false, Put = false;  // propget, propput; neither: a method
  bool HasHelp = false;
  std::string Help;  // the help string, its escapes undone
  std::vector<TIdlParam> Params;
};

namespace idl_detail {

// The end of the quoted string that starts at s[at] (the index after it).
inline size_t SkipString(const std::string& s, size_t at) {
  for (++at; at < s.size() && s[at] != '"'; ++at)
    if (s[at] == '\\') ++at;
  return at + 1;
}

inline std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) ++i;
    out += s[i];
  }
  return out;
}

}  // namespace idl_detail

// Empty when the interface is not found.
inline std::vector<TIdlMember> IdlMembers(const std::string& idl) {
  using namespace idl_detail;
  std::vector<TIdlMember> out;
  size_t at = idl.find("interface IAcceptor : IDispatch");
  if (at == std::string::npos) return out;
  at = idl.find('{', at);
  if (at == std::string::npos) return out;
  static const std::regex decl(R"(^\s*HRESULT\s+(\w+)\s*\(([^)]*)\)\s*;)");
  static const std::regex id(R"(\bid\((\d+)\))");
  static const std::regex param(R"(^\s*\[([^\]]*)\]\s*(\w+)\s*(\*?)\s*(\w*)\s*$)");
  for (++at; at < idl.size();) {
    size_t open = idl.find_first_not_of(" \t\r\n", at);
    if (open == std::string::npos || idl[open] != '[') break;
    // The attribute list, with its strings taken out.
    std::string attrs, help;
    bool hasHelp = false;
    size_t i = open + 1;
    while (i < idl.size() && idl[i] != ']') {
      if (idl[i] == '"') {
        size_t end = SkipString(idl, i);
        if (attrs.size() >= 11 && attrs.compare(attrs.size() - 11, 11, "helpstring(") == 0) {
          hasHelp = true;
          help = Unescape(idl.substr(i + 1, end - i - 2));
        }
        attrs += "\"\"";
        i = end;
      } else {
        attrs += idl[i++];
      }
    }
    std::smatch m;
    std::string rest = idl.substr(i + 1);
    if (!std::regex_search(rest, m, decl)) break;
    TIdlMember member;
    member.Name = m[1];
    std::smatch im;
    if (std::regex_search(attrs, im, id)) member.Id = std::stoi(im[1]);
    member.Get = attrs.find("propget") != std::string::npos;
    member.Put = attrs.find("propput") != std::string::npos;
    member.HasHelp = hasHelp;
    member.Help = help;
    const std::string params = m[2];
    size_t from = 0;
    while (from < params.size() && params.find_first_not_of(" \t\r\n", from) != std::string::npos) {
      size_t comma = params.find(',', params.find(']', from));
      std::string p = params.substr(from, comma == std::string::npos ? comma : comma - from);
      std::smatch pm;
      if (!std::regex_match(p, pm, param)) break;
      member.Params.push_back({pm[1], pm[2], pm[3] == "*", pm[4]});
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
    out.push_back(member);
    at = i + 1 + size_t(m.position(0) + m.length(0));
  }
  return out;
}
