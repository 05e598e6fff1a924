// The in-memory window system of the headless platform. Internal to
// platform/headless; tests read it through Inspect.h.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Types.h"
#include "platform/Wnd.h"

class CDialog;

// A window's pixels, in client coordinates.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<Color> pixels;  // row-major, width * height
  void Resize(int w, int h, Color fill = 0xFFFFFF) {
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * h, fill);
  }
  Color At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

enum class WndKind { Dialog, Button, Edit, Static, ComboBox, Progress };

struct PlatWindow {
  WndKind kind = WndKind::Static;
  std::string className;
  int id = 0;
  std::string text;
  unsigned style = 0;
  unsigned exStyle = 0;
  bool destroyed = false;
  PlatWindow* parent = nullptr;
  std::vector<PlatWindow*> children;  // template (tab) order
  CRect rect;                          // in the parent's client coordinates, pixels
  CDialog* dialog = nullptr;           // for a dialog window
  CWnd* subclass = nullptr;            // object subclassing this window
  bool invalid = true;                 // needs painting
  Surface surface;

  // Combo box.
  std::vector<std::string> rows;
  int curSel = -1;
  // Edit.
  int selStart = 0, selEnd = 0;
  bool fmtLines = false;
  // Button.
  bool pushed = false;  // held down
  IconHandle icons[2] = {nullptr, nullptr};  // dialog: small, big
  // Progress bar.
  int rangeLo = 0, rangeHi = 100, pos = 0, step = 10;
  // Dialog: system menu items (id, text; id 0 is a separator).
  std::vector<std::pair<unsigned, std::string>> sysMenu;
  bool iconic = false;
  std::map<unsigned, unsigned> timers;  // id -> period
};

namespace headless {

// One lock guards every window of the process, so that a worker thread can
// make the same calls as the dialog's thread.
std::recursive_mutex& WindowLock();

// Creates the window tree of dialog template `templateId`.
PlatWindow* CreateDialogWindow(CDialog* dlg, int templateId);
void DestroyWindowTree(PlatWindow* w);

// Sends a message through the window's subclass (if any) and its class behaviour.
LRESULT_T Send(PlatWindow* w, unsigned msg, WPARAM_T wp, LPARAM_T lp);
// The class behaviour alone.
LRESULT_T ClassProc(PlatWindow* w, unsigned msg, WPARAM_T wp, LPARAM_T lp);
// Paints `w` (and its children) if invalid: WM_PAINT through the subclass, or
// WM_DRAWITEM to the parent for an owner-drawn button.
void PaintIfInvalid(PlatWindow* w);

// Forgets recorded boxes, timers, posted messages and scripts.
void ResetWindows();

PlatWindow* FocusWindow();
void SetFocusWindow(PlatWindow* w);

}  // namespace headless

// Implemented by the drawing context (platform/headless/Dc.cpp): a drawing
// context on a window's surface, sized to its client rectangle.
DCHandle HeadlessCreateWindowDC(PlatWindow* w);
void HeadlessReleaseWindowDC(DCHandle dc);
