// Version (extended record first, then the basic one) and Windows folder.
#include "platform/SysInfo.h"

#include <windows.h>

bool SysGetVersion(PlatformVersion* out) {
  OSVERSIONINFOEXA ex;
  ZeroMemory(&ex, sizeof(ex));
  static_assert(sizeof(OSVERSIONINFOEXA) == 156, "extended version record");
  static_assert(sizeof(OSVERSIONINFOA) == 148, "basic version record");
  ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
    ZeroMemory(&ex, sizeof(ex));
    ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) return false;
  }
  out->platformId = ex.dwPlatformId;
  out->major = ex.dwMajorVersion;
  out->minor = ex.dwMinorVersion;
  // The 9x family keeps the build number in the low word only.
  out->build = ex.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? (ex.dwBuildNumber & 0xFFFF)
                                                             : ex.dwBuildNumber;
  return true;
}

int SysGetWindowsDirectory(char* buf, int size) {
  if (buf == nullptr || size <= 0) return 0;
  UINT n = GetWindowsDirectoryA(buf, static_cast<UINT>(size));
  if (n == 0 || n >= static_cast<UINT>(size)) {
    buf[0] = '\0';
    return 0;
  }
  return static_cast<int>(n);
}
