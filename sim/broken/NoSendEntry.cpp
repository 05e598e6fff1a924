// A broken ASPI library for tests: it has the support entry point but no
// SendASPI32Command. Calling what it has leaves a trace in ORVEX_BROKEN_TRACE.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo(void) {
  if (const char* trace = std::getenv("ORVEX_BROKEN_TRACE")) {
    if (std::FILE* f = std::fopen(trace, "a")) {
      std::fputs("GetASPI32SupportInfo\n", f);
      std::fclose(f);
    }
  }
  return 0x0101;
}
