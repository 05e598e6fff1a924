// The update from the Update button to the final message, the worker, the
// close prompt and the private run message.
#include "platform/Resources.h"
#include "platform/headless/InspectLock.h"
#include "tests/unit/DialogFixture.h"

namespace {

using headless::BoxTexts;
using Strings = std::vector<std::string>;

class UpdateSequenceTest : public DialogFixture {
 protected:
  // A dialog with an admitted image for `d`.
  CUpdaterDlg* Admitted(Drive d, const std::string& ini = "", const std::string& imageRevision = "1.10") {
    UseDrives({d});
    std::string image = MakeImage("new.bin", imageRevision, d.product);
    if (!ini.empty()) WriteIni(ini);
    auto dlg = OpenDialog();
    if (!dlg->m_bAutoMode) {
      headless::ScriptFileDialog(image);
      headless::Click(*dlg, IDC_OPEN);
    }
    EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
    headless::Reset();
    return dlg;
  }
  void RunUpdate(CUpdaterDlg* dlg) {
    headless::Click(*dlg, IDC_UPDATE);
    ASSERT_TRUE(headless::JoinWorkers(20000));
  }
  static Strings Statuses(CUpdaterDlg* dlg) { return headless::TextHistory(*dlg, IDC_STATUS); }
};

TEST_F(UpdateSequenceTest, MainFirmwareUpdateCompletesAndTheDriveTakesTheRevision) {
  auto dlg = Admitted(Drive());
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Update was Completed!"}));
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(headless::Boxes()[1].type, unsigned(MB_OK | MB_ICONASTERISK));
  EXPECT_NE(headless::Boxes()[1].thread, headless::Boxes()[0].thread);  // from the worker
  EXPECT_EQ(headless::Text(*dlg, IDCANCEL), "Close");
  EXPECT_TRUE(headless::Enabled(*dlg, IDCANCEL));
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_DRIVE));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS),
            "Please reboot your PC before using your dirve.\r\nIf you updated the drive through a USB port, you must re-install it.");
  EXPECT_EQ(dlg->m_nRunResult, RUN_STARTED);
  EXPECT_EQ(headless::TimerLog().front().period, 400u);
  EXPECT_FALSE(headless::TimerActive(*dlg, UPDATE_TIMER_ID));
  Strings st = Statuses(dlg);
  Strings expected = {"Please wait for a few minutes.", "Please wait for a few minutes.",
                      "Downloading the file you chosen now .....", "Check for Transfer checksum value.",
                      "Writing the firmware to the memory of your drive."};
  ASSERT_GE(st.size(), expected.size());
  EXPECT_EQ(Strings(st.begin(), st.begin() + 5), expected);
  EXPECT_EQ(CountLog("3B 06"), 208u);
  EXPECT_EQ(CountLog("3B 07 0A 00 80 00 19 80 00 01"), 1u);

  // The next run sees the new revision.
  auto next = OpenDialog();
  EXPECT_EQ(next->m_aspi.m_drives[0].szRevision, std::string("1.10"));
}

// One updater per drive: the lock is named after the drive's address, held
// from before the first request to the end, and a second updater that finds
// it taken is refused with its box before it asks or sends anything.
TEST_F(UpdateSequenceTest, TheDriveIsHeldThroughTheUpdateAndASecondUpdaterIsRefused) {
  Drive d;
  d.target = 2;
  auto dlg = Admitted(d);
  const std::string name = "Global\\Orvex drive 0:2:0";
  EXPECT_EQ(dlg->m_aspi.DriveLockName(0), name);
  headless::OtherProcessHolds(name);
  const size_t before = SimLog().size();
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(BoxTexts(), Strings{"Another update of this drive is running now.\r\nPlease wait until it is completed, then try again."});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONHAND));
  EXPECT_EQ(SimLog().size(), before);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_EQ(headless::WorkersStarted(), 0);

  // Once the other lets go, the update runs holding the name, and lets it
  // go at its end.
  headless::ResetNamedLocks();
  headless::Reset();
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Update was Completed!"}));
  EXPECT_EQ(headless::NamedLocksAsked(), std::set<std::string>{name});
  EXPECT_TRUE(headless::NamedLocksHeld().empty());
  EXPECT_FALSE(dlg->m_aspi.HoldsDrive());

  // Nor does a declined update keep it.
  auto again = Admitted(Drive());
  headless::ScriptAnswers({IDCANCEL});
  headless::Click(*again, IDC_UPDATE);
  EXPECT_TRUE(headless::NamedLocksHeld().empty());
}

