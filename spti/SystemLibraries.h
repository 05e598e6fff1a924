// What the choice of ASPI road needs from the operating system: its
// family, the installed layer's file in the system folder, and loading it
// by full path. Kept apart from the request block's types so that the
// Windows side includes only the system's own headers.
#pragma once

#include <cstdint>
#include <string>

#include "spti/DeviceIo.h"

namespace spti {

typedef std::uintptr_t ModHandle;

class CSystemLibraries {
 public:
  virtual ~CSystemLibraries() = default;
  // False where no ASPI layer can ever be installed (any host but Windows).
  virtual bool CanHaveInstalledLayers() { return true; }
  // GetVersion says 9x family (platform id 1).
  virtual bool IsWin9x() = 0;
  // Full path of wnaspi32.dll in the system folder; empty when the folder
  // is not known (then there is no installed layer).
  virtual std::string InstalledPath() = 0;
  // The file at `path` is the file this library was loaded from.
  virtual bool IsOwnFile(const std::string& path) = 0;
  // Loads by that full path, never through the search order; 0 and a
  // Windows error when it cannot.
  virtual ModHandle Load(const std::string& path, std::uint32_t* err) = 0;
  // The loaded module is this library (a loader may hand back a module it
  // already holds under the same name).
  virtual bool IsOwnModule(ModHandle m) = 0;
  virtual void* Entry(ModHandle m, const char* name) = 0;
  virtual void Free(ModHandle m) = 0;
};

// A system without installed layers (any host but Windows).
class CNoSystemLibraries : public CSystemLibraries {
 public:
  bool CanHaveInstalledLayers() override { return false; }
  bool IsWin9x() override { return false; }
  std::string InstalledPath() override { return std::string(); }
  bool IsOwnFile(const std::string&) override { return false; }
  ModHandle Load(const std::string&, std::uint32_t* err) override {
    *err = kErrFileNotFound;
    return 0;
  }
  bool IsOwnModule(ModHandle) override { return false; }
  void* Entry(ModHandle, const char*) override { return nullptr; }
  void Free(ModHandle) override {}
};

CSystemLibraries& PlatformSystemLibraries();

}  // namespace spti
