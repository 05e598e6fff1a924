// Drawing contexts of the headless platform: real pixel buffers with the
// Win32 rules for edges, selection and monochrome memory contexts, so that a
// painting mistake shows up in a test as it would on screen.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Dc.h"
#include "platform/Resources.h"
#include "platform/headless/DrawObjects.h"
#include "platform/headless/HeadlessWindow.h"
#include "platform/headless/InspectDraw.h"

namespace {

std::atomic<int> g_liveGdi{0};
std::atomic<int> g_liveDc{0};
std::atomic<int> g_misuse{0};

std::mutex& LogMutex() {
  static std::mutex m;
  return m;
}
std::vector<headless::TextDraw>& Log() {
  static std::vector<headless::TextDraw> log;
  return log;
}

// Stock objects, indexed as Win32's GetStockObject; never deleted.
PlatGdi* Stock(int index) {
  static PlatGdi objs[9];
  static bool ready = [] {
    const Color brushes[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (int i = 0; i < 9; ++i) objs[i].stock = true;
    for (int i = 0; i < 5; ++i) {
      objs[i].kind = GdiKind::Brush;
      objs[i].color = brushes[i];
    }
    objs[NULL_BRUSH].kind = GdiKind::Brush;
    objs[NULL_BRUSH].hollow = true;
    objs[WHITE_PEN].kind = GdiKind::Pen;
    objs[WHITE_PEN].color = 0xFFFFFF;
    objs[BLACK_PEN].kind = GdiKind::Pen;
    objs[BLACK_PEN].color = 0x000000;
    objs[NULL_PEN].kind = GdiKind::Pen;
    objs[NULL_PEN].hollow = true;
    return true;
  }();
  (void)ready;
  if (index < 0 || index > 8) return nullptr;
  return &objs[index];
}

void FreeGdi(PlatGdi* o) {
  if (o->kind == GdiKind::Bitmap)
    delete static_cast<PlatBitmap*>(o);
  else
    delete o;
  --g_liveGdi;
}

// References from a context's current state and from its saved states keep
// an object alive; a deletion asked for meanwhile happens at the last release.
void Ref(PlatGdi* o) {
  if (o != nullptr && !o->stock) ++o->selected;
}
void Unref(PlatGdi* o) {
  if (o == nullptr || o->stock) return;
  --o->selected;
  if (o->selected == 0 && o->deletePending) FreeGdi(o);
}
void RefState(const DcState& s) {
  Ref(s.pen);
  Ref(s.brush);
  Ref(s.bitmap);
}
void UnrefState(const DcState& s) {
  Unref(s.pen);
  Unref(s.brush);
  Unref(s.bitmap);
}

// Whether any live context has `o` selected right now (not only saved).
std::vector<PlatDC*>& LiveDcList() {
  static std::vector<PlatDC*> l;
  return l;
}
std::mutex& DcListMutex() {
  static std::mutex m;
  return m;
}
bool CurrentlySelected(PlatGdi* o) {
  std::lock_guard<std::mutex> lock(DcListMutex());
  for (PlatDC* dc : LiveDcList())
    if (dc->cur.pen == o || dc->cur.brush == o || dc->cur.bitmap == o) return true;
  return false;
}
void TrackDc(PlatDC* dc) {
  std::lock_guard<std::mutex> lock(DcListMutex());
  LiveDcList().push_back(dc);
  ++g_liveDc;
}
void UntrackDc(PlatDC* dc) {
  std::lock_guard<std::mutex> lock(DcListMutex());
  auto& l = LiveDcList();
  l.erase(std::remove(l.begin(), l.end(), dc), l.end());
  --g_liveDc;
}

void InitState(DcState* s) {
  s->pen = Stock(BLACK_PEN);
  s->brush = Stock(WHITE_BRUSH);
  s->bkMode = OPAQUE;
  s->bkColor = 0xFFFFFF;
  s->textColor = 0x000000;
  s->pos = CPoint();
}

PlatBitmap* NewBitmap(int w, int h, bool mono) {
  PlatBitmap* b = new PlatBitmap;
  b->kind = GdiKind::Bitmap;
  b->mono = mono;
  b->bits.Resize(w, h, 0x000000);
  return b;
}

Surface* Target(PlatDC* dc) {
  if (dc == nullptr) return nullptr;
  if (dc->window != nullptr) return &dc->window->surface;
  return dc->cur.bitmap != nullptr ? &dc->cur.bitmap->bits : nullptr;
}
bool IsMono(PlatDC* dc) { return dc->window == nullptr && dc->cur.bitmap != nullptr && dc->cur.bitmap->mono; }

// A monochrome surface keeps black or white, by brightness.
Color ToMono(Color c) {
  int lum = (ColorR(c) * 30 + ColorG(c) * 59 + ColorB(c) * 11) / 100;
  return lum >= 128 ? 0xFFFFFF : 0x000000;
}

void Put(PlatDC* dc, Surface* s, int x, int y, Color c) {
  if (x < 0 || y < 0 || x >= s->width || y >= s->height) return;
  s->pixels[static_cast<size_t>(y) * s->width + x] = IsMono(dc) ? ToMono(c) : c;
}
void Fill(PlatDC* dc, int l, int t, int r, int b, Color c) {
  Surface* s = Target(dc);
  if (s == nullptr) return;
  l = std::max(l, 0);
  t = std::max(t, 0);
  r = std::min(r, s->width);
  b = std::min(b, s->height);
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x) Put(dc, s, x, y, c);
}

// A pen of width w covers w pixels across its path, centred on it.
void Stamp(PlatDC* dc, int x, int y, int w, Color c) {
  if (w <= 1) {
    Fill(dc, x, y, x + 1, y + 1, c);
    return;
  }
  int lo = w / 2;
  Fill(dc, x - lo, y - lo, x - lo + w, y - lo + w, c);
}

// Every point from (x0,y0) towards (x1,y1), the last one left out.
void Line(PlatDC* dc, int x0, int y0, int x1, int y1) {
  PlatGdi* pen = dc->cur.pen;
  if (pen == nullptr || pen->hollow) return;
  int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  while (x != x1 || y != y1) {
    Stamp(dc, x, y, pen->width, pen->color);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

PlatDC* NewDc() {
  PlatDC* dc = new PlatDC;
  InitState(&dc->cur);
  RefState(dc->cur);
  TrackDc(dc);
  return dc;
}

void FreeDc(PlatDC* dc) {
  UntrackDc(dc);
  UnrefState(dc->cur);
  for (const DcState& s : dc->saved) UnrefState(s);
  delete dc->initialBitmap;
  delete dc;
}

struct TextLayout {
  std::vector<std::string> lines;
  int width = 0;
  int height = 0;
};

// Lines as DrawText would set them with the fixed cell: hard breaks unless
// single-line, and with DT_WORDBREAK greedy breaks at blanks; a word wider
// than the rectangle stays whole on its own line.
TextLayout Layout(const std::string& text, int maxWidth, unsigned flags) {
  TextLayout out;
  std::vector<std::string> paragraphs;
  if (flags & DT_SINGLELINE) {
    paragraphs.push_back(text);
  } else {
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\r' || c == '\n') {
        paragraphs.push_back(cur);
        cur.clear();
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      } else {
        cur += c;
      }
    }
    paragraphs.push_back(cur);
  }
  const int cw = headless::kCharWidth;
  for (const std::string& p : paragraphs) {
    if (!(flags & DT_WORDBREAK) || (flags & DT_SINGLELINE)) {
      out.lines.push_back(p);
      continue;
    }
    std::string line;
    size_t i = 0;
    bool any = false;
    while (i < p.size()) {
      size_t j = p.find(' ', i);
      std::string word = p.substr(i, j == std::string::npos ? std::string::npos : j - i);
      std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && static_cast<int>(candidate.size()) * cw > maxWidth) {
        out.lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
      any = true;
      if (j == std::string::npos) break;
      i = j + 1;
    }
    if (!any || !line.empty()) out.lines.push_back(line);
  }
  for (const std::string& l : out.lines)
    out.width = std::max(out.width, static_cast<int>(l.size()) * cw);
  out.height = static_cast<int>(out.lines.size()) * headless::kLineHeight;
  return out;
}

// Samples an icon at (u,v) of a cx x cy rendering: colour and coverage.
struct IconSample {
  Color color;
  int alpha;       // with an alpha channel
  bool masked;     // without one: 1 = keep the destination (then XOR colour)
};
IconSample SampleIcon(const PlatIcon* ic, int u, int v, int cx, int cy) {
  int sx = static_cast<int>(static_cast<long long>(u) * ic->width / cx);
  int sy = static_cast<int>(static_cast<long long>(v) * ic->height / cy);
  size_t i = static_cast<size_t>(sy) * ic->width + sx;
  IconSample s{ic->color[i], 255, false};
  if (ic->hasAlpha)
    s.alpha = ic->alpha[i];
  else
    s.masked = ic->mask[i] != 0;
  return s;
}

Color Blend(Color src, Color dst, int a) {
  auto mix = [a](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
  return MakeColor(mix(ColorR(src), ColorR(dst)), mix(ColorG(src), ColorG(dst)),
                   mix(ColorB(src), ColorB(dst)));
}

// One icon pixel over `dst`, as DrawIconEx combines mask and image.
Color Over(const IconSample& s, const PlatIcon* ic, Color dst) {
  if (ic->hasAlpha) return Blend(s.color, dst, s.alpha);
  return ((s.masked ? dst : 0) ^ s.color) & 0xFFFFFF;
}

bool IconUsable(IconHandle icon) {
  const PlatIcon* ic = icon;
  return icon != nullptr && ic->readable && ic->width > 0 && ic->height > 0;
}

void PaintIcon(PlatDC* dc, int x, int y, int cx, int cy, IconHandle icon) {
  const PlatIcon* ic = icon;
  Surface* s = Target(dc);
  if (s == nullptr) return;
  for (int v = 0; v < cy; ++v) {
    for (int u = 0; u < cx; ++u) {
      int px = x + u, py = y + v;
      if (px < 0 || py < 0 || px >= s->width || py >= s->height) continue;
      IconSample sm = SampleIcon(ic, u, v, cx, cy);
      Put(dc, s, px, py, Over(sm, ic, s->At(px, py)));
    }
  }
}

// The embossed form: the icon drawn over white gives a shape (every pixel
// that is not white); it is stamped in the highlight colour one pixel right
// and down, then in the shadow colour in place.
void PaintIconDisabled(PlatDC* dc, int x, int y, int cx, int cy, IconHandle icon) {
  const PlatIcon* ic = icon;
  Surface* s = Target(dc);
  if (s == nullptr) return;
  std::vector<bool> shape(static_cast<size_t>(cx) * cy);
  for (int v = 0; v < cy; ++v)
    for (int u = 0; u < cx; ++u)
      shape[static_cast<size_t>(v) * cx + u] = Over(SampleIcon(ic, u, v, cx, cy), ic, 0xFFFFFF) != 0xFFFFFF;
  const Color tones[2] = {CDC::GetSysColor(COLOR_BTNHIGHLIGHT), CDC::GetSysColor(COLOR_BTNSHADOW)};
  for (int pass = 0; pass < 2; ++pass) {
    int off = pass == 0 ? 1 : 0;
    for (int v = 0; v < cy; ++v)
      for (int u = 0; u < cx; ++u)
        if (shape[static_cast<size_t>(v) * cx + u]) Put(dc, s, x + u + off, y + v + off, tones[pass]);
  }
}

}  // namespace

// ---- drawing objects ----
CGdiObject::~CGdiObject() { DeleteObject(); }

bool CGdiObject::DeleteObject() {
  PlatGdi* o = m_hObject;
  if (o == nullptr) return false;
  m_hObject = nullptr;
  if (o->stock) return true;
  if (o->selected > 0) {
    // Win32 refuses to delete a selected object and the handle leaks; here it
    // is freed when released, and the misuse is counted for the tests.
    if (CurrentlySelected(o)) ++g_misuse;
    o->deletePending = true;
    return false;
  }
  FreeGdi(o);
  return true;
}

bool CPen::CreatePen(int style, int width, Color color) {
  DeleteObject();
  PlatGdi* p = new PlatGdi;
  p->kind = GdiKind::Pen;
  p->color = color & 0xFFFFFF;
  p->width = width < 1 ? 1 : width;
  p->hollow = style != PS_SOLID;
  m_hObject = p;
  ++g_liveGdi;
  return true;
}

bool CBrush::CreateSolidBrush(Color color) {
  DeleteObject();
  PlatGdi* b = new PlatGdi;
  b->kind = GdiKind::Brush;
  b->color = color & 0xFFFFFF;
  m_hObject = b;
  ++g_liveGdi;
  return true;
}

bool CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  DeleteObject();
  if (dc == nullptr || dc->m_hDC == nullptr || width <= 0 || height <= 0) return false;
  // Compatible with a memory context means the format of the bitmap it
  // holds: monochrome while it holds its initial one.
  bool mono = IsMono(dc->m_hDC);
  m_hObject = NewBitmap(width, height, mono);
  ++g_liveGdi;
  return true;
}

