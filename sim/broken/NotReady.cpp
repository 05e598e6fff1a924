// A broken ASPI library for tests: its support information says the layer
// failed to initialise (E4h), and any request sent anyway is traced.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
void Trace(const char* what) {
  if (const char* trace = std::getenv("ORVEX_BROKEN_TRACE")) {
    if (std::FILE* f = std::fopen(trace, "a")) {
      std::fprintf(f, "%s\n", what);
      std::fclose(f);
    }
  }
}
}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo(void) {
  Trace("GetASPI32SupportInfo");
  return 0xE402;
}

extern "C" __attribute__((visibility("default"))) std::uint32_t SendASPI32Command(void*) {
  Trace("SendASPI32Command");
  return 0xE4;
}
