#include "cli/Console.h"

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_held{false};
std::string g_heldFormat;
// The first interrupt remembered; later ones change nothing.
std::atomic<const char*> g_name{nullptr};
std::atomic<bool> g_endOnInterrupt{false};
std::atomic<bool> g_json{false};

// Taken by the thread that ends the program on an interrupt, and by
// EndOnInterrupt(false): once that returns, no interrupt ends the program
// in the middle of what follows.
#ifdef _WIN32
struct EndLock {
  EndLock() { InitializeCriticalSection(&cs); }
  CRITICAL_SECTION cs;
} g_endLock;
void LockEnd() { EnterCriticalSection(&g_endLock.cs); }
void UnlockEnd() { LeaveCriticalSection(&g_endLock.cs); }
#else
pthread_mutex_t g_endLock = PTHREAD_MUTEX_INITIALIZER;
void LockEnd() { pthread_mutex_lock(&g_endLock); }
void UnlockEnd() { pthread_mutex_unlock(&g_endLock); }
#endif

// The held line for interrupt `name`, written with one call.
void WriteHeldLine(const char* name);

// Written at once, from the thread that saw the interrupt: the request
// the drive is carrying out may take up to its limit (60 s) before the
// update can stop.
void WriteStoppingLine(const char* name);

void Remember(const char* name) {
  const char* none = nullptr;
  const bool first = g_name.compare_exchange_strong(none, name);
  g_interrupted = true;
  if (first) WriteStoppingLine(name);
}

std::string StoppingLine(const char* name) {
  return std::string("\norvex-cli: ") + name +
         ": the update stops before its next request; the drive's current one is waited for (up to 60 s)\n";
}

// The line and, with --json, the result object of a run an interrupt
// ended before anything was written.
std::string EndedText(const char* name, int status, std::string* json) {
  const std::string message = std::string("stopped by ") + name + ": nothing was written";
  *json = g_json ? "{\"event\":\"result\",\"exit\":" + std::to_string(status) +
                       ",\"status\":\"interrupted\",\"message\":\"" + message +
                       "\",\"cause\":\"interrupted\",\"reason\":\"" + message +
                       "\",\"drive\":null,\"current\":null,\"current_id\":null,\"new\":null,\"new_id\":null,\"update\":null,"
                       "\"changed\":false,\"restart_required\":false}\n"
                 : std::string();
  return "\norvex-cli: " + message + "\n";
}

std::string HeldLine(const char* name) {
  std::string line = g_heldFormat;
  const std::string::size_type at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, name);
  return line;
}
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

bool IsFolder(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A library with a runtime of its own writes through its own descriptors.
void BeginStderrCapture() {}
std::string EndStderrCapture() { return std::string(); }

namespace {
void WriteErr(const std::string& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
void WriteHeldLine(const char* name) { WriteErr(HeldLine(name)); }
void WriteStoppingLine(const char* name) { WriteErr(StoppingLine(name)); }

// Runs on a thread the system starts for the event: the main thread's
// request goes on untouched, and the flag is read between requests.
BOOL WINAPI OnCtrl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  const char* name = type == CTRL_C_EVENT ? "Ctrl-C" : "Ctrl-Break";
  LockEnd();
  if (g_held) {
    WriteHeldLine(name);
  } else if (g_endOnInterrupt) {
    std::string json;
    const std::string line = EndedText(name, 130, &json);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (!json.empty())
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), json.data(), static_cast<DWORD>(json.size()), &written, nullptr);
    ExitProcess(130);
  } else {
    Remember(name);
  }
  UnlockEnd();
  return TRUE;
}
}  // namespace

void InstallInterruptHandler(const char* heldFormat) {
  g_heldFormat = heldFormat;
  SetConsoleCtrlHandler(OnCtrl, TRUE);
}

bool ReadAnswer(std::string* line) {
  // A Ctrl-C aborts the console read: the answer is then no answer.
  return static_cast<bool>(std::getline(std::cin, *line)) && !g_interrupted;
}

bool PrivilegedRun() { return false; }

bool OwnedByRootAlone(const std::string&, std::string* why) {
  *why = "not on Windows";
  return false;
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

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {
int g_savedStderr = -1;
std::FILE* g_capture = nullptr;
}  // namespace

void BeginStderrCapture() {
  std::fflush(stderr);
  g_capture = std::tmpfile();
  if (g_capture == nullptr) return;
  g_savedStderr = dup(2);
  if (g_savedStderr < 0 || dup2(fileno(g_capture), 2) < 0) {
    if (g_savedStderr >= 0) close(g_savedStderr);
    g_savedStderr = -1;
    std::fclose(g_capture);
    g_capture = nullptr;
  }
}

std::string EndStderrCapture() {
  if (g_capture == nullptr) return std::string();
  std::fflush(stderr);
  dup2(g_savedStderr, 2);
  close(g_savedStderr);
  g_savedStderr = -1;
  std::string text;
  std::rewind(g_capture);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, g_capture)) > 0) text.append(buf, n);
  std::fclose(g_capture);
  g_capture = nullptr;
  return text;
}

