// What the system tells about itself: its version and its Windows folder.
#pragma once

enum : unsigned { PLATFORM_WIN32S = 0, PLATFORM_WIN9X = 1, PLATFORM_NT = 2 };

struct PlatformVersion {
  unsigned platformId = 0;  // PLATFORM_*
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
};

// False when the version cannot be read.
bool SysGetVersion(PlatformVersion* out);
// The Windows folder into buf (at most size-1 characters and a NUL);
// returns its length, 0 on failure.
int SysGetWindowsDirectory(char* buf, int size);
