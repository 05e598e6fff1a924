// The application object: runs the main dialog and ends the program.
#pragma once

#include "platform/Dialog.h"

class CUpdaterApp : public CWinApp {
 public:
  bool InitInstance() override;
};
