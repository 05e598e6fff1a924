// The headless window system: controls keep their text, state, rows and
// selection; messages go through subclasses and class behaviours as on
// Windows; boxes, timers and posted messages are recorded for tests.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/headless/HeadlessWindow.h"
#include "platform/headless/Inspect.h"
#include "platform/Thread.h"
#include "res/ResourceIds.h"

namespace {

struct TemplateControl {
  const char* text;
  int id;
  const char* cls;
  unsigned style;
  int x, y, cx, cy;
};
struct TemplateDialog {
  int id;
  int x, y, cx, cy;
  unsigned style, exStyle;
  const char* caption;
  std::vector<TemplateControl> controls;
};

std::vector<TemplateDialog> BuildTemplates() {
  std::vector<TemplateDialog> all;
#define ORVEX_DIALOG(id, x, y, cx, cy, style, exstyle, caption, fontsize, font) \
  all.push_back(TemplateDialog{id, x, y, cx, cy, style, exstyle, caption, {}});
#define ORVEX_CONTROL(text, id, cls, style, x, y, cx, cy) \
  all.back().controls.push_back(TemplateControl{text, id, cls, static_cast<unsigned>(style), x, y, cx, cy});
#define ORVEX_DIALOG_END()
#include "res/Dialogs.def"
#undef ORVEX_DIALOG
#undef ORVEX_CONTROL
#undef ORVEX_DIALOG_END
  return all;
}

// Dialog units to pixels: a fixed 8 x 16 pixel base unit.
int DuX(int du) { return du * 2; }
int DuY(int du) { return du * 2; }

WndKind KindOf(const std::string& cls) {
  if (cls == "Button") return WndKind::Button;
  if (cls == "Edit") return WndKind::Edit;
  if (cls == "ComboBox") return WndKind::ComboBox;
  if (cls == "msctls_progress32") return WndKind::Progress;
  return WndKind::Static;
}

struct State {
  PlatWindow* focus = nullptr;
  std::vector<headless::BoxRecord> boxes;
  std::deque<int> answers;
  std::vector<std::pair<std::string, std::function<void()>>> boxHooks;
  std::vector<headless::TimerEvent> timerLog;
  std::map<PlatWindow*, std::vector<std::string>> textHistory;
  std::deque<std::tuple<PlatWindow*, unsigned, WPARAM_T, LPARAM_T>> posted;
  std::vector<PlatWindow*> live;
  std::function<void(CDialog&)> modalHook;
  std::vector<int> modals;
};

State& S() {
  static State s;
  return s;
}

bool IsLive(PlatWindow* w) {
  auto& l = S().live;
  return w != nullptr && std::find(l.begin(), l.end(), w) != l.end() && !w->destroyed;
}

std::condition_variable_any& PostedCv() {
  static std::condition_variable_any cv;
  return cv;
}

void SetText(PlatWindow* w, const std::string& text) {
  w->text = text;
  S().textHistory[w].push_back(text);
  w->invalid = true;
}

void NotifyParent(PlatWindow* w, unsigned code) {
  if (w->parent == nullptr) return;
  WPARAM_T wp = static_cast<WPARAM_T>((w->id & 0xFFFF) | (code << 16));
  headless::Send(w->parent, WM_COMMAND, wp, reinterpret_cast<LPARAM_T>(w));
}

}  // namespace

namespace headless {

std::recursive_mutex& WindowLock() {
  static std::recursive_mutex m;
  return m;
}

PlatWindow* CreateDialogWindow(CDialog* dlg, int templateId) {
  static const std::vector<TemplateDialog> templates = BuildTemplates();
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  for (const TemplateDialog& t : templates) {
    if (t.id != templateId) continue;
    PlatWindow* d = new PlatWindow;
    d->kind = WndKind::Dialog;
    d->className = "#32770";
    d->id = t.id;
    d->text = t.caption;
    d->style = t.style;
    d->exStyle = t.exStyle;
    d->dialog = dlg;
    d->rect = CRect(0, 0, DuX(t.cx), DuY(t.cy));
    S().live.push_back(d);
    for (const TemplateControl& c : t.controls) {
      PlatWindow* w = new PlatWindow;
      w->kind = KindOf(c.cls);
      w->className = c.cls;
      w->id = c.id;
      w->text = c.text;
      w->style = c.style;
      w->parent = d;
      w->rect = CRect(DuX(c.x), DuY(c.y), DuX(c.x + c.cx), DuY(c.y + c.cy));
      d->children.push_back(w);
      S().live.push_back(w);
    }
    return d;
  }
  return nullptr;
}

void DestroyWindowTree(PlatWindow* w) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (w == nullptr) return;
  for (PlatWindow* c : w->children) DestroyWindowTree(c);
  auto& l = S().live;
  l.erase(std::remove(l.begin(), l.end(), w), l.end());
  if (S().focus == w) S().focus = nullptr;
  S().textHistory.erase(w);
  for (auto& p : S().posted)
    if (std::get<0>(p) == w) std::get<0>(p) = nullptr;
  delete w;
}

