// The Open button: names an image file, loads it, checks it against the
// selected drive and applies the version rules.
#include <cstdio>
#include <cstring>

#include "app/UpdaterDlg.h"
#include "platform/FileDialog.h"
#include "platform/Profile.h"
#include "platform/Resources.h"
#include "update/FirmwareImage.h"

namespace {

// Byte-wise comparison of at most n characters, bytes unsigned, stopping at
// a NUL that ends both texts (strncmp semantics).
int CompareTexts(const std::string& a, const std::string& b, size_t n) {
  return std::strncmp(a.c_str(), b.c_str(), n);
}

// The part of `text` from `pos`, at most `n` characters; empty past its end.
std::string Part(const std::string& text, size_t pos, size_t n) {
  return pos < text.size() ? text.substr(pos, n) : std::string();
}

}  // namespace

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

  auto refuse = [this](const std::string& text, unsigned type) {
    MessageBox(text, type);
    delete m_pImage;
    m_pImage = nullptr;
    // A refused image must not show its identity on the next refresh.
    m_strNew.clear();
    m_strFile.clear();
    UpdateData(false);
    if (m_bAutoMode) m_nRunResult = RUN_FAILED;
  };

  if (nameTooLong || m_pImage->Load(path.c_str(), &m_aspi) != 0) {
    refuse(LoadStringRes(IDS_FILE_NOT_CORRECT), MB_OK | MB_ICONHAND);
    --m_nBusy;
    return;
  }

  char ident[64];
  std::snprintf(ident, sizeof ident, "%s %s %s", m_pImage->m_szVendor, m_pImage->m_szProduct,
                m_pImage->m_szRevision);
  m_strNew = ident;
  m_strFile = fileText;

  int row = SelectedRow();
  m_pImage->SetDriveIndex(row);
  // No selected row means no drive to check against: refuse without sending
  // anything.
  bool match = IsValidRow(row) &&
               m_pImage->MatchDrive(m_aspi.m_drives[row].szVendor, m_aspi.m_drives[row].szProduct) == 0;
  if (!match) {
    refuse("Model mismatched !", MB_OK | MB_ICONEXCLAMATION);
    --m_nBusy;
    return;
  }

  bool admit = false;
  if (m_bWriteStrategy) {
    if (CompareTexts(Part(m_strCurrent, 27, 3), Part(m_strNew, 27, 3), 3) < 0) {
      MessageBox("Need to Main Firmware Update", MB_OK | MB_ICONASTERISK);
      ShowStatus(IDS_NEED_MAIN_UPDATE);
      m_bWriteStrategy = 0;
      admit = true;
    } else if (CompareTexts(Part(m_strCurrent, 26, 1), Part(m_strNew, 26, 1), 1) < 0) {
      ShowStatus(IDS_WS_STARTED);
      admit = true;
    } else {
      MessageBox("NO NEED WS UPDATE", MB_OK | MB_ICONHAND);
      ShowStatus(IDS_WS_NOT_AVAILABLE);
      if (m_bAutoMode) m_nRunResult = RUN_FAILED;
    }
  } else {
    if (CompareTexts(m_strCurrent, m_strNew, 31) < 0) {
      ShowStatus(IDS_CLICK_UPDATE);
      admit = true;
    } else {
      ShowStatus(IDS_LOWER_OR_SAME);
      MessageBox("Lower or Same Firmware Version!", MB_OK | MB_ICONEXCLAMATION);
      if (m_bAutoMode && (m_nAutoDetect == 53 || m_nAutoDetect == 54)) {
        ShowStatus(IDS_CLICK_UPDATE);
        admit = true;
      } else {
        ShowStatus(IDS_LOWER_OR_SAME);
        if (m_bAutoMode) m_nRunResult = RUN_FAILED;
      }
    }
  }

  if (admit) {
    m_nAdmittedRow = row;
    UpdateData(false);
    EnableDlgItem(IDC_UPDATE, true);
  }
  --m_nBusy;
}
