#include "app/UpdaterApp.h"

#include "app/UpdaterDlg.h"

bool CUpdaterApp::InitInstance() {
  CUpdaterDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  // The process ends with the dialog; its exit status carries no result.
  return false;
}
