// Version and Windows folder as a test sets them; the defaults describe an
// NT-family system.
#include "platform/SysInfo.h"

#include <cstring>
#include <mutex>
#include <string>

#include "platform/headless/InspectDrive.h"

namespace {
std::mutex g_mutex;
PlatformVersion g_version;
bool g_readable = true;
std::string g_windowsDir;

void Defaults() {
  g_version = PlatformVersion();
  g_version.platformId = PLATFORM_NT;
  g_version.major = 5;
  g_version.minor = 1;
  g_version.build = 2600;
  g_readable = true;
  g_windowsDir = "C:\\WINDOWS";
}

struct Init {
  Init() { Defaults(); }
} g_init;
}  // namespace

namespace headless {
void SetPlatformVersion(unsigned platformId, unsigned build, bool readable) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_version.platformId = platformId;
  g_version.build = build;
  g_readable = readable;
}
void SetWindowsDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_windowsDir = dir;
}
void ResetSysInfo() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Defaults();
}
}  // namespace headless

bool SysGetVersion(PlatformVersion* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_readable) return false;
  *out = g_version;
  return true;
}

int SysGetWindowsDirectory(char* buf, int size) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (buf == nullptr || size <= 0) return 0;
  int n = static_cast<int>(g_windowsDir.size());
  if (n >= size) return 0;  // like Windows: too small a buffer gets nothing
  std::memcpy(buf, g_windowsDir.c_str(), n + 1);
  return n;
}
