// Threads, strings, the file dialog, restart calls and start-up over Win32.
#include "platform/win32/Win32.h"

#include <cstdio>
#include <cstring>
#include <vector>

// ---- threads ----
struct ThreadStarter {
  static CWinThread* Make() { return new CWinThread; }
  struct Args {
    ThreadProc proc;
    void* param;
    CWinThread* self;
  };
  static DWORD WINAPI Entry(LPVOID p) {
    Args a = *static_cast<Args*>(p);
    delete static_cast<Args*>(p);
    DWORD rc = a.proc(a.param);
    delete a.self;  // the thread object deletes itself
    return rc;
  }
};

CWinThread* CWinThread::Begin(ThreadProc proc, void* param) {
  CWinThread* t = ThreadStarter::Make();
  auto* args = new ThreadStarter::Args{proc, param, t};
  DWORD id = 0;
  // Started suspended: the object deletes itself when the procedure
  // returns, so its id is stored before the procedure can run.
  HANDLE h = CreateThread(nullptr, 0, ThreadStarter::Entry, args, CREATE_SUSPENDED, &id);
  if (h == nullptr) {
    delete args;
    delete t;
    return nullptr;
  }
  t->m_nThreadId = id;
  ResumeThread(h);
  CloseHandle(h);
  return t;
}

void SleepMs(unsigned ms) { Sleep(ms); }
unsigned long CurrentThreadId() { return GetCurrentThreadId(); }

// ---- strings ----
int LoadStringRes(unsigned id, char* buf, int cap) {
  if (buf == nullptr || cap <= 0) return 0;
  int n = LoadStringA(GetModuleHandleA(nullptr), id, buf, cap);
  if (n <= 0) buf[0] = '\0';
  return n < 0 ? 0 : n;
}

std::string LoadStringRes(unsigned id) {
  char buf[1024];
  int n = LoadStringRes(id, buf, sizeof buf);
  return std::string(buf, static_cast<size_t>(n));
}

// ---- file dialog ----
bool ShowOpenFileDialog(const OpenFileRequest& req, std::string* path, std::string* name) {
  // "Name|pattern|" becomes the NUL-separated, double-NUL-terminated list.
  std::vector<char> filter(req.filter.begin(), req.filter.end());
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.push_back('\0');
  filter.push_back('\0');
  char file[MAX_PATH] = {0};
  char title[MAX_PATH] = {0};
  OPENFILENAMEA ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = req.owner ? ToHwnd(req.owner->m_hWnd) : nullptr;
  ofn.lpstrFilter = filter.data();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = MAX_PATH;
  ofn.lpstrInitialDir = req.initialDir.empty() ? nullptr : req.initialDir.c_str();
  ofn.lpstrDefExt = req.defExt.empty() ? nullptr : req.defExt.c_str();
  // The dialog may still move the current directory (the flag is not
  // honoured by every version for an open dialog); callers restore it.
  ofn.Flags = req.flags | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&ofn)) return false;
  *path = file;
  *name = title;
  return true;
}

int GetCurrentDir(char* buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buf);
  if (n == 0 || n >= static_cast<DWORD>(size)) {
    buf[0] = '\0';
    return 0;
  }
  return static_cast<int>(n);
}

bool SetCurrentDir(const char* dir) { return dir != nullptr && SetCurrentDirectoryA(dir) != FALSE; }

// ---- restart calls ----
bool SysExitWindowsEx(unsigned flags, unsigned reserved) { return ExitWindowsEx(flags, reserved) != FALSE; }
bool SysOpenProcessToken(unsigned access, TokenHandle* token) {
  HANDLE h = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), access, &h)) return false;
  *token = h;
  return true;
}
bool SysLookupPrivilegeValue(const char* system, const char* name, PrivilegeId* id) {
  LUID luid{};
  BOOL ok = LookupPrivilegeValueA(system, name, &luid);
  id->low = luid.LowPart;
  id->high = luid.HighPart;
  return ok != FALSE;
}
bool SysAdjustTokenPrivilege(TokenHandle token, const PrivilegeId& id) {
  TOKEN_PRIVILEGES tp;
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid.LowPart = id.low;
  tp.Privileges[0].Luid.HighPart = id.high;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  return AdjustTokenPrivileges(static_cast<HANDLE>(token), FALSE, &tp, 0, nullptr, nullptr) != FALSE;
}
unsigned long SysGetLastError() { return GetLastError(); }
bool SysInitiateSystemShutdown(const char* machine, const char* message, unsigned timeout, bool force,
                               bool reboot) {
  return InitiateSystemShutdownA(const_cast<char*>(machine), const_cast<char*>(message), timeout, force,
                                 reboot) != FALSE;
}
void SysCloseHandle(TokenHandle h) { CloseHandle(static_cast<HANDLE>(h)); }
void SysWriteStdout(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}
void SysExitProcess(unsigned code) { ExitProcess(code); }

// ---- start-up ----
#include "platform/App.h"
int RunApplication() {
  INITCOMMONCONTROLSEX icc;
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&icc);
  CWinApp* app = CWinApp::Get();
  if (app != nullptr) app->InitInstance();
  return 0;
}
