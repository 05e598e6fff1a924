// The hold on Windows. A console program is asked differently from a window:
//  - the idle sleep: the main thread's execution state (not on Windows 95);
//  - a logoff or shutdown: a program that loads user32 (we do, for the
//    window below) no longer gets the console's logoff and shutdown events,
//    but WM_QUERYENDSESSION on its top-level windows. Windows Vista and
//    later end a program without a visible window that refuses it, unless
//    it has given a block reason; so a hidden window on a thread of its own
//    (the main thread is busy with the drive) refuses with a reason;
//  - closing the console window still comes as CTRL_CLOSE_EVENT: the
//    handler holds it until the hold ends, as long as Windows waits (about
//    5 s), then lets it go.
#include "cli/SystemHold.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

const char kClassName[] = "OrvexCliHold";
const char kHeldLine[] =
    "orvex-cli: the drive is writing its firmware: the console's close, a logoff or a shutdown now waits "
    "for the end of the update as long as Windows lets it\r\n";
const char kRefusedLine[] =
    "orvex-cli: a logoff or shutdown was refused: the drive is writing its firmware\r\n";

std::atomic<bool> g_held{false};
HANDLE g_released = nullptr;  // manual-reset, set while nothing is held
HWND g_window = nullptr;
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;
std::wstring g_reason;

FARPROC Entry(const char* module, const char* name) {
  HMODULE h = GetModuleHandleA(module);
  return h != nullptr ? GetProcAddress(h, name) : nullptr;
}

void WriteLine(const char* line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
}

bool KeepAwake(bool on) {
  typedef DWORD(WINAPI * SetStateFn)(DWORD);
  SetStateFn set = reinterpret_cast<SetStateFn>(Entry("kernel32.dll", "SetThreadExecutionState"));
  return set != nullptr && set(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS) != 0;
}

BOOL WINAPI OnConsoleEnd(DWORD type) {
  if (type != CTRL_CLOSE_EVENT && type != CTRL_LOGOFF_EVENT && type != CTRL_SHUTDOWN_EVENT) return FALSE;
  if (!g_held) return FALSE;
  WriteLine(kHeldLine);
  // Windows ends the process when this returns, or when its time for the
  // event is up. Once the hold is over the main thread finishes the run
  // and exits with its own status; this thread only waits for that.
  WaitForSingleObject(g_released, INFINITE);
  Sleep(INFINITE);
  return TRUE;
}

LRESULT CALLBACK HoldWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
#ifndef ORVEX_GUARD_OFF_CONSOLE_HOLD
    case WM_QUERYENDSESSION:
      if (!g_held) break;
      WriteLine(kRefusedLine);
      return FALSE;
#endif
    case WM_POWERBROADCAST:
      if (g_held && wp == PBT_APMQUERYSUSPEND) return BROADCAST_QUERY_DENY;
      break;
    default:
      break;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

struct WindowStart {
  HANDLE ready;
  HWND window;
};

DWORD WINAPI HoldThread(LPVOID param) {
  WindowStart* start = static_cast<WindowStart*>(param);
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = HoldWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  // Top-level (a message-only window gets no WM_QUERYENDSESSION), never
  // shown.
  HWND h = CreateWindowExA(0, kClassName, "orvex-cli", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  if (h != nullptr) {
    typedef BOOL(WINAPI * CreateFn)(HWND, LPCWSTR);
    CreateFn create = reinterpret_cast<CreateFn>(Entry("user32.dll", "ShutdownBlockReasonCreate"));
    if (create != nullptr) create(h, g_reason.c_str());
  }
  start->window = h;
  SetEvent(start->ready);
  if (h == nullptr) return 0;
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  typedef BOOL(WINAPI * DestroyFn)(HWND);
  DestroyFn destroy = reinterpret_cast<DestroyFn>(Entry("user32.dll", "ShutdownBlockReasonDestroy"));
  if (destroy != nullptr) destroy(h);
  DestroyWindow(h);
  return 0;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::vector<wchar_t> w(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, w.data(), n);
  return std::wstring(w.data());
}

}  // namespace

void CSystemHold::Begin() {
  if (m_bHeld) return;
  m_bHeld = true;
  m_strMissing.clear();
  if (g_released == nullptr) {
    g_released = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    // Called before the Ctrl-C handler, and passes Ctrl-C on to it.
    SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
  }
  ResetEvent(g_released);
  g_held = true;
  if (!KeepAwake(true)) Note("this Windows has no SetThreadExecutionState: nothing keeps it from an idle sleep");

  g_reason = Wide(m_strReason);
  WindowStart start = {CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr};
  g_thread = start.ready != nullptr ? CreateThread(nullptr, 0, HoldThread, &start, 0, &g_threadId) : nullptr;
  if (g_thread != nullptr) WaitForSingleObject(start.ready, 10000);
  if (start.ready != nullptr) CloseHandle(start.ready);
  g_window = start.window;
  if (g_window == nullptr)
    Say("no window to refuse a logoff or shutdown with: keep the computer on until the update ends");
}

void CSystemHold::End() {
  if (!m_bHeld) return;
  m_bHeld = false;
  if (g_thread != nullptr) {
    if (g_window != nullptr) PostThreadMessageA(g_threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(g_thread, 10000);
    CloseHandle(g_thread);
  }
  g_thread = nullptr;
  g_window = nullptr;
  KeepAwake(false);
  g_held = false;
  if (g_released != nullptr) SetEvent(g_released);
}
