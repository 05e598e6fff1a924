// File reads, which tests can make come up short or fail.
#include "platform/File.h"

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
