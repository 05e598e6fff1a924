// Start-up and drive discovery of the main dialog, through the simulated
// drive library loaded for real.
#include "platform/Dc.h"
#include "platform/headless/InspectDraw.h"
#include "tests/unit/DialogFixture.h"

namespace {

using headless::BoxTexts;

class DiscoveryTest : public DialogFixture {};

TEST_F(DiscoveryTest, StartUpShowsTheFirstStatusAndAboutItemWithUpdateDisabled) {
  UseDrives({Drive()});
  auto dlg = OpenDialog();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Choose a downloaded file using the [Open] button.");
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_UPDATE));
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_TRUE(headless::Enabled(*dlg, IDCANCEL));
  const auto& menu = dlg->m_hWnd->sysMenu;
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].first, 0u);  // separator first
  EXPECT_EQ(menu[1], std::make_pair(unsigned(IDM_ABOUTBOX), std::string("&About Orvex...")));
  EXPECT_TRUE(headless::Item(*dlg, IDC_STATUS)->fmtLines);
}

TEST_F(DiscoveryTest, OneDriveIsListedSelectedAndShownAsCurrent) {
  Drive d;
  d.product = "DVDRRW MQT-R41A ";
  d.revision = "1.05";
  UseDrives({d});
  auto dlg = OpenDialog();
  ASSERT_EQ(dlg->m_cbDrive.GetCount(), 1);
  // A product ending in a blank gives two blanks before the revision.
  EXPECT_EQ(dlg->m_cbDrive.GetLBText(0), "[0:0] KORVELIN DVDRRW MQT-R41A  1.05");
  EXPECT_EQ(dlg->m_cbDrive.GetCurSel(), 0);
  EXPECT_EQ(headless::Text(*dlg, IDC_CURRENT), "KORVELIN DVDRRW MQT-R41A  1.05");
}

TEST_F(DiscoveryTest, OnlyAdmittedVendorsAreListedInScanOrderUpToFour) {
  Drive other;
  other.vendor = "OTHERCO ";
  other.target = 0;
  std::vector<Drive> drives = {other};
  for (int t = 1; t <= 5; ++t) {
    Drive d;
    d.target = t;
    d.vendor = (t % 2) ? "KORVELIN" : "QN      ";
    drives.push_back(d);
  }
  UseDrives(drives);
  auto dlg = OpenDialog();
  ASSERT_EQ(dlg->m_cbDrive.GetCount(), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(dlg->m_cbDrive.GetLBText(i).substr(0, 5), "[0:" + std::to_string(i + 1) + "]");
}

TEST_F(DiscoveryTest, AHigherAdapterFoundLaterStaysBelow) {
  Drive a, b;
  a.ha = 2;
  b.ha = 10;
  b.target = 3;
  UseDrives({b, a}, 11);
  auto dlg = OpenDialog();
  ASSERT_EQ(dlg->m_cbDrive.GetCount(), 2);
  EXPECT_EQ(dlg->m_cbDrive.GetLBText(0).substr(0, 5), "[2:0]");
  EXPECT_EQ(dlg->m_cbDrive.GetLBText(1).substr(0, 6), "[10:3]");
}

TEST_F(DiscoveryTest, NoLibraryOrNotReadyShowsCannotInitializeAndKeepsOpenEnabled) {
  NoLibrary();
  auto dlg = OpenDialog();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can not initialize ASPI32"});
  EXPECT_EQ(headless::Boxes()[0].type, unsigned(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(dlg->m_cbDrive.GetCount(), 0);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "");  // the start-up ended early

  headless::Reset();
  UseDrives({Drive()}, 1, "support 0x0401");
  auto dlg2 = OpenDialog();
  EXPECT_NE(dlg2, nullptr);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can not initialize ASPI32"});
}

TEST_F(DiscoveryTest, ALibraryWithoutItsEntryPointsIsOneThatCannotBeUsed) {
  headless::SetLibraryDir(std::string(ORVEX_SIM_DIR) + "/broken/NoSendEntry");
  auto dlg = OpenDialog();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can not initialize ASPI32"});
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
}

TEST_F(DiscoveryTest, NoAdmittedDriveDisablesOpen) {
  Drive other;
  other.vendor = "KORVELI ";
  UseDrives({other});
  auto dlg = OpenDialog();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"There is not any drive"});
  EXPECT_FALSE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_EQ(dlg->m_cbDrive.GetCount(), 0);
}

TEST_F(DiscoveryTest, AutomaticModePicksTheLastDriveOfTheConfiguredModel) {
  Drive a, b, c;
  a.product = "DVDRRW MQT-R41A ";
  b.product = "DVDRRW MQT-R41A ";
  b.target = 1;
  c.product = " DVDRRW MQT-R41A";
  c.target = 2;
  UseDrives({a, b, c});
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=16\n");
  auto dlg = OpenDialog();
  EXPECT_EQ(dlg->m_cbDrive.GetCurSel(), 1);
  EXPECT_EQ(dlg->m_nAutoDetect, 16);

  headless::Reset();
  WriteIni("[mode]\nauto=1\n[Model]\nautodetect=50\n");  // letter case does not matter
  auto dlg2 = OpenDialog();
  EXPECT_EQ(dlg2->m_cbDrive.GetCurSel(), 2);  // blanks count
}

