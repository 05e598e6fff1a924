// Shutdown and privilege calls. Natively they are recorded, never executed.
#pragma once

typedef void* TokenHandle;
struct PrivilegeId {
  unsigned long low = 0;
  long high = 0;
};

bool SysExitWindowsEx(unsigned flags, unsigned reserved);
bool SysOpenProcessToken(unsigned access, TokenHandle* token);
bool SysLookupPrivilegeValue(const char* system, const char* name, PrivilegeId* id);
// Enables one privilege; no previous state is asked for.
bool SysAdjustTokenPrivilege(TokenHandle token, const PrivilegeId& id);
unsigned long SysGetLastError();
bool SysInitiateSystemShutdown(const char* machine, const char* message, unsigned timeout,
                               bool forceAppsClosed, bool reboot);
void SysCloseHandle(TokenHandle h);
void SysWriteStdout(const char* text);
[[noreturn]] void SysExitProcess(unsigned code);
