// The self-painted percentage progress bar.
#include "controls/PercentProgressCtrl.h"

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

// pos * 100 / max, truncated toward zero. A zero top of the range gives 0
// and a result beyond 32 bits is held at the limit: neither may reach the
// integer conversion undefined.
std::int32_t PercentOf(std::int32_t pos, std::int32_t max) {
  if (max == 0) return 0;
  double p = static_cast<double>(pos) * 100.0 / static_cast<double>(max);
  if (p >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (p <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(p);
}

std::string PercentText(std::int32_t percent) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d ", static_cast<int>(percent));
  return std::string(buf) + "%";
}

}  // namespace

// Until the dialog configures it, the bar is a white box with black text.
CPercentProgressCtrl::CPercentProgressCtrl()
    : m_strText("0 %"), m_crText(MakeColor(0, 0, 0)), m_crBack(MakeColor(255, 255, 255)),
      m_crBarPen(MakeColor(0, 0, 128)), m_crBarFill(MakeColor(0, 0, 128)) {}

CPercentProgressCtrl::~CPercentProgressCtrl() = default;

void CPercentProgressCtrl::PreSubclassWindow() {
  ModifyStyle(0, PBS_SMOOTH);
  CProgressCtrl::PreSubclassWindow();
}

LRESULT_T CPercentProgressCtrl::WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  if (msg == WM_PAINT) {
    OnPaint();
    return 0;
  }
  return CProgressCtrl::WindowProc(msg, wp, lp);
}

void CPercentProgressCtrl::SetRange(int nMin, int nMax) {
  m_nMin = nMin;
  m_nMax = nMax;
  m_nPos = 0;
  m_nPercent = 0;
  m_strText = "0 %";
  CProgressCtrl::SetRange(nMin, nMax);
}

int CPercentProgressCtrl::SetPos(int nPos) {
  m_nPos = nPos;
  m_nPercent = PercentOf(m_nPos, m_nMax);
  if (m_bShowText) m_strText = PercentText(m_nPercent);
  // The platform bar repaints the control in reaction to the message.
  return CProgressCtrl::SetPos(nPos);
}

int CPercentProgressCtrl::StepIt() {
  std::int64_t next = static_cast<std::int64_t>(m_nPos) + m_nStep;
  if (next > std::numeric_limits<std::int32_t>::max()) next = std::numeric_limits<std::int32_t>::max();
  if (next < std::numeric_limits<std::int32_t>::min()) next = std::numeric_limits<std::int32_t>::min();
  return SetPos(static_cast<int>(next));
}

int CPercentProgressCtrl::SetStep(int nStep) {
  m_nStep = nStep;
  return CProgressCtrl::SetStep(nStep);
}

void CPercentProgressCtrl::SetTextStyle(bool bShow, Color crText) {
  m_bShowText = bShow;
  m_crText = crText;
}

void CPercentProgressCtrl::SetColors(Color crBack, Color crBarPen, Color crBarFill) {
  m_crBack = crBack;
  m_crBarPen = crBarPen;
  m_crBarFill = crBarFill;
}

bool CPercentProgressCtrl::SetBarBitmap(int nId) {
  // Loaded aside first: a failed load keeps the bitmap the bar already
  // paints from, so m_bHasBitmap never claims a bitmap that is gone.
  CBitmap loaded;
  if (!loaded.LoadBitmap(nId)) return false;
  m_bmpBar.DeleteObject();
  m_bmpBar.Attach(loaded.Detach());
  m_bHasBitmap = true;
  return true;
}

void CPercentProgressCtrl::OnPaint() {
  CPaintDC dc(this);
  if (!m_bSizeKnown) {
    GetClientRect(&m_rcClient);
    m_nWidth = m_rcClient.right - m_rcClient.left;
    m_nHeight = m_rcClient.bottom - m_rcClient.top;
    m_bSizeKnown = true;
  }

  // Everything is drawn off screen and copied once, so the bar never flickers.
  CDC memDC, bmpDC;
  if (!memDC.CreateCompatibleDC(&dc) || !bmpDC.CreateCompatibleDC(&dc)) return;
  int saved = memDC.SaveDC();
  CBitmap canvas;
  CBrush backBrush, barBrush;
  CPen barPen;
  if (!canvas.CreateCompatibleBitmap(&dc, m_nWidth, m_nHeight)) {
    memDC.RestoreDC(saved);
    return;
  }
  memDC.SelectObject(&canvas);

  // The context's own pen (black, one pixel) outlines the background.
  backBrush.CreateSolidBrush(m_crBack);
  memDC.SelectObject(&backBrush);
  memDC.Rectangle(m_rcClient);

  CRect bar(m_rcClient.left + 1, m_rcClient.top + 1, 0, m_rcClient.bottom - 1);
  std::int64_t length = static_cast<std::int64_t>(m_nPercent) * m_nWidth / 100;
  // A negative percentage draws no bar rather than one reaching leftwards.
  if (length < 0) length = 0;
  std::int64_t right = bar.left + length;
  if (right >= m_rcClient.right) right = m_rcClient.right - 1;
  bar.right = static_cast<int>(right);

  if (m_bHasBitmap) {
    // The bitmap's top-left part, neither stretched nor tiled.
    GdiHandle old = bmpDC.SelectObject(&m_bmpBar);
    memDC.BitBlt(bar.left, bar.top, bar.Width(), bar.Height(), &bmpDC, 0, 0, SRCCOPY);
    // Where the bar is longer or taller than the picture, the picture's last
    // column and last row carry on: the bar's length must show the
    // percentage, not the picture's width.
    int bw = 0, bh = 0;
    if (m_bmpBar.GetSize(&bw, &bh) && bw > 0 && bh > 0) {
      int rows = std::min(bh, bar.Height());
      for (int x = bar.left + bw; x < bar.right; ++x)
        memDC.BitBlt(x, bar.top, 1, rows, &bmpDC, bw - 1, 0, SRCCOPY);
      for (int y = bar.top + bh; y < bar.bottom; ++y)
        memDC.BitBlt(bar.left, y, bar.Width(), 1, &memDC, bar.left, bar.top + bh - 1, SRCCOPY);
    }
    bmpDC.SelectObject(old);
  } else {
    barPen.CreatePen(PS_SOLID, 2, m_crBarPen);
    barBrush.CreateSolidBrush(m_crBarFill);
    memDC.SelectObject(&barPen);
    memDC.SelectObject(&barBrush);
    memDC.Rectangle(bar);
  }

  if (m_bShowText) {
    memDC.SetBkMode(TRANSPARENT);
    memDC.SetTextColor(m_crText);
    CRect rc = m_rcClient;
    memDC.DrawText(m_strText, &rc, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }

  dc.BitBlt(0, 0, m_nWidth, m_nHeight, &memDC, 0, 0, SRCCOPY);
  memDC.RestoreDC(saved);
}
