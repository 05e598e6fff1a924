// Icons and bitmaps of the headless build: the files that res/Art.def names
// for the resource script, read from the source tree and decoded here.
// Every size and offset in a file is checked before it is used: a damaged or
// foreign file gives a null handle, never a read outside the data.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Dc.h"
#include "platform/Resources.h"
#include "platform/headless/DrawObjects.h"
#include "platform/headless/InspectDraw.h"
#include "res/ResourceIds.h"

void HeadlessCountBitmap(int delta);  // Dc.cpp

namespace {

struct ArtEntry {
  int id;
  bool icon;
  const char* file;
};

const ArtEntry kArt[] = {
#define ORVEX_ICON(id, file) {id, true, file},
#define ORVEX_BITMAP(id, file) {id, false, file},
#include "res/Art.def"
#undef ORVEX_ICON
#undef ORVEX_BITMAP
};

std::atomic<int> g_liveIcons{0};

std::mutex& DirMutex() {
  static std::mutex m;
  return m;
}
std::string& DirOverride() {
  static std::string dir;
  return dir;
}

// The file of resource `id` of the given kind; empty when there is none.
std::string ArtPath(int id, bool icon) {
  for (const ArtEntry& e : kArt) {
    if (e.id != id || e.icon != icon) continue;
    std::lock_guard<std::mutex> lock(DirMutex());
    std::string dir = DirOverride().empty() ? std::string(ORVEX_RES_DIR) : DirOverride();
    return dir + "/" + e.file;
  }
  return std::string();
}

bool ReadAll(const std::string& path, std::vector<std::uint8_t>* out) {
  if (path.empty()) return false;
  // One read of the whole file: every dialog opened by a test loads its
  // bitmaps, and a character-by-character read dominated those tests.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  std::streamoff size = in.tellg();
  if (size < 0) return false;
  out->resize(static_cast<std::size_t>(size));
  in.seekg(0);
  return size == 0 || static_cast<bool>(in.read(reinterpret_cast<char*>(out->data()), size));
}

class Reader {
 public:
  Reader(const std::vector<std::uint8_t>& d) : data_(d) {}
  bool Has(std::uint64_t off, std::uint64_t len) const { return off <= data_.size() && len <= data_.size() - off; }
  std::uint32_t U8(std::size_t o) const { return data_[o]; }
  std::uint32_t U16(std::size_t o) const { return data_[o] | (data_[o + 1] << 8); }
  std::uint32_t U32(std::size_t o) const {
    return static_cast<std::uint32_t>(data_[o]) | (static_cast<std::uint32_t>(data_[o + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[o + 2]) << 16) | (static_cast<std::uint32_t>(data_[o + 3]) << 24);
  }
  std::int32_t I32(std::size_t o) const { return static_cast<std::int32_t>(U32(o)); }
  const std::uint8_t* At(std::size_t o) const { return data_.data() + o; }

 private:
  const std::vector<std::uint8_t>& data_;
};

constexpr int kMaxSide = 4096;

struct Dib {
  int width = 0, height = 0;
  std::vector<Color> color;
  std::vector<std::uint8_t> alpha;  // 32 bits per pixel only
  bool anyAlpha = false;
  std::vector<std::uint8_t> mask;   // icons: 1 = transparent
};

// A BITMAPINFOHEADER image at `hdr`. For a bitmap file the pixels sit at
// `bitsOffset`; for an icon image (bitsOffset 0) they follow the colour table,
// the height counts the image and its mask, and the mask follows the image.
bool DecodeDib(const Reader& r, std::size_t hdr, std::size_t bitsOffset, bool icon, Dib* out) {
  if (!r.Has(hdr, 40)) return false;
  std::uint32_t hdrSize = r.U32(hdr);
  if (hdrSize < 40 || !r.Has(hdr, hdrSize)) return false;
  std::int32_t w = r.I32(hdr + 4), h = r.I32(hdr + 8);
  std::uint32_t bpp = r.U16(hdr + 14), compression = r.U32(hdr + 16), clrUsed = r.U32(hdr + 32);
  bool topDown = h < 0;
  if (topDown) {
    if (icon || h == INT32_MIN) return false;
    h = -h;
  }
  if (icon) h /= 2;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
  std::size_t tableOffset = hdr + hdrSize;
  std::uint32_t masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
  if (compression == 3) {  // BI_BITFIELDS: only the plain 8-8-8 layout
    if (bpp != 32) return false;
    std::size_t at = hdrSize >= 52 ? hdr + 40 : tableOffset;
    if (!r.Has(at, 12)) return false;
    for (int i = 0; i < 3; ++i) masks[i] = r.U32(at + 4 * static_cast<std::size_t>(i));
    if (masks[0] != 0x00FF0000u || masks[1] != 0x0000FF00u || masks[2] != 0x000000FFu) return false;
    if (hdrSize < 52) tableOffset += 12;
  } else if (compression != 0) {
    return false;
  }
  std::vector<Color> palette;
  if (bpp <= 8) {
    std::uint32_t entries = clrUsed != 0 ? clrUsed : (1u << bpp);
    if (entries > (1u << bpp)) entries = 1u << bpp;
    if (!r.Has(tableOffset, 4ull * entries)) return false;
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::uint8_t* p = r.At(tableOffset + 4 * static_cast<std::size_t>(i));
      palette.push_back(MakeColor(p[2], p[1], p[0]));
    }
    tableOffset += 4 * static_cast<std::size_t>(entries);
  }
  std::size_t bits = icon ? tableOffset : bitsOffset;
  std::uint64_t stride = ((static_cast<std::uint64_t>(w) * bpp + 31) / 32) * 4;
  if (!r.Has(bits, stride * static_cast<std::uint64_t>(h))) return false;

