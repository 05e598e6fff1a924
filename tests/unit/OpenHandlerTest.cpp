// The Open handler: naming the file, refusals and the version rules.
#include <sys/stat.h>

#include "tests/unit/DialogFixture.h"

namespace {

using headless::BoxTexts;
using Strings = std::vector<std::string>;

class OpenHandlerTest : public DialogFixture {
 protected:
  CUpdaterDlg* Ready(const std::string& driveRevision, const std::string& ini = "") {
    Drive d;
    d.revision = driveRevision;
    UseDrives({d});
    if (!ini.empty()) WriteIni(ini);
    return OpenDialog();
  }
  void Open(CUpdaterDlg* dlg, const std::string& path) {
    headless::ScriptFileDialog(path);
    headless::Click(*dlg, IDC_OPEN);
  }
};

TEST_F(OpenHandlerTest, HigherImageIsAdmittedThroughTheFileDialog) {
  auto dlg = Ready("1.00");
  Open(dlg, MakeImage("new.bin", "1.10"));
  auto fd = headless::FileDialogs();
  ASSERT_EQ(fd.size(), 1u);
  EXPECT_EQ(fd[0].filter, "Firmware (*.bin)|*.bin|");
  EXPECT_EQ(fd[0].defExt, "bin");
  EXPECT_EQ(fd[0].initialDir, dir_);
  EXPECT_EQ(fd[0].flags, unsigned(OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_EQ(headless::Text(*dlg, IDC_NEW), "KORVELIN DVDRRW MQT-R41A  1.10");
  EXPECT_EQ(headless::Text(*dlg, IDC_FILE), "new.bin");
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Click the [Update] button for Downloading!");
  EXPECT_EQ(CountLog("F0 12 20"), 1u);  // one identification read
}

TEST_F(OpenHandlerTest, TheFileDialogLeavesTheWorkingDirectoryWhereItWas) {
  auto dlg = Ready("1.00");
  ASSERT_EQ(mkdir((dir_ + "/images").c_str(), 0700), 0);
  const std::string image = MakeImage("images/new.bin", "1.10");
  auto cwd = [] {
    char buf[4096];
    return std::string(getcwd(buf, sizeof buf) ? buf : "");
  };
  Open(dlg, image);  // the dialog moves it to the image's folder
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_EQ(cwd(), dir_);
  headless::ScriptFileDialog("", dir_ + "/images");  // looked there, then cancelled
  headless::Click(*dlg, IDC_OPEN);
  EXPECT_EQ(cwd(), dir_);
}

TEST_F(OpenHandlerTest, CancelledFileDialogKeepsThePreviousImageButDisablesUpdate) {
  auto dlg = Ready("1.00");
  Open(dlg, MakeImage("new.bin", "1.10"));
  FirmwareImage* first = dlg->m_pImage;
  Open(dlg, "");
  EXPECT_EQ(dlg->m_pImage, first);
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
}

TEST_F(OpenHandlerTest, RefusedFilesShowTheErrorAndLeaveNoImageNorItsTexts) {
  auto dlg = Ready("1.00");
  std::string shortFile = dir_ + "/short.bin";
  std::ofstream(shortFile) << "too short";
  for (const std::string& path : {shortFile, dir_ + "/missing.bin", dir_}) {
    headless::Reset();
    Open(dlg, path);
    EXPECT_EQ(BoxTexts(), Strings{"The file you chosen is not correct. Check your file."}) << path;
    EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONHAND));
    EXPECT_EQ(dlg->m_pImage, nullptr);
    EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  }
  EXPECT_EQ(CountLog("F0 12 20"), 0u);
}

TEST_F(OpenHandlerTest, ModelMismatchRefusesAndClearsTheImageTexts) {
  auto dlg = Ready("1.00");
  Open(dlg, MakeImage("other.bin", "1.10", "DVDRRW MQT-R41a "));  // case differs
  EXPECT_EQ(BoxTexts(), Strings{"Model mismatched !"});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(dlg->m_pImage, nullptr);
  dlg->UpdateData(false);  // a later refresh must not bring the refused identity back
  EXPECT_EQ(headless::Text(*dlg, IDC_NEW), "");
  EXPECT_EQ(headless::Text(*dlg, IDC_FILE), "");

  headless::Reset();
  Open(dlg, MakeImage("idtext.bin", "1.10", "DVDRRW MQT-R41A ", "OTHER1"));
  EXPECT_EQ(BoxTexts(), Strings{"Model mismatched !"});
}

TEST_F(OpenHandlerTest, NoSelectedRowRefusesWithoutSendingAnything) {
  auto dlg = Ready("1.00");
  dlg->m_cbDrive.SetCurSel(-1);
  size_t before = SimLog().size();
  Open(dlg, MakeImage("new.bin", "1.10"));
  EXPECT_EQ(BoxTexts(), Strings{"Model mismatched !"});
  EXPECT_EQ(SimLog().size(), before);
}

TEST_F(OpenHandlerTest, SameVersionIsRefusedAndAdmittedOnlyForCodes53And54InAutoMode) {
  auto dlg = Ready("1.10");
  Open(dlg, MakeImage("same.bin", "1.10"));
  EXPECT_EQ(BoxTexts(), Strings{"Lower or Same Firmware Version!"});
  EXPECT_NE(dlg->m_pImage, nullptr);  // kept, but not admitted
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Selected lower or same firmware version! Please check again.");
  // The user sees which image was refused.
  EXPECT_EQ(headless::Text(*dlg, IDC_NEW), "KORVELIN DVDRRW MQT-R41A  1.10");
  EXPECT_EQ(headless::Text(*dlg, IDC_FILE), "same.bin");

  for (int code : {53, 54, 16}) {
    headless::Reset();
    Drive d;
    d.product = ModelForCode(code);
    d.revision = "1.10";
    UseDrives({d});
    MakeImage("same.bin", "1.10", d.product);
    WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=" + std::to_string(code) + "\n[FILE]\nFile Name=same.bin\n");
    auto autoDlg = OpenDialog();
    EXPECT_EQ(BoxTexts(), Strings{"Lower or Same Firmware Version!"}) << code;
    bool admitted = code != 16;
    EXPECT_EQ(headless::Enabled(*autoDlg, IDC_UPDATE), admitted) << code;
    EXPECT_EQ(autoDlg->m_nRunResult, admitted ? RUN_OK : RUN_FAILED) << code;
    EXPECT_EQ(headless::Enabled(*autoDlg, IDC_OPEN), !admitted) << code;
  }
}

TEST_F(OpenHandlerTest, WriteStrategyRules) {
  const std::string ws = "[VARO]\nWriteStretage=1\n";
  // Drive's main version lower: switched to a main firmware update.
  auto dlg = Ready("2100", ws);
  Open(dlg, MakeImage("ws.bin", "1200"));
  EXPECT_EQ(BoxTexts(), Strings{"Need to Main Firmware Update"});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONASTERISK));
  EXPECT_EQ(dlg->m_bWriteStrategy, 0);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  // A later Open applies the main rule: same revision is refused.
  headless::Reset();
  Open(dlg, MakeImage("ws2.bin", "2100"));
  EXPECT_EQ(BoxTexts(), Strings{"Lower or Same Firmware Version!"});

  // Drive's main version higher: the first character decides.
  headless::Reset();
  auto dlg2 = Ready("1300", ws);
  Open(dlg2, MakeImage("ws3.bin", "2200"));
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_NE(dlg2->m_bWriteStrategy, 0);
  EXPECT_TRUE(headless::Enabled(*dlg2, IDC_UPDATE));
  EXPECT_EQ(headless::Text(*dlg2, IDC_STATUS),
            "Write Stretage Update was Started.\r\nClick the [Update] button for Downloading!");

  headless::Reset();
  Open(dlg2, MakeImage("ws4.bin", "1200"));
  EXPECT_EQ(BoxTexts(), Strings{"NO NEED WS UPDATE"});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONHAND));
  EXPECT_FALSE(headless::Enabled(*dlg2, IDC_UPDATE));
  EXPECT_EQ(headless::Text(*dlg2, IDC_NEW), "KORVELIN DVDRRW MQT-R41A  1200");
  EXPECT_EQ(headless::Text(*dlg2, IDC_FILE), "ws4.bin");
}

