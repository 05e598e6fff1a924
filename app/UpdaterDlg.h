// The main dialog: drive list, image identity, status area, progress bar
// and the Open / Update / Cancel buttons. Owns everything of a run.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "controls/ImageButton.h"
#include "controls/PercentProgressCtrl.h"
#include "drive/ModelCodes.h"
#include "drive/MyAspi32.h"
#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/Thread.h"
#include "res/ResourceIds.h"

class CDlgUpdateReport;
class CUpdateEngine;
class FirmwareImage;

// The private message another program sends to run Open, Update and Close.
enum : unsigned { WM_ORVEX_AUTORUN = WM_USER + 4 };
enum : unsigned { UPDATE_TIMER_ID = 1 };
enum : int { ZONE_FAIL_MARK = 7777 };
enum : int { RUN_OK = 0, RUN_DECLINED = 1, RUN_FAILED = 2, RUN_STARTED = 9 };

// The configuration file, looked up in the working directory.
extern const char kConfigFile[];


class CUpdaterDlg : public CDialog {
 public:
  CUpdaterDlg();
  ~CUpdaterDlg() override;

  void DoDataExchange(CDataExchange* dx) override;
  bool OnInitDialog() override;
  void OnCancel() override;
  bool OnMessage(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result) override;
  bool OnCommand(unsigned id, unsigned code) override;
  bool OnTimer(unsigned id) override;
  bool OnSysCommand(unsigned id, LPARAM_T lp) override;
  bool OnPaint() override;
  IconHandle OnQueryDragIcon() override;

  void ShowStatus(unsigned id);
  // Every box of the dialog goes through here, so that the private run
  // message can tell that one is open.
  int MessageBox(const std::string& text, unsigned type = MB_OK);
  void OnOpen();
  void OnUpdate();
  void OnSelchangeDrive();
  LRESULT_T OnAutoRun();
  int FinishUpdate();
  static unsigned UpdateWorkerProc(void* param);
  // The engine's hold, on the dialog's thread: keeps the system up, or lets
  // it go.
  void HoldSystem(bool hold);
  // WM_QUERYENDSESSION and WM_POWERBROADCAST during the hold; false when the
  // platform's answer stands.
  bool OnSessionQuery(unsigned msg, WPARAM_T wp, LPARAM_T lp, LRESULT_T& result);

  // Members in declaration order.
  CImageButton m_btnCancel;
  CImageButton m_btnUpdate;
  CPercentProgressCtrl m_progress;
  CComboBox m_cbDrive;
  std::string m_strCurrent;
  std::string m_strNew;
  std::string m_strStatus;
  std::string m_strFile;
  CBitmapButton m_btnOpen;
  IconHandle m_hIcon = nullptr;
  CWinThread* m_pWorker = nullptr;
  CMyASPI32 m_aspi;
  FirmwareImage* m_pImage = nullptr;
  int m_nZoneFailMark = 0;
  std::uint32_t m_dwZoneSumAfter = 0;
  std::uint32_t m_dwZoneSumBefore = 0;
  int m_nAutoDetect = 0;
  int m_nRunResult = 0;
  int m_bWriteStrategy = 0;
  int m_bAutoMode = 0;

  // Bookkeeping beyond the visible state.
  // Drive row the current image was admitted for; -1 when none is.
  int m_nAdmittedRow = -1;
  // The worker is between its start and its last act.
  std::atomic<bool> m_bWorkerRunning{false};
  std::atomic<unsigned long> m_nWorkerThread{0};
  // A close step that arrived while the worker ran; the worker runs it.
  std::atomic<bool> m_bCloseAfterWorker{false};
  // The dialog has been ended by the close step.
  std::atomic<bool> m_bClosed{false};
  // Workers that may still touch this object; the destructor waits for 0.
  std::atomic<int> m_nWorkersAlive{0};
  // An update completed: the dialog only closes from now on.
  std::atomic<bool> m_bUpdateCompleted{false};
  // The kind of update OnUpdate started (write strategy or main firmware);
  // the worker commits and checks that kind, whatever the setting says by
  // then.
  bool m_bUpdateIsWriteStrategy = false;
  // A handler is in progress on the dialog's thread (its boxes and the
  // file dialog pump messages; a private run message must not re-enter it).
  int m_nBusy = 0;
  // Message boxes and the About box of this dialog that are open, on
  // either thread; they pump messages too.
  std::atomic<int> m_nBoxesOpen{0};
  // The system menu already carries the About item.
  bool m_bAboutAdded = false;
  // The engine's hold is on: a logoff, shutdown or suspend is refused.
  std::atomic<bool> m_bSystemHeld{false};
  // The update under way: one engine from the confirmation to the last
  // check, on both threads, so that its hold spans the transfer on the
  // dialog's thread and the commit on the worker. Null between updates.
  CDlgUpdateReport* m_pRunReport = nullptr;
  CUpdateEngine* m_pRunEngine = nullptr;

 private:
  // The dialog's front end to the update engine.
  friend class CDlgUpdateReport;
  // The discovery steps of the start-up; false ends the start-up early.
  bool DiscoverDrives();
  void ReadStartupConfig();
  int SelectedRow() const;
  bool IsValidRow(int row) const;
  void EnableRunControls(bool enable);
  // Ends the update's engine (and with it any hold) and its report.
  void EndRun();
};

// Restarts a computer of the NT family.
void RestartWindows();
