// What the programs that put the drive model behind a real kernel (sim-tcmu,
// sim-usbgadget) share for their request logs: the time, a hold that no
// signal shortens, and the CRC-32 and hex of what went over the wire.
#pragma once

#include <time.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// Seconds of the monotonic clock: in a guest, its uptime.
inline double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Sleeps the whole time even when a signal arrives: a command the drive has
// taken is finished before anything else happens.
inline void Hold(int ms) {
  timespec left = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0) {
  }
}

inline std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
  static std::uint32_t table[256];
  if (table[1] == 0) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
  }
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

inline std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

}  // namespace sim
