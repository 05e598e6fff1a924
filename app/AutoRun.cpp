// The private run message: Open, Update and Close in a row.
#include "app/UpdaterDlg.h"

LRESULT_T CUpdaterDlg::OnAutoRun() {
  // Another run is in progress (its boxes are open, or the worker has the
  // image and the drive): a second one must not replace the image under it.
  if (m_nBusy > 0 || m_bWorkerRunning || m_bClosed) return 0;
  ++m_nBusy;
  // After a completed update the only way on is to close.
  if (!m_bUpdateCompleted) {
    OnOpen();
    OnUpdate();
  }
  --m_nBusy;
  OnCancel();  // deferred until the worker has finished, if one was started
  return 0;
}