bool CBitmap::LoadBitmap(int id) {
  DeleteObject();
  PlatBitmap* b = LoadBitmapRes(id);
  if (b == nullptr) return false;
  m_hObject = b;
  return true;
}

void CBitmap::Attach(PlatBitmap* bmp) {
  DeleteObject();
  m_hObject = bmp;
}
PlatBitmap* CBitmap::Detach() {
  PlatBitmap* b = static_cast<PlatBitmap*>(m_hObject);
  m_hObject = nullptr;
  return b;
}
PlatBitmap* CBitmap::GetBitmap() const { return static_cast<PlatBitmap*>(m_hObject); }
bool CBitmap::GetSize(int* cx, int* cy) const { return GetBitmapSize(GetBitmap(), cx, cy); }

// ---- contexts ----
DCHandle HeadlessCreateWindowDC(PlatWindow* w) {
  if (w == nullptr) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(headless::WindowLock());
  int cw = std::max(0, w->rect.Width()), ch = std::max(0, w->rect.Height());
  if (w->surface.width != cw || w->surface.height != ch) w->surface.Resize(cw, ch);
  PlatDC* dc = NewDc();
  dc->window = w;
  dc->owner = w;
  return dc;
}

void HeadlessReleaseWindowDC(DCHandle dc) {
  if (dc != nullptr) FreeDc(dc);
}

