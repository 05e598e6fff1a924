// The Open button: names an image file and has the engine load it, check it
// against the selected drive and apply the version rules.
#include <cstdio>
#include <cstring>

#include "app/DlgUpdateReport.h"
#include "app/UpdaterDlg.h"
#include "platform/FileDialog.h"
#include "platform/Profile.h"
#include "platform/Resources.h"
#include "update/FirmwareImage.h"
#include "update/UpdateEngine.h"

void CUpdaterDlg::OnOpen() {
  ++m_nBusy;
  m_strFile.clear();
  m_strNew.clear();
  EnableDlgItem(IDC_UPDATE, false);
  m_nAdmittedRow = -1;
  m_nRunResult = RUN_OK;

  std::string path, fileText;
  bool nameTooLong = false;
  if (m_bAutoMode) {
    // The name holds at most 127 characters. A longer one is read whole only
    // to be refused: its first 127 characters may name another file.
    char name[1024];
    ReadProfileString("FILE", "File Name", "", name, sizeof name, kConfigFile);
    nameTooLong = std::strlen(name) > 127;
    if (nameTooLong) name[127] = '\0';
    path = name;
    fileText = name;
  } else {
    char dir[512];
    GetCurrentDir(dir, sizeof dir);
    // The configuration file is read from the working directory, and the
    // file dialog may move it: it goes back, OK or Cancel.
    char cwd[4096];
    const bool cwdKnown = GetCurrentDir(cwd, sizeof cwd) > 0;
    OpenFileRequest req;
    req.owner = this;
    req.filter = "Firmware (*.bin)|*.bin|";
    req.defExt = "bin";
    req.initialDir = dir;
    req.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    const bool chosen = ShowOpenFileDialog(req, &path, &fileText);
#ifndef ORVEX_GUARD_OFF_CWD_RESTORE
    if (cwdKnown) SetCurrentDir(cwd);
#endif
    if (!chosen) {
      --m_nBusy;
      return;
    }
  }

  delete m_pImage;
  m_pImage = new FirmwareImage;

  ShowStatus(IDS_CHOOSE_FILE);

  const int row = SelectedRow();
  AdmitRules rules;
  rules.writeStrategy = m_bWriteStrategy != 0;
  // Unattended, the two models whose firmware may go back a version.
  rules.allowSameOrLower = m_bAutoMode && (m_nAutoDetect == 53 || m_nAutoDetect == 54);
  CDlgUpdateReport report(*this, rules.writeStrategy, fileText);
  CUpdateEngine engine(m_aspi, report);
  AdmitResult admit;
  // A name too long for the configuration's field names no file.
  const int rc = engine.Admit(*m_pImage, nameTooLong ? "" : path.c_str(), row, m_strCurrent, rules, &admit);

  switch (admit.reason) {
    case REFUSE_IMAGE:
    case REFUSE_NO_DRIVE:
    case REFUSE_MODEL:
    case REFUSE_ID_TEXT:
    case REFUSE_NO_ID_ANSWER:
    case REFUSE_NO_VERSION:
      delete m_pImage;
      m_pImage = nullptr;
      // A refused image must not show its identity on the next refresh.
      m_strNew.clear();
      m_strFile.clear();
      UpdateData(false);
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
      break;
    case REFUSE_SAME_OR_LOWER:
    case REFUSE_NO_WS_NEEDED:
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
      break;
    case ADMIT_MAIN_INSTEAD:
      m_bWriteStrategy = 0;
      break;
    default:
      break;
  }
  if (rc == ENGINE_OK) {
    m_nAdmittedRow = row;
    UpdateData(false);
    EnableDlgItem(IDC_UPDATE, true);
  }
  --m_nBusy;
}