TEST_F(DiscoveryTest, AutomaticModeWithoutCodeLooksForTheFirstModel) {
  Drive a, b;
  a.product = "DVDRRW MQT-R41A ";
  b.product = "DVD-RAM MQT-R41A";
  b.target = 4;
  UseDrives({a, b});
  WriteIni("[MODE]\nAuto=1\n");
  auto dlg = OpenDialog();
  EXPECT_EQ(dlg->m_nAutoDetect, 0);
  EXPECT_EQ(dlg->m_cbDrive.GetCurSel(), 1);
}

TEST_F(DiscoveryTest, AutomaticModeWithoutMatchSelectsNothingAndStops) {
  UseDrives({Drive()});
  WriteIni("[MODE]\nAuto=1\n[MODEL]\nAutoDetect=39\n");
  auto dlg = OpenDialog();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Not detected target drive"});
  EXPECT_EQ(dlg->m_cbDrive.GetCurSel(), CB_ERR);
  EXPECT_EQ(headless::Text(*dlg, IDC_CURRENT), "");
  EXPECT_EQ(dlg->m_nRunResult, RUN_FAILED);
  EXPECT_TRUE(headless::Enabled(*dlg, IDC_OPEN));
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "");
}

TEST_F(DiscoveryTest, ModelTableMapsUnknownCodesToTheFirstRow) {
  EXPECT_STREQ(ModelForCode(0), "DVD-RAM MQT-R41A");
  EXPECT_STREQ(ModelForCode(14), "DVD-RAM MQT-R41A");
  EXPECT_STREQ(ModelForCode(-3), "DVD-RAM MQT-R41A");
  EXPECT_STREQ(ModelForCode(16), "DVDRRW MQT-R41A ");
  EXPECT_STREQ(ModelForCode(50), " DVDRRW MQT-R41A");
  EXPECT_STREQ(ModelForCode(54), "DVD+-RW MQT-R74D");
}

TEST_F(DiscoveryTest, SelectionChangeUpdatesCurrentAndSendsNothing) {
  Drive a, b;
  b.target = 1;
  b.revision = "2.00";
  UseDrives({a, b});
  auto dlg = OpenDialog();
  size_t before = SimLog().size();
  headless::SelectRow(*dlg, IDC_DRIVE, 1);
  EXPECT_EQ(headless::Text(*dlg, IDC_CURRENT), "KORVELIN " + b.product + " 2.00");
  EXPECT_EQ(SimLog().size(), before);
}

TEST_F(DiscoveryTest, MissingArtworkNeitherStopsTheStartUpNorThePainting) {
  UseDrives({Drive()});
  headless::SetArtDir(dir_ + "/no-art-here");
  auto dlg = OpenDialog();
  headless::PaintAll(*dlg);
  headless::SetArtDir("");
  EXPECT_EQ(dlg->m_hIcon, nullptr);
  EXPECT_EQ(headless::Text(*dlg, IDC_STATUS), "Choose a downloaded file using the [Open] button.");
  EXPECT_EQ(dlg->m_cbDrive.GetCount(), 1);
  EXPECT_FALSE(dlg->m_progress.m_bHasBitmap);
  // The buttons still paint their faces: a pixel of Cancel's face.
  PlatWindow* cancel = headless::Item(*dlg, IDCANCEL);
  EXPECT_EQ(cancel->surface.At(cancel->surface.width / 2, 4), CDC::GetSysColor(COLOR_BTNFACE));
}

TEST_F(DiscoveryTest, ASecondStartUpKeepsListRowsAndTableRowsInStep) {
  Drive a, b;
  b.target = 1;
  UseDrives({a, b});
  auto dlg = OpenDialog();
  dlg->OnInitDialog();
  EXPECT_EQ(dlg->m_cbDrive.GetCount(), dlg->m_aspi.m_nDrives);
  EXPECT_EQ(dlg->m_aspi.m_nDrives, 2);
  EXPECT_EQ(dlg->m_hWnd->sysMenu.size(), 2u);  // no second About item
}

TEST_F(DiscoveryTest, ExitAndAboutAndMinimisedPainting) {
  UseDrives({Drive()});
  auto dlg = OpenDialog();
  std::string aboutText;
  headless::OnModal([&](CDialog& about) {
    aboutText = headless::Text(about, IDC_ABOUT_TEXT);
    headless::Click(about, IDOK);
  });
  dlg->SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX);
  EXPECT_EQ(headless::ModalsRun(), std::vector<int>{IDD_ABOUTBOX});
  EXPECT_EQ(aboutText, "Orvex Version 5.00.05W");
  EXPECT_FALSE(headless::Ended(*dlg));
  EXPECT_EQ(dlg->OnQueryDragIcon(), dlg->m_hIcon);
  headless::SetIconic(*dlg, true);
  headless::PaintAll(*dlg);  // paints the icon without crashing
  headless::Click(*dlg, IDCANCEL);
  EXPECT_TRUE(headless::Ended(*dlg));
  EXPECT_TRUE(BoxTexts().empty());  // no restart question before an update
}

}  // namespace