PlatWindow* FocusWindow() { return S().focus; }
void SetFocusWindow(PlatWindow* w) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* old = S().focus;
  if (old == w) return;
  S().focus = w;
  if (old != nullptr && IsLive(old)) {
    old->invalid = true;
    Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM_T>(w), 0);
  }
  if (w != nullptr) {
    w->invalid = true;
    Send(w, WM_SETFOCUS, reinterpret_cast<WPARAM_T>(old), 0);
  }
}

LRESULT_T Send(PlatWindow* w, unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(w)) return 0;
  if (w->subclass != nullptr) return w->subclass->WindowProc(msg, wp, lp);
  if (w->kind == WndKind::Dialog && w->dialog != nullptr) {
    LRESULT_T result = 0;
    if (w->dialog->OnMessage(msg, wp, lp, result)) return result;
  }
  return ClassProc(w, msg, wp, lp);
}

LRESULT_T ClassProc(PlatWindow* w, unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(w)) return 0;
  switch (msg) {
    case WM_SETTEXT:
      SetText(w, lp ? reinterpret_cast<const char*>(lp) : "");
      return 1;
    case WM_GETTEXT: {
      if (wp == 0 || lp == 0) return 0;
      size_t n = std::min(static_cast<size_t>(wp) - 1, w->text.size());
      std::memcpy(reinterpret_cast<char*>(lp), w->text.data(), n);
      reinterpret_cast<char*>(lp)[n] = '\0';
      return static_cast<LRESULT_T>(n);
    }
    case WM_PAINT:
      w->invalid = false;
      return 0;
    case WM_CLOSE:
      if (w->kind == WndKind::Dialog)
        Send(w, WM_COMMAND, IDCANCEL, 0);
      return 0;
    case WM_QUERYENDSESSION:
      // Wine's default dialog procedure agrees to end the session; it
      // answers a suspend query (WM_POWERBROADCAST) with 0, as here.
      return 1;
    default:
      break;
  }
  switch (w->kind) {
    case WndKind::Button: {
      unsigned type = w->style & BS_TYPEMASK;
      switch (msg) {
        case BM_CLICK:
          if (!(w->style & WS_DISABLED)) {
            Send(w, WM_LBUTTONDOWN, 0, 0);
            Send(w, WM_LBUTTONUP, 0, 0);
          }
          return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
          if (w->style & WS_DISABLED) return 0;
          w->pushed = true;
          w->invalid = true;
          SetFocusWindow(w);
          // Owner-drawn buttons report a second click of a double click
          // as a double click, not as a press.
          if (msg == WM_LBUTTONDBLCLK && type == BS_OWNERDRAW) {
            w->pushed = false;
            NotifyParent(w, BN_DOUBLECLICKED);
          }
          return 0;
        case WM_LBUTTONUP:
          if (w->pushed) {
            w->pushed = false;
            w->invalid = true;
            NotifyParent(w, BN_CLICKED);
          }
          return 0;
        case BM_SETSTYLE:
          w->style = (w->style & ~0xFFFFu) | (static_cast<unsigned>(wp) & 0xFFFFu);
          if (lp) w->invalid = true;
          return 0;
        case BM_GETSTATE:
          return (w->pushed ? 0x4 : 0) | (S().focus == w ? 0x8 : 0);
        case BM_SETSTATE:
          w->pushed = wp != 0;
          w->invalid = true;
          return 0;
        case BM_GETCHECK:
          return 0;
        case WM_GETDLGCODE:
          if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
          if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
          return DLGC_BUTTON;
        default:
          return 0;
      }
    }
    case WndKind::Edit:
      switch (msg) {
        case EM_SETSEL: {
          int len = static_cast<int>(w->text.size());
          int a = static_cast<int>(wp), b = static_cast<int>(lp);
          if (a < 0) {
            w->selStart = w->selEnd = len;
            return 0;
          }
          if (b < 0 || b > len) b = len;
          if (a > len) a = len;
          w->selStart = std::min(a, b);
          w->selEnd = std::max(a, b);
          return 0;
        }
        case EM_REPLACESEL: {
          const char* t = lp ? reinterpret_cast<const char*>(lp) : "";
          std::string s = w->text;
          int a = std::min<int>(w->selStart, static_cast<int>(s.size()));
          int b = std::min<int>(w->selEnd, static_cast<int>(s.size()));
          s.replace(static_cast<size_t>(a), static_cast<size_t>(b - a), t);
          SetText(w, s);
          w->selStart = w->selEnd = a + static_cast<int>(std::strlen(t));
          return 0;
        }
        case EM_FMTLINES:
          w->fmtLines = wp != 0;
          return wp != 0;
        case EM_SCROLLCARET:
          return 1;
        default:
          return 0;
      }
    case WndKind::ComboBox:
      switch (msg) {
        case CB_ADDSTRING:
          w->rows.push_back(lp ? reinterpret_cast<const char*>(lp) : "");
          w->invalid = true;
          return static_cast<LRESULT_T>(w->rows.size() - 1);
        case CB_GETCOUNT:
          return static_cast<LRESULT_T>(w->rows.size());
        case CB_GETCURSEL:
          return w->curSel;
        case CB_SETCURSEL: {
          int i = static_cast<int>(static_cast<std::intptr_t>(wp));
          w->invalid = true;
          if (i < 0 || i >= static_cast<int>(w->rows.size())) {
            w->curSel = -1;
            w->text.clear();
            return CB_ERR;
          }
          w->curSel = i;
          w->text = w->rows[static_cast<size_t>(i)];
          return i;
        }
        case CB_RESETCONTENT:
          w->rows.clear();
          w->curSel = -1;
          w->text.clear();
          return 0;
        case CB_GETLBTEXT: {
          int i = static_cast<int>(wp);
          if (i < 0 || i >= static_cast<int>(w->rows.size()) || lp == 0) return CB_ERR;
          std::strcpy(reinterpret_cast<char*>(lp), w->rows[static_cast<size_t>(i)].c_str());
          return static_cast<LRESULT_T>(w->rows[static_cast<size_t>(i)].size());
        }
        default:
          return 0;
      }
    case WndKind::Progress: {
      auto clamp = [w](int p) { return std::max(w->rangeLo, std::min(w->rangeHi, p)); };
      int old = w->pos;
      switch (msg) {
        case PBM_SETRANGE: {
          LRESULT_T prev = (w->rangeLo & 0xFFFF) | ((w->rangeHi & 0xFFFF) << 16);
          w->rangeLo = static_cast<int>(lp & 0xFFFF);
          w->rangeHi = static_cast<int>((lp >> 16) & 0xFFFF);
          w->pos = clamp(w->pos);
          w->invalid = true;
          return prev;
        }
        case PBM_SETPOS:
          w->pos = clamp(static_cast<int>(static_cast<std::intptr_t>(wp)));
          w->invalid = true;
          return old;
        case PBM_SETSTEP: {
          int prev = w->step;
          w->step = static_cast<int>(static_cast<std::intptr_t>(wp));
          return prev;
        }
        case PBM_STEPIT: {
          int p = w->pos + w->step;
          if (p > w->rangeHi) p = w->rangeLo + (p - w->rangeHi);  // wraps as the common control does
          w->pos = clamp(p);
          w->invalid = true;
          return old;
        }
        case PBM_GETPOS:
          return w->pos;
        default:
          return 0;
      }
    }
    default:
      return 0;
  }
}

