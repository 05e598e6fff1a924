// The update: the engine's confirmation, disc check, transfer and transfer
// checksum on the dialog's thread, then its commit and checks on one worker.
#include "app/DlgUpdateReport.h"
#include "app/UpdaterDlg.h"
#include "platform/Resources.h"
#include "update/FirmwareImage.h"
#include "update/UpdateEngine.h"

void CUpdaterDlg::EnableRunControls(bool enable) {
  EnableDlgItem(IDC_UPDATE, enable);
  EnableDlgItem(IDCANCEL, enable);
  EnableDlgItem(IDC_OPEN, enable);
  EnableDlgItem(IDC_DRIVE, enable);
}

void CUpdaterDlg::EndRun() {
  delete m_pRunEngine;
  m_pRunEngine = nullptr;
  delete m_pRunReport;
  m_pRunReport = nullptr;
}

void CUpdaterDlg::OnUpdate() {
  UpdateData(true);
  m_nRunResult = RUN_STARTED;

  // Only an image admitted for the drive selected now may be written; an
  // unattended run can ask for an update without one.
  int row = SelectedRow();
  if (m_pImage == nullptr || !IsValidRow(row) || row != m_nAdmittedRow || m_bWorkerRunning ||
      m_bUpdateCompleted) {
    if (m_bAutoMode) m_nRunResult = RUN_FAILED;
    return;
  }
  ++m_nBusy;

  const bool writeStrategy = m_bWriteStrategy != 0;
  EndRun();
  m_pRunReport = new CDlgUpdateReport(*this, writeStrategy);
  m_pRunEngine = new CUpdateEngine(m_aspi, *m_pRunReport);
  CUpdateEngine& engine = *m_pRunEngine;
  int rc = engine.Prepare(*m_pImage, row, writeStrategy);
  if (writeStrategy) m_dwZoneSumBefore = engine.m_dwZoneSumBefore;
  if (rc == ENGINE_OK) rc = engine.Transfer(*m_pImage, row, writeStrategy);
  if (rc != ENGINE_OK) {
    if (rc == ENGINE_DECLINED) {
      if (m_bAutoMode) {
        m_nRunResult = RUN_DECLINED;
        EnableDlgItem(IDCANCEL, true);
      }
    } else if (engine.m_failedStage == STAGE_DISC) {
      if (m_bAutoMode) {
        m_nRunResult = RUN_FAILED;
        EnableDlgItem(IDCANCEL, true);
      } else {
        // Nothing was sent yet: the user may take the disc out and try again.
        EnableRunControls(true);
      }
    } else {
      // Before the disc check nothing was disabled.
      if (engine.m_failedStage != STAGE_PREPARE) EnableRunControls(true);
      if (engine.m_bDriveChanged) {
        // The admission no longer holds: the drive shows what it said
        // inside the hold, and Open checks the image against that.
        m_nAdmittedRow = -1;
        EnableDlgItem(IDC_UPDATE, false);
        const DriveEntry& d = m_aspi.m_drives[row];
        m_strCurrent = IdentityText(d.szVendor, d.szProduct, d.szRevision);
        UpdateData(false);
        ShowStatus(IDS_DRIVE_CHANGED);
      }
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
    }
    EndRun();
    --m_nBusy;
    return;
  }

  m_bUpdateIsWriteStrategy = writeStrategy;
  m_bWorkerRunning = true;
  ++m_nWorkersAlive;
  m_pWorker = CWinThread::Begin(&CUpdaterDlg::UpdateWorkerProc, this);
  if (m_pWorker == nullptr) {
    // No worker, no commit: the drive keeps its firmware, and the system
    // is let go before the box.
    EndRun();
    m_bWorkerRunning = false;
    --m_nWorkersAlive;
    KillTimer(UPDATE_TIMER_ID);
    m_progress.SetPos(0);
    MessageBox("Update was Fail", MB_OK | MB_ICONHAND);
    EnableRunControls(true);
    if (m_bAutoMode) m_nRunResult = RUN_FAILED;
  }
  --m_nBusy;
}

bool CUpdaterDlg::OnTimer(unsigned id) {
  m_progress.StepIt();
  return false;
}

unsigned CUpdaterDlg::UpdateWorkerProc(void* param) {
  CUpdaterDlg* dlg = static_cast<CUpdaterDlg*>(param);
  dlg->m_nWorkerThread = CurrentThreadId();
  if (dlg->FinishUpdate() != 0) {
    dlg->OnInitDialog();
    // Whatever the new start-up left, the user can close the dialog, and
    // outside the unattended mode open an image again.
    dlg->EnableDlgItem(IDCANCEL, true);
    if (!dlg->m_bAutoMode && dlg->m_aspi.m_nDrives > 0) {
      dlg->EnableDlgItem(IDC_OPEN, true);
      dlg->EnableDlgItem(IDC_DRIVE, true);
    }
  }
  // A close step asked for while the worker ran (the private run message)
  // runs now that nothing uses the image or the drive any more. The flag is
  // taken after the running mark is cleared, and OnCancel on the dialog's
  // thread looks at the mark after setting the flag, so exactly one of the
  // two runs it.
  dlg->m_bWorkerRunning = false;
  if (dlg->m_bCloseAfterWorker.exchange(false)) dlg->OnCancel();
  // The last touch of the dialog: its destructor waits for this.
  --dlg->m_nWorkersAlive;
  return 0;
}

int CUpdaterDlg::FinishUpdate() {
  const bool writeStrategy = m_bUpdateIsWriteStrategy;
  // The engine OnUpdate started, still holding the system.
  CUpdateEngine& engine = *m_pRunEngine;
  engine.m_dwZoneSumBefore = m_dwZoneSumBefore;
  const int rc = engine.Commit(*m_pImage, m_pImage->m_nDriveIndex, writeStrategy);
  const UpdateStage failedStage = engine.m_failedStage;
  if (writeStrategy && (rc == ENGINE_OK || failedStage == STAGE_ZONE))
    m_dwZoneSumAfter = engine.m_dwZoneSumAfter;
  EndRun();
  if (rc != ENGINE_OK) {
    if (failedStage == STAGE_ZONE) {
      m_bWriteStrategy = 0;
      m_nZoneFailMark = ZONE_FAIL_MARK;
    }
    return 1;
  }
  m_bUpdateCompleted = true;
  SetDlgItemText(IDCANCEL, "Close");
  EnableDlgItem(IDCANCEL, true);
  std::string reboot = LoadStringRes(IDS_PLEASE_REBOOT);
  SendDlgItemMessage(IDC_STATUS, EM_SETSEL, 0, static_cast<LPARAM_T>(-1));
  SendDlgItemMessage(IDC_STATUS, EM_SCROLLCARET);
  SendDlgItemMessage(IDC_STATUS, EM_REPLACESEL, 0, reinterpret_cast<LPARAM_T>(reboot.c_str()));
  if (m_bAutoMode) {
    m_nRunResult = RUN_OK;
    MessageBox("Update was Completed!", MB_OK | MB_ICONASTERISK);
    m_bCloseAfterWorker = false;
    OnCancel();
  } else {
    MessageBox("Update was Completed!", MB_OK | MB_ICONASTERISK);
  }
  return 0;
}