// Open checked the drive at 1.00; another updater wrote 1.20 before Update
// was pressed. Held, the drive is read again and the 1.10 image is refused
// before its first piece; Open then checks it against 1.20.
TEST_F(UpdateSequenceTest, ADriveChangedBetweenOpenAndUpdateIsNotWritten) {
  auto dlg = Admitted(Drive());
  auto other = OpenDialog();
  headless::ScriptFileDialog(MakeImage("newer.bin", "1.20", Drive().product));
  headless::Click(*other, IDC_OPEN);
  RunUpdate(other);
  ASSERT_EQ(BoxTexts().back(), "Update was Completed!");
  headless::Reset();
  const size_t pieces = CountLog("3B 06");

  RunUpdate(dlg);
  const std::string changed = LoadStringRes(IDS_DRIVE_CHANGED);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", changed}));
  EXPECT_EQ(headless::Boxes()[1].type, unsigned(MB_OK | MB_ICONHAND));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), changed);
  EXPECT_EQ(CountLog("3B 06"), pieces);
  EXPECT_EQ(headless::WorkersStarted(), 0);
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_EQ(headless::Text(*dlg, IDC_CURRENT), "KORVELIN DVDRRW MQT-R41A  1.20");

  headless::Reset();
  headless::ScriptFileDialog(MakeImage("new.bin", "1.10", Drive().product));
  headless::Click(*dlg, IDC_OPEN);
  EXPECT_EQ(BoxTexts(), Strings{"Lower or Same Firmware Version!"});
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
}

// A front end that holds the drive through its checks keeps it when the
// update asks for it again: no moment between them for another updater.
TEST_F(UpdateSequenceTest, AskedAgainForTheDriveItHoldsTheTransportKeepsTheHold) {
  auto dlg = Admitted(Drive());
  std::string note;
  ASSERT_EQ(dlg->m_aspi.HoldDrive(0, &note), 0);
  headless::OtherProcessHolds(dlg->m_aspi.DriveLockName(0));
  EXPECT_EQ(dlg->m_aspi.HoldDrive(0, &note), 0);
  EXPECT_TRUE(dlg->m_aspi.HoldsDrive());
  dlg->m_aspi.ReleaseDrive();
  headless::ResetNamedLocks();
}

TEST_F(UpdateSequenceTest, DeclinedConfirmationChangesNothing) {
  auto dlg = Admitted(Drive());
  headless::ScriptAnswers({IDCANCEL});
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(dlg->m_nRunResult, RUN_STARTED);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_TRUE(headless::TimerLog().empty());
  EXPECT_EQ(headless::WorkersStarted(), 0);
}

TEST_F(UpdateSequenceTest, DiscCheckAsksUpToThreeTimesAndEjectsOnlyALoadedDisc) {
  Drive withDisc;
  withDisc.disc = true;
  auto dlg = Admitted(withDisc);
  RunUpdate(dlg);
  EXPECT_EQ(CountLog("00 00 00 00 00 00"), 3u);
  EXPECT_EQ(CountLog("1B 00 00 00 02 00 00 00 00 00 00 00"), 1u);

  Drive third = withDisc;
  third.extra = "fault tur 3 check 02 3A 00\n";
  auto dlg2 = Admitted(third, "", "1.20");
  size_t ejects = CountLog("1B 00");
  RunUpdate(dlg2);
  EXPECT_EQ(CountLog("1B 00"), ejects);
  EXPECT_EQ(BoxTexts().back(), "Update was Completed!");
}

