// Shared by the drawing and control tests: art files written at test time
// (so the tests do not depend on the shipped artwork), and a dialog that
// hosts the two self-painted controls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/ImageButton.h"
#include "controls/PercentProgressCtrl.h"
#include "platform/Dialog.h"
#include "platform/headless/Inspect.h"
#include "platform/headless/InspectDraw.h"
#include "res/ResourceIds.h"

namespace drawtest {

inline void Put16(std::vector<std::uint8_t>& v, unsigned x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
inline void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back((x >> (8 * i)) & 0xFF);
}

// BITMAPINFOHEADER; `height` negative for top-down rows.
inline void InfoHeader(std::vector<std::uint8_t>& v, int w, int h, int bpp, int colours) {
  Put32(v, 40);
  Put32(v, static_cast<std::uint32_t>(w));
  Put32(v, static_cast<std::uint32_t>(h));
  Put16(v, 1);
  Put16(v, static_cast<unsigned>(bpp));
  Put32(v, 0);
  Put32(v, 0);
  Put32(v, 2835);
  Put32(v, 2835);
  Put32(v, static_cast<std::uint32_t>(colours));
  Put32(v, 0);
}

// An 8-bit paletted bitmap file, bottom-up, colour of pixel (x,y) = fn(x,y);
// at most 256 distinct colours.
inline std::vector<std::uint8_t> Bmp8(int w, int h, const std::function<Color(int, int)>& fn) {
  std::vector<Color> palette;
  std::vector<std::uint8_t> index(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Color c = fn(x, y);
      size_t i = 0;
      while (i < palette.size() && palette[i] != c) ++i;
      if (i == palette.size()) palette.push_back(c);
      if (palette.size() > 256) ADD_FAILURE() << "more than 256 colours for an 8-bit bitmap";
      index[static_cast<size_t>(y) * w + x] = static_cast<std::uint8_t>(i);
    }
  int stride = (w + 3) & ~3;
  std::vector<std::uint8_t> v = {'B', 'M'};
  std::uint32_t offset = 14 + 40 + 256 * 4;
  Put32(v, offset + static_cast<std::uint32_t>(stride * h));
  Put32(v, 0);
  Put32(v, offset);
  InfoHeader(v, w, h, 8, 256);
  for (size_t i = 0; i < 256; ++i) {
    Color c = i < palette.size() ? palette[i] : 0;
    v.push_back(static_cast<std::uint8_t>(ColorB(c)));
    v.push_back(static_cast<std::uint8_t>(ColorG(c)));
    v.push_back(static_cast<std::uint8_t>(ColorR(c)));
    v.push_back(0);
  }
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) v.push_back(index[static_cast<size_t>(y) * w + x]);
    for (int p = w; p < stride; ++p) v.push_back(0);
  }
  return v;
}

// A 32-bit top-down bitmap file.
inline std::vector<std::uint8_t> Bmp32TopDown(int w, int h, const std::function<Color(int, int)>& fn) {
  std::vector<std::uint8_t> v = {'B', 'M'};
  std::uint32_t offset = 14 + 40;
  Put32(v, offset + static_cast<std::uint32_t>(4 * w * h));
  Put32(v, 0);
  Put32(v, offset);
  InfoHeader(v, w, -h, 32, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Color c = fn(x, y);
      v.push_back(static_cast<std::uint8_t>(ColorB(c)));
      v.push_back(static_cast<std::uint8_t>(ColorG(c)));
      v.push_back(static_cast<std::uint8_t>(ColorR(c)));
      v.push_back(0xFF);
    }
  return v;
}

struct IcoImage {
  int size;
  std::function<Color(int, int)> color;
  std::function<bool(int, int)> transparent;
};

// An icon file of 24-bit images with AND masks, in the order given.
inline std::vector<std::uint8_t> Ico(const std::vector<IcoImage>& images) {
  std::vector<std::vector<std::uint8_t>> blobs;
  for (const IcoImage& im : images) {
    int s = im.size;
    std::vector<std::uint8_t> b;
    InfoHeader(b, s, 2 * s, 24, 0);
    int stride = ((s * 24 + 31) / 32) * 4;
    for (int y = s - 1; y >= 0; --y) {
      int n = 0;
      for (int x = 0; x < s; ++x, n += 3) {
        Color c = im.transparent(x, y) ? 0 : im.color(x, y);
        b.push_back(static_cast<std::uint8_t>(ColorB(c)));
        b.push_back(static_cast<std::uint8_t>(ColorG(c)));
        b.push_back(static_cast<std::uint8_t>(ColorR(c)));
      }
      for (; n < stride; ++n) b.push_back(0);
    }
    int mstride = ((s + 31) / 32) * 4;
    for (int y = s - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(static_cast<size_t>(mstride), 0);
      for (int x = 0; x < s; ++x)
        if (im.transparent(x, y)) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
      b.insert(b.end(), row.begin(), row.end());
    }
    blobs.push_back(b);
  }
  std::vector<std::uint8_t> v;
  Put16(v, 0);
  Put16(v, 1);
  Put16(v, static_cast<unsigned>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    v.push_back(static_cast<std::uint8_t>(images[i].size));
    v.push_back(static_cast<std::uint8_t>(images[i].size));
    v.push_back(0);
    v.push_back(0);
    Put16(v, 1);
    Put16(v, 24);
    Put32(v, static_cast<std::uint32_t>(blobs[i].size()));
    Put32(v, offset);
    offset += static_cast<std::uint32_t>(blobs[i].size());
  }
  for (const auto& b : blobs) v.insert(v.end(), b.begin(), b.end());
  return v;
}

// A solid square icon with a transparent border of `border` pixels.
inline std::vector<std::uint8_t> SolidIco(int size, Color c, int border) {
  return Ico({IcoImage{size, [c](int, int) { return c; },
                       [size, border](int x, int y) {
                         return x < border || y < border || x >= size - border || y >= size - border;
                       }}});
}

// A private art folder for one test; the headless resources read from it
// until the object goes away.
class ArtDir {
 public:
  ArtDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("orvex-art-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" + std::to_string(++serial));
    std::filesystem::create_directories(path_ / "art");
    headless::SetArtDir(path_.string());
  }
  ~ArtDir() {
    headless::SetArtDir("");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // Writes res-relative `name` (as res/Art.def spells it, "art/x.ico").
  void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

// The main dialog's template with only the two kinds of control bound.
class HostDlg : public CDialog {
 public:
  HostDlg() : CDialog(IDD_UPDATER_DIALOG) {}
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDCANCEL, m_btnCancel);
    DDX_Control(dx, IDC_UPDATE, m_btnUpdate);
    DDX_Control(dx, IDC_PROGRESS, m_progress);
  }
  bool OnInitDialog() override {
    if (beforeBind) beforeBind(this);
    return CDialog::OnInitDialog();
  }
  bool OnCommand(unsigned id, unsigned code) override {
    commands.emplace_back(id, code);
    return true;
  }
  int Count(unsigned id, unsigned code) const {
    int n = 0;
    for (const auto& c : commands) n += (c.first == id && c.second == code) ? 1 : 0;
    return n;
  }

  std::function<void(HostDlg*)> beforeBind;
  std::vector<std::pair<unsigned, unsigned>> commands;
  CImageButton m_btnCancel;
  CImageButton m_btnUpdate;
  CPercentProgressCtrl m_progress;
};

}  // namespace drawtest