  out->width = w;
  out->height = h;
  out->color.assign(static_cast<std::size_t>(w) * h, 0);
  if (bpp == 32) out->alpha.assign(static_cast<std::size_t>(w) * h, 0);
  for (int row = 0; row < h; ++row) {
    int y = topDown ? row : h - 1 - row;
    const std::uint8_t* src = r.At(bits + static_cast<std::size_t>(stride * static_cast<std::uint64_t>(row)));
    for (int x = 0; x < w; ++x) {
      std::size_t i = static_cast<std::size_t>(y) * w + x;
      Color c = 0;
      if (bpp == 32) {
        const std::uint8_t* p = src + 4 * x;
        c = MakeColor(p[2], p[1], p[0]);
        out->alpha[i] = p[3];
        if (p[3] != 0) out->anyAlpha = true;
      } else if (bpp == 24) {
        const std::uint8_t* p = src + 3 * x;
        c = MakeColor(p[2], p[1], p[0]);
      } else {
        unsigned perByte = 8 / bpp;
        unsigned byte = src[x / perByte];
        unsigned shift = 8 - bpp * (x % perByte + 1);
        unsigned index = (byte >> shift) & ((1u << bpp) - 1);
        if (index >= palette.size()) return false;
        c = palette[index];
      }
      out->color[i] = c;
    }
  }
  if (icon) {
    std::size_t maskOffset = bits + static_cast<std::size_t>(stride * static_cast<std::uint64_t>(h));
    std::uint64_t maskStride = ((static_cast<std::uint64_t>(w) + 31) / 32) * 4;
    out->mask.assign(static_cast<std::size_t>(w) * h, 0);
    if (r.Has(maskOffset, maskStride * static_cast<std::uint64_t>(h))) {
      for (int row = 0; row < h; ++row) {
        int y = h - 1 - row;
        const std::uint8_t* src = r.At(maskOffset + static_cast<std::size_t>(maskStride * static_cast<std::uint64_t>(row)));
        for (int x = 0; x < w; ++x)
          out->mask[static_cast<std::size_t>(y) * w + x] = (src[x / 8] >> (7 - x % 8)) & 1;
      }
    } else if (!(bpp == 32)) {
      return false;  // an icon without alpha needs its mask
    }
  }
  return true;
}

PlatIcon* IconFromDib(const Dib& d, int cx, int cy) {
  PlatIcon* ic = new PlatIcon;
  ic->width = cx;
  ic->height = cy;
  ic->hotX = cx / 2;
  ic->hotY = cy / 2;
  ic->hasAlpha = d.anyAlpha;
  std::size_t n = static_cast<std::size_t>(cx) * cy;
  ic->color.resize(n);
  if (ic->hasAlpha)
    ic->alpha.resize(n);
  else
    ic->mask.resize(n);
  // Another size than the image's own is sampled to it, nearest pixel.
  for (int y = 0; y < cy; ++y) {
    for (int x = 0; x < cx; ++x) {
      int sx = x * d.width / cx, sy = y * d.height / cy;
      std::size_t s = static_cast<std::size_t>(sy) * d.width + sx, t = static_cast<std::size_t>(y) * cx + x;
      ic->color[t] = d.color[s];
      if (ic->hasAlpha)
        ic->alpha[t] = d.alpha[s];
      else
        ic->mask[t] = d.mask.empty() ? 0 : d.mask[s];
    }
  }
  ++g_liveIcons;
  return ic;
}

}  // namespace

