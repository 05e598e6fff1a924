// The common "open file" dialog and the current directory.
#pragma once

#include <string>

#include "platform/Types.h"

class CWnd;

struct OpenFileRequest {
  CWnd* owner = nullptr;
  std::string filter;      // "Name|pattern|...|", '|' separated
  std::string defExt;      // without the dot
  std::string initialDir;  // empty: the system's choice
  unsigned flags = 0;      // OFN_*
};

// Shows the modal dialog; false when the user cancels. `path` receives the
// full path, `name` the file name without its folder.
bool ShowOpenFileDialog(const OpenFileRequest& req, std::string* path, std::string* name);

// The process's current directory into buf (at most size-1 characters).
int GetCurrentDir(char* buf, int size);
// Makes `dir` the process's current directory; false when it cannot.
bool SetCurrentDir(const char* dir);