void PaintIfInvalid(PlatWindow* w) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(w)) return;
  if (w->invalid) {
    w->invalid = false;
    if (w->subclass != nullptr && w->kind != WndKind::Button) {
      Send(w, WM_PAINT, 0, 0);
    } else if (w->kind == WndKind::Button && (w->style & BS_TYPEMASK) == BS_OWNERDRAW &&
               w->parent != nullptr) {
      DrawItemInfo info;
      info.ctlId = w->id;
      info.itemAction = 1;
      info.itemState = (w->pushed ? ODS_SELECTED : 0u) | ((w->style & WS_DISABLED) ? ODS_DISABLED : 0u) |
                       (S().focus == w ? ODS_FOCUS : 0u);
      info.hwndItem = w;
      info.rcItem = CRect(0, 0, w->rect.Width(), w->rect.Height());
      info.hDC = HeadlessCreateWindowDC(w);
      Send(w->parent, WM_DRAWITEM, static_cast<WPARAM_T>(w->id), reinterpret_cast<LPARAM_T>(&info));
      HeadlessReleaseWindowDC(info.hDC);
    } else if (w->kind == WndKind::Dialog && w->dialog != nullptr) {
      LRESULT_T r = 0;
      w->dialog->OnMessage(WM_PAINT, 0, 0, r);
    }
  }
  for (PlatWindow* c : std::vector<PlatWindow*>(w->children)) PaintIfInvalid(c);
}

