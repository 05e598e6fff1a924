// Headless threads, strings, file dialog and restart calls.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/FileDialog.h"
#include "platform/Power.h"
#include "platform/Resources.h"
#include "platform/Restart.h"
#include "platform/Thread.h"
#include "platform/headless/Inspect.h"
#include "res/ResourceIds.h"

namespace {

struct Workers {
  std::mutex m;
  std::condition_variable cv;
  int running = 0;
  int started = 0;
};
Workers& W() {
  static Workers w;
  return w;
}

struct SysState {
  std::mutex m;
  std::deque<std::pair<std::string, std::string>> filePaths;  // answer, folder browsed to
  std::function<void()> whileFileDialog;
  std::vector<headless::FileDialogRecord> fileDialogs;
  std::vector<std::string> calls;
  std::vector<std::string> holdCalls;
  headless::RestartScript restart;
  unsigned long lastError = 0;
};
SysState& Sys() {
  static SysState s;
  return s;
}

void Record(const std::string& call) {
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().calls.push_back(call);
}

void RecordHold(const std::string& call) {
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().holdCalls.push_back(call);
}

}  // namespace

struct ThreadStarter {
  static CWinThread* Make() { return new CWinThread; }
};

CWinThread* CWinThread::Begin(ThreadProc proc, void* param) {
  CWinThread* t = ThreadStarter::Make();
  {
    std::lock_guard<std::mutex> lock(W().m);
    ++W().running;
    ++W().started;
  }
  // The thread starts held, as a suspended thread would: the object
  // deletes itself when the procedure returns, so its id must be stored
  // before the procedure can run.
  auto go = std::make_shared<std::promise<void>>();
  std::shared_future<void> started = go->get_future().share();
  std::thread th([t, proc, param, started] {
    started.wait();
    proc(param);
    delete t;  // the thread object deletes itself
    std::lock_guard<std::mutex> lock(W().m);
    --W().running;
    W().cv.notify_all();
  });
  t->m_nThreadId = static_cast<unsigned long>(std::hash<std::thread::id>()(th.get_id()));
  th.detach();
  go->set_value();
  return t;
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

unsigned long CurrentThreadId() {
  return static_cast<unsigned long>(std::hash<std::thread::id>()(std::this_thread::get_id()));
}

// ---- strings ----
int LoadStringRes(unsigned id, char* buf, int cap) {
  if (buf == nullptr || cap <= 0) return 0;
  const char* text = nullptr;
  switch (id) {
#define ORVEX_STRING(sid, s) \
  case sid:                  \
    text = s;                \
    break;
#include "res/Strings.def"
#undef ORVEX_STRING
    default:
      break;
  }
  if (text == nullptr) {
    buf[0] = '\0';
    return 0;
  }
  size_t n = std::min(std::strlen(text), static_cast<size_t>(cap - 1));
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

std::string LoadStringRes(unsigned id) {
  char buf[1024];
  int n = LoadStringRes(id, buf, sizeof buf);
  return std::string(buf, static_cast<size_t>(n));
}

// ---- file dialog ----
bool ShowOpenFileDialog(const OpenFileRequest& req, std::string* path, std::string* name) {
  std::function<void()> whileOpen;
  {
    std::lock_guard<std::mutex> lock(Sys().m);
    Sys().fileDialogs.push_back(headless::FileDialogRecord{req.filter, req.defExt, req.initialDir, req.flags});
    whileOpen.swap(Sys().whileFileDialog);
  }
  // Messages the owner gets while the dialog is open.
  if (whileOpen) whileOpen();
  std::lock_guard<std::mutex> lock(Sys().m);
  if (Sys().filePaths.empty()) return false;
  const std::string p = Sys().filePaths.front().first;
  std::string folder = Sys().filePaths.front().second;
  Sys().filePaths.pop_front();
  size_t slash = p.find_last_of("/\\");
  if (folder.empty() && slash != std::string::npos) folder = p.substr(0, slash);
  // Like the Windows dialog, whatever its flags say, it leaves the working
  // directory in the last folder the user looked at, OK or Cancel.
  if (!folder.empty()) SetCurrentDir(folder.c_str());
  if (p.empty()) return false;
  *path = p;
  *name = slash == std::string::npos ? p : p.substr(slash + 1);
  return true;
}

bool SetCurrentDir(const char* dir) { return dir != nullptr && chdir(dir) == 0; }

int GetCurrentDir(char* buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  if (getcwd(buf, static_cast<size_t>(size)) == nullptr) {
    buf[0] = '\0';
    return 0;
  }
  return static_cast<int>(std::strlen(buf));
}

// ---- restart calls: recorded, never executed ----
bool SysExitWindowsEx(unsigned flags, unsigned reserved) {
  Record("ExitWindowsEx(" + std::to_string(flags) + "," + std::to_string(reserved) + ")");
  return true;
}
bool SysOpenProcessToken(unsigned access, TokenHandle* token) {
  Record("OpenProcessToken(" + std::to_string(access) + ")");
  std::lock_guard<std::mutex> lock(Sys().m);
  if (Sys().restart.openTokenFails) return false;
  static int dummy;
  *token = &dummy;
  return true;
}
bool SysLookupPrivilegeValue(const char* system, const char* name, PrivilegeId* id) {
  Record(std::string("LookupPrivilegeValue(") + (system ? system : "null") + "," + name + ")");
  id->low = 19;
  id->high = 0;
  return true;
}
bool SysAdjustTokenPrivilege(TokenHandle, const PrivilegeId& id) {
  Record("AdjustTokenPrivileges(" + std::to_string(id.low) + ",enabled)");
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().lastError = Sys().restart.adjustLastError;
  return true;
}
unsigned long SysGetLastError() {
  std::lock_guard<std::mutex> lock(Sys().m);
  return Sys().lastError;
}
bool SysInitiateSystemShutdown(const char* machine, const char* message, unsigned timeout,
                               bool force, bool reboot) {
  Record(std::string("InitiateSystemShutdown(") + (machine ? machine : "null") + "," +
         (message ? message : "null") + "," + std::to_string(timeout) + "," + (force ? "1" : "0") + "," +
         (reboot ? "1" : "0") + ")");
  std::lock_guard<std::mutex> lock(Sys().m);
  return !Sys().restart.shutdownFails;
}
void SysCloseHandle(TokenHandle) { Record("CloseHandle"); }
void SysWriteStdout(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}
void SysExitProcess(unsigned code) { std::_Exit(static_cast<int>(code)); }

// ---- the hold's calls: recorded, as Windows Vista and later have them ----
bool SysKeepSystemAwake(bool on) {
  RecordHold(on ? "SetThreadExecutionState(ES_CONTINUOUS|ES_SYSTEM_REQUIRED)" : "SetThreadExecutionState(ES_CONTINUOUS)");
  return true;
}
bool SysBlockShutdown(const CWnd& wnd, const std::string& reason) {
  RecordHold("ShutdownBlockReasonCreate(" + reason + ")");
  return wnd.m_hWnd != nullptr;
}
bool SysUnblockShutdown(const CWnd& wnd) {
  RecordHold("ShutdownBlockReasonDestroy");
  return wnd.m_hWnd != nullptr;
}

namespace headless {

bool JoinWorkers(unsigned timeoutMs) {
  std::unique_lock<std::mutex> lock(W().m);
  return W().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return W().running == 0; });
}
int WorkersStarted() {
  std::lock_guard<std::mutex> lock(W().m);
  return W().started;
}
void ScriptFileDialog(const std::string& path, const std::string& browsedTo) {
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().filePaths.emplace_back(path, browsedTo);
}
void WhileFileDialogOpen(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().whileFileDialog = std::move(fn);
}
std::vector<FileDialogRecord> FileDialogs() {
  std::lock_guard<std::mutex> lock(Sys().m);
  return Sys().fileDialogs;
}
std::vector<std::string> SystemCalls() {
  std::lock_guard<std::mutex> lock(Sys().m);
  return Sys().calls;
}
std::vector<std::string> HoldCalls() {
  std::lock_guard<std::mutex> lock(Sys().m);
  return Sys().holdCalls;
}
void ScriptRestart(const RestartScript& s) {
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().restart = s;
}
void Reset() {
  JoinWorkers();
  ResetWindows();
  std::lock_guard<std::mutex> lock(Sys().m);
  Sys().filePaths.clear();
  Sys().whileFileDialog = nullptr;
  Sys().fileDialogs.clear();
  Sys().calls.clear();
  Sys().holdCalls.clear();
  Sys().restart = RestartScript();
  Sys().lastError = 0;
  std::lock_guard<std::mutex> lock2(W().m);
  W().started = 0;
}

}  // namespace headless

#include "platform/App.h"
#include "platform/Dialog.h"
int RunApplication() {
  CWinApp* app = CWinApp::Get();
  if (app != nullptr) app->InitInstance();
  return 0;
}
