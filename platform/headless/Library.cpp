// dlopen-based library loading. A bare name maps to lib<name>.so, looked for
// beside the executable first, then through the normal dlopen search.
#include "platform/Library.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/headless/InspectDrive.h"

namespace {

std::mutex g_dirMutex;
std::string g_libraryDir;  // empty: the executable's folder

std::string ExecutableDir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  buf[n] = '\0';
  std::string path(buf);
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsBareName(const std::string& name) {
  return name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
         name.find('.') == std::string::npos;
}

void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

}  // namespace

namespace headless {
void SetLibraryDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_dirMutex);
  g_libraryDir = dir;
}
}  // namespace headless

LibHandle SysLoadLibrary(const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  std::string n(name);
  void* h = nullptr;
  if (IsBareName(n)) {
    std::string file = "lib" + n + ".so";
    std::string dir;
    {
      std::lock_guard<std::mutex> lock(g_dirMutex);
      dir = g_libraryDir;
    }
    if (dir.empty()) dir = ExecutableDir();
    if (!dir.empty()) h = Open(dir + "/" + file);
    if (h == nullptr) h = Open(file);
  } else {
    // The product builds Windows paths; their separators mean folders here too.
    for (char& c : n) {
      if (c == '\\') c = '/';
    }
    // A name without a folder must not be looked up in the search path:
    // only a bare library name goes through the search.
    if (n.find('/') == std::string::npos) n = "./" + n;
    h = Open(n);
  }
  return static_cast<LibHandle>(h);
}

LibProc SysGetProcAddress(LibHandle lib, const char* name) {
  if (lib == nullptr || name == nullptr) return nullptr;
  void* sym = dlsym(static_cast<void*>(lib), name);
  LibProc proc = nullptr;
  static_assert(sizeof(proc) == sizeof(sym), "function and data pointers differ");
  __builtin_memcpy(&proc, &sym, sizeof(proc));
  return proc;
}

void SysFreeLibrary(LibHandle lib) {
  if (lib != nullptr) dlclose(static_cast<void*>(lib));
}
