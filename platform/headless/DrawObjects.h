// What stands behind the drawing handles of the headless platform. Internal
// to platform/headless; tests read it through InspectDraw.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Dc.h"
#include "platform/headless/HeadlessWindow.h"

enum class GdiKind { Pen, Brush, Bitmap };

struct PlatGdi {
  GdiKind kind = GdiKind::Brush;
  bool stock = false;     // never deleted
  bool hollow = false;    // a null brush or null pen
  Color color = 0;
  int width = 1;          // pen width
  int selected = 0;       // how many contexts hold it now
  bool deletePending = false;  // deleted while selected: freed when released
};

// A bitmap's pixels. A monochrome bitmap stores only black and white.
struct PlatBitmap : PlatGdi {
  Surface bits;
  bool mono = false;
};

// An icon: colour image with either an alpha channel or an AND mask.
struct PlatIcon {
  int width = 0, height = 0;
  int hotX = 0, hotY = 0;
  bool readable = true;   // false: its information cannot be read
  bool hasAlpha = false;
  std::vector<Color> color;          // width * height, row-major, top-down
  std::vector<std::uint8_t> alpha;   // with hasAlpha
  std::vector<std::uint8_t> mask;    // without: 1 = transparent
};

struct DcState {
  PlatGdi* pen = nullptr;
  PlatGdi* brush = nullptr;
  PlatBitmap* bitmap = nullptr;  // memory contexts
  int bkMode = OPAQUE;
  Color bkColor = 0xFFFFFF;
  Color textColor = 0;
  CPoint pos;
};

struct PlatDC {
  PlatWindow* window = nullptr;  // a window's context: draws on its surface
  PlatWindow* owner = nullptr;   // the window the drawing is meant for
  bool memory = false;
  PlatBitmap* initialBitmap = nullptr;  // the 1 x 1 monochrome bitmap of a memory context
  DcState cur;
  std::vector<DcState> saved;
};
