#include "cli/Console.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace {
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_held{false};
const char* g_heldLine = "";
}  // namespace

#ifdef _WIN32

bool IsTerminal(ConsoleStream stream) {
  HANDLE h = GetStdHandle(stream == CONSOLE_IN ? STD_INPUT_HANDLE
                          : stream == CONSOLE_OUT ? STD_OUTPUT_HANDLE
                                                  : STD_ERROR_HANDLE);
  DWORD mode = 0;
  // The null device is a character device to _isatty; only a console has
  // a console mode.
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode) != 0;
}

std::string ProgramDir() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string path(buf, n);
  std::string::size_type slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool FileReadable(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void SetEnvironment(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
  // The C runtime keeps its own copy, which a library may read.
  _putenv_s(name, value);
}

char PathSeparator() { return '\\'; }

namespace {
BOOL WINAPI OnCtrl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (g_held) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), g_heldLine, static_cast<DWORD>(std::strlen(g_heldLine)),
              &written, nullptr);
  } else {
    g_interrupted = true;
  }
  return TRUE;
}
}  // namespace

void InstallInterruptHandler(const char* heldLine) {
  g_heldLine = heldLine;
  SetConsoleCtrlHandler(OnCtrl, TRUE);
}

#else

bool IsTerminal(ConsoleStream stream) { return isatty(static_cast<int>(stream)) == 1; }

std::string ProgramDir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool FileReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

void SetEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

char PathSeparator() { return '/'; }

namespace {
void OnSignal(int) {
  if (g_held) {
    ssize_t n = write(2, g_heldLine, std::strlen(g_heldLine));
    (void)n;
  } else {
    g_interrupted = true;
  }
}
}  // namespace

void InstallInterruptHandler(const char* heldLine) {
  g_heldLine = heldLine;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  // Restarted system calls: a Ctrl-C must not fail a request on its way.
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

#endif

void HoldInterrupts(bool hold) { g_held = hold; }

bool InterruptRequested() { return g_interrupted; }
