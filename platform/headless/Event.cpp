// Manual-reset events over eventfd: the handle is the descriptor number, and
// whoever completes a request signals it by writing to that descriptor.
// Creating and closing a descriptor costs more than the whole simulated
// request, so closed events go back, drained, to a small pool and the next
// event reuses one. An event is only closed once nobody will signal it any
// more (CMyASPI32 keeps those of unfinished requests), so a reused
// descriptor starts unsignalled.
#include "platform/Event.h"

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/headless/InspectDrive.h"

namespace {
std::atomic<bool> g_failCreate{false};
std::atomic<bool> g_failWait{false};
std::atomic<int> g_openEvents{0};
std::mutex g_poolMutex;
std::vector<int>* g_pool = new std::vector<int>();  // never freed: used until exit
constexpr std::size_t kPoolMax = 16;

// False when fd is no descriptor at all.
bool Drain(int fd) {
  uint64_t value;
  return read(fd, &value, sizeof(value)) >= 0 || errno != EBADF;
}

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

namespace headless {
void FailNextEventCreate() { g_failCreate = true; }
void FailNextEventWait() { g_failWait = true; }
int OpenEventCount() { return g_openEvents.load(); }
}  // namespace headless

bool SysCreateEvent(bool signalled, EventHandle* out) {
  if (g_failCreate.exchange(false)) return false;
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(g_poolMutex);
    if (!g_pool->empty()) {
      fd = g_pool->back();
      g_pool->pop_back();
    }
  }
  if (fd >= 0) {
    if (signalled) SysSetEvent(static_cast<EventHandle>(fd));
  } else {
    fd = eventfd(signalled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) return false;
  }
  ++g_openEvents;
  *out = static_cast<EventHandle>(fd);
  return true;
}

EventWait SysWaitEvent(EventHandle ev, unsigned ms) {
  if (g_failWait.exchange(false)) return EventWait::Failed;
  // A manual-reset event stays signalled: poll for readability without
  // consuming the counter.
  const long long deadline = NowMs() + ms;
  for (;;) {
    pollfd p = {static_cast<int>(ev), POLLIN, 0};
    long long left = deadline - NowMs();
    if (left < 0) left = 0;
    int r = poll(&p, 1, static_cast<int>(left));
    if (r > 0) {
      if (p.revents & (POLLNVAL | POLLERR)) return EventWait::Failed;
      return EventWait::Signalled;
    }
    if (r == 0) return EventWait::Timeout;
    if (errno != EINTR) return EventWait::Failed;
  }
}

void SysSetEvent(EventHandle ev) {
  uint64_t one = 1;
  ssize_t n = write(static_cast<int>(ev), &one, sizeof(one));
  (void)n;
}

void SysResetEvent(EventHandle ev) { Drain(static_cast<int>(ev)); }

void SysCloseEvent(EventHandle ev) {
  const int fd = static_cast<int>(ev);
  // Only live descriptors count and go back to the pool.
  if (!Drain(fd)) return;
  --g_openEvents;
  {
    std::lock_guard<std::mutex> lock(g_poolMutex);
    if (g_pool->size() < kPoolMax) {
      g_pool->push_back(fd);
      return;
    }
  }
  close(fd);
}
