// Worker threads and a short sleep.
#pragma once

typedef unsigned (*ThreadProc)(void* param);

// A worker started at normal priority with the default stack; the object
// deletes itself when the procedure returns, so callers keep a pointer
// only to tell that a worker was started.
class CWinThread {
 public:
  static CWinThread* Begin(ThreadProc proc, void* param);
  unsigned long m_nThreadId = 0;

 private:
  CWinThread() = default;
  friend struct ThreadStarter;
};

void SleepMs(unsigned ms);
// Identifies the calling thread (for tests and logs).
unsigned long CurrentThreadId();
