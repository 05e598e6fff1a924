// The few operating-system services the simulated library needs, for both
// targets: a lock, a sleep, completion threads, signalling an event, and
// the folder the library was loaded from.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock();
  void unlock();

 private:
  void* m_impl;
};

class Guard {
 public:
  explicit Guard(Lock& l) : m_l(l) { m_l.lock(); }
  ~Guard() { m_l.unlock(); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  Lock& m_l;
};

void SleepMs(int ms);
// Sets the event whose number travels in SRB_PostProc.
void SignalEvent(std::uint32_t handle);
// Runs fn(arg) on a thread of its own. The library stays loaded while it runs.
void StartCompletion(void (*fn)(void*), void* arg);
// Waits until every completion thread has finished.
void JoinCompletions();
// Joins them and frees what tracking them took; for unloading.
void ReleaseCompletions();
// The folder holding this library, without a trailing separator.
std::string LibraryDir();
std::string GetEnv(const char* name);

}  // namespace sim
