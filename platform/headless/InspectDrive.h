// Test controls for the headless library loader, events and system facts.
#pragma once

#include <string>

namespace headless {

// The folder searched first for a bare library name, in place of the
// executable's folder. Empty restores the executable's folder.
void SetLibraryDir(const std::string& dir);

// What SysGetVersion reports; `readable` false makes it fail.
void SetPlatformVersion(unsigned platformId, unsigned build, bool readable = true);
// What SysGetWindowsDirectory reports.
void SetWindowsDirectory(const std::string& dir);
// Back to the defaults: NT family (platform id 2), "C:\WINDOWS".
void ResetSysInfo();

// The next SysCreateEvent fails.
void FailNextEventCreate();
// The next SysWaitEvent reports a failed wait.
void FailNextEventWait();
// Events created and not yet closed.
int OpenEventCount();

}  // namespace headless
