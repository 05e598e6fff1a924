// The private run message: Open, Update and Close in a row.
#include "app/UpdaterDlg.h"

LRESULT_T CUpdaterDlg::OnAutoRun() {
  // Another run is in progress (the worker has the image and the drive):
  // a second one must not replace the image under it.
  if (m_bWorkerRunning || m_bClosed) return 0;
#ifndef ORVEX_GUARD_OFF_AUTORUN_REENTRY
  // A handler waits in a box or the file dialog: not inside it.
  if (m_nBusy > 0) return 0;
#endif
#ifndef ORVEX_GUARD_OFF_AUTORUN_BOXES
  // One of the dialog's boxes is open, the start-up's or the About box
  // among them: the run would end the dialog under it.
  if (m_nBoxesOpen > 0) return 0;
#endif
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
