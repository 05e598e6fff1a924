#include "tools/ImageGen.h"

#include <cstdio>
#include <cstring>

namespace imagegen {

namespace {
std::string Fit(const std::string& s, std::size_t width) {
  std::string r = s;
  r.resize(width, ' ');
  return r;
}
}  // namespace

ImageSpec& ImageSpec::Identity(std::size_t offset, const std::string& vendor,
                               const std::string& product, const std::string& revision) {
  patches.push_back({offset, Fit(vendor, 8) + Fit(product, 16) + Fit(revision, 4)});
  return *this;
}

ImageSpec& ImageSpec::Text(std::size_t offset, const std::string& text) {
  patches.push_back({offset, text});
  return *this;
}

std::vector<std::uint8_t> Build(const ImageSpec& layout) {
  std::vector<std::uint8_t> data(layout.size);
  // xorshift32: the same seed gives the same bytes on every machine.
  std::uint32_t x = layout.seed == 0 ? 0x9E3779B9u : layout.seed;
  for (std::size_t i = 0; i < data.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[i] = static_cast<std::uint8_t>(x >> 24);
  }
  for (const Patch& p : layout.patches) {
    if (p.offset >= data.size()) continue;
    std::size_t n = p.bytes.size();
    if (n > data.size() - p.offset) n = data.size() - p.offset;
    std::memcpy(&data[p.offset], p.bytes.data(), n);
  }
  return data;
}

bool Write(const std::string& path, const ImageSpec& layout) {
  std::vector<std::uint8_t> data = Build(layout);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

std::uint32_t ByteSum(const std::vector<std::uint8_t>& data, std::size_t length) {
  if (length > data.size()) length = data.size();
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += data[i];
  return sum;
}

}  // namespace imagegen
