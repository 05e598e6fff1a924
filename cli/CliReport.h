// orvex-cli's front end to the engine: status texts and notices as lines,
// progress as a bar on a terminal or a line per stage elsewhere, or all of
// it as JSON lines; the confirmation from the terminal or from --yes.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "drive/Srb.h"
#include "update/UpdateReport.h"

struct CliOptions {
  bool json = false;
  int verbose = 0;
  bool yes = false;
  bool progressBar = false;  // stderr is a terminal and nothing else writes there
};

const char* StageName(UpdateStage stage);
// The string table's text, or "" when there is none.
std::string StringText(unsigned id);

class CSystemHold;

class CCliReport : public CUpdateReport {
 public:
  explicit CCliReport(const CliOptions& options) : m_options(options) {}

  void OnStage(UpdateStage stage) override;
  void OnStageEnd(UpdateStage stage, bool ok) override;
  void OnStatus(unsigned statusId) override;
  void OnNotice(NoticeKind kind, unsigned textId, const char* text) override;
  bool Ask(UpdateQuestion question) override;
  void OnProgress(UpdateStage stage, int done, int total) override;
  bool StopRequested() override;
  void OnTrace(const std::string& line) override;
  void OnHold(bool begin) override;

  // One JSON line on stdout (with --json), flushed.
  void Event(nlohmann::ordered_json event);
  // A result for people: stdout without --json, stderr with it.
  void Line(const std::string& text);
  // Progress for people (nothing with --json): stderr, so that standard
  // output carries results alone.
  void Progress(const std::string& text);
  // A diagnostic or refusal line on stderr, prefixed with the program's name.
  void Error(const std::string& text);
  // Every request, for -v. Addresses where no device answered an INQUIRY
  // are gathered into one line, given at the next other request or at
  // EndQuietRun.
  void Request(const SRB_ExecSCSICmd& srb, int result);
  void EndQuietRun();

  // What holds the system off for the engine's hold (set by CSystemHold);
  // none for scan and check.
  CSystemHold* m_pHold = nullptr;
  // The last notice, for the result.
  std::string m_strLastNotice;
  int m_nRequests = 0;
  // What the confirmation asks about ("the main firmware of 0:1:0 ...").
  std::string m_strQuestion;

 private:
  void EndBar();
  CliOptions m_options;
  int m_nBarPercent = -1;
  unsigned m_nLastStatus = 0;  // the status event just given, to give it once
  int m_nQuietFirst = 0;       // the first request of a run of empty addresses
  int m_nQuietCount = 0;
};

// The text of a fixed-width identity field without its padding.
std::string Trimmed(const char* field);
// {"vendor","product","revision"} trimmed, and "text", the display text.
nlohmann::ordered_json IdentityJson(const char* vendor, const char* product, const char* revision);