CDC::~CDC() {
  if (m_bOwned) DeleteDC();
}

bool CDC::CreateCompatibleDC(CDC* dc) {
  if (m_bOwned) DeleteDC();
  PlatDC* mem = NewDc();
  mem->memory = true;
  mem->owner = (dc != nullptr && dc->m_hDC != nullptr) ? dc->m_hDC->owner : nullptr;
  mem->initialBitmap = NewBitmap(1, 1, true);
  mem->initialBitmap->stock = true;  // owned by the context, not by the caller
  mem->cur.bitmap = mem->initialBitmap;
  m_hDC = mem;
  m_bOwned = true;
  return true;
}

bool CDC::DeleteDC() {
  if (m_hDC == nullptr || !m_bOwned) return false;
  FreeDc(m_hDC);
  m_hDC = nullptr;
  m_bOwned = false;
  return true;
}

GdiHandle CDC::SelectObject(GdiHandle obj) {
  if (m_hDC == nullptr || obj == nullptr) return nullptr;
  DcState& s = m_hDC->cur;
  PlatGdi** slot = nullptr;
  switch (obj->kind) {
    case GdiKind::Pen:
      slot = &s.pen;
      break;
    case GdiKind::Brush:
      slot = &s.brush;
      break;
    case GdiKind::Bitmap: {
      // Only memory contexts take bitmaps, and a bitmap sits in one
      // context at a time.
      if (!m_hDC->memory) return nullptr;
      PlatBitmap* b = static_cast<PlatBitmap*>(obj);
      if (b != s.bitmap && CurrentlySelected(b)) return nullptr;
      PlatBitmap* old = s.bitmap;
      Ref(b);
      s.bitmap = b;
      Unref(old);
      return old;
    }
  }
  PlatGdi* old = *slot;
  Ref(obj);
  *slot = obj;
  Unref(old);
  return old;
}
GdiHandle CDC::SelectObject(CPen* pen) { return pen ? SelectObject(pen->m_hObject) : nullptr; }
GdiHandle CDC::SelectObject(CBrush* brush) { return brush ? SelectObject(brush->m_hObject) : nullptr; }
GdiHandle CDC::SelectObject(CBitmap* bitmap) { return bitmap ? SelectObject(bitmap->m_hObject) : nullptr; }
GdiHandle CDC::SelectStockObject(int index) { return SelectObject(Stock(index)); }

