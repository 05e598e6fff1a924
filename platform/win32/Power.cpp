// The execution state and the shutdown block reason over Win32, looked up
// at run time: Windows 95 has no SetThreadExecutionState, and nothing
// before Vista has the block reasons.
#include "platform/Power.h"

#include <vector>

#include "platform/win32/Win32.h"

namespace {

FARPROC Entry(const char* module, const char* name) {
  HMODULE h = GetModuleHandleA(module);
  return h != nullptr ? GetProcAddress(h, name) : nullptr;
}

}  // namespace

bool SysKeepSystemAwake(bool on) {
  typedef DWORD(WINAPI * SetStateFn)(DWORD);
  SetStateFn set = reinterpret_cast<SetStateFn>(Entry("kernel32.dll", "SetThreadExecutionState"));
  if (set == nullptr) return false;
  return set(on ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS) != 0;
}

bool SysBlockShutdown(const CWnd& wnd, const std::string& reason) {
  typedef BOOL(WINAPI * CreateFn)(HWND, LPCWSTR);
  CreateFn create = reinterpret_cast<CreateFn>(Entry("user32.dll", "ShutdownBlockReasonCreate"));
  if (create == nullptr) return false;
  // The string table is in the system's code page.
  int n = MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, nullptr, 0);
  if (n <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, reason.c_str(), -1, wide.data(), n);
  return create(ToHwnd(wnd.m_hWnd), wide.data()) != FALSE;
}

bool SysUnblockShutdown(const CWnd& wnd) {
  typedef BOOL(WINAPI * DestroyFn)(HWND);
  DestroyFn destroy = reinterpret_cast<DestroyFn>(Entry("user32.dll", "ShutdownBlockReasonDestroy"));
  return destroy != nullptr && destroy(ToHwnd(wnd.m_hWnd)) != FALSE;
}