IconHandle LoadIconRes(int id, int cx, int cy) {
  std::vector<std::uint8_t> data;
  if (!ReadAll(ArtPath(id, true), &data)) return nullptr;
  Reader r(data);
  if (!r.Has(0, 6) || r.U16(0) != 0 || r.U16(2) != 1) return nullptr;
  unsigned count = r.U16(4);
  if (count == 0 || !r.Has(6, 16ull * count)) return nullptr;
  if (cx < 0 || cy < 0) {
    cx = CWnd::ScreenMetric(SM_CXICON);
    cy = CWnd::ScreenMetric(SM_CYICON);
  }
  // The first image for the resource's own size; otherwise the image nearest
  // the asked size, the one with more colours among equals.
  int best = -1;
  long bestScore = 0;
  for (unsigned i = 0; i < count; ++i) {
    std::size_t e = 6 + 16 * static_cast<std::size_t>(i);
    int w = r.U8(e) == 0 ? 256 : static_cast<int>(r.U8(e));
    int h = r.U8(e + 1) == 0 ? 256 : static_cast<int>(r.U8(e + 1));
    int bits = static_cast<int>(r.U16(e + 6));
    if (cx == 0 && cy == 0) {
      best = 0;
      break;
    }
    long score = (std::labs(static_cast<long>(w - cx)) + std::labs(static_cast<long>(h - cy))) * 1000 - bits;
    if (best < 0 || score < bestScore) {
      best = static_cast<int>(i);
      bestScore = score;
    }
  }
  std::size_t e = 6 + 16 * static_cast<std::size_t>(best);
  std::uint32_t size = r.U32(e + 8), offset = r.U32(e + 12);
  if (!r.Has(offset, size) || size < 40) return nullptr;
  // Images stored as PNG are not read here.
  static const std::uint8_t kPng[4] = {0x89, 'P', 'N', 'G'};
  if (std::memcmp(r.At(offset), kPng, 4) == 0) return nullptr;
  std::vector<std::uint8_t> image(r.At(offset), r.At(offset) + size);
  Reader ir(image);
  Dib dib;
  if (!DecodeDib(ir, 0, 0, true, &dib)) return nullptr;
  if (cx == 0 && cy == 0) {
    cx = dib.width;
    cy = dib.height;
  }
  return IconFromDib(dib, cx, cy);
}

void DestroyIconRes(IconHandle icon) {
  if (icon == nullptr) return;
  delete icon;
  --g_liveIcons;
}

bool GetIconSize(IconHandle icon, int* cx, int* cy) {
  if (icon == nullptr || !icon->readable) return false;
  if (cx) *cx = 2 * icon->hotX;
  if (cy) *cy = 2 * icon->hotY;
  return true;
}

PlatBitmap* LoadBitmapRes(int id) {
  std::vector<std::uint8_t> data;
  if (!ReadAll(ArtPath(id, false), &data)) return nullptr;
  Reader r(data);
  if (!r.Has(0, 14) || data[0] != 'B' || data[1] != 'M') return nullptr;
  Dib dib;
  if (!DecodeDib(r, 14, r.U32(10), false, &dib)) return nullptr;
  PlatBitmap* b = new PlatBitmap;
  b->kind = GdiKind::Bitmap;
  b->bits.width = dib.width;
  b->bits.height = dib.height;
  b->bits.pixels = std::move(dib.color);
  HeadlessCountBitmap(+1);
  return b;
}

void DeleteBitmapRes(PlatBitmap* bmp) {
  if (bmp == nullptr) return;
  CBitmap owner;
  owner.Attach(bmp);
  owner.DeleteObject();
}

bool GetBitmapSize(PlatBitmap* bmp, int* cx, int* cy) {
  if (bmp == nullptr) return false;
  if (cx) *cx = bmp->bits.width;
  if (cy) *cy = bmp->bits.height;
  return true;
}

namespace headless {

IconHandle MakeTestIcon(int w, int h, Color fill, int border, bool readable) {
  PlatIcon* ic = new PlatIcon;
  ic->width = w;
  ic->height = h;
  ic->hotX = w / 2;
  ic->hotY = h / 2;
  ic->readable = readable;
  ic->color.assign(static_cast<std::size_t>(w) * h, 0);
  ic->mask.assign(static_cast<std::size_t>(w) * h, 1);
  for (int y = border; y < h - border; ++y) {
    for (int x = border; x < w - border; ++x) {
      ic->color[static_cast<std::size_t>(y) * w + x] = fill;
      ic->mask[static_cast<std::size_t>(y) * w + x] = 0;
    }
  }
  ++g_liveIcons;
  return ic;
}

int LiveIcons() { return g_liveIcons.load(); }

void SetArtDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(DirMutex());
  DirOverride() = dir;
}

}  // namespace headless
