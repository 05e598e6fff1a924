// The dialog's hold: from the first piece to the end of the commit it keeps
// the system awake and refuses a logoff, a shutdown and a suspend; every
// outcome lets the system go before its box, and outside the hold the
// platform's answers stand.
#include "tests/unit/DialogFixture.h"

namespace {

using Strings = std::vector<std::string>;

const Strings kHeld = {"SetThreadExecutionState(ES_CONTINUOUS|ES_SYSTEM_REQUIRED)",
                       "ShutdownBlockReasonCreate(The firmware is being written to your drive. Do not switch off "
                       "your PC.)"};
const Strings kHeldAndReleased = {kHeld[0], kHeld[1], "ShutdownBlockReasonDestroy",
                                  "SetThreadExecutionState(ES_CONTINUOUS)"};
const LPARAM_T kLogoff = static_cast<LPARAM_T>(0x80000000u);

class SessionHoldTest : public DialogFixture {
 protected:
  CUpdaterDlg* Admitted(Drive d, const std::string& ini = "") {
    UseDrives({d});
    std::string image = MakeImage("new.bin", d.revision == "1300" ? "2300" : "1.10", d.product);
    WriteIni(ini);
    CUpdaterDlg* dlg = OpenDialog();
    headless::ScriptFileDialog(image);
    headless::Click(*dlg, IDC_OPEN);
    EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
    headless::Reset();
    return dlg;
  }
  static LRESULT_T QueryEnd(CUpdaterDlg* dlg, LPARAM_T lp = 0) { return dlg->SendMessage(WM_QUERYENDSESSION, 0, lp); }
  static LRESULT_T QuerySuspend(CUpdaterDlg* dlg) { return dlg->SendMessage(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0); }
  // Waits, bounded, until the drive has logged `count` requests of `cdb`.
  bool WaitForLog(const std::string& cdb, size_t count) {
    for (int i = 0; i < 2000; ++i) {
      if (CountLog(cdb) >= count) return true;
      SleepMs(5);
    }
    return false;
  }
};

TEST_F(SessionHoldTest, ALogoffShutdownOrSuspendIsRefusedWhileTheWorkerCommits) {
  Drive d;
  d.extra = "fault commit 1 slow 1500\n";
  CUpdaterDlg* dlg = Admitted(d);
  const LRESULT_T yes = QueryEnd(dlg);
  const LRESULT_T grant = QuerySuspend(dlg);
  EXPECT_EQ(yes, 1);
  EXPECT_TRUE(headless::HoldCalls().empty());

  LRESULT_T atCompleted = -1;
  Strings callsAtCompleted;
  headless::OnBox("Update was Completed!", [&] {
    atCompleted = QueryEnd(dlg);
    callsAtCompleted = headless::HoldCalls();
  });
  headless::Click(*dlg, IDC_UPDATE);
  ASSERT_TRUE(WaitForLog("3B 07", 1));
  EXPECT_EQ(headless::HoldCalls(), kHeld);
  EXPECT_EQ(QueryEnd(dlg), 0);
  EXPECT_EQ(QueryEnd(dlg, kLogoff), 0);
  EXPECT_EQ(QuerySuspend(dlg), static_cast<LRESULT_T>(BROADCAST_QUERY_DENY));
  // Other power broadcasts are not questions.
  EXPECT_EQ(dlg->SendMessage(WM_POWERBROADCAST, 0xA, 0), grant);
  ASSERT_TRUE(headless::JoinWorkers(20000));

  EXPECT_EQ(callsAtCompleted, kHeldAndReleased);
  EXPECT_EQ(atCompleted, yes);
  EXPECT_EQ(QueryEnd(dlg), yes);
  EXPECT_EQ(QuerySuspend(dlg), grant);
  EXPECT_EQ(headless::HoldCalls(), kHeldAndReleased);
}

// Whatever ends the update lets the system go before the box that says so;
// nothing is held for an update that sent no piece.
TEST_F(SessionHoldTest, EveryOutcomeLetsTheSystemGoBeforeItsBox) {
  struct Case {
    std::string faults, ini, revision, box;
    bool held;
    bool disc = false;
  } cases[] = {
      {"fault write 5 check 05 24 00\n", "", "1.00", "ATAPI ERROR02", true},
      {"fault readsum 1 badsum\n", "", "1.00", "Checksum Fail", true},
      {"fault commit 1 check 04 44 00\n", "", "1.00", "Update was Fail", true},
      {"strategy-commit changes-zone\n", "[VARO]\nWriteStretage=1\n", "1300", "FW Zone Checksum is Not Correct !!",
       true},
      {"fault readzone 1 check 03 11 00\n", "[VARO]\nWriteStretage=1\n", "1300", "ATAPI ERROR02", false},
      {"fault startstop 1 check 02 53 02\n", "", "1.00", "Disc remove fail !", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box + " after " + c.faults);
    std::remove((dir_ + "/flash.txt").c_str());
    std::remove((dir_ + "/sim.log").c_str());
    Drive d;
    d.revision = c.revision;
    d.extra = c.faults;
    d.disc = c.disc;
    CUpdaterDlg* dlg = Admitted(d, c.ini);
    Strings atBox;
    LRESULT_T answer = -1;
    headless::OnBox(c.box, [&] {
      atBox = headless::HoldCalls();
      answer = QueryEnd(dlg);
    });
    headless::Click(*dlg, IDC_UPDATE);
    ASSERT_TRUE(headless::JoinWorkers(20000));
    EXPECT_EQ(atBox, c.held ? kHeldAndReleased : Strings{});
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(headless::HoldCalls(), atBox);
  }
  // Declined: nothing is held.
  CUpdaterDlg* dlg = Admitted(Drive());
  headless::ScriptAnswers({IDCANCEL});
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_TRUE(headless::HoldCalls().empty());
}

}  // namespace
