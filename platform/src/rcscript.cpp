// Resource scripts: the DIALOG and ICON statements of a program's .rc file,
// read the way the resource compiler reads them, become the program's
// RT_DIALOG and RT_GROUP_ICON resources.
//
// Format notes (the subset the stand-in accepts):
//   name DIALOG x, y, cx, cy       then STYLE expr, CAPTION "text",
//                                  FONT size, "name", EXSTYLE expr
//   BEGIN (or {) control statements END (or })
//   PUSHBUTTON | DEFPUSHBUTTON | CHECKBOX | AUTOCHECKBOX | GROUPBOX |
//   LTEXT | CTEXT | RTEXT   "text", id, x, y, cx, cy [, style [, exstyle]]
//   EDITTEXT                id, x, y, cx, cy [, style [, exstyle]]
//   ICON                    name, id, x, y [, cx, cy [, style]]
//   CONTROL                 "text", id, class, style, x, y, cx, cy
//   name ICON "file"
// A style expression joins names and numbers with "|" and may remove a bit
// with "NOT name"; each control statement ORs its style into the statement's
// default (WS_CHILD | WS_VISIBLE and its kind's bits), as rc.exe does.
// Preprocessor lines and comments are skipped; "" inside a string is a quote.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "dialog_template.h"

namespace {

constexpr DWORD kChild = 0x40000000 | 0x10000000;  // WS_CHILD | WS_VISIBLE

const std::map<std::string, DWORD>& StyleNames() {
  static const std::map<std::string, DWORD> names = {
      {"WS_POPUP", 0x80000000},
      {"WS_CHILD", 0x40000000},
      {"WS_VISIBLE", 0x10000000},
      {"WS_DISABLED", 0x08000000},
      {"WS_CAPTION", 0x00C00000},
      {"WS_BORDER", 0x00800000},
      {"WS_DLGFRAME", 0x00400000},
      {"WS_VSCROLL", 0x00200000},
      {"WS_HSCROLL", 0x00100000},
      {"WS_SYSMENU", 0x00080000},
      {"WS_GROUP", 0x00020000},
      {"WS_TABSTOP", 0x00010000},
      {"DS_SETFONT", 0x40},
      {"DS_MODALFRAME", 0x80},
      {"DS_CENTER", 0x0800},
      {"ES_LEFT", 0},
      {"ES_MULTILINE", 0x4},
      {"ES_AUTOVSCROLL", 0x40},
      {"ES_AUTOHSCROLL", 0x80},
      {"ES_READONLY", 0x800},
      {"ES_WANTRETURN", 0x1000},
      {"SS_LEFT", 0},
      {"SS_CENTER", 0x1},
      {"SS_RIGHT", 0x2},
      {"SS_ICON", 0x3},
      {"SS_NOPREFIX", 0x80},
      {"BS_PUSHBUTTON", 0},
      {"BS_DEFPUSHBUTTON", 0x1},
      {"BS_CHECKBOX", 0x2},
      {"BS_AUTOCHECKBOX", 0x3},
      {"BS_GROUPBOX", 0x7},
  };
  return names;
}

struct TToken {
  enum Kind { kEnd, kWord, kNumber, kString, kPunct } Kind = kEnd;
  std::string Text;
  long Number = 0;
  int Line = 0;
};

class TScanner {
 public:
  explicit TScanner(const char* text) : FText(text) {}

  TToken Next() {
    SkipBlanks();
    TToken t;
    t.Line = FLine;
    char c = FText[FPos];
    if (c == 0) return t;
    if (c == '"') {
      t.Kind = TToken::kString;
      for (++FPos;; ++FPos) {
        if (FText[FPos] == 0) return Fail("string not closed");
        if (FText[FPos] == '"') {
          if (FText[FPos + 1] != '"') break;
          ++FPos;
        }
        if (FText[FPos] == '\n') ++FLine;
        t.Text += FText[FPos];
      }
      ++FPos;
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '-' && std::isdigit(static_cast<unsigned char>(FText[FPos + 1])))) {
      char* end = nullptr;
      t.Kind = TToken::kNumber;
      t.Number = std::strtol(FText + FPos, &end, 0);
      t.Text.assign(FText + FPos, static_cast<size_t>(end - (FText + FPos)));
      FPos = static_cast<size_t>(end - FText);
      while (std::isalpha(static_cast<unsigned char>(FText[FPos]))) ++FPos;  // 10L
      return t;
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      t.Kind = TToken::kWord;
      while (std::isalnum(static_cast<unsigned char>(FText[FPos])) || FText[FPos] == '_')
        t.Text += FText[FPos++];
      return t;
    }
    t.Kind = TToken::kPunct;
    t.Text = std::string(1, c);
    ++FPos;
    return t;
  }

 private:
  TToken Fail(const char* why) {
    TToken t;
    t.Kind = TToken::kPunct;
    t.Text = why;
    t.Line = FLine;
    return t;
  }

