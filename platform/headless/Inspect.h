// What tests see of the headless platform: windows, message boxes, timers,
// workers, the file dialog, the restart calls and the hold's calls.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Dialog.h"
#include "platform/headless/HeadlessWindow.h"

namespace headless {

// ---- dialogs ----
// Creates `dlg`'s window and runs its WM_INITDIALOG, without a modal loop.
void OpenDialog(CDialog& dlg);
PlatWindow* Item(CDialog& dlg, int id);
std::string Text(CDialog& dlg, int id);
bool Enabled(CDialog& dlg, int id);
// A click as the user makes it: BM_CLICK on an enabled button.
void Click(CDialog& dlg, int id);
// Selects a combo row and notifies the parent as a user's choice does.
void SelectRow(CDialog& dlg, int id, int row);
// Delivers messages posted so far.
void PumpPosted();
// Paints every invalid window of the dialog, as a message loop would.
void PaintAll(CDialog& dlg);
bool Ended(CDialog& dlg);
// What a nested modal dialog (DoModal) does once it is open; without a
// script it is closed at once with IDCANCEL, so no test can hang in it.
void OnModal(std::function<void(CDialog&)> fn);
// Template ids of the dialogs run with DoModal, in order.
std::vector<int> ModalsRun();
void SetIconic(CDialog& dlg, bool iconic);

// ---- message boxes ----
struct BoxRecord {
  std::string text;
  std::string caption;
  unsigned type = 0;
  int answer = 0;
  unsigned long thread = 0;
};
std::vector<BoxRecord> Boxes();
std::vector<std::string> BoxTexts();
// Answers for the next boxes, in order; unscripted boxes answer IDOK.
void ScriptAnswers(const std::vector<int>& answers);
// Runs `fn` when a box with `text` is shown (before it is answered).
void OnBox(const std::string& text, std::function<void()> fn);

// ---- status history: every text set on a control, in order ----
std::vector<std::string> TextHistory(CDialog& dlg, int id);

// ---- timers ----
struct TimerEvent {
  bool set = false;  // false: killed
  unsigned id = 0;
  unsigned period = 0;
};
std::vector<TimerEvent> TimerLog();
bool TimerActive(CDialog& dlg, unsigned id);
unsigned TimerPeriod(CDialog& dlg, unsigned id);
// Sends WM_TIMER if the timer is set; false otherwise.
bool FireTimer(CDialog& dlg, unsigned id);
// Runs `fn` on every WM_TIMER the dialog would get while a blocking call runs.

// ---- workers ----
// Waits (bounded) until every started worker has returned.
bool JoinWorkers(unsigned timeoutMs = 60000);
int WorkersStarted();

// ---- file dialog ----
struct FileDialogRecord {
  std::string filter, defExt, initialDir;
  unsigned flags = 0;
};
// The next open-file dialog answers with `path` (empty: cancelled). It
// leaves the working directory in `browsedTo`, by default in the chosen
// file's folder (after a cancel: where it was).
void ScriptFileDialog(const std::string& path, const std::string& browsedTo = "");
std::vector<FileDialogRecord> FileDialogs();
// Runs `fn` once while the next file dialog is open, before it answers.
void WhileFileDialogOpen(std::function<void()> fn);

// ---- restart calls ----
std::vector<std::string> SystemCalls();
struct RestartScript {
  bool openTokenFails = false;
  unsigned long adjustLastError = 0;
  bool shutdownFails = false;
};
void ScriptRestart(const RestartScript& s);

// ---- the hold's calls: execution state and shutdown block reason ----
std::vector<std::string> HoldCalls();

// Forgets every record and script above.
void Reset();

}  // namespace headless
