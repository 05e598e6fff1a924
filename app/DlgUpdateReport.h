// The dialog as the engine's front end: status texts into the status area,
// notices and the confirmation as message boxes, the timer and the progress
// bar by step.
#pragma once

#include <string>

#include "update/UpdateReport.h"

class CUpdaterDlg;

class CDlgUpdateReport : public CUpdateReport {
 public:
  CDlgUpdateReport(CUpdaterDlg& dlg, bool writeStrategy) : m_dlg(dlg), m_bWriteStrategy(writeStrategy) {}
  // The Open step's: the file text shown with the image's identity.
  CDlgUpdateReport(CUpdaterDlg& dlg, bool writeStrategy, const std::string& fileText)
      : m_dlg(dlg), m_bWriteStrategy(writeStrategy), m_strFileText(fileText) {}

  void OnStage(UpdateStage stage) override;
  void OnStageEnd(UpdateStage stage, bool ok) override;
  void OnImage(const std::string& identity) override;
  void OnStatus(unsigned statusId) override;
  void OnNotice(NoticeKind kind, unsigned textId, const char* text) override;
  bool Ask(UpdateQuestion question) override;
  void OnHold(bool begin) override;

 private:
  CUpdaterDlg& m_dlg;
  bool m_bWriteStrategy;
  std::string m_strFileText;
};
