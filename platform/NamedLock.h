// A lock that one holder on the machine has at a time, known by its name:
// every updater takes the same name for the same drive.
#pragma once

#include <cstdint>
#include <string>

enum NamedLockResult : int {
  LOCK_HELD = 0,
  LOCK_BUSY = 1,     // another holder has it
  LOCK_REFUSED = 2   // it cannot be had at all
};

class CNamedLock {
 public:
  CNamedLock() = default;
  ~CNamedLock() { Release(); }
  CNamedLock(const CNamedLock&) = delete;
  CNamedLock& operator=(const CNamedLock&) = delete;

  // `name` is the lock's name ("Global\Orvex drive 1:0:0"). `device`, when
  // not empty, is the system's name of the device the lock stands for:
  // where locks are files (Linux), the lock is keyed by the device, so that
  // every process addressing it takes one lock whatever address its search
  // gave it, and only a user with rights to the device's node shares the
  // lock's file. Windows' named mutex keeps the name alone. Not LOCK_HELD:
  // *why may say more, and nothing may be sent. Any thread may release
  // what another thread took.
  int Acquire(const std::string& name, const std::string& device, std::string* why);
  void Release();
  bool Held() const { return m_handle != 0; }

 private:
  std::uintptr_t m_handle = 0;
};