TEST_F(UpdateSequenceTest, FailedEjectStopsBeforeAnyPiece) {
  Drive d;
  d.disc = true;
  d.extra = "fault startstop 1 check 02 53 02\n";
  auto dlg = Admitted(d);
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Disc remove fail !"}));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS),
            "Please try again at first step, after remove any disc in your drive.");
  EXPECT_EQ(CountLog("3B"), 0u);
  EXPECT_FALSE(headless::TimerActive(*dlg, UPDATE_TIMER_ID));
  // The user can close or start again.
  EXPECT_TRUE(headless::Enabled(*dlg, IDCANCEL));
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
}

TEST_F(UpdateSequenceTest, FailedEjectInAutoModeEnablesOnlyCancel) {
  Drive d;
  d.disc = true;
  d.extra = "fault startstop 1 check 02 53 02\n";
  MakeImage("new.bin", "1.10");
  auto dlg = Admitted(d, "[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n[FILE]\nFile Name=new.bin\n");
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
  EXPECT_TRUE(headless::Enabled(*dlg, IDCANCEL));
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_OPEN));
}

TEST_F(UpdateSequenceTest, TransferFailureAtPieceFiveSendsNothingMoreAndCommitsNothing) {
  Drive d;
  d.extra = "fault write 5 check 05 24 00\n";
  auto dlg = Admitted(d);
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "ATAPI ERROR02"}));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "0xF2");
  EXPECT_EQ(CountLog("3B 06"), 5u);
  EXPECT_EQ(CountLog("3B 07"), 0u);
  EXPECT_EQ(headless::WorkersStarted(), 0);
  for (int id : {int(IDC_UPDATE), int(IDCANCEL), int(IDC_OPEN), int(IDC_DRIVE)}) EXPECT_TRUE(headless::Enabled(*dlg, id));
  EXPECT_EQ(dlg->m_progress.m_nPos, 0);
}

TEST_F(UpdateSequenceTest, ChecksumMismatchCommitsNothing) {
  Drive d;
  d.extra = "fault readsum 1 badsum\n";
  auto dlg = Admitted(d);
  headless::Click(*dlg, IDC_UPDATE);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Checksum Fail"}));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Check Sum Fail, Please check again.");
  EXPECT_EQ(CountLog("3B 07"), 0u);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
}

TEST_F(UpdateSequenceTest, CommitFailureRunsTheStartUpAgainAndLetsTheUserGoOn) {
  Drive d;
  d.extra = "fault commit 1 check 04 00 00\n";
  auto dlg = Admitted(d);
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Update was Fail"}));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Choose a downloaded file using the [Open] button.");
  EXPECT_EQ(headless::Text(*dlg, IDCANCEL), "Cancel");
  EXPECT_TRUE(headless::Enabled(*dlg, IDCANCEL));
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_EQ(dlg->m_cbDrive.GetCount(), dlg->m_aspi.m_nDrives);
}

TEST_F(UpdateSequenceTest, ACommitThatTookEffectButFailedIsSeenByTheNextStartUp) {
  // Five admitted drives fill the table to overflowing; the first one takes
  // the commit and then answers it with a check condition.
  std::vector<Drive> drives(5);
  for (int t = 0; t < 5; ++t) drives[t].target = t;
  drives[0].extra = "fault commit 1 late-check 04 44 00\n";
  UseDrives(drives);
  std::string image = MakeImage("new.bin", "1.10");
  auto dlg = OpenDialog();
  headless::ScriptFileDialog(image);
  headless::Click(*dlg, IDC_OPEN);
  ASSERT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  headless::Reset();
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Update was Fail"}));
  ASSERT_EQ(dlg->m_cbDrive.GetCount(), 4);
  EXPECT_EQ(dlg->m_aspi.m_nDrives, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg->m_cbDrive.GetLBText(i).substr(0, 5), "[0:" + std::to_string(i) + "]");
  EXPECT_EQ(dlg->m_cbDrive.GetLBText(0), "[0:0] KORVELIN DVDRRW MQT-R41A  1.10");
  EXPECT_EQ(headless::Text(*dlg, IDC_CURRENT), "KORVELIN DVDRRW MQT-R41A  1.10");
  // The same image again is no longer higher than the drive's firmware.
  headless::Reset();
  headless::ScriptFileDialog(image);
  headless::Click(*dlg, IDC_OPEN);
  EXPECT_EQ(BoxTexts(), Strings{"Lower or Same Firmware Version!"});
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
}