TEST_F(OpenHandlerTest, AutoModeWithoutFileNameRefusesWithRunResult2) {
  auto dlg = Ready("1.00", "[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n");
  EXPECT_EQ(BoxTexts(), Strings{"The file you chosen is not correct. Check your file."});
  EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_TRUE(headless::FileDialogs().empty());
}

TEST_F(OpenHandlerTest, AutoModeNeverOpensACutFileName) {
  // The first 127 characters of the configured name name a real image.
  std::string name(127, 'a');
  MakeImage(name, "1.10");
  auto dlg = Ready("1.00", "[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n[FILE]\nFile Name=" + name +
                               std::string(73, 'b') + "\n");
  EXPECT_EQ(BoxTexts(), Strings{"The file you chosen is not correct. Check your file."});
  EXPECT_EQ(dlg->m_pImage, nullptr);
  EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
  EXPECT_EQ(CountLog("F0"), 0u);

  headless::Reset();
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n[FILE]\nFile Name=" + name + "\n");
  auto exact = OpenDialog();  // 127 characters are taken as they are
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_NE(exact->m_pImage, nullptr);
}

TEST_F(OpenHandlerTest, AutoOffIgnoresTheConfiguredFile) {
  auto dlg = Ready("1.00", "[MODE]\nAuto=0\n[FILE]\nFile Name=new.bin\n");
  MakeImage("new.bin", "1.10");
  Open(dlg, "");
  EXPECT_EQ(headless::FileDialogs().size(), 1u);
  EXPECT_EQ(dlg->m_pImage, nullptr);
}

TEST_F(OpenHandlerTest, SelectingAnotherDriveTakesTheAdmissionAway) {
  Drive a, b;
  b.target = 1;
  UseDrives({a, b});
  auto dlg = OpenDialog();
  Open(dlg, MakeImage("new.bin", "1.10"));
  ASSERT_TRUE(headless::Enabled(*dlg, IDC_UPDATE));
  headless::SelectRow(*dlg, IDC_DRIVE, 1);
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  size_t before = SimLog().size();
  dlg->OnUpdate();  // even when called directly, nothing reaches a drive
  EXPECT_EQ(SimLog().size(), before);
  EXPECT_TRUE(BoxTexts().empty());
}

}  // namespace
