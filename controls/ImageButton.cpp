// The owner-drawn image push button.
#include "controls/ImageButton.h"

#include "platform/Resources.h"

CImageButton::CImageButton() { SetDefaultColors(); }

CImageButton::~CImageButton() { FreeIcons(); }

void CImageButton::SetDefaultColors() {
  Color face = CDC::GetSysColor(COLOR_BTNFACE), text = CDC::GetSysColor(COLOR_BTNTEXT);
  m_crBkIn = m_crBkOut = m_crBkFocus = face;
  m_crFgIn = m_crFgOut = m_crFgFocus = text;
}

void CImageButton::FreeIcons() {
  if (m_hIconOut != nullptr && m_hIconOut != m_hIconIn) DestroyIconRes(m_hIconOut);
  if (m_hIconIn != nullptr) DestroyIconRes(m_hIconIn);
  m_hIconIn = m_hIconOut = nullptr;
  m_cxIconIn = m_cyIconIn = m_cxIconOut = m_cyIconOut = 0;
}

int CImageButton::SetIcon(int nIconIn, int nIconOut) {
  IconHandle in = nIconIn != 0 ? LoadIconRes(nIconIn, 0, 0) : nullptr;
  IconHandle out = nIconOut != 0 ? LoadIconRes(nIconOut, 0, 0) : nullptr;
  return SetIconHandles(in, out);
}

int CImageButton::SetIconHandles(IconHandle hIconIn, IconHandle hIconOut) {
  FreeIcons();
  int result = 0;
  if (hIconIn == nullptr) {
    // No first icon, no icons: the second one was handed over all the same
    // and is freed rather than lost.
    if (hIconOut != nullptr) DestroyIconRes(hIconOut);
  } else {
    m_hIconIn = hIconIn;
    m_hIconOut = hIconOut;
    bool ok = GetIconSize(m_hIconIn, &m_cxIconIn, &m_cyIconIn);
    if (ok && m_hIconOut != nullptr) ok = GetIconSize(m_hIconOut, &m_cxIconOut, &m_cyIconOut);
    if (!ok) {
      FreeIcons();
      result = 1;
    }
  }
  if (m_hWnd != nullptr) Invalidate();
  return result;
}

void CImageButton::SetFlat(bool bFlat, bool bRepaint) {
  m_bFlat = bFlat;
  if (bRepaint && m_hWnd != nullptr) Invalidate();
}

void CImageButton::PreSubclassWindow() {
  unsigned style = GetStyle();
  if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) m_bDefault = true;
  // The button type decides how the button paints; it is read at every
  // paint, so nothing else of the window needs to change.
  ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
  Invalidate();
  CButton::PreSubclassWindow();
}

