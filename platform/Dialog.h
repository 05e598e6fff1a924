// Modal dialogs built from a resource template, with data exchange between
// members and controls, and the application object that runs them.
#pragma once

#include <string>

#include "platform/Wnd.h"

class CDialog;

class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, bool save) : m_pDlg(dlg), m_bSaveAndValidate(save) {}
  CDialog* m_pDlg;
  bool m_bSaveAndValidate;  // true: controls to members
};

// Binds control `id` to `ctl` (once).
void DDX_Control(CDataExchange* dx, int id, CWnd& ctl);
// Moves the text of control `id` to or from `value`.
void DDX_Text(CDataExchange* dx, int id, std::string& value);

class CDialog : public CWnd {
 public:
  explicit CDialog(int templateId) : m_nTemplateId(templateId) {}
  ~CDialog() override;

  // Creates the window from its template and runs it until EndDialog.
  int DoModal();
  // Ends the modal loop with `result`; callable from any thread.
  void EndDialog(int result);
  // Moves every exchanged value: save=true from controls to members.
  bool UpdateData(bool save = true);

  virtual void DoDataExchange(CDataExchange* dx) {}
  // Base behaviour: binds the controls and pushes the members' texts.
  virtual bool OnInitDialog();
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // Message dispatch. Returns true when handled; `result` is the answer.
  virtual bool OnMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result);
  // WM_COMMAND from a control or menu; true when handled.
  virtual bool OnCommand(unsigned id, unsigned code);
  virtual bool OnTimer(unsigned id) { return false; }
  virtual bool OnSysCommand(unsigned id, LPARAM_T lp) { return false; }
  virtual bool OnPaint() { return false; }
  virtual IconHandle OnQueryDragIcon() { return nullptr; }

  int m_nTemplateId;
  bool m_bEnded = false;
  int m_nModalResult = 0;
};

// The one application object; the platform's start-up calls InitInstance.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  virtual bool InitInstance() = 0;
  static CWinApp* Get();
  CWnd* m_pMainWnd = nullptr;
};

// The program's name for captions: the executable's name without extension.
std::string AppTitle();
