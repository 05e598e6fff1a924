// LoadLibraryA-based library loading.
#include "platform/Library.h"

#include <windows.h>

LibHandle SysLoadLibrary(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  return reinterpret_cast<LibHandle>(LoadLibraryA(name));
}

LibProc SysGetProcAddress(LibHandle lib, const char* name) {
  if (lib == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<LibProc>(GetProcAddress(reinterpret_cast<HMODULE>(lib), name));
}

void SysFreeLibrary(LibHandle lib) {
  if (lib != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(lib));
}
