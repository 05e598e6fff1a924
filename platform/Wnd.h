// Windows, controls addressed by id, and the calls every window understands.
// A CWnd is a thin, non-owning wrapper around a window handle; subclassing
// routes the window's messages through the virtual WindowProc.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"

struct PlatDC;
typedef PlatDC* DCHandle;

// What an owner-drawn control is asked to paint.
struct DrawItemInfo {
  int ctlId = 0;
  unsigned itemAction = 0;
  unsigned itemState = 0;  // ODS_*
  WndHandle hwndItem = nullptr;
  DCHandle hDC = nullptr;
  CRect rcItem;
};

// The brushes a control may ask its parent to paint its background with.
enum class CtlBrush { Default, Hollow };

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  WndHandle m_hWnd = nullptr;
  WndHandle GetSafeHwnd() const { return m_hWnd; }

  // Binds this object to the child control `id` of `parent`; from then on
  // the control's messages go through WindowProc first.
  bool SubclassDlgItem(int id, CWnd* parent);
  // Runs right after the binding, before the first message arrives.
  virtual void PreSubclassWindow() {}
  // Every message of a subclassed window. The default passes it on.
  virtual LRESULT_T WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp);
  // The window's own behaviour for a message (its class procedure).
  LRESULT_T DefWindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp);

  // Messages the parent reflects back to a subclassed child.
  virtual void DrawItem(const DrawItemInfo& info) {}
  // A notification (BN_CLICKED and the like) about this control; the parent
  // still gets it afterwards.
  virtual void OnChildNotify(unsigned code) {}
  virtual CtlBrush OnCtlColor() { return CtlBrush::Default; }

  LRESULT_T SendMessage(unsigned msg, WPARAM_T wp = 0, LPARAM_T lp = 0) const;
  bool PostMessage(unsigned msg, WPARAM_T wp = 0, LPARAM_T lp = 0) const;

  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  bool EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  unsigned GetStyle() const;
  // Changes style bits without asking the window to recompute its frame.
  void ModifyStyle(unsigned remove, unsigned add);
  void GetClientRect(CRect* rect) const;
  void SetWindowSize(int cx, int cy);
  void Invalidate();
  // Paints pending invalid regions now, before returning.
  void UpdateWindow();
  bool IsIconic() const;
  int GetDlgCtrlID() const;
  WndHandle GetParent() const;
  void SetFocus();
  void SetIcon(IconHandle icon, bool big);

  // Child controls by id.
  WndHandle GetDlgItem(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  void EnableDlgItem(int id, bool enable);
  bool IsDlgItemEnabled(int id) const;
  LRESULT_T SendDlgItemMessage(int id, unsigned msg, WPARAM_T wp = 0, LPARAM_T lp = 0) const;
  // The next (or previous) tab-stop control after `from`, or null.
  WndHandle GetNextDlgTabItem(WndHandle from, bool previous = false) const;

  // A modal box owned by this window, captioned with the program's name.
  int MessageBox(const std::string& text, unsigned type = MB_OK) const;

  // Window timer; callable from any thread.
  void SetTimer(unsigned id, unsigned ms);
  void KillTimer(unsigned id);

  // Runs `fn` on the thread that owns this window and waits for it (a sent
  // message), so a worker never races the window's own thread.
  void RunOnWindowThread(const std::function<void()>& fn) const;

  // Appends a separator and an item to the window's system menu; false
  // when the window has no system menu.
  bool AppendSystemMenuItem(unsigned cmd, const std::string& text);

  // The object subclassing `h`, if any.
  static CWnd* FromHandle(WndHandle h);
  static void SetFocusTo(WndHandle h);
  static WndHandle GetFocusWindow();
  static LRESULT_T SendTo(WndHandle h, unsigned msg, WPARAM_T wp = 0, LPARAM_T lp = 0);
  static int ScreenMetric(int which);  // SM_CXICON / SM_CYICON

  // Platform bookkeeping for a subclassed window.
  void* m_pPlatData = nullptr;
};

enum : int { SM_CXICON = 11, SM_CYICON = 12 };