TEST_F(UpdateSequenceTest, WriteStrategyUpdateChecksTheZone) {
  Drive d;
  d.revision = "1300";
  auto dlg = Admitted(d, "[VARO]\nWriteStretage=1\n", "2200");
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "FW Zone Checksum is OK", "Update was Completed!"}));
  EXPECT_EQ(headless::TimerLog().front().period, 60u);
  EXPECT_EQ(CountLog("3C 04 06 00 0F 80 00"), 2u);
  EXPECT_EQ(CountLog("3C 04 03"), 0u);
  EXPECT_EQ(CountLog("3B 07 00 00 00 00 00 00 00 02"), 1u);
}

TEST_F(UpdateSequenceTest, ChangedZoneSetsTheMarkForTheRestOfTheRun) {
  Drive d;
  d.revision = "1300";
  d.extra = "strategy-commit changes-zone\n";
  auto dlg = Admitted(d, "[VARO]\nWriteStretage=1\n", "2200");
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "FW Zone Checksum is Not Correct !!"}));
  EXPECT_EQ(dlg->m_nZoneFailMark, ZONE_FAIL_MARK);
  EXPECT_EQ(dlg->m_bWriteStrategy, 0);
  dlg->OnInitDialog();
  EXPECT_EQ(dlg->m_bWriteStrategy, 0);
}

TEST_F(UpdateSequenceTest, TwoFailedZoneReadsAreNeverAnUnchangedZone) {
  Drive d;
  d.revision = "1300";
  d.extra = "fault readzone 2 check 05 24 00\n";
  auto dlg = Admitted(d, "[VARO]\nWriteStretage=1\n", "2200");
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts().at(1), "FW Zone Checksum is Not Correct !!");
}

TEST_F(UpdateSequenceTest, AFailedZoneReadIsNeverAnUnchangedZoneThoughItsCodeEqualsTheChecksum) {
  Drive d;
  d.revision = "1300";
  d.extra = "zone-sum AA55AA55\nfault readzone 2 check 03 11 00\n";  // the check condition's own code
  auto dlg = Admitted(d, "[VARO]\nWriteStretage=1\n", "2200");
  RunUpdate(dlg);
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "FW Zone Checksum is Not Correct !!"}));
  EXPECT_EQ(dlg->m_nZoneFailMark, ZONE_FAIL_MARK);
}

TEST_F(UpdateSequenceTest, ProgressMovesByTicks) {
  Drive d;
  d.extra = "fault commit 1 check 04 00 00\n";
  auto dlg = Admitted(d);
  headless::OnBox("Update was Fail", [] {});
  // Ticks while the update runs: fire the timer by hand.
  dlg->SetTimer(UPDATE_TIMER_ID, 400);
  dlg->m_progress.SetPos(0);
  for (int i = 0; i < 10; ++i) headless::FireTimer(*dlg, UPDATE_TIMER_ID);
  EXPECT_EQ(dlg->m_progress.m_nPos, 130);
  dlg->m_progress.SetPos(1001);
  headless::FireTimer(*dlg, UPDATE_TIMER_ID);
  EXPECT_EQ(dlg->m_progress.m_nPos, 1014);
  EXPECT_EQ(dlg->m_progress.m_nPercent, 101);
  dlg->KillTimer(UPDATE_TIMER_ID);
}