  void SkipBlanks() {
    for (;;) {
      char c = FText[FPos];
      bool lineStart = FPos == 0 || FText[FPos - 1] == '\n';
      if (c == '\n') {
        ++FLine;
        ++FPos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++FPos;
      } else if (c == '#' && lineStart) {
        while (FText[FPos] && FText[FPos] != '\n') ++FPos;
      } else if (c == '/' && FText[FPos + 1] == '/') {
        while (FText[FPos] && FText[FPos] != '\n') ++FPos;
      } else if (c == '/' && FText[FPos + 1] == '*') {
        FPos += 2;
        while (FText[FPos] && !(FText[FPos] == '*' && FText[FPos + 1] == '/'))
          FLine += FText[FPos++] == '\n';
        if (FText[FPos]) FPos += 2;
      } else {
        return;
      }
    }
  }

  const char* FText;
  size_t FPos = 0;
  int FLine = 1;
};

class TParser {
 public:
  explicit TParser(const char* text) : FScan(text) { Advance(); }

  // Every statement of the script; false (with Error set) at the first
  // statement it cannot read.
  bool Parse(std::deque<TDialogTemplate>* dialogs, std::map<std::string, std::string>* icons) {
    while (FTok.Kind != TToken::kEnd) {
      if (FTok.Kind != TToken::kWord && FTok.Kind != TToken::kNumber)
        return Fail("a resource name expected");
      std::string name = FTok.Text;
      Advance();
      std::string kind = Upper(FTok.Text);
      Advance();
      if (kind == "DIALOG" || kind == "DIALOGEX") {
        TDialogTemplate d;
        d.Name = name;
        if (!Dialog(&d)) return false;
        dialogs->push_back(std::move(d));
      } else if (kind == "ICON") {
        if (FTok.Kind != TToken::kString) return Fail("an icon file name expected");
        (*icons)[name] = FTok.Text;
        Advance();
      } else {
        return Fail("only DIALOG and ICON statements are known");
      }
    }
    return true;
  }

  std::string Error;

 private:
  static std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }

  void Advance() { FTok = FScan.Next(); }

  bool Fail(const std::string& why) {
    Error = "line " + std::to_string(FTok.Line) + ": " + why;
    return false;
  }

  bool Is(const char* punct) const { return FTok.Kind == TToken::kPunct && FTok.Text == punct; }

  bool Comma() {
    if (!Is(",")) return Fail("\",\" expected");
    Advance();
    return true;
  }

  bool Number(int* out) {
    if (FTok.Kind != TToken::kNumber) return Fail("a number expected");
    *out = static_cast<int>(FTok.Number);
    Advance();
    return true;
  }

  bool String(std::string* out) {
    if (FTok.Kind != TToken::kString) return Fail("a string expected");
    *out = FTok.Text;
    Advance();
    return true;
  }

  // name | number [ "|" ... ], with "NOT name" clearing bits.
  bool Style(DWORD* style) {
    for (;;) {
      bool clear = false;
      if (FTok.Kind == TToken::kWord && Upper(FTok.Text) == "NOT") {
        clear = true;
        Advance();
      }
      DWORD bits = 0;
      if (FTok.Kind == TToken::kNumber) {
        bits = static_cast<DWORD>(FTok.Number);
      } else if (FTok.Kind == TToken::kWord) {
        auto it = StyleNames().find(FTok.Text);
        if (it == StyleNames().end()) return Fail("unknown style " + FTok.Text);
        bits = it->second;
      } else {
        return Fail("a style expected");
      }
      Advance();
      *style = clear ? *style & ~bits : *style | bits;
      if (!Is("|")) return true;
      Advance();
    }
  }

  bool Rect(int* x, int* y, int* cx, int* cy) {
    return Number(x) && Comma() && Number(y) && Comma() && Number(cx) && Comma() && Number(cy);
  }

  bool Dialog(TDialogTemplate* d) {
    if (!Rect(&d->X, &d->Y, &d->Cx, &d->Cy)) return false;
    for (;;) {
      std::string word = FTok.Kind == TToken::kWord ? Upper(FTok.Text) : FTok.Text;
      if (word == "BEGIN" || word == "{") break;
      Advance();
      if (word == "STYLE") {
        if (!Style(&d->Style)) return false;
      } else if (word == "EXSTYLE") {
        DWORD ignored = 0;
        if (!Style(&ignored)) return false;
      } else if (word == "CAPTION") {
        if (!String(&d->Caption)) return false;
      } else if (word == "FONT") {
        if (!Number(&d->FontSize) || !Comma() || !String(&d->FontName)) return false;
        d->Style |= 0x40;  // DS_SETFONT
      } else {
        return Fail("unknown dialog option " + word);
      }
    }
    Advance();
    for (;;) {
      std::string word = FTok.Kind == TToken::kWord ? Upper(FTok.Text) : FTok.Text;
      if (word == "END" || word == "}") break;
      if (FTok.Kind != TToken::kWord) return Fail("a control statement expected");
      Advance();
      TControlTemplate c;
      if (!Control(word, &c)) return false;
      d->Controls.push_back(std::move(c));
    }
    Advance();
    return true;
  }

  bool Control(const std::string& kind, TControlTemplate* c) {
    static const std::map<std::string, std::pair<const char*, DWORD>> kTextControls = {
        {"PUSHBUTTON", {"BUTTON", 0x00010000}}, {"DEFPUSHBUTTON", {"BUTTON", 0x00010001}},
        {"CHECKBOX", {"BUTTON", 0x00010002}},   {"AUTOCHECKBOX", {"BUTTON", 0x00010003}},
        {"GROUPBOX", {"BUTTON", 0x7}},          {"LTEXT", {"STATIC", 0x00020000}},
        {"CTEXT", {"STATIC", 0x00020001}},      {"RTEXT", {"STATIC", 0x00020002}},
    };
    if (auto it = kTextControls.find(kind); it != kTextControls.end()) {
      c->Class = it->second.first;
      c->Style = kChild | it->second.second;
      if (!String(&c->Text) || !Comma() || !Number(&c->Id) || !Comma() ||
          !Rect(&c->X, &c->Y, &c->Cx, &c->Cy))
        return false;
      return Tail(c, true);
    }
    if (kind == "EDITTEXT") {
      c->Class = "EDIT";
      c->Style = kChild | 0x00810000;  // WS_BORDER | WS_TABSTOP
      if (!Number(&c->Id) || !Comma() || !Rect(&c->X, &c->Y, &c->Cx, &c->Cy)) return false;
      return Tail(c, true);
    }
    if (kind == "ICON") {
      c->Class = "STATIC";
      c->Style = kChild | 0x3;  // SS_ICON
      if (FTok.Kind == TToken::kString || FTok.Kind == TToken::kWord) {
        c->Text = FTok.Text;
        Advance();
      } else {
        return Fail("an icon name expected");
      }
      if (!Comma() || !Number(&c->Id) || !Comma() || !Number(&c->X) || !Comma() || !Number(&c->Y))
        return false;
      if (!Is(",")) return true;
      Advance();
      if (!Number(&c->Cx) || !Comma() || !Number(&c->Cy)) return false;
      return Tail(c, false);
    }
    if (kind == "CONTROL") {
      c->Style = kChild;
      if (!String(&c->Text) || !Comma() || !Number(&c->Id) || !Comma()) return false;
      if (FTok.Kind != TToken::kString && FTok.Kind != TToken::kWord)
        return Fail("a window class expected");
      c->Class = Upper(FTok.Text);
      Advance();
      return Comma() && Style(&c->Style) && Comma() && Rect(&c->X, &c->Y, &c->Cx, &c->Cy);
    }
    return Fail("unknown control " + kind);
  }

  // [, style [, exstyle]]
  bool Tail(TControlTemplate* c, bool exstyle) {
    if (!Is(",")) return true;
    Advance();
    if (!Style(&c->Style)) return false;
    if (!exstyle || !Is(",")) return true;
    Advance();
    DWORD ignored = 0;
    return Style(&ignored);
  }

  TScanner FScan;
  TToken FTok;
};

