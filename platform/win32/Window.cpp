// Windows and dialogs over the Win32 API.
#include "platform/win32/Win32.h"

#include <vector>

namespace {

const char kPropObject[] = "Orvex.CWnd";
const char kPropOldProc[] = "Orvex.OldProc";

LRESULT CALLBACK SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* self = static_cast<CWnd*>(GetPropA(h, kPropObject));
  WNDPROC old = reinterpret_cast<WNDPROC>(GetPropA(h, kPropOldProc));
  if (msg == kInvokeMessage) {
    (*reinterpret_cast<const std::function<void()>*>(lp))();
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(h, kPropObject);
    RemovePropA(h, kPropOldProc);
    if (self != nullptr) self->m_hWnd = nullptr;
    return CallWindowProcA(old, h, msg, wp, lp);
  }
  if (self == nullptr) return CallWindowProcA(old, h, msg, wp, lp);
  return self->WindowProc(msg, wp, lp);
}

bool ReturnsDirectly(UINT msg) {
  return msg == WM_INITDIALOG || msg == WM_QUERYDRAGICON || msg == WM_COMPAREITEM ||
         msg == WM_VKEYTOITEM || msg == WM_CHARTOITEM ||
         (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC);
}

INT_PTR CALLBACK DialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  CDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lp);
    SetWindowLongPtrA(h, DWLP_USER, lp);
    self->m_hWnd = FromHwnd(h);
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(h, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  if (msg == kInvokeMessage) {
    (*reinterpret_cast<const std::function<void()>*>(lp))();
    SetWindowLongPtrA(h, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  LRESULT_T result = 0;
  bool handled;
  if (msg == WM_DRAWITEM) {
    const DRAWITEMSTRUCT* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    DrawItemInfo info;
    info.ctlId = static_cast<int>(dis->CtlID);
    info.itemAction = dis->itemAction;
    info.itemState = dis->itemState;
    info.hwndItem = FromHwnd(dis->hwndItem);
    info.hDC = reinterpret_cast<DCHandle>(dis->hDC);
    info.rcItem = CRect(dis->rcItem.left, dis->rcItem.top, dis->rcItem.right, dis->rcItem.bottom);
    handled = self->OnMessage(msg, wp, reinterpret_cast<LPARAM_T>(&info), result);
  } else {
    handled = self->OnMessage(msg, wp, lp, result);
  }
  if (msg == WM_NCDESTROY) self->m_hWnd = nullptr;
  if (ReturnsDirectly(msg)) return static_cast<INT_PTR>(result);
  if (!handled) return FALSE;
  SetWindowLongPtrA(h, DWLP_MSGRESULT, result);
  return TRUE;
}

HWND RootOf(HWND h) {
  HWND root = GetAncestor(h, GA_ROOT);
  return root != nullptr ? root : h;
}

}  // namespace

CWnd::CWnd() = default;
CWnd::~CWnd() {
  HWND h = ToHwnd(m_hWnd);
  if (h != nullptr && IsWindow(h) && GetPropA(h, kPropObject) == this) RemovePropA(h, kPropObject);
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent) {
  HWND h = ::GetDlgItem(ToHwnd(parent->m_hWnd), id);
  if (h == nullptr) return false;
  m_hWnd = FromHwnd(h);
  if (GetPropA(h, kPropOldProc) == nullptr) {
    LONG_PTR old = SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc));
    SetPropA(h, kPropOldProc, reinterpret_cast<HANDLE>(old));
  }
  SetPropA(h, kPropObject, this);
  PreSubclassWindow();
  return true;
}

LRESULT_T CWnd::WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) { return DefWindowProc(msg, wp, lp); }

LRESULT_T CWnd::DefWindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  HWND h = ToHwnd(m_hWnd);
  WNDPROC old = reinterpret_cast<WNDPROC>(GetPropA(h, kPropOldProc));
  if (old != nullptr) return CallWindowProcA(old, h, msg, wp, lp);
  return DefWindowProcA(h, msg, wp, lp);
}

LRESULT_T CWnd::SendMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  return SendMessageA(ToHwnd(m_hWnd), msg, wp, lp);
}
bool CWnd::PostMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  return PostMessageA(ToHwnd(m_hWnd), msg, wp, lp) != FALSE;
}
LRESULT_T CWnd::SendTo(WndHandle h, unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  return SendMessageA(ToHwnd(h), msg, wp, lp);
}

void CWnd::RunOnWindowThread(const std::function<void()>& fn) const {
  HWND h = ToHwnd(m_hWnd);
  if (h == nullptr || GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) {
    fn();
    return;
  }
  SendMessageA(RootOf(h), kInvokeMessage, 0, reinterpret_cast<LPARAM>(&fn));
}

