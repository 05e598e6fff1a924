// A button whose face is one of four bitmaps; its caption is not drawn.
#include "platform/Controls.h"
#include "platform/Dc.h"
#include "platform/Resources.h"

CBitmapButton::~CBitmapButton() {
  for (PlatBitmap*& b : m_bitmaps) {
    DeleteBitmapRes(b);
    b = nullptr;
  }
}

bool CBitmapButton::LoadBitmaps(int normal, int pressed, int focused, int disabled) {
  const int ids[4] = {normal, pressed, focused, disabled};
  for (int i = 0; i < 4; ++i) {
    DeleteBitmapRes(m_bitmaps[i]);
    m_bitmaps[i] = LoadBitmapRes(ids[i]);
  }
  Invalidate();
  return m_bitmaps[0] != nullptr;
}

void CBitmapButton::SizeToContent() {
  int cx = 0, cy = 0;
  if (m_bitmaps[0] != nullptr && GetBitmapSize(m_bitmaps[0], &cx, &cy)) SetWindowSize(cx, cy);
}

void CBitmapButton::DrawItem(const DrawItemInfo& info) {
  // A missing face falls back to the normal one.
  PlatBitmap* face = m_bitmaps[0];
  if ((info.itemState & ODS_SELECTED) && m_bitmaps[1]) face = m_bitmaps[1];
  else if ((info.itemState & ODS_FOCUS) && m_bitmaps[2]) face = m_bitmaps[2];
  else if ((info.itemState & ODS_DISABLED) && m_bitmaps[3]) face = m_bitmaps[3];
  CDC dc(info.hDC);
  if (face == nullptr) {
    dc.FillSolidRect(info.rcItem, CDC::GetSysColor(COLOR_BTNFACE));
    return;
  }
  CDC mem;
  mem.CreateCompatibleDC(&dc);
  CBitmap bmp;
  bmp.Attach(face);
  GdiHandle old = mem.SelectObject(&bmp);
  dc.BitBlt(info.rcItem.left, info.rcItem.top, info.rcItem.Width(), info.rcItem.Height(), &mem, 0, 0, SRCCOPY);
  mem.SelectObject(old);
  bmp.Detach();
}
