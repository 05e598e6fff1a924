// The update: confirmation, disc check, transfer and transfer checksum on
// the dialog's thread, then the commit and its checks on one worker.
#include "app/UpdaterDlg.h"
#include "platform/Resources.h"
#include "update/FirmwareImage.h"
#include "update/ZoneChecksum.h"

namespace {

const unsigned kMainTickMs = 400;
const unsigned kWriteStrategyTickMs = 60;

}  // namespace

void CUpdaterDlg::EnableRunControls(bool enable) {
  EnableDlgItem(IDC_UPDATE, enable);
  EnableDlgItem(IDCANCEL, enable);
  EnableDlgItem(IDC_OPEN, enable);
  EnableDlgItem(IDC_DRIVE, enable);
}

void CUpdaterDlg::StopUpdate(const char* box) {
  KillTimer(UPDATE_TIMER_ID);
  m_progress.SetPos(0);
  MessageBox(box, MB_OK | MB_ICONHAND);
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

  if (MessageBox(LoadStringRes(IDS_ARE_YOU_SURE), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    if (m_bAutoMode) {
      m_nRunResult = RUN_DECLINED;
      EnableDlgItem(IDCANCEL, true);
    }
    --m_nBusy;
    return;
  }

  ShowStatus(IDS_PLEASE_WAIT);
  bool writeStrategy = m_bWriteStrategy != 0;
  if (writeStrategy) {
    std::uint32_t before = 0;
    int rc = ReadZoneChecksumChecked(*m_pImage, SelectedRow(), &before);
    m_dwZoneSumBefore = before;
    if (rc != 0) {
      // Without a firmware-zone checksum to compare with, the update could
      // never be judged afterwards: nothing is sent.
      MessageBox("ATAPI ERROR02", MB_OK | MB_ICONHAND);
      ShowStatus(IDS_TRANSFER_FAILED);
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
      --m_nBusy;
      return;
    }
    SetTimer(UPDATE_TIMER_ID, kWriteStrategyTickMs);
  } else {
    SetTimer(UPDATE_TIMER_ID, kMainTickMs);
  }
  ShowStatus(IDS_PLEASE_WAIT);
  EnableRunControls(false);

  // Disc check: three answers of "ready" mean a disc is loaded.
  bool discLoaded = m_pImage->TestUnitReady(SelectedRow()) == 0 &&
                    m_pImage->TestUnitReady(SelectedRow()) == 0 &&
                    m_pImage->TestUnitReady(SelectedRow()) == 0;
  if (discLoaded && m_aspi.StartStopUnit(SelectedRow(), 0x02) != 0) {
    StopUpdate("Disc remove fail !");
    ShowStatus(IDS_REMOVE_DISC);
    if (m_bAutoMode) {
      m_nRunResult = RUN_FAILED;
      EnableDlgItem(IDCANCEL, true);
    } else {
      // Nothing was sent yet: the user may take the disc out and try again.
      EnableRunControls(true);
    }
    --m_nBusy;
    return;
  }

  ShowStatus(IDS_DOWNLOADING);
  m_pImage->SetDriveIndex(SelectedRow());

  if (m_pImage->DownloadImage(SelectedRow()) != 0) {
    StopUpdate("ATAPI ERROR02");
    ShowStatus(IDS_TRANSFER_FAILED);
    EnableRunControls(true);
    if (m_bAutoMode) m_nRunResult = RUN_FAILED;
    --m_nBusy;
    return;
  }

  if (!writeStrategy) {
    ShowStatus(IDS_CHECK_TRANSFER_SUM);
    if (m_pImage->VerifyTransferChecksum(SelectedRow()) != 0) {
      ShowStatus(IDS_CHECKSUM_FAIL);
      StopUpdate("Checksum Fail");
      EnableRunControls(true);
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
      --m_nBusy;
      return;
    }
  }

  ShowStatus(writeStrategy ? IDS_WRITING_WS : IDS_WRITING_FIRMWARE);

  m_bUpdateIsWriteStrategy = writeStrategy;
  m_bWorkerRunning = true;
  ++m_nWorkersAlive;
  m_pWorker = CWinThread::Begin(&CUpdaterDlg::UpdateWorkerProc, this);
  if (m_pWorker == nullptr) {
    // No worker, no commit: the drive keeps its firmware.
    m_bWorkerRunning = false;
    --m_nWorkersAlive;
    StopUpdate("Update was Fail");
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
  int rc = writeStrategy ? m_pImage->CommitWriteStrategy() : m_pImage->CommitFirmware();
  KillTimer(UPDATE_TIMER_ID);
  SleepMs(10);
  if (rc != 0) {
    RunOnWindowThread([this] { m_progress.SetPos(0); });
    MessageBox("Update was Fail", MB_OK | MB_ICONHAND);
    return 1;
  }
  RunOnWindowThread([this] { m_progress.SetPos(1000); });
  if (writeStrategy && CheckZoneChecksum() != 0) {
    m_bWriteStrategy = 0;
    m_nZoneFailMark = ZONE_FAIL_MARK;
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

int CUpdaterDlg::CheckZoneChecksum() {
  ShowStatus(IDS_CHECKING_ZONE);
  std::uint32_t after = 0;
  int rc = ReadZoneChecksumChecked(*m_pImage, SelectedRow(), &after);
  m_dwZoneSumAfter = after;
  bool unchanged = m_dwZoneSumAfter == m_dwZoneSumBefore;
#ifndef ORVEX_GUARD_OFF_ZONE_READ_FAILED
  // A failed read is never taken for an unchanged zone, even when its
  // result code happens to equal the checksum read before.
  if (rc != 0) unchanged = false;
#endif
  if (unchanged) {
    MessageBox("FW Zone Checksum is OK", MB_OK | MB_ICONASTERISK);
    ShowStatus(IDS_ZONE_OK);
    return 0;
  }
  MessageBox("FW Zone Checksum is Not Correct !!", MB_OK | MB_ICONASTERISK);
  return 1;
}
