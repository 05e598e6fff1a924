// Closing the dialog, and the restart the new firmware needs.
#include "app/UpdaterDlg.h"
#include "platform/Restart.h"
#include "update/FirmwareImage.h"

void CUpdaterDlg::OnCancel() {
  // Called from the dialog's thread while the worker still uses the image
  // and the drive (the private run message): the worker closes when done.
  if (m_bWorkerRunning && CurrentThreadId() != m_nWorkerThread) {
    m_bCloseAfterWorker = true;
    if (m_bWorkerRunning) return;
    // The worker ended meanwhile; whichever side takes the flag closes.
    if (!m_bCloseAfterWorker.exchange(false)) return;
  }
  // The dialog ends once; a second close step (the private run message
  // after the worker already closed) must not ask about a restart again.
  if (m_bClosed.exchange(true)) return;
  delete m_pImage;
  m_pImage = nullptr;
  m_nAdmittedRow = -1;

  if (GetDlgItemText(IDCANCEL) == "Close") {
    if (MessageBox("Restart computer?", MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
      if (m_aspi.m_bWin9x)
        SysExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
      else
        RestartWindows();
    }
  }
  EndDialog(IDCANCEL);
}

void RestartWindows() {
  TokenHandle token = nullptr;
  if (!SysOpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    SysWriteStdout("\nOpenProcessToken failed.");
    SysExitProcess(0);
  }
  PrivilegeId id;
  SysLookupPrivilegeValue(nullptr, "SeShutdownPrivilege", &id);
  SysAdjustTokenPrivilege(token, id);
  // Boxes go over the main dialog when there is one.
  CWnd ownerless;
  CWnd* owner = CWinApp::Get() && CWinApp::Get()->m_pMainWnd ? CWinApp::Get()->m_pMainWnd : &ownerless;
  if (SysGetLastError() != 0) owner->MessageBox("AdjustTokenPrivileges enable failed.", MB_OK | MB_ICONHAND);
  if (!SysInitiateSystemShutdown(nullptr, nullptr, 0, true, true))
    owner->MessageBox("Aborted System Shutdown!", MB_OK | MB_ICONHAND);
  SysCloseHandle(token);
}
