// Drawing contexts and the drawing objects selected into them, in the
// spirit of a small MFC: enough for the self-painted controls and the
// minimised dialog's icon. Coordinates follow Win32: rectangles exclude their
// right and bottom edges, a line leaves out its last point.
//
// The headless implementation draws into real pixel buffers. It renders no
// glyphs: text drawing is recorded (see platform/headless/InspectDraw.h) and
// measured with a fixed cell of 6 x 13 pixels per character.
#pragma once

#include <string>
#include <vector>

#include "platform/Types.h"
#include "platform/Wnd.h"

// Any drawing object (pen, brush, bitmap); what a selection returns, so that
// the previous object can be put back.
struct PlatGdi;
typedef PlatGdi* GdiHandle;

// Values are the Win32 ones. Win32 sources include this before <windows.h>,
// whose macros of the same names then take over with identical values; a
// source that has <windows.h> already keeps its macros.
#ifndef PS_SOLID
enum : int { PS_SOLID = 0 };
enum : int { WHITE_BRUSH = 0, BLACK_BRUSH = 4, NULL_BRUSH = 5, HOLLOW_BRUSH = 5,
             WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8 };
constexpr Color CLR_INVALID = 0xFFFFFFFFu;
#endif
#ifndef DST_ICON
enum : unsigned { DST_ICON = 0x0003, DSS_NORMAL = 0x0000, DSS_DISABLED = 0x0020 };
#endif

class CDC;

// Owns the object it created (or was given by Attach) and deletes it on
// destruction. Deleting an object that is still selected into a context
// fails, as in Win32: restore the context first.
class CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  GdiHandle GetSafeHandle() const { return m_hObject; }
  bool DeleteObject();

  GdiHandle m_hObject = nullptr;
};

class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, Color color) { CreatePen(style, width, color); }
  bool CreatePen(int style, int width, Color color);
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(Color color) { CreateSolidBrush(color); }
  bool CreateSolidBrush(Color color);
};

class CBitmap : public CGdiObject {
 public:
  // A bitmap of the same format as `dc`'s surface. A memory context that
  // holds no bitmap of its own is monochrome, so make the bitmap compatible
  // with the window's context, not with a fresh memory context.
  bool CreateCompatibleBitmap(CDC* dc, int width, int height);
  // Bitmap resource `id` of the program (LoadBitmapRes).
  bool LoadBitmap(int id);
  // Takes ownership of a bitmap from LoadBitmapRes; Detach gives it back.
  void Attach(PlatBitmap* bmp);
  PlatBitmap* Detach();
  PlatBitmap* GetBitmap() const;
  bool GetSize(int* cx, int* cy) const;
};

class CDC {
 public:
  CDC() = default;
  // Borrows a context it does not own (for example DrawItemInfo::hDC).
  explicit CDC(DCHandle dc) : m_hDC(dc) {}
  virtual ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  DCHandle GetSafeHdc() const { return m_hDC; }

  // A memory context compatible with `dc` (the screen when null). It starts
  // with a 1 x 1 monochrome bitmap selected; select a bitmap to draw on.
  bool CreateCompatibleDC(CDC* dc);
  bool DeleteDC();

  GdiHandle SelectObject(CPen* pen);
  GdiHandle SelectObject(CBrush* brush);
  GdiHandle SelectObject(CBitmap* bitmap);
  // Puts back an object that an earlier selection returned.
  GdiHandle SelectObject(GdiHandle obj);
  GdiHandle SelectStockObject(int index);  // HOLLOW_BRUSH, BLACK_PEN, ...

  int SaveDC();                 // a level for RestoreDC; 0 on failure
  bool RestoreDC(int saved);    // -1: the last one saved

  int SetBkMode(int mode);      // TRANSPARENT / OPAQUE; returns the previous
  Color SetBkColor(Color color);
  Color SetTextColor(Color color);

  // Outline with the current pen, interior with the current brush.
  bool Rectangle(int left, int top, int right, int bottom);
  bool Rectangle(const CRect& rc) { return Rectangle(rc.left, rc.top, rc.right, rc.bottom); }
  // Fills with `color` (and makes it the background colour, as MFC does).
  void FillSolidRect(const CRect& rc, Color color);
  // A one-pixel frame just inside `rc`.
  void FrameRect(const CRect& rc, CBrush* brush);
  CPoint MoveTo(int x, int y);
  bool LineTo(int x, int y);
  bool BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc,
              unsigned rop = SRCCOPY);
  // DT_CENTER, DT_VCENTER, DT_SINGLELINE, DT_WORDBREAK, DT_CALCRECT. With
  // DT_CALCRECT nothing is drawn; `rect` keeps its left and top and gets the
  // text's width and height. Returns the text's height.
  int DrawText(const std::string& text, CRect* rect, unsigned flags);
  // The dotted focus frame, drawn by inverting (drawing it twice removes it).
  void DrawFocusRect(const CRect& rc);
  // The icon at the system's standard icon size.
  bool DrawIcon(int x, int y, IconHandle icon);
  // The icon at `cx` x `cy`; with DSS_DISABLED in its embossed grey form.
  bool DrawState(int x, int y, int cx, int cy, IconHandle icon, unsigned flags);
  Color GetPixel(int x, int y) const;

  // The system colours (COLOR_*).
  static Color GetSysColor(int index);

  DCHandle m_hDC = nullptr;

 protected:
  bool m_bOwned = false;  // created here: deleted with the object
};

// The context of a window's paint message: begins painting on construction
// (the invalid area becomes valid) and ends it on destruction.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;
  CRect m_rcPaint;  // the area to paint, client coordinates

 private:
  CWnd* m_pWnd;
  alignas(8) unsigned char m_ps[80];  // the platform's paint record
};
