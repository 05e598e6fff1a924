// While the drive writes its firmware (the engine's hold), the dialog keeps
// the computer up: no idle sleep, a logoff or shutdown refused with a reason
// Windows can show, a suspend query denied. The transfer runs on the
// dialog's thread and the commit on the worker; both reach here on the
// dialog's thread, which owns the window the reason belongs to and the
// execution state it sets.
#include "app/UpdaterDlg.h"
#include "platform/Power.h"
#include "platform/Resources.h"

void CUpdaterDlg::HoldSystem(bool hold) {
  if (hold == m_bSystemHeld) return;
  if (hold) {
    m_bSystemHeld = true;
    SysKeepSystemAwake(true);
    SysBlockShutdown(*this, LoadStringRes(IDS_HOLD_REASON));
  } else {
    SysUnblockShutdown(*this);
    SysKeepSystemAwake(false);
    m_bSystemHeld = false;
  }
}

bool CUpdaterDlg::OnSessionQuery(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result) {
  // Outside the hold the platform's own answers stand.
  if (!m_bSystemHeld) return false;
#ifndef ORVEX_GUARD_OFF_SESSION_HOLD
  if (msg == WM_QUERYENDSESSION) {
    result = 0;
    return true;
  }
#endif
  // Systems before Vista ask before they suspend.
  if (msg == WM_POWERBROADCAST && wp == PBT_APMQUERYSUSPEND) {
    result = static_cast<LRESULT_T>(BROADCAST_QUERY_DENY);
    return true;
  }
  return false;
}
