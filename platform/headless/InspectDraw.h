// What tests see of headless drawing: the text draws, pixels of windows and
// bitmaps, the life of drawing objects, and icons made up for a test.
#pragma once

#include <string>
#include <vector>

#include "platform/Dc.h"
#include "platform/headless/HeadlessWindow.h"

namespace headless {

// The fixed text cell: DT_CALCRECT and the text boxes below use it.
constexpr int kCharWidth = 6;
constexpr int kLineHeight = 13;

struct TextDraw {
  const PlatWindow* window = nullptr;  // the window the drawing was for (null: none)
  std::string text;
  CRect rect;            // as passed to DrawText
  unsigned flags = 0;
  Color color = 0;
  int bkMode = 0;
  CRect box;             // where the characters' cells lie
};

// Text draws since the last ClearTextDraws, in order; `w` null: all of them.
std::vector<TextDraw> TextDraws(const PlatWindow* w = nullptr);
void ClearTextDraws();

// A pixel of a window's surface (client coordinates); CLR_INVALID outside.
Color WindowPixel(const PlatWindow* w, int x, int y);
const Surface* BitmapSurface(PlatBitmap* bmp);

// Drawing objects alive now (stock objects excluded), contexts alive now, and
// how often an object was deleted while still selected into a context.
int LiveGdiObjects();
int LiveDCs();
int GdiMisuses();

// An icon of `w` x `h` in `fill` with a transparent border of `border`
// pixels; `readable` false gives one whose information cannot be read.
IconHandle MakeTestIcon(int w, int h, Color fill, int border = 0, bool readable = true);
int LiveIcons();

// Reads the art files from `dir` (the paths of res/Art.def are relative to
// it) instead of the source tree; empty restores the default.
void SetArtDir(const std::string& dir);

}  // namespace headless
