// Manual-reset Win32 events; a 32-bit HANDLE value is the event number.
#include "platform/Event.h"

#include <windows.h>

namespace {
HANDLE H(EventHandle ev) { return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(ev)); }
}  // namespace

bool SysCreateEvent(bool signalled, EventHandle* out) {
  HANDLE h = CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr);
  if (h == nullptr) return false;
  *out = static_cast<EventHandle>(reinterpret_cast<UINT_PTR>(h));
  return true;
}

EventWait SysWaitEvent(EventHandle ev, unsigned ms) {
  switch (WaitForSingleObject(H(ev), ms)) {
    case WAIT_OBJECT_0:
      return EventWait::Signalled;
    case WAIT_TIMEOUT:
      return EventWait::Timeout;
    default:
      return EventWait::Failed;
  }
}

void SysSetEvent(EventHandle ev) { SetEvent(H(ev)); }
void SysResetEvent(EventHandle ev) { ResetEvent(H(ev)); }
void SysCloseEvent(EventHandle ev) { CloseHandle(H(ev)); }