TEST_F(UpdateSequenceTest, CloseAfterCompletionAsksForRestartAndReleasesTheImage) {
  auto dlg = Admitted(Drive());
  RunUpdate(dlg);
  headless::Reset();
  headless::ScriptAnswers({IDCANCEL});
  headless::Click(*dlg, IDCANCEL);
  EXPECT_EQ(BoxTexts(), Strings{"Restart computer?"});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(dlg->m_pImage, nullptr);
  EXPECT_TRUE(headless::Ended(*dlg));
  EXPECT_TRUE(headless::SystemCalls().empty());
}

TEST_F(UpdateSequenceTest, RestartPathsPerPlatformFamily) {
  auto dlg = Admitted(Drive());
  RunUpdate(dlg);
  headless::Reset();
  headless::RestartScript script;
  script.adjustLastError = 1300;
  script.shutdownFails = true;
  headless::ScriptRestart(script);
  headless::Click(*dlg, IDCANCEL);
  EXPECT_EQ(BoxTexts(),
            (Strings{"Restart computer?", "AdjustTokenPrivileges enable failed.", "Aborted System Shutdown!"}));
  Strings calls = headless::SystemCalls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], "OpenProcessToken(40)");
  EXPECT_EQ(calls[1], "LookupPrivilegeValue(null,SeShutdownPrivilege)");
  EXPECT_EQ(calls[3], "InitiateSystemShutdown(null,null,0,1,1)");
  EXPECT_TRUE(headless::Ended(*dlg));

  headless::Reset();
  auto dlg9x = Admitted(Drive(), "", "1.20");
  dlg9x->m_aspi.m_bWin9x = 1;
  RunUpdate(dlg9x);
  headless::Click(*dlg9x, IDCANCEL);
  EXPECT_EQ(headless::SystemCalls(), Strings{"ExitWindowsEx(6,0)"});
}

TEST_F(UpdateSequenceTest, CaptionOtherThanCloseNeverAsks) {
  auto dlg = Admitted(Drive());
  dlg->SetDlgItemText(IDCANCEL, "close");
  headless::Click(*dlg, IDCANCEL);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(headless::Ended(*dlg));
}

TEST_F(UpdateSequenceTest, TokenFailureWritesTheLineAndEndsTheProcess) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto dlg = Admitted(Drive());
  RunUpdate(dlg);
  headless::RestartScript script;
  script.openTokenFails = true;
  headless::ScriptRestart(script);
  EXPECT_EXIT(headless::Click(*dlg, IDCANCEL), ::testing::ExitedWithCode(0), "");
}

TEST_F(UpdateSequenceTest, UnattendedRunThroughThePrivateMessage) {
  Drive d;
  MakeImage("new.bin", "1.10");
  UseDrives({d});
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n[FILE]\nFile Name=new.bin\n");
  auto dlg = OpenDialog();
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_OPEN));
  headless::Reset();
  dlg->SendMessage(WM_ORVEX_AUTORUN);
  ASSERT_TRUE(headless::JoinWorkers(20000));
  EXPECT_EQ(BoxTexts(), (Strings{"Are you sure?", "Update was Completed!", "Restart computer?"}));
  EXPECT_EQ(dlg->m_nRunResult, RUN_OK);
  EXPECT_TRUE(headless::Ended(*dlg));
  EXPECT_EQ(dlg->m_pImage, nullptr);
}

TEST_F(UpdateSequenceTest, PrivateMessageOutsideAutoModeClosesOnlyAfterTheWorker) {
  auto dlg = Admitted(Drive());
  std::string image = dir_ + "/new.bin";
  headless::ScriptFileDialog(image);
  bool endedDuringWorker = true;
  headless::OnBox("Update was Completed!", [&] { endedDuringWorker = headless::Ended(*dlg); });
  dlg->SendMessage(WM_ORVEX_AUTORUN);
  ASSERT_TRUE(headless::JoinWorkers(20000));
  EXPECT_FALSE(endedDuringWorker);
  EXPECT_TRUE(headless::Ended(*dlg));
  EXPECT_EQ(BoxTexts().back(), "Restart computer?");
}