LRESULT_T CImageButton::WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) {
  switch (msg) {
    case BM_SETSTYLE: {
      // The dialog moves the default-button look with this message; an
      // owner-drawn button must stay owner-drawn and draw that look itself.
      unsigned type = static_cast<unsigned>(wp) & BS_TYPEMASK;
      if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) m_bDefault = type == BS_DEFPUSHBUTTON;
      WPARAM_T style = (wp & ~static_cast<WPARAM_T>(BS_TYPEMASK)) | BS_OWNERDRAW;
      return DefWindowProc(BM_SETSTYLE, style, lp);
    }
    case WM_GETDLGCODE: {
      LRESULT_T code = DefWindowProc(msg, wp, lp);
      return code | (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    case WM_LBUTTONDBLCLK:
      // An owner-drawn button reports the second click of a double click
      // as a double click; the dialog wants two presses.
      return DefWindowProc(WM_LBUTTONDOWN, wp, lp);
    case WM_ENABLE: {
      LRESULT_T r = DefWindowProc(msg, wp, lp);
      if (wp == 0) {
        // A disabled window keeps the keyboard focus unless it is moved.
        WndHandle parent = GetParent();
        CWnd dialog;  // borrows the parent's handle for the tab-order query
        dialog.m_hWnd = parent;
        WndHandle next = parent != nullptr ? dialog.GetNextDlgTabItem(m_hWnd) : nullptr;
        dialog.m_hWnd = nullptr;
        CWnd::SetFocusTo(next != nullptr && next != m_hWnd ? next : parent);
      }
      return r;
    }
    case WM_SYSCOLORCHANGE: {
      LRESULT_T r = DefWindowProc(msg, wp, lp);
      SetDefaultColors();
      Invalidate();
      return r;
    }
    case BM_GETCHECK:
      return 0;
    case BM_SETCHECK:
      return 0;
    default:
      return DefWindowProc(msg, wp, lp);
  }
}

void CImageButton::OnChildNotify(unsigned code) {
  if (code == BN_CLICKED) SetFocus();
}

void CImageButton::DrawItem(const DrawItemInfo& info) {
  CDC dc(info.hDC);
  int saved = dc.SaveDC();
  m_bPressed = (info.itemState & ODS_SELECTED) != 0;
  m_bFocused = (info.itemState & ODS_FOCUS) != 0;
  m_bDisabled = (info.itemState & ODS_DISABLED) != 0;
  dc.SetBkMode(TRANSPARENT);

  CRect rcWork = info.rcItem;
  DrawBackground(&dc, &rcWork);
  DrawBorder(&dc, &rcWork);

  CRect rcCaption = info.rcItem;
  std::string title = GetWindowText();
  if (m_hIconIn != nullptr)
    DrawButtonIcon(&dc, !title.empty(), info.rcItem, &rcCaption, m_bPressed, m_bDisabled);
  if (!title.empty()) DrawCaption(&dc, title, rcCaption);

  if (m_bFocused) {
    CRect rcFocus = rcWork;
    rcFocus.Deflate(kFocusInset);
    dc.DrawFocusRect(rcFocus);
  }
  dc.RestoreDC(saved);
}

void CImageButton::DrawBackground(CDC* pDC, CRect* pRect) {
  if (m_bFocused || m_bDefault) {
    CBrush black(MakeColor(0, 0, 0));
    pDC->FrameRect(*pRect, &black);
    pRect->Deflate(1);
  }
  Color face = m_bPressed ? m_crBkIn : (m_bFocused ? m_crBkFocus : m_crBkOut);
  pDC->FillSolidRect(*pRect, face);
}

void CImageButton::DrawBorder(CDC* pDC, CRect* pRect) {
  if (m_bPressed) {
    CBrush shadow(CDC::GetSysColor(COLOR_BTNSHADOW));
    pDC->FrameRect(*pRect, &shadow);
    return;
  }
  const int l = pRect->left, t = pRect->top, r = pRect->right, b = pRect->bottom;
  CPen hilite(PS_SOLID, 1, CDC::GetSysColor(COLOR_BTNHIGHLIGHT));
  CPen light(PS_SOLID, 1, CDC::GetSysColor(COLOR_3DLIGHT));
  CPen dark(PS_SOLID, 1, CDC::GetSysColor(COLOR_3DDKSHADOW));
  CPen shadow(PS_SOLID, 1, CDC::GetSysColor(COLOR_BTNSHADOW));

  GdiHandle old = pDC->SelectObject(&hilite);
  pDC->MoveTo(l, b - 1);
  pDC->LineTo(l, t);
  pDC->LineTo(r, t);

  pDC->SelectObject(&light);
  pDC->MoveTo(l + 1, b - 1);
  pDC->LineTo(l + 1, t + 1);
  pDC->LineTo(r, t + 1);

  pDC->SelectObject(&dark);
  pDC->MoveTo(l, b - 1);
  pDC->LineTo(r - 1, b - 1);
  pDC->LineTo(r - 1, t - 1);

  pDC->SelectObject(&shadow);
  pDC->MoveTo(l + 1, b - 2);
  pDC->LineTo(r - 2, b - 2);
  pDC->LineTo(r - 2, t);

  pDC->SelectObject(old);
}

void CImageButton::DrawButtonIcon(CDC* pDC, bool bHasTitle, const CRect& rcItem, CRect* rcCaption,
                                  bool bPressed, bool bDisabled) {
  IconHandle icon = m_hIconIn;
  int cx = m_cxIconIn, cy = m_cyIconIn;
  if (!bPressed && m_hIconOut != nullptr) {
    icon = m_hIconOut;
    cx = m_cxIconOut;
    cy = m_cyIconOut;
  }

  CRect rcImage = rcItem;
  if (bHasTitle) {
    rcImage.left += (rcItem.Width() - cx) / 6;
    rcCaption->left += kCaptionShift;
  } else {
    rcImage.left += (rcItem.Width() - cx) / 2;
  }
  rcImage.top += (rcItem.Height() - cy) / 2;
  if (bPressed) rcImage.Offset(1, 1);

  pDC->DrawState(rcImage.left, rcImage.top, cx, cy, icon, DST_ICON | (bDisabled ? DSS_DISABLED : DSS_NORMAL));
}

void CImageButton::DrawCaption(CDC* pDC, const std::string& title, const CRect& rcCaption) {
  CRect rcPlace = rcCaption;
  if (m_bPressed) rcPlace.Offset(1, 1);

  // Measure, then centre the measured block in the caption rectangle.
  CRect rcText = rcPlace;
  pDC->DrawText(title, &rcText, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
  rcText.Offset((rcPlace.Width() - rcText.Width()) / 2 - (rcText.left - rcPlace.left),
                (rcPlace.Height() - rcText.Height()) / 2 - (rcText.top - rcPlace.top));

  pDC->SetBkMode(TRANSPARENT);
  if (m_bDisabled) {
    rcText.Offset(1, 1);
    pDC->SetTextColor(CDC::GetSysColor(COLOR_BTNHIGHLIGHT));
    pDC->DrawText(title, &rcText, DT_WORDBREAK | DT_CENTER);
    rcText.Offset(-1, -1);
    pDC->SetTextColor(CDC::GetSysColor(COLOR_BTNSHADOW));
    pDC->DrawText(title, &rcText, DT_WORDBREAK | DT_CENTER);
  } else {
    Color fg = m_bPressed ? m_crFgIn : (m_bFocused ? m_crFgFocus : m_crFgOut);
    Color bk = m_bPressed ? m_crBkIn : (m_bFocused ? m_crBkFocus : m_crBkOut);
    pDC->SetTextColor(fg);
    pDC->SetBkColor(bk);
    pDC->DrawText(title, &rcText, DT_WORDBREAK | DT_CENTER);
  }
}
