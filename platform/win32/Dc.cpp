// Drawing contexts over GDI.
#include "platform/Dc.h"
#include "platform/win32/Win32.h"

namespace {

HDC H(DCHandle dc) { return reinterpret_cast<HDC>(dc); }
HGDIOBJ G(GdiHandle obj) { return reinterpret_cast<HGDIOBJ>(obj); }
GdiHandle FromGdi(HGDIOBJ obj) { return reinterpret_cast<GdiHandle>(obj); }

static_assert(sizeof(PAINTSTRUCT) <= 80, "CPaintDC keeps the PAINTSTRUCT in place");

}  // namespace

// ---- drawing objects ----
CGdiObject::~CGdiObject() { DeleteObject(); }

bool CGdiObject::DeleteObject() {
  if (m_hObject == nullptr) return false;
  BOOL ok = ::DeleteObject(G(m_hObject));
  m_hObject = nullptr;
  return ok != FALSE;
}

bool CPen::CreatePen(int style, int width, Color color) {
  DeleteObject();
  m_hObject = FromGdi(::CreatePen(style, width, color));
  return m_hObject != nullptr;
}

bool CBrush::CreateSolidBrush(Color color) {
  DeleteObject();
  m_hObject = FromGdi(::CreateSolidBrush(color));
  return m_hObject != nullptr;
}

bool CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
  DeleteObject();
  if (dc == nullptr || dc->m_hDC == nullptr) return false;
  m_hObject = FromGdi(::CreateCompatibleBitmap(H(dc->m_hDC), width, height));
  return m_hObject != nullptr;
}

bool CBitmap::LoadBitmap(int id) {
  DeleteObject();
  m_hObject = reinterpret_cast<GdiHandle>(LoadBitmapRes(id));
  return m_hObject != nullptr;
}

void CBitmap::Attach(PlatBitmap* bmp) {
  DeleteObject();
  m_hObject = reinterpret_cast<GdiHandle>(bmp);
}
PlatBitmap* CBitmap::Detach() {
  PlatBitmap* b = reinterpret_cast<PlatBitmap*>(m_hObject);
  m_hObject = nullptr;
  return b;
}
PlatBitmap* CBitmap::GetBitmap() const { return reinterpret_cast<PlatBitmap*>(m_hObject); }
bool CBitmap::GetSize(int* cx, int* cy) const { return GetBitmapSize(GetBitmap(), cx, cy); }

// ---- contexts ----
CDC::~CDC() {
  if (m_bOwned) DeleteDC();
}

bool CDC::CreateCompatibleDC(CDC* dc) {
  if (m_bOwned) DeleteDC();
  m_hDC = reinterpret_cast<DCHandle>(::CreateCompatibleDC(dc != nullptr ? H(dc->m_hDC) : nullptr));
  m_bOwned = m_hDC != nullptr;
  return m_hDC != nullptr;
}

bool CDC::DeleteDC() {
  if (m_hDC == nullptr || !m_bOwned) return false;
  BOOL ok = ::DeleteDC(H(m_hDC));
  m_hDC = nullptr;
  m_bOwned = false;
  return ok != FALSE;
}

GdiHandle CDC::SelectObject(GdiHandle obj) {
  if (m_hDC == nullptr || obj == nullptr) return nullptr;
  return FromGdi(::SelectObject(H(m_hDC), G(obj)));
}
GdiHandle CDC::SelectObject(CPen* pen) { return pen ? SelectObject(pen->m_hObject) : nullptr; }
GdiHandle CDC::SelectObject(CBrush* brush) { return brush ? SelectObject(brush->m_hObject) : nullptr; }
GdiHandle CDC::SelectObject(CBitmap* bitmap) { return bitmap ? SelectObject(bitmap->m_hObject) : nullptr; }
GdiHandle CDC::SelectStockObject(int index) { return SelectObject(FromGdi(GetStockObject(index))); }

int CDC::SaveDC() { return ::SaveDC(H(m_hDC)); }
bool CDC::RestoreDC(int saved) { return ::RestoreDC(H(m_hDC), saved) != FALSE; }

int CDC::SetBkMode(int mode) { return ::SetBkMode(H(m_hDC), mode); }
Color CDC::SetBkColor(Color color) { return ::SetBkColor(H(m_hDC), color); }
Color CDC::SetTextColor(Color color) { return ::SetTextColor(H(m_hDC), color); }

bool CDC::Rectangle(int left, int top, int right, int bottom) {
  return ::Rectangle(H(m_hDC), left, top, right, bottom) != FALSE;
}

void CDC::FillSolidRect(const CRect& rc, Color color) {
  RECT r{rc.left, rc.top, rc.right, rc.bottom};
  ::SetBkColor(H(m_hDC), color);
  ::ExtTextOutA(H(m_hDC), 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void CDC::FrameRect(const CRect& rc, CBrush* brush) {
  if (brush == nullptr || brush->m_hObject == nullptr) return;
  RECT r{rc.left, rc.top, rc.right, rc.bottom};
  ::FrameRect(H(m_hDC), &r, reinterpret_cast<HBRUSH>(brush->m_hObject));
}

CPoint CDC::MoveTo(int x, int y) {
  POINT old{0, 0};
  ::MoveToEx(H(m_hDC), x, y, &old);
  return CPoint{static_cast<int>(old.x), static_cast<int>(old.y)};
}

bool CDC::LineTo(int x, int y) { return ::LineTo(H(m_hDC), x, y) != FALSE; }

bool CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, unsigned rop) {
  if (src == nullptr) return false;
  return ::BitBlt(H(m_hDC), x, y, width, height, H(src->m_hDC), xSrc, ySrc, rop) != FALSE;
}

int CDC::DrawText(const std::string& text, CRect* rect, unsigned flags) {
  if (rect == nullptr) return 0;
  RECT r{rect->left, rect->top, rect->right, rect->bottom};
  int h = ::DrawTextA(H(m_hDC), text.c_str(), static_cast<int>(text.size()), &r, flags);
  *rect = CRect(r.left, r.top, r.right, r.bottom);
  return h;
}

void CDC::DrawFocusRect(const CRect& rc) {
  RECT r{rc.left, rc.top, rc.right, rc.bottom};
  ::DrawFocusRect(H(m_hDC), &r);
}

bool CDC::DrawIcon(int x, int y, IconHandle icon) {
  return ::DrawIcon(H(m_hDC), x, y, reinterpret_cast<HICON>(icon)) != FALSE;
}

bool CDC::DrawState(int x, int y, int cx, int cy, IconHandle icon, unsigned flags) {
  return ::DrawStateA(H(m_hDC), nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, cx, cy, flags) !=
         FALSE;
}

Color CDC::GetPixel(int x, int y) const { return ::GetPixel(H(m_hDC), x, y); }

Color CDC::GetSysColor(int index) { return ::GetSysColor(index); }

// ---- paint context ----
CPaintDC::CPaintDC(CWnd* wnd) : m_pWnd(wnd) {
  PAINTSTRUCT* ps = reinterpret_cast<PAINTSTRUCT*>(m_ps);
  m_hDC = reinterpret_cast<DCHandle>(BeginPaint(ToHwnd(wnd->m_hWnd), ps));
  m_rcPaint = CRect(ps->rcPaint.left, ps->rcPaint.top, ps->rcPaint.right, ps->rcPaint.bottom);
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) EndPaint(ToHwnd(m_pWnd->m_hWnd), reinterpret_cast<PAINTSTRUCT*>(m_ps));
  m_hDC = nullptr;
}