int CDC::SaveDC() {
  if (m_hDC == nullptr) return 0;
  RefState(m_hDC->cur);
  m_hDC->saved.push_back(m_hDC->cur);
  return static_cast<int>(m_hDC->saved.size());
}

bool CDC::RestoreDC(int saved) {
  if (m_hDC == nullptr) return false;
  int n = static_cast<int>(m_hDC->saved.size());
  int level = saved < 0 ? n + 1 + saved : saved;
  if (level < 1 || level > n) return false;
  DcState target = m_hDC->saved[static_cast<size_t>(level - 1)];
  RefState(target);
  UnrefState(m_hDC->cur);
  m_hDC->cur = target;
  for (int i = n - 1; i >= level - 1; --i) UnrefState(m_hDC->saved[static_cast<size_t>(i)]);
  m_hDC->saved.resize(static_cast<size_t>(level - 1));
  return true;
}

int CDC::SetBkMode(int mode) {
  if (m_hDC == nullptr) return 0;
  std::swap(m_hDC->cur.bkMode, mode);
  return mode;
}
Color CDC::SetBkColor(Color color) {
  if (m_hDC == nullptr) return CLR_INVALID;
  std::swap(m_hDC->cur.bkColor, color);
  return color;
}
Color CDC::SetTextColor(Color color) {
  if (m_hDC == nullptr) return CLR_INVALID;
  std::swap(m_hDC->cur.textColor, color);
  return color;
}

