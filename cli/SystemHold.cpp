// The parts of the hold that every system shares; Begin and End are in
// SystemHoldLinux.cpp and SystemHoldWin32.cpp.
#include "cli/SystemHold.h"

#include "cli/CliReport.h"

CSystemHold::CSystemHold(CCliReport& out, bool verbose, const std::string& reason)
    : m_out(out), m_bVerbose(verbose), m_strReason(reason) {
  m_out.m_pHold = this;
}

CSystemHold::~CSystemHold() {
  End();
  m_out.m_pHold = nullptr;
}

void CSystemHold::Say(const std::string& line) {
  if (m_strMissing.empty()) m_strMissing = line;
  m_out.Error(line);
}

void CSystemHold::Note(const std::string& line) {
  if (m_strMissing.empty()) m_strMissing = line;
  if (m_bVerbose) m_out.Error(line);
}
