// A named mutex whose existence is the lock: the first CreateMutex makes
// it, any later one finds it there. Ownership would tie it to a thread,
// and an update takes the drive on the dialog's thread and lets it go on
// the worker. The system removes it when its holder's last handle closes,
// also when the holder dies.
#include "platform/NamedLock.h"

#include "platform/win32/Win32.h"

bool CNamedLock::Acquire(const std::string& name) {
  if (m_handle != 0) return true;
  HANDLE h = CreateMutexA(nullptr, FALSE, name.c_str());
  // Made by another user with its own rights: it is there all the same.
  if (h == nullptr) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return false;
  }
  m_handle = reinterpret_cast<std::uintptr_t>(h);
  return true;
}

void CNamedLock::Release() {
  if (m_handle == 0) return;
  CloseHandle(reinterpret_cast<HANDLE>(m_handle));
  m_handle = 0;
}
