// A lock that one holder on the machine has at a time, known by its name:
// every updater takes the same name for the same drive.
#pragma once

#include <cstdint>
#include <string>

class CNamedLock {
 public:
  CNamedLock() = default;
  ~CNamedLock() { Release(); }
  CNamedLock(const CNamedLock&) = delete;
  CNamedLock& operator=(const CNamedLock&) = delete;

  // False when another holder has the name (or it cannot be had at all).
  // Any thread may release what another thread took.
  bool Acquire(const std::string& name);
  void Release();
  bool Held() const { return m_handle != 0; }

 private:
  std::uintptr_t m_handle = 0;
};
