// Looking at another process's windows from outside: finding top-level
// windows, reading texts, recognising message boxes and their icons, and
// sending messages that may open modal windows without hanging the driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace drv {

struct TopWindow {
  HWND hwnd = nullptr;
  DWORD pid = 0;
  bool visible = false;
  std::string caption;
  std::string cls;
};

// Every top-level window, in Z order.
std::vector<TopWindow> TopWindows();
// Top-level windows of one process (pid 0: of every process).
std::vector<TopWindow> TopWindowsOf(DWORD pid);

std::string ClassOf(HWND hwnd);

// The window's text through WM_GETTEXT with a bound, so a busy target
// thread cannot hang the driver. False when the target did not answer.
bool ReadText(HWND hwnd, std::string* text, int timeout_ms = 2000);

// A message box: a top-level dialog (#32770) with the message box's text
// static (id 0xFFFF).
bool IsMessageBox(HWND hwnd);
std::string MessageBoxText(HWND box);

// Which standard icon the box shows: "hand", "question", "exclamation",
// "asterisk", "none" (no icon static or no icon in it) or "unknown".
std::string MessageBoxIcon(HWND box);

// Sends `msg` to `hwnd` from a helper thread and waits until either the
// send returns, or a new top-level window of process `pid` appears (a modal
// box or dialog that the handler opened and waits on), or `settle_ms` pass.
// A send that has not returned keeps running; the driver goes on.
struct SendOutcome {
  bool returned = false;
  LRESULT result = 0;
  std::string detail;  // "returned N", "pending: window ... appeared", ...
};
SendOutcome SendSettled(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, DWORD pid, int settle_ms);

}  // namespace drv
