// File reads, which tests can make come up short or fail.
#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <mutex>

#include "platform/headless/InspectDrive.h"

namespace {

struct ReadScript {
  std::mutex m;
  std::function<void()> before;
  bool fail = false;
  std::size_t deliver = 0;
};
ReadScript& Script() {
  static ReadScript s;
  return s;
}

}  // namespace

std::FILE* SysOpenRegularFile(const char* path, FileKind* kind) {
  *kind = FILE_KIND_NONE;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return nullptr;
  }
  *kind = S_ISREG(st.st_mode)    ? FILE_KIND_REGULAR
          : S_ISDIR(st.st_mode)  ? FILE_KIND_DIRECTORY
          : S_ISFIFO(st.st_mode) ? FILE_KIND_FIFO
          : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? FILE_KIND_DEVICE
          : S_ISSOCK(st.st_mode) ? FILE_KIND_SOCKET
                                 : FILE_KIND_OTHER;
#ifndef ORVEX_GUARD_OFF_IMAGE_REGULAR
  if (*kind != FILE_KIND_REGULAR) {
    close(fd);
    return nullptr;
  }
#endif
  // Reads of a regular file block as they always do.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) close(fd);
  return f;
}

std::size_t SysReadFileStart(std::FILE* file, void* buf, std::size_t size) {
  std::function<void()> before;
  bool fail = false;
  std::size_t deliver = 0;
  {
    std::lock_guard<std::mutex> lock(Script().m);
    before.swap(Script().before);
    fail = Script().fail;
    deliver = Script().deliver;
    Script().fail = false;
  }
  if (before) before();
  if (file == nullptr || buf == nullptr) return 0;
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  if (fail && deliver < size) size = deliver;
  return std::fread(buf, 1, size, file);
}

namespace headless {

void BeforeNextFileRead(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(Script().m);
  Script().before = std::move(fn);
}

void FailNextFileRead(std::size_t deliver) {
  std::lock_guard<std::mutex> lock(Script().m);
  Script().fail = true;
  Script().deliver = deliver;
}

}  // namespace headless
