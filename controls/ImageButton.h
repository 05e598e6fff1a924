// The push button of the main dialog's "Update" and "Cancel": owner-drawn
// with a filled face, a raised border, an icon left of a centred caption, a
// dark frame and a focus rectangle when focused or default. It shows its
// second icon normally and its first while held down, greys both icon and
// caption when disabled, keeps the dialog's default-button handling working
// and takes a double click as a plain press.
#pragma once

#include <string>

#include "platform/Controls.h"
#include "platform/Dc.h"

class CImageButton : public CButton {
 public:
  CImageButton();
  ~CImageButton() override;

  // Icon resources: `nIconIn` while held down, `nIconOut` otherwise (0: the
  // first icon in every state). Returns 0, or 1 when an icon's information
  // cannot be read.
  int SetIcon(int nIconIn, int nIconOut);
  // Takes ownership of both icons; a null first icon leaves the button
  // without icons.
  int SetIconHandles(IconHandle hIconIn, IconHandle hIconOut);
  // The look selector; only the look for false is drawn.
  void SetFlat(bool bFlat, bool bRepaint = true);

  void PreSubclassWindow() override;
  LRESULT_T WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) override;
  void DrawItem(const DrawItemInfo& info) override;
  void OnChildNotify(unsigned code) override;
  CtlBrush OnCtlColor() override { return CtlBrush::Hollow; }

  // Drawing steps, in the order DrawItem calls them.
  virtual void DrawBackground(CDC* pDC, CRect* pRect);
  virtual void DrawBorder(CDC* pDC, CRect* pRect);
  virtual void DrawButtonIcon(CDC* pDC, bool bHasTitle, const CRect& rcItem, CRect* rcCaption,
                              bool bPressed, bool bDisabled);
  virtual void DrawCaption(CDC* pDC, const std::string& title, const CRect& rcCaption);

  bool m_bFlat = true;
  bool m_bPressed = false;
  bool m_bFocused = false;
  bool m_bDisabled = false;
  bool m_bDefault = false;
  Color m_crBkIn = 0, m_crFgIn = 0;
  Color m_crBkOut = 0, m_crFgOut = 0;
  Color m_crBkFocus = 0, m_crFgFocus = 0;
  IconHandle m_hIconIn = nullptr;
  int m_cxIconIn = 0, m_cyIconIn = 0;
  IconHandle m_hIconOut = nullptr;
  int m_cxIconOut = 0, m_cyIconOut = 0;

  // Layout: caption shift with an icon (margin 3 plus 15), focus inset.
  static constexpr int kCaptionShift = 18;
  static constexpr int kFocusInset = 3;

 private:
  void SetDefaultColors();
  void FreeIcons();
};
