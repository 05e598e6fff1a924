// The headless window system behaves like the Windows controls it stands in
// for: the product's tests are only as good as this stand-in.
#include <gtest/gtest.h>

#include <thread>

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/Thread.h"
#include "platform/headless/Inspect.h"
#include "res/ResourceIds.h"

namespace {

class ProbeDialog : public CDialog {
 public:
  ProbeDialog() : CDialog(IDD_UPDATER_DIALOG) {}
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDC_DRIVE, combo);
    DDX_Text(dx, IDC_CURRENT, current);
  }
  bool OnCommand(unsigned id, unsigned code) override {
    commands.emplace_back(id, code);
    return CDialog::OnCommand(id, code);
  }
  CComboBox combo;
  std::string current = "initial";
  std::vector<std::pair<unsigned, unsigned>> commands;
};

class HeadlessWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { headless::Reset(); }
  void TearDown() override { headless::Reset(); }
};

TEST_F(HeadlessWindowTest, TemplateControlsAreCreatedWithTextsAndStates) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  EXPECT_EQ(dlg.GetWindowText(), "Tarnquil 5.00.06W");
  EXPECT_EQ(headless::Text(dlg, IDCANCEL), "Cancel");
  EXPECT_EQ(headless::Text(dlg, IDC_UPDATE), "Update");
  EXPECT_FALSE(headless::Enabled(dlg, IDC_UPDATE));
  EXPECT_TRUE(headless::Enabled(dlg, IDCANCEL));
  EXPECT_EQ(headless::Text(dlg, IDC_CURRENT), "initial");  // pushed by data exchange
}

TEST_F(HeadlessWindowTest, ComboKeepsInsertionOrderAndSelection) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  EXPECT_EQ(dlg.combo.GetCurSel(), CB_ERR);
  dlg.combo.AddString("[10:0] b");
  dlg.combo.AddString("[2:0] a");
  EXPECT_EQ(dlg.combo.GetCount(), 2);
  EXPECT_EQ(dlg.combo.GetLBText(0), "[10:0] b");
  EXPECT_EQ(dlg.combo.SetCurSel(1), 1);
  EXPECT_EQ(dlg.combo.GetCurSel(), 1);
  EXPECT_EQ(dlg.combo.SetCurSel(-1), CB_ERR);
  EXPECT_EQ(dlg.combo.GetCurSel(), CB_ERR);
  EXPECT_EQ(dlg.combo.SetCurSel(5), CB_ERR);
  dlg.combo.ResetContent();
  EXPECT_EQ(dlg.combo.GetCount(), 0);
}

TEST_F(HeadlessWindowTest, EditSelectionAndReplaceSelection) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  dlg.SetDlgItemText(IDC_STATUS, "old text");
  dlg.SendDlgItemMessage(IDC_STATUS, EM_SETSEL, 0, static_cast<LPARAM_T>(-1));
  dlg.SendDlgItemMessage(IDC_STATUS, EM_REPLACESEL, 0, reinterpret_cast<LPARAM_T>("new"));
  EXPECT_EQ(headless::Text(dlg, IDC_STATUS), "new");
  dlg.SendDlgItemMessage(IDC_STATUS, EM_SETSEL, 1, 2);
  dlg.SendDlgItemMessage(IDC_STATUS, EM_REPLACESEL, 0, reinterpret_cast<LPARAM_T>("XY"));
  EXPECT_EQ(headless::Text(dlg, IDC_STATUS), "nXYw");
}

TEST_F(HeadlessWindowTest, ClicksReachTheDialogOnlyWhenEnabled) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  headless::Click(dlg, IDC_UPDATE);  // disabled in the template
  EXPECT_TRUE(dlg.commands.empty());
  dlg.EnableDlgItem(IDC_UPDATE, true);
  headless::Click(dlg, IDC_UPDATE);
  ASSERT_EQ(dlg.commands.size(), 1u);
  EXPECT_EQ(dlg.commands[0], std::make_pair(unsigned(IDC_UPDATE), unsigned(BN_CLICKED)));
  headless::Click(dlg, IDCANCEL);
  EXPECT_TRUE(headless::Ended(dlg));
  EXPECT_EQ(dlg.m_nModalResult, IDCANCEL);
}

TEST_F(HeadlessWindowTest, DisablingTheFocusedControlDropsTheFocus) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  EXPECT_EQ(CWnd::GetFocusWindow(), dlg.GetDlgItem(IDCANCEL));  // first tab stop
  dlg.EnableDlgItem(IDCANCEL, false);
  EXPECT_EQ(CWnd::GetFocusWindow(), nullptr);
}

TEST_F(HeadlessWindowTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  headless::ScriptAnswers({IDCANCEL});
  EXPECT_EQ(dlg.MessageBox("first", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_EQ(dlg.MessageBox("second"), IDOK);
  auto boxes = headless::Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Orvex");
  EXPECT_EQ(boxes[0].type, unsigned(MB_OKCANCEL | MB_ICONQUESTION));
  EXPECT_EQ(boxes[1].text, "second");
}

TEST_F(HeadlessWindowTest, TimersAreRecordedAndFiredOnlyWhileSet) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  EXPECT_FALSE(headless::FireTimer(dlg, 1));
  dlg.SetTimer(1, 400);
  EXPECT_EQ(headless::TimerPeriod(dlg, 1), 400u);
  EXPECT_TRUE(headless::FireTimer(dlg, 1));
  dlg.KillTimer(1);
  EXPECT_FALSE(headless::TimerActive(dlg, 1));
}

TEST_F(HeadlessWindowTest, ProgressBarClampsAndStepsLikeTheCommonControl) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  CProgressCtrl bar;
  ASSERT_TRUE(bar.SubclassDlgItem(IDC_PROGRESS, &dlg));
  bar.SetRange(0, 1000);
  bar.SetStep(13);
  bar.SetPos(2000);
  EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 1000);
  bar.SetPos(0);
  bar.StepIt();
  EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 13);
}

TEST_F(HeadlessWindowTest, AWorkerCanSendToTheDialogWhileTheTestThreadDoes) {
  ProbeDialog dlg;
  headless::OpenDialog(dlg);
  std::thread worker([&] {
    for (int i = 0; i < 200; ++i) dlg.SetDlgItemText(IDC_STATUS, "w" + std::to_string(i));
  });
  for (int i = 0; i < 200; ++i) dlg.combo.AddString("row");
  worker.join();
  EXPECT_EQ(dlg.combo.GetCount(), 200);
  EXPECT_EQ(headless::Text(dlg, IDC_STATUS), "w199");
}

// A worker deletes its thread object when it returns; starting one that
// returns at once must not touch that object afterwards (ThreadSanitizer and
// AddressSanitizer see it).
TEST_F(HeadlessWindowTest, AWorkerThatReturnsAtOnceLeavesItsStarterNothingToTouch) {
  for (int i = 0; i < 20; ++i)
    ASSERT_NE(CWinThread::Begin([](void*) -> unsigned { return 0; }, nullptr), nullptr);
  EXPECT_TRUE(headless::JoinWorkers(10000));
}

}  // namespace
