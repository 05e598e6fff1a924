// File reads through the C runtime.
#include "platform/File.h"

std::size_t SysReadFileStart(std::FILE* file, void* buf, std::size_t size) {
  if (file == nullptr || buf == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  return std::fread(buf, 1, size, file);
}