namespace {
sigset_t g_signals;
// Wakes a waiting ReadAnswer when an interrupt comes.
int g_wake[2] = {-1, -1};

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT: return "Ctrl-C (SIGINT)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "SIGQUIT";
  }
}

void WriteErr(const std::string& line) {
  // A closed terminal fails the write (EIO); the update goes on all the same.
  ssize_t n = write(2, line.data(), line.size());
  (void)n;
}
void WriteHeldLine(const char* name) { WriteErr(HeldLine(name)); }
void WriteStoppingLine(const char* name) { WriteErr(StoppingLine(name)); }

void* SignalThread(void*) {
  for (;;) {
    int sig = 0;
    if (sigwait(&g_signals, &sig) != 0) continue;
    LockEnd();
    if (g_held) {
      UnlockEnd();
      WriteHeldLine(SignalName(sig));
      continue;
    }
    if (g_endOnInterrupt) {
      std::string json;
      const std::string line = EndedText(SignalName(sig), 128 + sig, &json);
      ssize_t n = write(2, line.data(), line.size());
      if (!json.empty()) n = write(1, json.data(), json.size());
      (void)n;
      _exit(128 + sig);
    }
    Remember(SignalName(sig));
    UnlockEnd();
    const char byte = 1;
    ssize_t n = write(g_wake[1], &byte, 1);
    (void)n;
  }
  return nullptr;
}
}  // namespace

void InstallInterruptHandler(const char* heldFormat) {
  g_heldFormat = heldFormat;
  // A reader that went away (a closed pipe) must not end the program in
  // the middle of a commit: the write fails instead.
  signal(SIGPIPE, SIG_IGN);
  sigemptyset(&g_signals);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&g_signals, sig);
  // Blocked here, before any other thread exists, so blocked in every
  // thread the program and its library start: none of these signals can
  // interrupt a request's system call.
  pthread_sigmask(SIG_BLOCK, &g_signals, nullptr);
  if (pipe2(g_wake, O_CLOEXEC) != 0) g_wake[0] = g_wake[1] = -1;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, &SignalThread, nullptr) == 0) pthread_detach(thread);
}

bool ReadAnswer(std::string* line) {
  line->clear();
  for (;;) {
    if (g_interrupted) return false;
    pollfd fds[2] = {{0, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
    if (poll(fds, g_wake[0] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0 || g_interrupted) return false;
    char c;
    const ssize_t n = read(0, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return !line->empty();
    if (c == '\n') return true;
    *line += c;
  }
}

bool PrivilegedRun() { return getauxval(AT_SECURE) != 0; }

bool OwnedByRootAlone(const std::string& path, std::string* why) {
  std::string p = path;
  for (;;) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) {
      *why = p + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISLNK(st.st_mode)) {
      // A link is followed only as far as what it names is checked too.
      char target[4096];
      const ssize_t n = readlink(p.c_str(), target, sizeof target - 1);
      if (n <= 0) {
        *why = p + ": " + std::strerror(errno);
        return false;
      }
      target[n] = '\0';
      const std::string dir = p.substr(0, p.rfind('/'));
      if (!OwnedByRootAlone(target[0] == '/' ? std::string(target) : (dir.empty() ? "" : dir) + "/" + target, why))
        return false;
    } else if (st.st_uid != 0) {
      *why = p + " does not belong to root";
      return false;
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      *why = p + " can be written by others than root";
      return false;
    }
    if (p == "/") return true;
    const std::string::size_type slash = p.rfind('/');
    if (slash == std::string::npos) {
      *why = path + " is not an absolute path";
      return false;
    }
    p = slash == 0 ? "/" : p.substr(0, slash);
  }
}

#endif

void HoldInterrupts(bool hold) { g_held = hold; }

void EndOnInterrupt(bool end, bool json) {
  LockEnd();
  g_json = json;
  g_endOnInterrupt = end;
  UnlockEnd();
}

bool InterruptRequested() { return g_interrupted; }

std::string InterruptName() {
  const char* name = g_name;
  return name != nullptr ? name : "";
}
