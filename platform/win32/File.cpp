// File reads through the C runtime.
#include "platform/File.h"

#include <windows.h>
#include <io.h>

std::FILE* SysOpenRegularFile(const char* path, FileKind* kind) {
  *kind = FILE_KIND_NONE;
  const DWORD attr = GetFileAttributesA(path);
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *kind = FILE_KIND_DIRECTORY;
    return nullptr;
  }
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return nullptr;
  // Device names (CON, NUL, COM1) and pipes open like files.
  switch (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))))) {
    case FILE_TYPE_DISK: *kind = FILE_KIND_REGULAR; break;
    case FILE_TYPE_CHAR: *kind = FILE_KIND_DEVICE; break;
    case FILE_TYPE_PIPE: *kind = FILE_KIND_FIFO; break;
    default: *kind = FILE_KIND_OTHER; break;
  }
  if (*kind != FILE_KIND_REGULAR) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

std::size_t SysReadFileStart(std::FILE* file, void* buf, std::size_t size) {
  if (file == nullptr || buf == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  return std::fread(buf, 1, size, file);
}
