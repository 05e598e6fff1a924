// Start-up sequence, status area, system menu and painting of the main dialog.
#include "app/UpdaterDlg.h"

#include <cstdio>

#include "app/AboutDlg.h"
#include "platform/Dc.h"
#include "platform/Profile.h"
#include "platform/Resources.h"
#include "update/FirmwareImage.h"

const char kConfigFile[] = ".\\Orvex.INI";

CUpdaterDlg::CUpdaterDlg() : CDialog(IDD_UPDATER_DIALOG) {
  m_hIcon = LoadIconRes(IDR_MAINFRAME, -1, -1);
}

CUpdaterDlg::~CUpdaterDlg() {
  // A worker that ended the dialog (the unattended close) may still be
  // returning through this object; wait for it, bounded beyond one request.
  for (int waited = 0; m_nWorkersAlive > 0 && waited < 70000; ++waited) SleepMs(1);
  EndRun();
  HoldSystem(false);
  delete m_pImage;
  m_pImage = nullptr;
  DestroyIconRes(m_hIcon);
}

void CUpdaterDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDCANCEL, m_btnCancel);
  DDX_Control(dx, IDC_UPDATE, m_btnUpdate);
  DDX_Control(dx, IDC_PROGRESS, m_progress);
  DDX_Control(dx, IDC_DRIVE, m_cbDrive);
  DDX_Text(dx, IDC_CURRENT, m_strCurrent);
  DDX_Text(dx, IDC_NEW, m_strNew);
  DDX_Text(dx, IDC_STATUS, m_strStatus);
  DDX_Text(dx, IDC_FILE, m_strFile);
  DDX_Control(dx, IDC_OPEN, m_btnOpen);
}

void CUpdaterDlg::ReadStartupConfig() {
  m_bWriteStrategy = 0;
  m_bAutoMode = ReadProfileInt("MODE", "Auto", 0, kConfigFile);
  // After a failed firmware-zone check the write strategy stays off for the
  // rest of the run, whatever the file says.
  if (m_nZoneFailMark != ZONE_FAIL_MARK)
    m_bWriteStrategy = ReadProfileInt("VARO", "WriteStretage", 0, kConfigFile);
}

bool CUpdaterDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // A second start-up (after a failed commit) must not add the item twice.
  if (!m_bAboutAdded) {
    std::string about = LoadStringRes(IDS_ABOUTBOX);
    if (!about.empty()) m_bAboutAdded = AppendSystemMenuItem(IDM_ABOUTBOX, about);
  }

  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  RunOnWindowThread([this] {
    m_btnOpen.LoadBitmaps(IDB_OPEN_NORMAL, IDB_OPEN_PRESSED, IDB_OPEN_NORMAL, IDB_OPEN_DISABLED);
    m_btnOpen.SizeToContent();
  });

  ReadStartupConfig();

  if (!DiscoverDrives()) return true;

  // The self-painted controls are set up on the dialog's own thread: a
  // second start-up runs on the update worker, and their paint handlers use
  // the bitmap and icons being replaced here.
  RunOnWindowThread([this] {
    m_progress.SetRange(0, 1000);
    m_progress.SetStep(13);
    m_progress.SetTextStyle(true, MakeColor(0, 0, 0));
    m_progress.SetBarBitmap(IDB_PROGRESS_BAR);
    m_progress.SetColors(MakeColor(200, 255, 200), MakeColor(64, 128, 64), MakeColor(64, 128, 64));

    SendDlgItemMessage(IDC_STATUS, EM_FMTLINES, 1);

    m_btnUpdate.SetIcon(IDI_UPDATE_IN, IDI_UPDATE_OUT);
    m_btnUpdate.SetFlat(false, true);
    m_btnCancel.SetIcon(IDI_CANCEL_IN, IDI_CANCEL_OUT);
    m_btnCancel.SetFlat(false, true);
  });

  ShowStatus(IDS_CHOOSE_FILE);

  if (m_bAutoMode) {
    OnOpen();
    if (m_nRunResult == RUN_OK) EnableDlgItem(IDC_OPEN, false);
  }
  return true;
}

void CUpdaterDlg::ShowStatus(unsigned id) {
  char buf[512];
  LoadStringRes(id, buf, sizeof buf);
  m_strStatus = buf;
  UpdateData(false);
  UpdateWindow();
}

int CUpdaterDlg::MessageBox(const std::string& text, unsigned type) {
  ++m_nBoxesOpen;
  const int answer = CDialog::MessageBox(text, type);
  --m_nBoxesOpen;
  return answer;
}

bool CUpdaterDlg::OnSysCommand(unsigned id, LPARAM_T lp) {
  if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
    ++m_nBoxesOpen;
    CAboutDlg about;
    about.DoModal();
    --m_nBoxesOpen;
    return true;
  }
  return false;
}

bool CUpdaterDlg::OnPaint() {
  if (!IsIconic()) return false;
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM_T>(dc.GetSafeHdc()), 0);
  CRect rect;
  GetClientRect(&rect);
  int x = (rect.Width() - ScreenMetric(SM_CXICON) + 1) / 2;
  int y = (rect.Height() - ScreenMetric(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
  return true;
}

IconHandle CUpdaterDlg::OnQueryDragIcon() { return m_hIcon; }

bool CUpdaterDlg::OnMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result) {
  if (msg == WM_ORVEX_AUTORUN) {
    result = OnAutoRun();
    return true;
  }
  if ((msg == WM_QUERYENDSESSION || msg == WM_POWERBROADCAST) && OnSessionQuery(msg, wp, lp, result)) return true;
  return CDialog::OnMessage(msg, wp, lp, result);
}

bool CUpdaterDlg::OnCommand(unsigned id, unsigned code) {
  switch (id) {
    case IDC_OPEN:
      if (code == BN_CLICKED) OnOpen();
      return true;
    case IDC_UPDATE:
      if (code == BN_CLICKED) OnUpdate();
      return true;
    case IDC_DRIVE:
      if (code == CBN_SELCHANGE) OnSelchangeDrive();
      return true;
    case IDCANCEL:
      // Esc and the close box arrive as this command too; while the Cancel
      // button is disabled (an update is running) they must not close.
      if (!IsDlgItemEnabled(IDCANCEL)) return true;
      OnCancel();
      return true;
#ifndef ORVEX_GUARD_OFF_ENTER
    case IDOK:
      // Enter never ends the dialog.
      return true;
#endif
    default:
      return CDialog::OnCommand(id, code);
  }
}

int CUpdaterDlg::SelectedRow() const { return m_cbDrive.GetCurSel(); }

bool CUpdaterDlg::IsValidRow(int row) const { return row >= 0 && row < m_aspi.m_nDrives; }
