// A named mutex whose existence is the lock: the first CreateMutex makes
// it, any later one finds it there. Ownership would tie it to a thread,
// and an update takes the drive on the dialog's thread and lets it go on
// the worker. The system removes it when its holder's last handle closes,
// also when the holder dies. The device's name is not used: the mutex
// keeps the name every updater of this system has always taken.
#include "platform/NamedLock.h"

#include "platform/win32/Win32.h"

int CNamedLock::Acquire(const std::string& name, const std::string&, std::string* why) {
  why->clear();
  if (m_handle != 0) return LOCK_HELD;
  HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
  // Made by another user with its own rights: it is there all the same.
  if (h == nullptr) return LOCK_BUSY;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return LOCK_BUSY;
  }
  m_handle = reinterpret_cast<std::uintptr_t>(h);
  return LOCK_HELD;
}

void CNamedLock::Release() {
  if (m_handle == 0) return;
  CloseHandle(reinterpret_cast<HANDLE>(m_handle));
  m_handle = 0;
}