// ---- inspection ----
void OpenDialog(CDialog& dlg) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* d = CreateDialogWindow(&dlg, dlg.m_nTemplateId);
  dlg.m_hWnd = d;
  dlg.m_bEnded = false;
  LRESULT_T r = Send(d, WM_INITDIALOG, 0, 0);
  if (r != 0) {
    for (PlatWindow* c : d->children) {
      if ((c->style & WS_TABSTOP) && !(c->style & WS_DISABLED)) {
        SetFocusWindow(c);
        break;
      }
    }
  }
}

PlatWindow* Item(CDialog& dlg, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* d = dlg.m_hWnd;
  if (d == nullptr) return nullptr;
  for (PlatWindow* c : d->children)
    if (c->id == id) return c;
  return nullptr;
}
std::string Text(CDialog& dlg, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* w = Item(dlg, id);
  return w ? w->text : std::string();
}
bool Enabled(CDialog& dlg, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* w = Item(dlg, id);
  return w && !(w->style & WS_DISABLED);
}
void Click(CDialog& dlg, int id) { Send(Item(dlg, id), BM_CLICK, 0, 0); }
void SelectRow(CDialog& dlg, int id, int row) {
  PlatWindow* w = Item(dlg, id);
  Send(w, CB_SETCURSEL, static_cast<WPARAM_T>(row), 0);
  NotifyParent(w, CBN_SELCHANGE);
}
void PumpPosted() {
  for (;;) {
    std::tuple<PlatWindow*, unsigned, WPARAM_T, LPARAM_T> m;
    {
      std::lock_guard<std::recursive_mutex> lock(WindowLock());
      if (S().posted.empty()) return;
      m = S().posted.front();
      S().posted.pop_front();
    }
    if (std::get<0>(m) != nullptr) Send(std::get<0>(m), std::get<1>(m), std::get<2>(m), std::get<3>(m));
  }
}
void PaintAll(CDialog& dlg) { PaintIfInvalid(dlg.m_hWnd); }
bool Ended(CDialog& dlg) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return dlg.m_bEnded;
}
void OnModal(std::function<void(CDialog&)> fn) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  S().modalHook = std::move(fn);
}
std::vector<int> ModalsRun() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return S().modals;
}

void SetIconic(CDialog& dlg, bool iconic) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  dlg.m_hWnd->iconic = iconic;
  dlg.m_hWnd->invalid = true;
}

std::vector<BoxRecord> Boxes() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return S().boxes;
}
std::vector<std::string> BoxTexts() {
  std::vector<std::string> out;
  for (const BoxRecord& b : Boxes()) out.push_back(b.text);
  return out;
}
void ScriptAnswers(const std::vector<int>& answers) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  S().answers.assign(answers.begin(), answers.end());
}
void OnBox(const std::string& text, std::function<void()> fn) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  S().boxHooks.emplace_back(text, std::move(fn));
}
std::vector<std::string> TextHistory(CDialog& dlg, int id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* w = Item(dlg, id);
  auto it = S().textHistory.find(w);
  return it == S().textHistory.end() ? std::vector<std::string>() : it->second;
}

std::vector<TimerEvent> TimerLog() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return S().timerLog;
}
bool TimerActive(CDialog& dlg, unsigned id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return dlg.m_hWnd && dlg.m_hWnd->timers.count(id) != 0;
}
unsigned TimerPeriod(CDialog& dlg, unsigned id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  auto it = dlg.m_hWnd->timers.find(id);
  return it == dlg.m_hWnd->timers.end() ? 0 : it->second;
}
bool FireTimer(CDialog& dlg, unsigned id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!TimerActive(dlg, id)) return false;
  Send(dlg.m_hWnd, WM_TIMER, id, 0);
  return true;
}

