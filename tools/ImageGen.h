// Generates firmware image files for tests and the demo: deterministic
// filler with identity blocks and texts placed where the caller wants them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imagegen {

struct Patch {
  std::size_t offset = 0;
  std::string bytes;
};

struct ImageSpec {
  std::size_t size = 0x200000;  // a file of any other size is refused by the updater
  std::uint32_t seed = 1;       // filler
  std::vector<Patch> patches;   // written over the filler, in order

  // A 28-byte identity block: vendor (8), product (16), revision (4), each
  // padded with spaces or cut to its width.
  ImageSpec& Identity(std::size_t offset, const std::string& vendor, const std::string& product,
                      const std::string& revision);
  // Bytes as given (NULs included).
  ImageSpec& Text(std::size_t offset, const std::string& text);
};

std::vector<std::uint8_t> Build(const ImageSpec& layout);
// False when the file cannot be written.
bool Write(const std::string& path, const ImageSpec& layout);
// Unsigned byte sum of the first `length` bytes (the whole when larger).
std::uint32_t ByteSum(const std::vector<std::uint8_t>& data, std::size_t length);

}  // namespace imagegen
