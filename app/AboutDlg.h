// The about box, reached from the system menu.
#pragma once

#include "platform/Dialog.h"
#include "res/ResourceIds.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