void ResetWindows() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  S().boxes.clear();
  S().answers.clear();
  S().boxHooks.clear();
  S().timerLog.clear();
  S().textHistory.clear();
  S().modalHook = nullptr;
  S().modals.clear();
  S().posted.clear();
  S().focus = nullptr;
}

}  // namespace headless

// ---- CWnd over the headless windows ----
using headless::WindowLock;

CWnd::CWnd() = default;
CWnd::~CWnd() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd) && m_hWnd->subclass == this) m_hWnd->subclass = nullptr;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  WndHandle h = parent->GetDlgItem(id);
  if (h == nullptr) return false;
  m_hWnd = h;
  h->subclass = this;
  PreSubclassWindow();
  return true;
}

LRESULT_T CWnd::WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) { return DefWindowProc(msg, wp, lp); }
LRESULT_T CWnd::DefWindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (m_hWnd && m_hWnd->kind == WndKind::Dialog && m_hWnd->dialog != nullptr) {
    LRESULT_T r = 0;
    if (m_hWnd->dialog->OnMessage(msg, wp, lp, r)) return r;
  }
  return headless::ClassProc(m_hWnd, msg, wp, lp);
}

LRESULT_T CWnd::SendMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  return headless::Send(m_hWnd, msg, wp, lp);
}
bool CWnd::PostMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return false;
  S().posted.emplace_back(m_hWnd, msg, wp, lp);
  PostedCv().notify_all();
  return true;
}
LRESULT_T CWnd::SendTo(WndHandle h, unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  return headless::Send(h, msg, wp, lp);
}
void CWnd::RunOnWindowThread(const std::function<void()>& fn) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  fn();
}

void CWnd::SetWindowText(const std::string& text) {
  headless::Send(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM_T>(text.c_str()));
}
std::string CWnd::GetWindowText() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) ? m_hWnd->text : std::string();
}

static bool EnableHandle(PlatWindow* w, bool enable) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(w)) return false;
  bool wasDisabled = (w->style & WS_DISABLED) != 0;
  if (wasDisabled == !enable) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    w->pushed = false;
    if (S().focus == w) S().focus = nullptr;  // a disabled window loses the focus
  }
  w->invalid = true;
  headless::Send(w, WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

bool CWnd::EnableWindow(bool enable) { return EnableHandle(m_hWnd, enable); }
bool CWnd::IsWindowEnabled() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) && !(m_hWnd->style & WS_DISABLED);
}
unsigned CWnd::GetStyle() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) ? m_hWnd->style : 0;
}
void CWnd::ModifyStyle(unsigned remove, unsigned add) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd)) m_hWnd->style = (m_hWnd->style & ~remove) | add;
}
void CWnd::GetClientRect(CRect* rect) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd))
    *rect = CRect(0, 0, m_hWnd->rect.Width(), m_hWnd->rect.Height());
  else
    *rect = CRect();
}
void CWnd::SetWindowSize(int cx, int cy) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return;
  m_hWnd->rect.right = m_hWnd->rect.left + cx;
  m_hWnd->rect.bottom = m_hWnd->rect.top + cy;
  m_hWnd->invalid = true;
}
void CWnd::Invalidate() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd)) m_hWnd->invalid = true;
}
void CWnd::UpdateWindow() { headless::PaintIfInvalid(m_hWnd); }
bool CWnd::IsIconic() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) && m_hWnd->iconic;
}
int CWnd::GetDlgCtrlID() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) ? m_hWnd->id : 0;
}
WndHandle CWnd::GetParent() const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(m_hWnd) ? m_hWnd->parent : nullptr;
}
void CWnd::SetFocus() { headless::SetFocusWindow(m_hWnd); }
void CWnd::SetFocusTo(WndHandle h) { headless::SetFocusWindow(h); }
WndHandle CWnd::GetFocusWindow() { return headless::FocusWindow(); }
void CWnd::SetIcon(IconHandle icon, bool big) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd)) m_hWnd->icons[big ? 1 : 0] = icon;
}
CWnd* CWnd::FromHandle(WndHandle h) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  return IsLive(h) ? h->subclass : nullptr;
}
int CWnd::ScreenMetric(int which) { return (which == SM_CXICON || which == SM_CYICON) ? 32 : 0; }

