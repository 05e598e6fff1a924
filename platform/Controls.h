// Standard controls used by the dialog: combo box, edit, buttons, progress bar.
#pragma once

#include <string>

#include "platform/Wnd.h"

class CComboBox : public CWnd {
 public:
  int AddString(const std::string& text);
  int GetCount() const;
  int GetCurSel() const;  // CB_ERR when nothing is selected
  int SetCurSel(int index);  // -1 clears the selection
  void ResetContent();
  std::string GetLBText(int index) const;
};

class CEdit : public CWnd {
 public:
  void SetSel(int start, int end);
  void ReplaceSel(const std::string& text);
  // Soft line breaks in the text read back (EM_FMTLINES).
  void FmtLines(bool on);
};

class CButton : public CWnd {};

// A button whose face is one of four bitmaps (normal, pressed, focused, disabled).
class CBitmapButton : public CButton {
 public:
  ~CBitmapButton() override;
  bool LoadBitmaps(int normal, int pressed, int focused, int disabled);
  void SizeToContent();
  void DrawItem(const DrawItemInfo& info) override;
  PlatBitmap* m_bitmaps[4] = {nullptr, nullptr, nullptr, nullptr};
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(int lower, int upper);
  int SetPos(int pos);
  int SetStep(int step);
  int StepIt();
};