void CWnd::SetWindowText(const std::string& text) { SetWindowTextA(ToHwnd(m_hWnd), text.c_str()); }
std::string CWnd::GetWindowText() const {
  HWND h = ToHwnd(m_hWnd);
  int n = GetWindowTextLengthA(h);
  std::vector<char> buf(static_cast<size_t>(n) + 2, '\0');
  GetWindowTextA(h, buf.data(), n + 1);
  return std::string(buf.data());
}
bool CWnd::EnableWindow(bool enable) { return ::EnableWindow(ToHwnd(m_hWnd), enable) != FALSE; }
bool CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(ToHwnd(m_hWnd)) != FALSE; }
unsigned CWnd::GetStyle() const {
  return static_cast<unsigned>(GetWindowLongA(ToHwnd(m_hWnd), GWL_STYLE));
}
void CWnd::ModifyStyle(unsigned remove, unsigned add) {
  HWND h = ToHwnd(m_hWnd);
  LONG s = GetWindowLongA(h, GWL_STYLE);
  SetWindowLongA(h, GWL_STYLE, static_cast<LONG>((static_cast<unsigned>(s) & ~remove) | add));
}
void CWnd::GetClientRect(CRect* rect) const {
  RECT r{};
  ::GetClientRect(ToHwnd(m_hWnd), &r);
  *rect = CRect(r.left, r.top, r.right, r.bottom);
}
void CWnd::SetWindowSize(int cx, int cy) {
  SetWindowPos(ToHwnd(m_hWnd), nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
void CWnd::Invalidate() { InvalidateRect(ToHwnd(m_hWnd), nullptr, TRUE); }
void CWnd::UpdateWindow() {
  // Paint whatever is pending now, children included, before returning.
  RedrawWindow(ToHwnd(m_hWnd), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}
bool CWnd::IsIconic() const { return ::IsIconic(ToHwnd(m_hWnd)) != FALSE; }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(ToHwnd(m_hWnd)); }
WndHandle CWnd::GetParent() const { return FromHwnd(::GetParent(ToHwnd(m_hWnd))); }
void CWnd::SetFocus() { ::SetFocus(ToHwnd(m_hWnd)); }
void CWnd::SetFocusTo(WndHandle h) { ::SetFocus(ToHwnd(h)); }
WndHandle CWnd::GetFocusWindow() { return FromHwnd(::GetFocus()); }
void CWnd::SetIcon(IconHandle icon, bool big) {
  SendMessageA(ToHwnd(m_hWnd), WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}
CWnd* CWnd::FromHandle(WndHandle h) {
  if (h == nullptr) return nullptr;
  return static_cast<CWnd*>(GetPropA(ToHwnd(h), kPropObject));
}
int CWnd::ScreenMetric(int which) { return GetSystemMetrics(which); }

WndHandle CWnd::GetDlgItem(int id) const { return FromHwnd(::GetDlgItem(ToHwnd(m_hWnd), id)); }
void CWnd::SetDlgItemText(int id, const std::string& text) {
  SetDlgItemTextA(ToHwnd(m_hWnd), id, text.c_str());
}
std::string CWnd::GetDlgItemText(int id) const {
  HWND c = ::GetDlgItem(ToHwnd(m_hWnd), id);
  int n = GetWindowTextLengthA(c);
  std::vector<char> buf(static_cast<size_t>(n) + 2, '\0');
  GetWindowTextA(c, buf.data(), n + 1);
  return std::string(buf.data());
}
void CWnd::EnableDlgItem(int id, bool enable) { ::EnableWindow(::GetDlgItem(ToHwnd(m_hWnd), id), enable); }
bool CWnd::IsDlgItemEnabled(int id) const {
  return ::IsWindowEnabled(::GetDlgItem(ToHwnd(m_hWnd), id)) != FALSE;
}
LRESULT_T CWnd::SendDlgItemMessage(int id, unsigned msg, WPARAM_T wp, LPARAM_T lp) const {
  return SendDlgItemMessageA(ToHwnd(m_hWnd), id, msg, wp, lp);
}
WndHandle CWnd::GetNextDlgTabItem(WndHandle from, bool previous) const {
  return FromHwnd(::GetNextDlgTabItem(ToHwnd(m_hWnd), ToHwnd(from), previous));
}

int CWnd::MessageBox(const std::string& text, unsigned type) const {
  return MessageBoxA(ToHwnd(m_hWnd), text.c_str(), AppTitle().c_str(), type);
}

void CWnd::SetTimer(unsigned id, unsigned ms) {
  // Timers belong to the window's thread; a worker asks that thread.
  HWND h = ToHwnd(m_hWnd);
  RunOnWindowThread([h, id, ms] { ::SetTimer(h, id, ms, nullptr); });
}
void CWnd::KillTimer(unsigned id) {
  HWND h = ToHwnd(m_hWnd);
  RunOnWindowThread([h, id] { ::KillTimer(h, id); });
}

bool CWnd::AppendSystemMenuItem(unsigned cmd, const std::string& text) {
  HMENU menu = GetSystemMenu(ToHwnd(m_hWnd), FALSE);
  if (menu == nullptr) return false;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, cmd, text.c_str());
  return true;
}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
  m_bEnded = false;
  INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), nullptr,
                              DialogProc, reinterpret_cast<LPARAM>(this));
  return static_cast<int>(r);
}

void CDialog::EndDialog(int result) {
  m_bEnded = true;
  m_nModalResult = result;
  HWND h = ToHwnd(m_hWnd);
  if (h == nullptr) return;
  // Ended on the dialog's own thread, which leaves its modal loop when it
  // next looks at its messages.
  RunOnWindowThread([h, result] { ::EndDialog(h, result); });
}

LRESULT_T PlatBrushResult(CtlBrush brush) {
  return brush == CtlBrush::Hollow ? reinterpret_cast<LRESULT_T>(GetStockObject(HOLLOW_BRUSH)) : 0;
}

std::string AppTitle() {
  char path[MAX_PATH] = {0};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path);
  size_t slash = p.find_last_of("\\/");
  if (slash != std::string::npos) p = p.substr(slash + 1);
  size_t dot = p.find_last_of('.');
  if (dot != std::string::npos) p = p.substr(0, dot);
  return p;
}