WndHandle CWnd::GetDlgItem(int id) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return nullptr;
  for (PlatWindow* c : m_hWnd->children)
    if (c->id == id) return c;
  return nullptr;
}
void CWnd::SetDlgItemText(int id, const std::string& text) {
  headless::Send(GetDlgItem(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM_T>(text.c_str()));
}
std::string CWnd::GetDlgItemText(int id) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* w = GetDlgItem(id);
  return w ? w->text : std::string();
}
void CWnd::EnableDlgItem(int id, bool enable) { EnableHandle(GetDlgItem(id), enable); }
bool CWnd::IsDlgItemEnabled(int id) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  PlatWindow* w = GetDlgItem(id);
  return w && !(w->style & WS_DISABLED);
}
LRESULT_T CWnd::SendDlgItemMessage(int id, unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  return headless::Send(GetDlgItem(id), msg, wp, lp);
}
WndHandle CWnd::GetNextDlgTabItem(WndHandle from, bool previous) const {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return nullptr;
  std::vector<PlatWindow*> order = m_hWnd->children;
  if (previous) std::reverse(order.begin(), order.end());
  auto it = std::find(order.begin(), order.end(), from);
  size_t start = it == order.end() ? 0 : static_cast<size_t>(it - order.begin()) + 1;
  for (size_t k = 0; k < order.size(); ++k) {
    PlatWindow* c = order[(start + k) % order.size()];
    if (c != from && (c->style & WS_TABSTOP) && !(c->style & WS_DISABLED)) return c;
  }
  return nullptr;
}

int CWnd::MessageBox(const std::string& text, unsigned type) const {
  std::function<void()> hook;
  headless::BoxRecord rec;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowLock());
    rec.text = text;
    rec.caption = AppTitle();
    rec.type = type;
    rec.thread = CurrentThreadId();
    unsigned buttons = type & MB_TYPEMASK;
    int answer = IDOK;
    if (!S().answers.empty()) {
      answer = S().answers.front();
      S().answers.pop_front();
    } else if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
      answer = IDYES;
    }
    rec.answer = answer;
    S().boxes.push_back(rec);
    for (auto& h : S().boxHooks)
      if (h.first == text) hook = h.second;
  }
  if (hook) hook();
  return rec.answer;
}

void CWnd::SetTimer(unsigned id, unsigned ms) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return;
  m_hWnd->timers[id] = ms;
  S().timerLog.push_back(headless::TimerEvent{true, id, ms});
}
void CWnd::KillTimer(unsigned id) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd)) return;
  m_hWnd->timers.erase(id);
  S().timerLog.push_back(headless::TimerEvent{false, id, 0});
}

bool CWnd::AppendSystemMenuItem(unsigned cmd, const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (!IsLive(m_hWnd) || !(m_hWnd->style & WS_SYSMENU)) return false;
  m_hWnd->sysMenu.emplace_back(0u, std::string());
  m_hWnd->sysMenu.emplace_back(cmd, text);
  return true;
}

// ---- dialogs ----
CDialog::~CDialog() {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (IsLive(m_hWnd) && m_hWnd->dialog == this) {
    PlatWindow* d = m_hWnd;
    m_hWnd = nullptr;
    headless::DestroyWindowTree(d);
  }
}

int CDialog::DoModal() {
  headless::OpenDialog(*this);
  std::function<void(CDialog&)> hook;
  {
    std::lock_guard<std::recursive_mutex> lock(WindowLock());
    S().modals.push_back(m_nTemplateId);
    hook = S().modalHook;
  }
  if (hook)
    hook(*this);
  else
    EndDialog(IDCANCEL);
  std::unique_lock<std::recursive_mutex> lock(WindowLock());
  while (!m_bEnded) {
    if (S().posted.empty()) {
      PostedCv().wait(lock);
      continue;
    }
    lock.unlock();
    headless::PumpPosted();
    lock.lock();
  }
  return m_nModalResult;
}

void CDialog::EndDialog(int result) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  m_bEnded = true;
  m_nModalResult = result;
  PostedCv().notify_all();
}

LRESULT_T PlatBrushResult(CtlBrush brush) { return brush == CtlBrush::Hollow ? 5 : 0; }

std::string AppTitle() { return "Orvex"; }