bool CDC::Rectangle(int left, int top, int right, int bottom) {
  if (m_hDC == nullptr) return false;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left == right || top == bottom) return true;
  PlatGdi* pen = m_hDC->cur.pen;
  PlatGdi* brush = m_hDC->cur.brush;
  bool noPen = pen == nullptr || pen->hollow;
  if (brush != nullptr && !brush->hollow) {
    // Without a pen the figure is one pixel smaller to the right and bottom.
    if (noPen)
      Fill(m_hDC, left, top, right - 1, bottom - 1, brush->color);
    else
      Fill(m_hDC, left + 1, top + 1, right - 1, bottom - 1, brush->color);
  }
  if (!noPen) {
    int r = right - 1, b = bottom - 1;
    for (int x = left; x <= r; ++x) {
      Stamp(m_hDC, x, top, pen->width, pen->color);
      Stamp(m_hDC, x, b, pen->width, pen->color);
    }
    for (int y = top; y <= b; ++y) {
      Stamp(m_hDC, left, y, pen->width, pen->color);
      Stamp(m_hDC, r, y, pen->width, pen->color);
    }
  }
  return true;
}

void CDC::FillSolidRect(const CRect& rc, Color color) {
  if (m_hDC == nullptr) return;
  m_hDC->cur.bkColor = color & 0xFFFFFF;
  Fill(m_hDC, rc.left, rc.top, rc.right, rc.bottom, color & 0xFFFFFF);
}

void CDC::FrameRect(const CRect& rc, CBrush* brush) {
  if (m_hDC == nullptr || brush == nullptr || brush->m_hObject == nullptr) return;
  if (rc.right <= rc.left || rc.bottom <= rc.top || brush->m_hObject->hollow) return;
  Color c = brush->m_hObject->color;
  Fill(m_hDC, rc.left, rc.top, rc.right, rc.top + 1, c);
  Fill(m_hDC, rc.left, rc.bottom - 1, rc.right, rc.bottom, c);
  Fill(m_hDC, rc.left, rc.top, rc.left + 1, rc.bottom, c);
  Fill(m_hDC, rc.right - 1, rc.top, rc.right, rc.bottom, c);
}

