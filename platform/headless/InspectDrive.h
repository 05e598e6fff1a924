// Test controls for the headless library loader, events, file reads and
// system facts.
#pragma once

#include <cstddef>
#include <functional>
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

// Runs `fn` once, just before the next file read (a test shrinks or
// replaces the file there, after its length was checked).
void BeforeNextFileRead(std::function<void()> fn);
// The next file read fails after `deliver` bytes.
void FailNextFileRead(std::size_t deliver = 0);

}  // namespace headless
