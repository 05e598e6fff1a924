// Platform-independent parts of the framework: dispatch, data exchange and
// the standard controls, all expressed through window messages.
#include <cstring>
#include <vector>

#include "platform/Controls.h"
#include "platform/Dialog.h"

LRESULT_T PlatBrushResult(CtlBrush brush);  // per platform

void DDX_Control(CDataExchange* dx, int id, CWnd& ctl) {
  if (ctl.m_hWnd == nullptr) ctl.SubclassDlgItem(id, dx->m_pDlg);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  if (dx->m_bSaveAndValidate)
    value = dx->m_pDlg->GetDlgItemText(id);
  else
    dx->m_pDlg->SetDlgItemText(id, value);
}

bool CDialog::UpdateData(bool save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return true;
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool CDialog::OnCommand(unsigned id, unsigned code) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

bool CDialog::OnMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result) {
  switch (msg) {
    case WM_INITDIALOG:
      result = OnInitDialog() ? 1 : 0;
      return true;
    case WM_COMMAND: {
      WndHandle ctl = reinterpret_cast<WndHandle>(lp);
      if (ctl != nullptr) {
        if (CWnd* child = CWnd::FromHandle(ctl)) child->OnChildNotify(HighWord(wp));
      }
      return OnCommand(LowWord(wp), HighWord(wp));
    }
    case WM_DRAWITEM: {
      const DrawItemInfo* info = reinterpret_cast<const DrawItemInfo*>(lp);
      if (info != nullptr) {
        if (CWnd* child = CWnd::FromHandle(info->hwndItem)) {
          child->DrawItem(*info);
          result = 1;
          return true;
        }
      }
      return false;
    }
    case WM_CTLCOLORBTN: {
      if (CWnd* child = CWnd::FromHandle(reinterpret_cast<WndHandle>(lp))) {
        CtlBrush b = child->OnCtlColor();
        if (b != CtlBrush::Default) {
          result = PlatBrushResult(b);
          return true;
        }
      }
      return false;
    }
    case WM_TIMER:
      return OnTimer(static_cast<unsigned>(wp));
    case WM_SYSCOMMAND:
      return OnSysCommand(static_cast<unsigned>(wp), lp);
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT_T>(OnQueryDragIcon());
      return true;
    default:
      return false;
  }
}

// ---- combo box ----
int CComboBox::AddString(const std::string& text) {
  return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM_T>(text.c_str())));
}
int CComboBox::GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
int CComboBox::GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
int CComboBox::SetCurSel(int index) {
  return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM_T>(index)));
}
void CComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }
std::string CComboBox::GetLBText(int index) const {
  std::vector<char> buf(1024, '\0');
  LRESULT_T n = SendMessage(CB_GETLBTEXT, static_cast<WPARAM_T>(index),
                            reinterpret_cast<LPARAM_T>(buf.data()));
  if (n < 0) return std::string();
  return std::string(buf.data());
}

// ---- edit ----
void CEdit::SetSel(int start, int end) {
  SendMessage(EM_SETSEL, static_cast<WPARAM_T>(start), static_cast<LPARAM_T>(end));
}
void CEdit::ReplaceSel(const std::string& text) {
  SendMessage(EM_REPLACESEL, 0, reinterpret_cast<LPARAM_T>(text.c_str()));
}
void CEdit::FmtLines(bool on) { SendMessage(EM_FMTLINES, on ? 1 : 0); }

// ---- progress bar ----
void CProgressCtrl::SetRange(int lower, int upper) {
  SendMessage(PBM_SETRANGE, 0,
              static_cast<LPARAM_T>((lower & 0xFFFF) | ((upper & 0xFFFF) << 16)));
}
int CProgressCtrl::SetPos(int pos) {
  return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM_T>(pos)));
}
int CProgressCtrl::SetStep(int step) {
  return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM_T>(step)));
}
int CProgressCtrl::StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }

// ---- application ----
static CWinApp* g_app = nullptr;
CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}
CWinApp* CWinApp::Get() { return g_app; }