CPoint CDC::MoveTo(int x, int y) {
  if (m_hDC == nullptr) return CPoint();
  CPoint old = m_hDC->cur.pos;
  m_hDC->cur.pos = CPoint{x, y};
  return old;
}

bool CDC::LineTo(int x, int y) {
  if (m_hDC == nullptr) return false;
  Line(m_hDC, m_hDC->cur.pos.x, m_hDC->cur.pos.y, x, y);
  m_hDC->cur.pos = CPoint{x, y};
  return true;
}

bool CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, unsigned rop) {
  if (m_hDC == nullptr || src == nullptr || src->m_hDC == nullptr || rop != SRCCOPY) return false;
  if (width <= 0 || height <= 0) return true;
  Surface* d = Target(m_hDC);
  Surface* s = Target(src->m_hDC);
  if (d == nullptr || s == nullptr) return false;
  // Only what lies inside both surfaces is copied.
  Surface copy = *s;
  bool srcMono = IsMono(src->m_hDC), dstMono = IsMono(m_hDC);
  for (int j = 0; j < height; ++j) {
    int sy = ySrc + j, dy = y + j;
    if (sy < 0 || sy >= copy.height || dy < 0 || dy >= d->height) continue;
    for (int i = 0; i < width; ++i) {
      int sx = xSrc + i, dx = x + i;
      if (sx < 0 || sx >= copy.width || dx < 0 || dx >= d->width) continue;
      Color c = copy.At(sx, sy);
      if (srcMono && !dstMono)
        c = c == 0xFFFFFF ? m_hDC->cur.bkColor : m_hDC->cur.textColor;
      else if (!srcMono && dstMono)
        c = c == src->m_hDC->cur.bkColor ? 0xFFFFFF : 0x000000;
      Put(m_hDC, d, dx, dy, c);
    }
  }
  return true;
}

int CDC::DrawText(const std::string& text, CRect* rect, unsigned flags) {
  if (m_hDC == nullptr || rect == nullptr) return 0;
  if (text.empty()) {
    if (flags & DT_CALCRECT) {
      rect->right = rect->left;
      rect->bottom = rect->top;
    }
    return 0;
  }
  TextLayout lay = Layout(text, rect->Width(), flags);
  if (flags & DT_CALCRECT) {
    rect->right = rect->left + lay.width;
    rect->bottom = rect->top + lay.height;
    return lay.height;
  }
  headless::TextDraw rec;
  rec.window = m_hDC->owner;
  rec.text = text;
  rec.rect = *rect;
  rec.flags = flags;
  rec.color = m_hDC->cur.textColor;
  rec.bkMode = m_hDC->cur.bkMode;
  int bx = (flags & DT_CENTER) ? rect->left + (rect->Width() - lay.width) / 2 : rect->left;
  int by = ((flags & DT_VCENTER) && (flags & DT_SINGLELINE))
               ? rect->top + (rect->Height() - lay.height) / 2
               : rect->top;
  rec.box = CRect(bx, by, bx + lay.width, by + lay.height);
  {
    std::lock_guard<std::mutex> lock(LogMutex());
    Log().push_back(rec);
  }
  if (m_hDC->cur.bkMode == OPAQUE) Fill(m_hDC, rec.box.left, rec.box.top, rec.box.right, rec.box.bottom, m_hDC->cur.bkColor);
  return ((flags & DT_VCENTER) && (flags & DT_SINGLELINE)) ? by - rect->top + lay.height : lay.height;
}

