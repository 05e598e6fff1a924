#include "app/DlgUpdateReport.h"

#include "app/UpdaterDlg.h"
#include "platform/Resources.h"
#include "platform/Thread.h"

namespace {

// The bar moves by time: one step of 13 every 400 ms for the main firmware,
// every 60 ms for a write strategy.
const unsigned kMainTickMs = 400;
const unsigned kWriteStrategyTickMs = 60;

}  // namespace

void CDlgUpdateReport::OnStage(UpdateStage stage) {
  if (stage != STAGE_DISC) return;
  // From the disc check on, nothing on the dialog's thread may touch the
  // drive or the image.
  m_dlg.SetTimer(UPDATE_TIMER_ID, m_bWriteStrategy ? kWriteStrategyTickMs : kMainTickMs);
  m_dlg.EnableRunControls(false);
}

void CDlgUpdateReport::OnStageEnd(UpdateStage stage, bool ok) {
  m_dlg.KillTimer(UPDATE_TIMER_ID);
  if (stage != STAGE_COMMIT) {
    m_dlg.m_progress.SetPos(0);
    return;
  }
  // The commit ends on the worker: the bar belongs to the dialog's thread.
  SleepMs(10);
  CUpdaterDlg* dlg = &m_dlg;
  const int pos = ok ? 1000 : 0;
  m_dlg.RunOnWindowThread([dlg, pos] { dlg->m_progress.SetPos(pos); });
}

// Not shown yet: the next status text refreshes the dialog, so a version
// refusal shows the image it refused.
void CDlgUpdateReport::OnImage(const std::string& identity) {
  m_dlg.m_strNew = identity;
  m_dlg.m_strFile = m_strFileText;
}

void CDlgUpdateReport::OnStatus(unsigned statusId) { m_dlg.ShowStatus(statusId); }

void CDlgUpdateReport::OnNotice(NoticeKind kind, unsigned textId, const char* text) {
  const unsigned icon = kind == NOTICE_ERROR     ? MB_ICONHAND
                        : kind == NOTICE_WARNING ? MB_ICONEXCLAMATION
                                                 : MB_ICONASTERISK;
  m_dlg.MessageBox(textId != 0 ? LoadStringRes(textId) : std::string(text), MB_OK | icon);
}

bool CDlgUpdateReport::Ask(UpdateQuestion question) {
  return m_dlg.MessageBox(LoadStringRes(IDS_ARE_YOU_SURE), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void CDlgUpdateReport::OnHold(bool begin) {
  // It begins on the dialog's thread and ends on either: the execution
  // state is the calling thread's and the block reason the window thread's.
  CUpdaterDlg* dlg = &m_dlg;
  m_dlg.RunOnWindowThread([dlg, begin] { dlg->HoldSystem(begin); });
}