TEST_F(UpdateSequenceTest, EnterNeverEndsTheDialog) {
  auto dlg = Admitted(Drive());
  auto enter = [dlg] { dlg->SendMessage(WM_COMMAND, IDOK); };  // what the dialog manager sends
  enter();
  EXPECT_FALSE(headless::Ended(*dlg));
  headless::OnBox("Update was Completed!", enter);  // while the worker runs
  RunUpdate(dlg);
  EXPECT_FALSE(headless::Ended(*dlg));
  EXPECT_EQ(headless::Text(*dlg, IDCANCEL), "Close");
}

TEST_F(UpdateSequenceTest, APrivateMessageWhileOpenWaitsForTheFileDialogIsIgnored) {
  UseDrives({Drive()});
  std::string image = MakeImage("new.bin", "1.10");
  auto dlg = OpenDialog();
  headless::WhileFileDialogOpen([dlg] { dlg->SendMessage(WM_ORVEX_AUTORUN); });
  headless::ScriptFileDialog(image);
  headless::Click(*dlg, IDC_OPEN);
  EXPECT_EQ(headless::FileDialogs().size(), 1u);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_EQ(CountLog("3B"), 0u);
  EXPECT_FALSE(headless::Ended(*dlg));
}

TEST_F(UpdateSequenceTest, APrivateMessageWhileAStartUpBoxOrTheAboutBoxIsOpenIsIgnored) {
  UseDrives({Drive()});
  MakeImage("new.bin", "1.10");
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=5\n[FILE]\nFile Name=new.bin\n");  // a model not present
  dialogs_.push_back(std::make_unique<CUpdaterDlg>());
  CUpdaterDlg* dlg = dialogs_.back().get();
  headless::OnBox("Not detected target drive", [dlg] { dlg->SendMessage(WM_ORVEX_AUTORUN); });
  headless::OpenDialog(*dlg);
  EXPECT_EQ(BoxTexts(), Strings{"Not detected target drive"});
  EXPECT_EQ(dlg->m_pImage, nullptr);
  EXPECT_FALSE(headless::Ended(*dlg));

  headless::OnModal([dlg](CDialog& about) {
    dlg->SendMessage(WM_ORVEX_AUTORUN);
    headless::Click(about, IDOK);
  });
  dlg->SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX);
  EXPECT_EQ(BoxTexts(), Strings{"Not detected target drive"});
  EXPECT_FALSE(headless::Ended(*dlg));
  EXPECT_EQ(CountLog("F0"), 0u);
}

TEST_F(UpdateSequenceTest, PrivateMessageWithoutAnImageTouchesNoDrive) {
  UseDrives({Drive()});
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n");
  auto dlg = OpenDialog();
  headless::Reset();
  size_t before = SimLog().size();
  dlg->SendMessage(WM_ORVEX_AUTORUN);
  EXPECT_EQ(CountLog("3B"), 0u);
  EXPECT_GE(SimLog().size(), before);
  EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
  EXPECT_TRUE(headless::Ended(*dlg));
}

}  // namespace

namespace {

class CompletedUpdateTest : public UpdateSequenceTest {};

TEST_F(CompletedUpdateTest, APrivateMessageAfterCompletionOnlyCloses) {
  auto dlg = Admitted(Drive());
  RunUpdate(dlg);
  size_t pieces = CountLog("3B 06");
  headless::Reset();
  headless::ScriptAnswers({IDCANCEL});
  dlg->SendMessage(WM_ORVEX_AUTORUN);
  ASSERT_TRUE(headless::JoinWorkers(20000));
  EXPECT_EQ(CountLog("3B 06"), pieces);  // the firmware is not sent twice
  EXPECT_EQ(BoxTexts(), Strings{"Restart computer?"});
  EXPECT_TRUE(headless::Ended(*dlg));
  dlg->OnCancel();  // a second close step asks nothing
  EXPECT_EQ(BoxTexts().size(), 1u);
}

}  // namespace
