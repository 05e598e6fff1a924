// Manual-reset events used as completion notifications of drive requests.
// The handle is a 32-bit number so that it fits the request block's
// notification field on every target.
#pragma once

#include <cstdint>

typedef std::uint32_t EventHandle;

enum class EventWait { Signalled, Timeout, Failed };

// Creates a manual-reset event, signalled or not; false when it cannot be
// created.
bool SysCreateEvent(bool signalled, EventHandle* out);
// Waits at most `ms` milliseconds for the event to become signalled.
EventWait SysWaitEvent(EventHandle ev, unsigned ms);
void SysSetEvent(EventHandle ev);
void SysResetEvent(EventHandle ev);
void SysCloseEvent(EventHandle ev);
