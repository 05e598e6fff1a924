// Drive discovery at start-up and the drive list.
#include <cstdio>
#include <cstring>

#include "app/UpdaterDlg.h"
#include "platform/Profile.h"
#include "platform/Resources.h"
#include "update/UpdateEngine.h"

namespace {

std::string Identity(const DriveEntry& d) { return IdentityText(d.szVendor, d.szProduct, d.szRevision); }

}  // namespace

bool CUpdaterDlg::DiscoverDrives() {
  // A library that cannot be loaded, lacks its entry points or is not ready
  // cannot be used at all; the user may still open an image.
  int status = m_aspi.GetStatus();
  if (status == ASPI_ERR_NO_LIBRARY || status == ASPI_ERR_NO_ENTRY_POINT || status == ASPI_ERR_NOT_READY) {
    MessageBox(LoadStringRes(IDS_ASPI_INIT_FAIL), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }

  // A later start-up on the same dialog (after a failed commit, which may
  // still have taken effect) scans afresh into an emptied table, so that the
  // list, "Current :" and the version rules see what the drives report now.
  // An admission was for the drive as it was.
  m_cbDrive.ResetContent();
  int scan;
  if (m_aspi.m_nDrives > 0) {
    m_nAdmittedRow = -1;
    scan = m_aspi.RescanDrives();
  } else {
    scan = m_aspi.ScanDrives();
  }
  if (scan != 0) {
    char msg[64];
    if (scan == ASPI_ERR_NO_DRIVE)
      std::snprintf(msg, sizeof msg, "There is not any drive");
    else
      std::snprintf(msg, sizeof msg, "Can not initialize!: %X", static_cast<unsigned>(scan));
    MessageBox(msg, MB_OK | MB_ICONEXCLAMATION);
    EnableDlgItem(IDC_OPEN, false);
    return false;
  }

  for (int i = 0; i < m_aspi.m_nDrives; ++i) {
    const DriveEntry& d = m_aspi.m_drives[i];
    char row[96];
    std::snprintf(row, sizeof row, "[%d:%d] %s %s %s", d.nHaId, d.nTarget, d.szVendor, d.szProduct,
                  d.szRevision);
    m_cbDrive.AddString(row);
  }

  std::string current;
  if (!m_bAutoMode) {
    m_cbDrive.SetCurSel(0);
    current = Identity(m_aspi.m_drives[0]);
  } else {
    m_nAutoDetect = ReadProfileInt("MODEL", "AutoDetect", 0, kConfigFile);
    const char* model = ModelForCode(m_nAutoDetect);
    m_nRunResult = RUN_FAILED;
    for (int j = 0; j < m_aspi.m_nDrives; ++j) {
      if (std::memcmp(m_aspi.m_drives[j].szProduct, model, 16) == 0) {
        m_cbDrive.SetCurSel(j);  // the last match stays selected
        current = Identity(m_aspi.m_drives[j]);
        m_nRunResult = RUN_OK;
      }
    }
    if (m_nRunResult == RUN_FAILED) {
      m_cbDrive.SetCurSel(-1);
      m_strCurrent.clear();
      UpdateData(false);
      MessageBox("Not detected target drive", MB_OK | MB_ICONEXCLAMATION);
      return false;
    }
  }
  m_strCurrent = current;
  UpdateData(false);
  return true;
}

void CUpdaterDlg::OnSelchangeDrive() {
  int row = SelectedRow();
  if (!IsValidRow(row)) return;
  m_strCurrent = Identity(m_aspi.m_drives[row]);
  UpdateData(false);
  // An image is admitted for one drive only: choosing another drive takes
  // the Update button away until the image is opened for that drive.
  if (m_nAdmittedRow >= 0 && row != m_nAdmittedRow) {
    m_nAdmittedRow = -1;
    EnableDlgItem(IDC_UPDATE, false);
    ShowStatus(IDS_CHOOSE_FILE);
  }
}
