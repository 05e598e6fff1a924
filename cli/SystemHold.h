// orvex-cli's hold of the operating system while the drive writes its
// firmware (the engine's hold): nothing may suspend the machine, shut it
// down or end the session until the commit and its checks are over.
//   Linux: a logind inhibitor lock ("sleep:shutdown:idle", mode "block")
//   over the system bus, its descriptor closed at the end.
//   Windows: the thread's execution state, a hidden top-level window that
//   refuses the session's end with a reason Windows can show, and the
//   console's close, logoff and shutdown events held as long as Windows
//   waits for them.
// Where the system offers none of it (no bus, no logind, no such call) the
// update goes on; what is missing is said in one line.
#pragma once

#include <string>

class CCliReport;

class CSystemHold {
 public:
  // `reason` names the drive: logind lists it, Windows shows it. Lines that
  // only explain (no bus, no logind) are printed when `verbose`. The report
  // `out` holds and lets go through it for as long as it lives.
  CSystemHold(CCliReport& out, bool verbose, const std::string& reason);
  ~CSystemHold();
  CSystemHold(const CSystemHold&) = delete;
  CSystemHold& operator=(const CSystemHold&) = delete;

  void Begin();
  void End();
  bool Held() const { return m_bHeld; }
  // The system is held off: nothing the hold needs was missing.
  bool SystemHeld() const { return m_bHeld && m_strMissing.empty(); }
  // What the system did not hold, as its line says; "" when nothing.
  const std::string& Missing() const { return m_strMissing; }

 private:
  void Say(const std::string& line);
  void Note(const std::string& line);
  CCliReport& m_out;
  bool m_bVerbose;
  std::string m_strReason;
  bool m_bHeld = false;
  std::string m_strMissing;
  // What the system holds for us: logind's descriptor on Linux.
  int m_nLock = -1;
};
