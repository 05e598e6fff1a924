// Operating-system services of the simulated library.
#include "sim/SimPort.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>
#endif

namespace sim {

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

#ifdef _WIN32

Lock::Lock() {
  auto* cs = new CRITICAL_SECTION;
  InitializeCriticalSection(cs);
  m_impl = cs;
}
Lock::~Lock() {
  auto* cs = static_cast<CRITICAL_SECTION*>(m_impl);
  DeleteCriticalSection(cs);
  delete cs;
}
void Lock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl)); }
void Lock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_impl)); }

void SleepMs(int ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

void SignalEvent(std::uint32_t handle) { SetEvent(reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(handle))); }

namespace {
volatile LONG g_running = 0;
struct Start {
  void (*fn)(void*);
  void* arg;
  HMODULE self;
};
DWORD WINAPI CompletionProc(LPVOID p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  s.fn(s.arg);
  InterlockedDecrement(&g_running);
  // Drops the reference that kept this code loaded while the thread ran.
  FreeLibraryAndExitThread(s.self, 0);
  return 0;
}
HMODULE SelfModule(DWORD extraFlags) {
  HMODULE h = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | extraFlags,
                     reinterpret_cast<LPCSTR>(&SelfModule), &h);
  return h;
}
}  // namespace

void StartCompletion(void (*fn)(void*), void* arg) {
  auto* s = new Start{fn, arg, SelfModule(0)};
  InterlockedIncrement(&g_running);
  HANDLE t = CreateThread(nullptr, 0, CompletionProc, s, 0, nullptr);
  if (t == nullptr) {
    InterlockedDecrement(&g_running);
    HMODULE self = s->self;
    delete s;
    fn(arg);
    if (self != nullptr) FreeLibrary(self);
    return;
  }
  CloseHandle(t);
}

void JoinCompletions() {
  while (g_running > 0) Sleep(1);
}

void ReleaseCompletions() { JoinCompletions(); }

std::string LibraryDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(SelfModule(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), path, MAX_PATH);
  std::string p(path, n);
  std::string::size_type cut = p.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : p.substr(0, cut);
}

#else

Lock::Lock() : m_impl(new std::mutex) {}
Lock::~Lock() { delete static_cast<std::mutex*>(m_impl); }
void Lock::lock() { static_cast<std::mutex*>(m_impl)->lock(); }
void Lock::unlock() { static_cast<std::mutex*>(m_impl)->unlock(); }

void SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SignalEvent(std::uint32_t handle) {
  std::uint64_t one = 1;
  ssize_t n = write(static_cast<int>(handle), &one, sizeof(one));
  (void)n;
}

namespace {
std::mutex g_threadsMutex;
// Created on demand and dropped by ReleaseCompletions, so that the library
// leaves nothing behind when it is unloaded.
std::vector<std::thread>* g_threads = nullptr;
}  // namespace

void StartCompletion(void (*fn)(void*), void* arg) {
  std::lock_guard<std::mutex> lock(g_threadsMutex);
  if (g_threads == nullptr) g_threads = new std::vector<std::thread>();
  g_threads->emplace_back(fn, arg);
}

void JoinCompletions() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(g_threadsMutex);
    if (g_threads != nullptr) threads.swap(*g_threads);
  }
  for (std::thread& t : threads) t.join();
}

void ReleaseCompletions() {
  JoinCompletions();
  std::lock_guard<std::mutex> lock(g_threadsMutex);
  delete g_threads;
  g_threads = nullptr;
}

std::string LibraryDir() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&LibraryDir), &info) == 0 || info.dli_fname == nullptr)
    return ".";
  std::string p(info.dli_fname);
  std::string::size_type cut = p.rfind('/');
  return cut == std::string::npos ? std::string(".") : p.substr(0, cut);
}

#endif

}  // namespace sim
