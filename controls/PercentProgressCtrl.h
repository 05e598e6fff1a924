// The main dialog's progress bar: paints itself with a filled background, a
// bar of the reached percentage (from a bitmap, or a coloured rectangle when
// none is loaded) and the percentage as text in the middle. It keeps its own
// range, position and step and mirrors them to the platform bar.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Controls.h"
#include "platform/Dc.h"

class CPercentProgressCtrl : public CProgressCtrl {
 public:
  CPercentProgressCtrl();
  ~CPercentProgressCtrl() override;

  // Resets the position, the percentage and the text to "0 %".
  void SetRange(int nMin, int nMax);
  // Returns the platform bar's previous position.
  int SetPos(int nPos);
  int StepIt();
  int SetStep(int nStep);
  // Neither redraws.
  void SetTextStyle(bool bShow, Color crText);
  void SetColors(Color crBack, Color crBarPen, Color crBarFill);
  // Replaces the bar bitmap with bitmap resource `nId`; true when it loaded.
  // A failed load keeps the previous choice of bitmap or rectangle.
  bool SetBarBitmap(int nId);

  void OnPaint();

  void PreSubclassWindow() override;
  LRESULT_T WindowProc(unsigned msg, WPARAM_T wp, LPARAM_T lp) override;

  std::int32_t m_nMin = 0;
  std::int32_t m_nMax = 100;
  std::int32_t m_nWidth = 0;
  std::int32_t m_nHeight = 0;
  std::int32_t m_nPercent = 0;
  std::int32_t m_nPos = 0;
  std::int32_t m_nStep = 1;
  bool m_bSizeKnown = false;
  bool m_bShowText = false;
  bool m_bHasBitmap = false;
  CRect m_rcClient;
  std::string m_strText;
  CBitmap m_bmpBar;
  Color m_crText = 0;
  Color m_crBack = 0;
  Color m_crBarPen = 0;
  Color m_crBarFill = 0;
};