void CDC::DrawFocusRect(const CRect& rc) {
  if (m_hDC == nullptr || rc.right <= rc.left || rc.bottom <= rc.top) return;
  Surface* s = Target(m_hDC);
  if (s == nullptr) return;
  // Every other pixel along the frame, by the parity of x + y, inverted.
  auto invert = [&](int x, int y) {
    if (((x + y) & 1) != 0) return;
    if (x < 0 || y < 0 || x >= s->width || y >= s->height) return;
    Put(m_hDC, s, x, y, s->At(x, y) ^ 0xFFFFFF);
  };
  for (int x = rc.left; x < rc.right; ++x) {
    invert(x, rc.top);
    if (rc.bottom - 1 > rc.top) invert(x, rc.bottom - 1);
  }
  for (int y = rc.top + 1; y < rc.bottom - 1; ++y) {
    invert(rc.left, y);
    if (rc.right - 1 > rc.left) invert(rc.right - 1, y);
  }
}

bool CDC::DrawIcon(int x, int y, IconHandle icon) {
  if (m_hDC == nullptr || !IconUsable(icon)) return false;
  int cx = CWnd::ScreenMetric(SM_CXICON), cy = CWnd::ScreenMetric(SM_CYICON);
  PaintIcon(m_hDC, x, y, cx, cy, icon);
  return true;
}

bool CDC::DrawState(int x, int y, int cx, int cy, IconHandle icon, unsigned flags) {
  if (m_hDC == nullptr || !IconUsable(icon) || (flags & 0xF) != DST_ICON) return false;
  const PlatIcon* ic = icon;
  if (cx <= 0) cx = ic->width;
  if (cy <= 0) cy = ic->height;
  if (flags & DSS_DISABLED)
    PaintIconDisabled(m_hDC, x, y, cx, cy, icon);
  else
    PaintIcon(m_hDC, x, y, cx, cy, icon);
  return true;
}

Color CDC::GetPixel(int x, int y) const {
  Surface* s = Target(m_hDC);
  if (s == nullptr || x < 0 || y < 0 || x >= s->width || y >= s->height) return CLR_INVALID;
  return s->At(x, y);
}

// The classic Windows 9x standard scheme.
Color CDC::GetSysColor(int index) {
  switch (index) {
    case COLOR_BTNFACE: return MakeColor(192, 192, 192);
    case COLOR_BTNSHADOW: return MakeColor(128, 128, 128);
    case COLOR_BTNTEXT: return MakeColor(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return MakeColor(255, 255, 255);
    case COLOR_3DDKSHADOW: return MakeColor(0, 0, 0);
    case COLOR_3DLIGHT: return MakeColor(223, 223, 223);
    default: return 0;
  }
}

// ---- paint context ----
CPaintDC::CPaintDC(CWnd* wnd) : m_pWnd(wnd) {
  PlatWindow* w = wnd != nullptr ? wnd->m_hWnd : nullptr;
  if (w == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(headless::WindowLock());
  m_hDC = HeadlessCreateWindowDC(w);
  w->invalid = false;  // painting validates the window
  m_rcPaint = CRect(0, 0, w->surface.width, w->surface.height);
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) HeadlessReleaseWindowDC(m_hDC);
  m_hDC = nullptr;
}

// ---- inspection ----
namespace headless {

std::vector<TextDraw> TextDraws(const PlatWindow* w) {
  std::lock_guard<std::mutex> lock(LogMutex());
  std::vector<TextDraw> out;
  for (const TextDraw& t : Log())
    if (w == nullptr || t.window == w) out.push_back(t);
  return out;
}

void ClearTextDraws() {
  std::lock_guard<std::mutex> lock(LogMutex());
  Log().clear();
}

Color WindowPixel(const PlatWindow* w, int x, int y) {
  std::lock_guard<std::recursive_mutex> lock(WindowLock());
  if (w == nullptr || x < 0 || y < 0 || x >= w->surface.width || y >= w->surface.height) return CLR_INVALID;
  return w->surface.At(x, y);
}

const Surface* BitmapSurface(PlatBitmap* bmp) { return bmp ? &bmp->bits : nullptr; }

int LiveGdiObjects() { return g_liveGdi.load(); }
int LiveDCs() { return g_liveDc.load(); }
int GdiMisuses() { return g_misuse.load(); }

}  // namespace headless

// Resource-loaded bitmaps are counted like every other drawing object.
void HeadlessCountBitmap(int delta) { g_liveGdi += delta; }
