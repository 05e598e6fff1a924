// The installed ASPI layer as Windows has it: wnaspi32.dll in the system
// folder, loaded by its full path. Only calls that every Windows from 95
// on has: the library must load on all of them.
#include "spti/SystemLibraries.h"

#include <windows.h>

namespace spti {

namespace {

// This library's module: the allocation that holds this function.
HMODULE OwnModule() {
  MEMORY_BASIC_INFORMATION mbi = {};
  if (VirtualQuery(reinterpret_cast<const void*>(&OwnModule), &mbi, sizeof(mbi)) == 0) return nullptr;
  return static_cast<HMODULE>(mbi.AllocationBase);
}

bool FileId(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)  // 9x knows no FILE_SHARE_DELETE
    h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, info);
  CloseHandle(h);
  return ok != FALSE;
}

class CWin32SystemLibraries : public CSystemLibraries {
 public:
  bool IsWin9x() override { return (GetVersion() & 0x80000000u) != 0; }

  std::string InstalledPath() override {
    char dir[MAX_PATH];
    const UINT n = GetSystemDirectoryA(dir, sizeof(dir));
    if (n == 0 || n >= sizeof(dir)) return std::string();
    std::string path(dir, n);
    if (path.back() != '\\') path += '\\';
    return path + "wnaspi32.dll";
  }

  bool IsOwnFile(const std::string& path) override {
    char own[MAX_PATH];
    const DWORD n = GetModuleFileNameA(OwnModule(), own, sizeof(own));
    if (n == 0 || n >= sizeof(own)) return false;
    if (lstrcmpiA(own, path.c_str()) == 0) return true;
    // Another name for the same file (a short name, a link).
    BY_HANDLE_FILE_INFORMATION a = {}, b = {};
    return FileId(own, &a) && FileId(path.c_str(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
  }

  ModHandle Load(const std::string& path, std::uint32_t* err) override {
    // A layer that cannot load must not bring up the system's error box.
    const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE m = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    *err = m == nullptr ? GetLastError() : 0;
    SetErrorMode(old);
    if (m == nullptr && *err == 0) *err = ERROR_GEN_FAILURE;
    return reinterpret_cast<ModHandle>(m);
  }

  bool IsOwnModule(ModHandle m) override { return reinterpret_cast<HMODULE>(m) == OwnModule(); }

  void* Entry(ModHandle m, const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(m), name));
  }

  void Free(ModHandle m) override { FreeLibrary(reinterpret_cast<HMODULE>(m)); }
};

}  // namespace

CSystemLibraries& PlatformSystemLibraries() {
  static CWin32SystemLibraries sys;
  return sys;
}

}  // namespace spti