// Scripts are added by static constructors of other files: everything here
// is made on first use. A deque keeps every template where it is: a
// resource's data is its address.
struct TScripts {
  std::mutex Lock;
  std::deque<TDialogTemplate> Dialogs;
  std::map<std::string, std::string> Icons;
};

TScripts& Scripts() {
  static TScripts scripts;
  return scripts;
}

}  // namespace

/***********************************************************************
 * QrvxAddResourceScript (stand-in only)
 * Adds the DIALOG and ICON statements of a resource script to the process's
 * resources (RT_DIALOG, RT_GROUP_ICON), where FindResourceA finds them.
 * RETURNS FALSE, with the reason on standard error, for a script it cannot read.
 */
extern "C" BOOL QrvxAddResourceScript(const char* text) {
  if (!text) return FALSE;
  std::deque<TDialogTemplate> dialogs;
  std::map<std::string, std::string> icons;
  TParser parser(text);
  if (!parser.Parse(&dialogs, &icons)) {
    std::fprintf(stderr, "resource script: %s\n", parser.Error.c_str());
    return FALSE;
  }
  TScripts& kept = Scripts();
  std::lock_guard<std::mutex> guard(kept.Lock);
  for (TDialogTemplate& d : dialogs) {
    kept.Dialogs.push_back(std::move(d));
    const TDialogTemplate& t = kept.Dialogs.back();
    QrvxAddResource(RT_DIALOG, t.Name.c_str(), &t, sizeof t);
  }
  for (auto& [name, file] : icons) {
    auto it = kept.Icons.emplace(name, file).first;
    QrvxAddResource(RT_GROUP_ICON, it->first.c_str(), it->second.c_str(),
                    static_cast<DWORD>(it->second.size() + 1));
  }
  return TRUE;
}

const TDialogTemplate* QrvxFindDialogTemplate(HINSTANCE module, LPCSTR name) {
  HRSRC r = FindResourceA(module, name, RT_DIALOG);
  if (!r) return nullptr;
  return static_cast<const TDialogTemplate*>(LockResource(LoadResource(module, r)));
}
