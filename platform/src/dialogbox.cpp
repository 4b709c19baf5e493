// Dialog boxes over a line-oriented user: windows are objects of this file,
// the message queue is a deque, and what the user does arrives as the
// messages Windows would queue for it (a click on a control, text put into
// an edit control, a key, the close box). Controls answer their messages as
// the system's BUTTON, EDIT and STATIC classes do; a dialog's messages go to
// its procedure, and what the procedure leaves goes to DefDlgProcA.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "user_input.h"

namespace {

constexpr DWORD kDisabled = 0x08000000;  // WS_DISABLED
constexpr DWORD kButtonKind = 0xF;       // BS_ type bits
constexpr DWORD kAutoCheckBox = 0x3;
constexpr DWORD kDefPushButton = 0x1;
constexpr DWORD kGroupBox = 0x7;
constexpr int kDesktopWidth = 1024, kDesktopHeight = 768;

struct TWindow {
  TWindow* Parent = nullptr;
  std::string Class;  // "#32770" for a dialog
  std::string Name;   // a dialog's template name
  std::string Text;
  DWORD Style = 0;
  int Id = 0;
  RECT Rect{};  // screen pixels for a dialog, dialog pixels for a control
  bool Enabled = true;
  bool Visible = true;
  int Check = BST_UNCHECKED;
  DLGPROC Proc = nullptr;
  bool Ended = false;
  INT_PTR Result = 0;
  std::vector<std::unique_ptr<TWindow>> Children;
};

TWindow g_desktop;
std::vector<std::unique_ptr<TWindow>> g_dialogs;  // creation order; the last visible is active
std::set<const TWindow*> g_live;
std::deque<MSG> g_queue;
std::deque<std::string> g_typed;  // texts of queued WM_SETTEXT messages
bool g_quit = false;
bool g_hasUserInterface = false;
FILE* g_input = nullptr;

TWindow* Window(HWND h) {
  auto* w = static_cast<TWindow*>(h);
  return g_live.count(w) ? w : nullptr;
}

// Dialog units to pixels with the base units of 8-point MS Sans Serif.
LONG UnitsX(int x) {
  return x * 6 / 4;
}
LONG UnitsY(int y) {
  return y * 13 / 8;
}

TWindow* Child(TWindow* dialog, int id) {
  if (!dialog) return nullptr;
  for (auto& c : dialog->Children)
    if (c->Id == id) return c.get();
  return nullptr;
}

TWindow* ActiveDialog() {
  for (auto it = g_dialogs.rbegin(); it != g_dialogs.rend(); ++it)
    if ((*it)->Visible) return it->get();
  return nullptr;
}

LRESULT SendTo(TWindow* w, UINT msg, WPARAM wp, LPARAM lp);

LRESULT SendToDialog(TWindow* d, UINT msg, WPARAM wp, LPARAM lp) {
  if (d->Proc && d->Proc(d, msg, wp, lp)) return TRUE;
  return DefDlgProcA(d, msg, wp, lp);
}

void Notify(TWindow* control, WORD code) {
  if (control->Parent)
    SendToDialog(control->Parent, WM_COMMAND, MAKEWPARAM(control->Id, code),
                 reinterpret_cast<LPARAM>(control));
}

// The system classes' answers to the messages the stand-in delivers.
LRESULT ControlProc(TWindow* c, UINT msg, WPARAM wp, LPARAM lp) {
  bool button = c->Class == "BUTTON";
  switch (msg) {
    case WM_LBUTTONUP:
      if (!c->Enabled || (c->Parent && !c->Parent->Enabled)) {
        QrvxShowUser("control " + std::to_string(c->Id) + " is disabled");
        return 0;
      }
      if (!button || (c->Style & kButtonKind) == kGroupBox) return 0;
      if ((c->Style & kButtonKind) == kAutoCheckBox)
        c->Check = c->Check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      Notify(c, BN_CLICKED);
      return 0;
    case WM_SETTEXT:
      c->Text = lp ? reinterpret_cast<const char*>(lp) : "";
      if (c->Class == "EDIT") Notify(c, EN_CHANGE);
      return TRUE;
    case WM_GETTEXT: {
      if (wp == 0 || !lp) return 0;
      size_t n = std::min<size_t>(c->Text.size(), wp - 1);
      std::memcpy(reinterpret_cast<char*>(lp), c->Text.data(), n);
      reinterpret_cast<char*>(lp)[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case BM_GETCHECK: return button ? c->Check : 0;
    case BM_SETCHECK:
      if (button) c->Check = static_cast<int>(wp);
      return 0;
    default: return 0;
  }
}

LRESULT SendTo(TWindow* w, UINT msg, WPARAM wp, LPARAM lp) {
  if (w->Class == "#32770") {
    if (msg == WM_SETTEXT) w->Text = lp ? reinterpret_cast<const char*>(lp) : "";
    return SendToDialog(w, msg, wp, lp);
  }
  return ControlProc(w, msg, wp, lp);
}

std::string Describe(const TWindow* d) {
  std::ostringstream out;
  out << "[" << d->Text << "] " << d->Name << (d->Enabled ? "" : " (disabled)");
  for (const auto& c : d->Children) {
    out << "\n  " << c->Id << " ";
    DWORD kind = c->Style & kButtonKind;
    if (c->Class == "BUTTON")
      out << (kind == kGroupBox        ? "group"
              : kind == kAutoCheckBox  ? (c->Check == BST_CHECKED ? "[x]" : "[ ]")
              : kind == kDefPushButton ? "default button"
                                       : "button");
    else if (c->Class == "EDIT")
      out << "edit";
    else
      out << ((c->Style & 0x1F) == 0x3 ? "icon" : "text");
    std::string text = c->Text;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
      text.replace(at, 2, " | ");
    out << " \"" << text << "\"" << (c->Enabled ? "" : " (disabled)");
  }
  return out.str();
}

TWindow* Create(LPCSTR name, HINSTANCE module, DLGPROC proc) {
  const TDialogTemplate* t = QrvxFindDialogTemplate(module, name);
  if (!t) {
    SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return nullptr;
  }
  auto d = std::make_unique<TWindow>();
  d->Class = "#32770";
  d->Name = t->Name;
  d->Text = t->Caption;
  d->Style = t->Style;
  d->Enabled = (t->Style & kDisabled) == 0;
  d->Proc = proc;
  d->Rect = RECT{UnitsX(t->X), UnitsY(t->Y), UnitsX(t->X + t->Cx), UnitsY(t->Y + t->Cy)};
  for (const TControlTemplate& ct : t->Controls) {
    auto c = std::make_unique<TWindow>();
    c->Parent = d.get();
    c->Class = ct.Class;
    c->Text = ct.Text;
    c->Style = ct.Style;
    c->Id = ct.Id;
    c->Enabled = (ct.Style & kDisabled) == 0;
    c->Rect = RECT{UnitsX(ct.X), UnitsY(ct.Y), UnitsX(ct.X + ct.Cx), UnitsY(ct.Y + ct.Cy)};
    g_live.insert(c.get());
    d->Children.push_back(std::move(c));
  }
  g_live.insert(d.get());
  g_dialogs.push_back(std::move(d));
  g_hasUserInterface = true;
  return g_dialogs.back().get();
}

void Destroy(TWindow* d) {
  for (auto& c : d->Children) g_live.erase(c.get());
  g_live.erase(d);
  std::erase_if(g_queue, [](const MSG& m) { return !Window(m.hwnd); });
  std::erase_if(g_dialogs, [d](const std::unique_ptr<TWindow>& p) { return p.get() == d; });
}

void Post(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  MSG m{};
  m.hwnd = h;
  m.message = msg;
  m.wParam = wp;
  m.lParam = lp;
  g_queue.push_back(m);
}

bool ReadLine(std::string* line) {
  if (!g_input) g_input = stdin;
  line->clear();
  int c;
  while ((c = std::fgetc(g_input)) != EOF && c != '\n') *line += static_cast<char>(c);
  if (c == EOF && line->empty()) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// The control an action names, or nullptr (and the user told why).
TWindow* Target(TWindow* dialog, const std::string& idText) {
  if (!dialog) {
    QrvxShowUser("no dialog is open");
    return nullptr;
  }
  char* end = nullptr;
  long id = std::strtol(idText.c_str(), &end, 10);
  TWindow* c = end && *end == 0 && !idText.empty() ? Child(dialog, static_cast<int>(id)) : nullptr;
  if (!c) QrvxShowUser("no control " + idText + " in " + dialog->Name);
  return c;
}

// Turns the user's next action into queued messages; false at the end of
// the input.
bool QueueUserAction() {
  std::string line;
  for (;;) {
    if (!QrvxReadUserLine(&line)) return false;
    std::string verb = line.substr(0, line.find(' '));
    std::string rest = verb.size() < line.size() ? line.substr(verb.size() + 1) : "";
    TWindow* d = ActiveDialog();
    if (verb == "press") {
      if (TWindow* c = Target(d, rest)) {
        Post(c, WM_LBUTTONUP, 0, 0);
        return true;
      }
    } else if (verb == "type") {
      std::string id = rest.substr(0, rest.find(' '));
      std::string text = id.size() < rest.size() ? rest.substr(id.size() + 1) : "";
      if (TWindow* c = Target(d, id)) {
        if (c->Class != "EDIT" || !c->Enabled) {
          QrvxShowUser("control " + id + " takes no text");
          continue;
        }
        g_typed.push_back(text);
        Post(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(g_typed.back().c_str()));
        return true;
      }
    } else if ((verb == "enter" || verb == "esc" || verb == "close") && d) {
      if (verb == "close")
        Post(d, WM_CLOSE, 0, 0);
      else
        Post(d, WM_KEYDOWN, verb == "enter" ? VK_RETURN : VK_ESCAPE, 0);
      return true;
    } else {
      QrvxShowUser("? " + line);
    }
  }
}

// What IsDialogMessage does with the keys: Esc is IDCANCEL, Return the
// default button (or IDOK).
bool DialogKey(TWindow* dialog, const MSG& m) {
  TWindow* w = Window(m.hwnd);
  if (m.message != WM_KEYDOWN || !w || (w != dialog && w->Parent != dialog)) return false;
  int id = IDCANCEL;
  if (m.wParam == VK_RETURN) {
    id = IDOK;
    for (auto& c : dialog->Children)
      if (c->Class == "BUTTON" && (c->Style & kButtonKind) == kDefPushButton) id = c->Id;
    TWindow* b = Child(dialog, id);
    if (b && !b->Enabled) return true;
  } else if (m.wParam != VK_ESCAPE) {
    return false;
  }
  TWindow* b = Child(dialog, id);
  SendToDialog(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
  return true;
}

}  // namespace

bool QrvxHasUserInterface() {
  return g_hasUserInterface;
}

void QrvxShowUser(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool QrvxReadUserLine(std::string* line) {
  while (ReadLine(line)) {
    size_t b = line->find_first_not_of(" \t"), e = line->find_last_not_of(" \t");
    *line = b == std::string::npos ? "" : line->substr(b, e - b + 1);
    if (line->empty() || (*line)[0] == '#') continue;
    TWindow* d = ActiveDialog();
    if (*line == "show") {
      QrvxShowUser(d ? Describe(d) : "no dialog is open");
    } else if (line->rfind("get ", 0) == 0) {
      if (TWindow* c = Target(d, line->substr(4)))
        QrvxShowUser("=== " + std::to_string(c->Id) + "\n" + c->Text + "\n===");
    } else {
      return true;
    }
  }
  return false;
}

/***********************************************************************
 * QrvxSetUserInput (stand-in only)
 * Takes the user's lines from file descriptor fd instead of standard input.
 */
extern "C" void QrvxSetUserInput(int fd) {
  if (g_input && g_input != stdin) std::fclose(g_input);
  g_input = fdopen(fd, "r");
}

/***********************************************************************
 * CreateDialogParamA, DialogBoxParamA (USER32.@)
 * Build the dialog from its template (a DIALOG statement of the program's
 * resource script), send WM_INITDIALOG with init and show it to the user.
 * DialogBoxParamA then runs the dialog's message loop until EndDialog.
 * RETURNS the window (modeless) or the EndDialog result (modal); NULL or -1
 *         when the template is missing.
 */
extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE module, LPCSTR name, HWND, DLGPROC proc,
                                          LPARAM init) {
  TWindow* d = Create(name, module, proc);
  if (!d) return nullptr;
  SendToDialog(d, WM_INITDIALOG, 0, init);
  if (Window(d)) QrvxShowUser(Describe(d));
  return Window(d) ? d : nullptr;
}

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE module, LPCSTR name, HWND, DLGPROC proc,
                                          LPARAM init) {
  TWindow* d = Create(name, module, proc);
  if (!d) return -1;
  SendToDialog(d, WM_INITDIALOG, 0, init);
  if (!d->Ended) QrvxShowUser(Describe(d));
  MSG m;
  while (!d->Ended) {
    if (!GetMessageA(&m, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(m.wParam));
      d->Result = 0;
      break;
    }
    if (!DialogKey(d, m)) DispatchMessageA(&m);
  }
  INT_PTR result = d->Result;
  Destroy(d);
  return result;
}

/***********************************************************************
 * EndDialog, DestroyWindow (USER32.@)
 * End a modal dialog with result / destroy a dialog after WM_DESTROY.
 * RETURNS FALSE with ERROR_INVALID_WINDOW_HANDLE for anything but a dialog.
 */
extern "C" BOOL WINAPI EndDialog(HWND h, INT_PTR result) {
  TWindow* d = Window(h);
  if (!d || d->Class != "#32770") {
    SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
    return FALSE;
  }
  d->Ended = true;
  d->Result = result;
  d->Visible = false;
  return TRUE;
}

extern "C" BOOL WINAPI DestroyWindow(HWND h) {
  TWindow* d = Window(h);
  if (!d || d->Class != "#32770") {
    SetLastError(1400);
    return FALSE;
  }
  SendToDialog(d, WM_DESTROY, 0, 0);
  Destroy(d);
  return TRUE;
}

/***********************************************************************
 * IsWindow, GetDlgItem, SetDlgItemTextA, GetDlgItemTextA, SendDlgItemMessageA,
 * SendMessageA (USER32.@)
 * Controls are children of their dialog found by id; their text and state
 * change through the messages a control answers (WM_SETTEXT, WM_GETTEXT,
 * ...). GetDlgItem sets ERROR_CONTROL_ID_NOT_FOUND for an
 * unknown id; the others answer 0 or FALSE.
 */
extern "C" BOOL WINAPI IsWindow(HWND h) {
  return h == &g_desktop || Window(h) != nullptr;
}

extern "C" HWND WINAPI GetDlgItem(HWND h, int id) {
  TWindow* c = Child(Window(h), id);
  if (!c) SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
  return c;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND h, int id, LPCSTR text) {
  TWindow* c = Child(Window(h), id);
  if (!c) return FALSE;
  ControlProc(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  return TRUE;
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND h, int id, LPSTR out, int size) {
  TWindow* c = Child(Window(h), id);
  if (!c) {
    if (out && size > 0) out[0] = 0;
    return 0;
  }
  return static_cast<UINT>(ControlProc(c, WM_GETTEXT, static_cast<WPARAM>(std::max(size, 0)),
                                       reinterpret_cast<LPARAM>(out)));
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND h, int id, UINT msg, WPARAM wp, LPARAM lp) {
  TWindow* c = Child(Window(h), id);
  return c ? ControlProc(c, msg, wp, lp) : 0;
}

extern "C" LRESULT WINAPI SendMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  TWindow* w = Window(h);
  return w ? SendTo(w, msg, wp, lp) : 0;
}

/***********************************************************************
 * EnableWindow, IsWindowEnabled (USER32.@)
 * A disabled control ignores the user's clicks and typing.
 * RETURNS (EnableWindow) whether the window was disabled before.
 */
extern "C" BOOL WINAPI EnableWindow(HWND h, BOOL enable) {
  TWindow* w = Window(h);
  if (!w) return FALSE;
  bool wasDisabled = !w->Enabled;
  w->Enabled = enable != FALSE;
  return wasDisabled;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND h) {
  TWindow* w = Window(h);
  return w && w->Enabled;
}

/***********************************************************************
 * GetDesktopWindow, GetWindowRect, SetWindowPos (USER32.@)
 * A fixed desktop of 1024 by 768; a control's rectangle is kept relative to
 * its dialog, GetWindowRect gives it on the desktop.
 */
extern "C" HWND WINAPI GetDesktopWindow() {
  g_desktop.Class = "#32769";
  g_desktop.Rect = RECT{0, 0, kDesktopWidth, kDesktopHeight};
  return &g_desktop;
}

extern "C" BOOL WINAPI GetWindowRect(HWND h, LPRECT r) {
  TWindow* w = h == &g_desktop ? &g_desktop : Window(h);
  if (!w || !r) return FALSE;
  *r = w->Rect;
  if (w->Parent) {
    r->left += w->Parent->Rect.left;
    r->right += w->Parent->Rect.left;
    r->top += w->Parent->Rect.top;
    r->bottom += w->Parent->Rect.top;
  }
  return TRUE;
}

extern "C" BOOL WINAPI SetWindowPos(HWND h, HWND, int x, int y, int cx, int cy, UINT flags) {
  TWindow* w = Window(h);
  if (!w) return FALSE;
  LONG width = w->Rect.right - w->Rect.left, height = w->Rect.bottom - w->Rect.top;
  if (!(flags & SWP_NOSIZE)) {
    width = cx;
    height = cy;
  }
  w->Rect = RECT{x, y, x + width, y + height};
  return TRUE;
}

/***********************************************************************
 * PeekMessageA, GetMessageA, PostMessageA, PostQuitMessage, TranslateMessage,
 * DispatchMessageA (USER32.@)
 * One queue for the thread. When it is empty GetMessageA reads the user's
 * next line and queues what it asks for; the end of the input is WM_QUIT.
 * Window and message filters are ignored.
 */
extern "C" BOOL WINAPI PeekMessageA(LPMSG m, HWND, UINT, UINT, UINT remove) {
  if (g_queue.empty() && !g_quit) return FALSE;
  if (g_queue.empty()) {
    *m = MSG{};
    m->message = WM_QUIT;
    if (remove & PM_REMOVE) g_quit = false;
    return TRUE;
  }
  *m = g_queue.front();
  if (remove & PM_REMOVE) g_queue.pop_front();
  return TRUE;
}

extern "C" BOOL WINAPI GetMessageA(LPMSG m, HWND, UINT, UINT) {
  for (;;) {
    if (!g_queue.empty()) {
      *m = g_queue.front();
      g_queue.pop_front();
      return m->message != WM_QUIT;
    }
    if (g_quit || !QueueUserAction()) {
      g_quit = false;
      *m = MSG{};
      m->message = WM_QUIT;
      return FALSE;
    }
  }
}

extern "C" BOOL WINAPI PostMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (h && !Window(h)) return FALSE;
  Post(h, msg, wp, lp);
  return TRUE;
}

extern "C" void WINAPI PostQuitMessage(int) {
  g_quit = true;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG*) {
  return FALSE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* m) {
  TWindow* w = m ? Window(m->hwnd) : nullptr;
  if (!w) return 0;
  LRESULT r = SendTo(w, m->message, m->wParam, m->lParam);
  if (m->message == WM_SETTEXT && !g_typed.empty() &&
      reinterpret_cast<const char*>(m->lParam) == g_typed.front().c_str())
    g_typed.pop_front();
  return r;
}

/***********************************************************************
 * DefDlgProcA (USER32.@)
 * The default handling a dialog procedure leaves to the system: WM_CLOSE
 * clicks the Cancel button (IDCANCEL) when it is enabled or absent.
 */
extern "C" LRESULT WINAPI DefDlgProcA(HWND h, UINT msg, WPARAM, LPARAM) {
  TWindow* d = Window(h);
  if (!d) return 0;
  if (msg == WM_CLOSE) {
    TWindow* cancel = Child(d, IDCANCEL);
    if (!cancel || cancel->Enabled)
      SendToDialog(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(cancel));
  }
  return 0;
}
