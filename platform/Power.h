// Holding the system off while a drive writes its firmware: the idle sleep
// (the calling thread's execution state) and the reason a shutdown or a
// logoff shows while the program refuses it. Both are looked up at run time
// on Windows, whose older versions lack them; natively they are recorded.
#pragma once

#include <string>

class CWnd;

// ES_CONTINUOUS | ES_SYSTEM_REQUIRED for the calling thread while `on`,
// ES_CONTINUOUS alone to clear it. False when the system has no such call
// or refused it.
bool SysKeepSystemAwake(bool on);
// ShutdownBlockReasonCreate / ShutdownBlockReasonDestroy for `wnd`, called
// on the thread that created the window. False where the system lacks them.
bool SysBlockShutdown(const CWnd& wnd, const std::string& reason);
bool SysUnblockShutdown(const CWnd& wnd);
