// The image push button, hosted in the main dialog's template: its painted
// states pixel by pixel, its caption draws, and its default-button, focus
// and double-click behaviour.
#include <gtest/gtest.h>

#include "platform/headless/HeadlessWindow.h"
#include "platform/headless/Inspect.h"
#include "platform/headless/InspectDraw.h"
#include "tests/unit/DrawTestSupport.h"

namespace {

const Color kFace = MakeColor(192, 192, 192);
const Color kHilite = MakeColor(255, 255, 255);
const Color kLight = MakeColor(223, 223, 223);
const Color kShadow = MakeColor(128, 128, 128);
const Color kDark = MakeColor(0, 0, 0);
const Color kBlack = MakeColor(0, 0, 0);
const Color kIn = MakeColor(220, 0, 0);    // first icon: held down
const Color kOut = MakeColor(0, 0, 220);   // second icon: otherwise

class ImageButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    art.Write("art/update_in.ico", drawtest::SolidIco(32, kIn, 2));
    art.Write("art/update_out.ico", drawtest::SolidIco(32, kOut, 2));
    art.Write("art/cancel_in.ico", drawtest::SolidIco(32, kIn, 2));
    art.Write("art/cancel_out.ico", drawtest::SolidIco(32, kOut, 2));
  }
  void TearDown() override { headless::Reset(); }

  // Opens the dialog and sets the buttons up as the main dialog does.
  void Open() {
    headless::OpenDialog(dlg);
    update = headless::Item(dlg, IDC_UPDATE);
    cancel = headless::Item(dlg, IDCANCEL);
    ASSERT_EQ(dlg.m_btnUpdate.SetIcon(IDI_UPDATE_IN, IDI_UPDATE_OUT), 0);
    dlg.m_btnUpdate.SetFlat(false, true);
    ASSERT_EQ(dlg.m_btnCancel.SetIcon(IDI_CANCEL_IN, IDI_CANCEL_OUT), 0);
    dlg.m_btnCancel.SetFlat(false, true);
  }
  void Paint(PlatWindow* w) {
    headless::ClearTextDraws();
    w->invalid = true;
    headless::PaintIfInvalid(w);
  }
  static Color At(PlatWindow* w, int x, int y) { return headless::WindowPixel(w, x, y); }

  drawtest::ArtDir art;
  drawtest::HostDlg dlg;
  PlatWindow* update = nullptr;
  PlatWindow* cancel = nullptr;
};

// Update is 118 x 28: the icon sits at x = (118 - 32) / 6 = 14, y = -2, its
// opaque part two pixels in; the caption "Update" (36 x 13) is centred in
// (18, 0, 118, 28).
TEST_F(ImageButtonTest, NormalButtonIsRaisedWithSecondIconAndCaption) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  ASSERT_EQ(CWnd::GetFocusWindow(), cancel);
  int gdi = headless::LiveGdiObjects(), misuse = headless::GdiMisuses();
  Paint(update);
  EXPECT_EQ(headless::LiveGdiObjects(), gdi);  // pens and brushes of the paint are gone
  EXPECT_EQ(headless::GdiMisuses(), misuse);
  ASSERT_EQ(update->surface.width, 118);
  ASSERT_EQ(update->surface.height, 28);

  EXPECT_EQ(At(update, 0, 0), kHilite);   // no frame: neither focused nor default
  EXPECT_EQ(At(update, 0, 26), kHilite);
  EXPECT_EQ(At(update, 116, 0), kHilite);
  EXPECT_EQ(At(update, 1, 1), kLight);
  EXPECT_EQ(At(update, 1, 25), kLight);
  EXPECT_EQ(At(update, 115, 1), kLight);
  EXPECT_EQ(At(update, 117, 0), kDark);
  EXPECT_EQ(At(update, 117, 14), kDark);
  EXPECT_EQ(At(update, 0, 27), kDark);
  EXPECT_EQ(At(update, 116, 1), kShadow);
  EXPECT_EQ(At(update, 116, 26), kShadow);
  EXPECT_EQ(At(update, 1, 26), kShadow);
  EXPECT_EQ(At(update, 60, 26), kShadow);
  EXPECT_EQ(At(update, 110, 5), kFace);

  EXPECT_EQ(At(update, 15, 10), kFace);
  EXPECT_EQ(At(update, 16, 10), kOut);
  EXPECT_EQ(At(update, 43, 10), kOut);
  EXPECT_EQ(At(update, 44, 10), kFace);

  auto draws = headless::TextDraws(update);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].text, "Update");
  EXPECT_EQ(draws[0].rect, CRect(50, 7, 86, 20));
  EXPECT_EQ(draws[0].flags, DT_WORDBREAK | DT_CENTER);
  EXPECT_EQ(draws[0].color, kBlack);
  EXPECT_EQ(draws[0].bkMode, TRANSPARENT);
  EXPECT_FALSE(dlg.m_btnUpdate.m_bPressed || dlg.m_btnUpdate.m_bFocused || dlg.m_btnUpdate.m_bDisabled);
}

TEST_F(ImageButtonTest, FocusedButtonHasFrameFocusRectangleAndFocusColours) {
  Open();
  const Color focusFace = MakeColor(180, 200, 220), focusText = MakeColor(0, 90, 0);
  dlg.m_btnCancel.m_crBkFocus = focusFace;
  dlg.m_btnCancel.m_crFgFocus = focusText;
  ASSERT_EQ(CWnd::GetFocusWindow(), cancel);
  Paint(cancel);  // 114 x 28

  EXPECT_EQ(At(cancel, 0, 0), kBlack);
  EXPECT_EQ(At(cancel, 113, 27), kBlack);
  EXPECT_EQ(At(cancel, 60, 0), kBlack);
  // The border runs one pixel further in.
  EXPECT_EQ(At(cancel, 1, 1), kHilite);
  EXPECT_EQ(At(cancel, 2, 2), kLight);
  EXPECT_EQ(At(cancel, 112, 14), kDark);
  EXPECT_EQ(At(cancel, 111, 14), kShadow);
  // Focus rectangle: (4, 4, 110, 24), every other pixel inverted.
  EXPECT_EQ(At(cancel, 4, 4), focusFace ^ 0xFFFFFF);
  EXPECT_EQ(At(cancel, 5, 4), focusFace);
  EXPECT_EQ(At(cancel, 109, 11), focusFace ^ 0xFFFFFF);
  EXPECT_EQ(At(cancel, 109, 23), focusFace ^ 0xFFFFFF);
  EXPECT_EQ(At(cancel, 100, 8), focusFace);

  auto draws = headless::TextDraws(cancel);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].color, focusText);
}

TEST_F(ImageButtonTest, HeldDownShowsFirstIconAndMovesEverythingByOnePixel) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  headless::Send(update, WM_LBUTTONDOWN, 0, 0);
  Paint(update);
  EXPECT_TRUE(dlg.m_btnUpdate.m_bPressed);
  EXPECT_TRUE(dlg.m_btnUpdate.m_bFocused);

  EXPECT_EQ(At(update, 0, 0), kBlack);     // focus frame
  EXPECT_EQ(At(update, 1, 1), kShadow);    // flat shadow frame instead of the border
  EXPECT_EQ(At(update, 116, 26), kShadow);
  EXPECT_EQ(At(update, 2, 25), kFace);
  EXPECT_EQ(At(update, 16, 10), kFace);
  EXPECT_EQ(At(update, 17, 10), kIn);
  EXPECT_EQ(At(update, 44, 10), kIn);
  EXPECT_EQ(At(update, 45, 10), kFace);
  EXPECT_EQ(At(update, 30, 0), kBlack);    // the icon starts a row lower
  auto draws = headless::TextDraws(update);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, CRect(51, 8, 87, 21));

  headless::Send(update, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(dlg.Count(IDC_UPDATE, BN_CLICKED), 1);
  Paint(update);
  EXPECT_FALSE(dlg.m_btnUpdate.m_bPressed);
  EXPECT_EQ(At(update, 16, 10), kOut);
}

TEST_F(ImageButtonTest, DisabledButtonEmbossesTheSecondIconAndGreysTheCaption) {
  Open();  // Update is disabled in the template
  Paint(update);
  EXPECT_TRUE(dlg.m_btnUpdate.m_bDisabled);
  // The second icon's shape: highlight one pixel right and down, shadow in place.
  EXPECT_EQ(At(update, 16, 10), kShadow);
  EXPECT_EQ(At(update, 30, 10), kShadow);
  EXPECT_EQ(At(update, 43, 10), kShadow);
  EXPECT_EQ(At(update, 44, 10), kHilite);
  EXPECT_EQ(At(update, 44, 27), kHilite);
  EXPECT_EQ(At(update, 15, 10), kFace);
  EXPECT_EQ(At(update, 30, 27), kShadow);  // the opaque part spans rows 0 to 27

  auto draws = headless::TextDraws(update);
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].color, kHilite);
  EXPECT_EQ(draws[0].rect, CRect(51, 8, 87, 21));
  EXPECT_EQ(draws[1].color, kShadow);
  EXPECT_EQ(draws[1].rect, CRect(50, 7, 86, 20));
  EXPECT_EQ(draws[1].bkMode, TRANSPARENT);
}

TEST_F(ImageButtonTest, DefaultButtonDrawsItsFrameAndAnswersAsDefault) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  ASSERT_EQ(CWnd::GetFocusWindow(), cancel);
  LRESULT_T code = headless::Send(update, WM_GETDLGCODE, 0, 0);
  EXPECT_EQ(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON), DLGC_UNDEFPUSHBUTTON);

  // The dialog makes it the default button; it stays owner-drawn.
  headless::Send(update, BM_SETSTYLE, BS_DEFPUSHBUTTON | BS_CENTER, 1);
  EXPECT_TRUE(dlg.m_btnUpdate.m_bDefault);
  EXPECT_EQ(update->style & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_NE(update->style & BS_CENTER, 0u);
  code = headless::Send(update, WM_GETDLGCODE, 0, 0);
  EXPECT_EQ(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON), DLGC_DEFPUSHBUTTON);
  Paint(update);
  EXPECT_EQ(At(update, 0, 0), kBlack);
  EXPECT_EQ(At(update, 1, 1), kHilite);
  EXPECT_EQ(At(update, 4, 4), kFace);  // no focus rectangle without the focus

  // Other types leave the flag alone; a plain push button clears it.
  headless::Send(update, BM_SETSTYLE, BS_GROUPBOX, 0);
  EXPECT_TRUE(dlg.m_btnUpdate.m_bDefault);
  headless::Send(update, BM_SETSTYLE, BS_PUSHBUTTON, 1);
  EXPECT_FALSE(dlg.m_btnUpdate.m_bDefault);
  Paint(update);
  EXPECT_EQ(At(update, 0, 0), kHilite);
}

TEST_F(ImageButtonTest, BindingTurnsPushButtonsOwnerDrawnAndKeepsTheDefault) {
  dlg.beforeBind = [](drawtest::HostDlg* d) {
    PlatWindow* w = headless::Item(*d, IDC_UPDATE);
    w->style = (w->style & ~BS_TYPEMASK) | BS_DEFPUSHBUTTON;
  };
  Open();
  EXPECT_TRUE(dlg.m_btnUpdate.m_bDefault);
  EXPECT_FALSE(dlg.m_btnCancel.m_bDefault);
  EXPECT_EQ(update->style & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_EQ(cancel->style & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_NE(update->style & WS_TABSTOP, 0u);
  EXPECT_EQ(headless::Send(update, BM_GETCHECK, 0, 0), 0);
  EXPECT_EQ(headless::Send(update, BM_SETCHECK, 1, 0), 0);
  EXPECT_EQ(headless::Send(update, BM_GETCHECK, 0, 0), 0);
}

TEST_F(ImageButtonTest, EmptyCaptionCentresTheIcon) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  dlg.m_btnUpdate.SetWindowText("");
  Paint(update);
  // x = (118 - 32) / 2 = 43, opaque from 45.
  EXPECT_EQ(At(update, 44, 10), kFace);
  EXPECT_EQ(At(update, 45, 10), kOut);
  EXPECT_EQ(At(update, 72, 10), kOut);
  EXPECT_EQ(At(update, 73, 10), kFace);
  EXPECT_TRUE(headless::TextDraws(update).empty());
}

TEST_F(ImageButtonTest, WithoutSecondIconTheFirstShowsInEveryState) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  ASSERT_EQ(dlg.m_btnUpdate.SetIcon(IDI_UPDATE_IN, 0), 0);
  Paint(update);
  EXPECT_EQ(At(update, 30, 10), kIn);
  // A second icon whose file is missing behaves the same.
  art.Write("art/update_out.ico", {});
  ASSERT_EQ(dlg.m_btnUpdate.SetIcon(IDI_UPDATE_IN, IDI_UPDATE_OUT), 0);
  EXPECT_EQ(dlg.m_btnUpdate.m_hIconOut, nullptr);
  Paint(update);
  EXPECT_EQ(At(update, 30, 10), kIn);
}

TEST_F(ImageButtonTest, UnreadableIconsLeaveAPlainButtonAndNoLeak) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  int icons = headless::LiveIcons();
  IconHandle broken = headless::MakeTestIcon(32, 32, kIn, 0, false);
  EXPECT_EQ(dlg.m_btnUpdate.SetIconHandles(broken, headless::MakeTestIcon(32, 32, kOut)), 1);
  EXPECT_EQ(dlg.m_btnUpdate.m_hIconIn, nullptr);
  EXPECT_EQ(dlg.m_btnUpdate.m_hIconOut, nullptr);
  EXPECT_EQ(headless::LiveIcons(), icons - 2);  // the two it held before, and both new ones, freed
  EXPECT_EQ(dlg.m_btnUpdate.SetIconHandles(headless::MakeTestIcon(32, 32, kIn),
                                           headless::MakeTestIcon(32, 32, kOut, 0, false)),
            1);
  EXPECT_EQ(headless::LiveIcons(), icons - 2);

  Paint(update);
  EXPECT_EQ(At(update, 30, 10), kFace);
  EXPECT_EQ(At(update, 0, 0), kHilite);
  auto draws = headless::TextDraws(update);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, CRect(41, 7, 77, 20));  // caption not shifted

  // A first icon that cannot be loaded: no icons, and the loaded second one
  // is not kept.
  art.Write("art/update_in.ico", {0, 0, 1, 0, 1, 0});
  EXPECT_EQ(dlg.m_btnUpdate.SetIcon(IDI_UPDATE_IN, IDI_UPDATE_OUT), 0);
  EXPECT_EQ(dlg.m_btnUpdate.m_hIconIn, nullptr);
  EXPECT_EQ(headless::LiveIcons(), icons - 2);
}

TEST(ImageButtonAlone, OwnsItsIconsUntilReplacedOrDestroyed) {
  int icons = headless::LiveIcons();
  {
    CImageButton button;
    IconHandle same = headless::MakeTestIcon(16, 16, kIn);
    EXPECT_EQ(button.SetIconHandles(same, same), 0);  // one icon in both roles
    EXPECT_EQ(button.m_cxIconIn, 16);
    EXPECT_EQ(button.m_cyIconOut, 16);
    EXPECT_EQ(button.SetIconHandles(headless::MakeTestIcon(16, 16, kIn), headless::MakeTestIcon(24, 24, kOut)), 0);
    EXPECT_EQ(button.m_cxIconOut, 24);
    EXPECT_EQ(headless::LiveIcons(), icons + 2);
    EXPECT_EQ(button.SetIconHandles(nullptr, headless::MakeTestIcon(16, 16, kOut)), 0);
    EXPECT_EQ(headless::LiveIcons(), icons);
    button.SetIconHandles(headless::MakeTestIcon(16, 16, kIn), nullptr);
  }
  EXPECT_EQ(headless::LiveIcons(), icons);
}

TEST_F(ImageButtonTest, DoubleClickArrivesAsTwoPresses) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  headless::Send(update, WM_LBUTTONDOWN, 0, 0);
  headless::Send(update, WM_LBUTTONUP, 0, 0);
  headless::Send(update, WM_LBUTTONDBLCLK, 0, 0);
  EXPECT_TRUE(update->pushed);  // held down like a press
  headless::Send(update, WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(dlg.Count(IDC_UPDATE, BN_CLICKED), 2);
  EXPECT_EQ(dlg.Count(IDC_UPDATE, BN_DOUBLECLICKED), 0);
}

TEST_F(ImageButtonTest, FocusFollowsClicksAndLeavesADisabledButton) {
  Open();
  dlg.m_btnUpdate.EnableWindow(true);
  ASSERT_EQ(CWnd::GetFocusWindow(), cancel);
  // The click notification gives the button the focus, and still reaches the dialog.
  headless::Send(dlg.m_hWnd, WM_COMMAND, static_cast<WPARAM_T>(IDC_UPDATE | (BN_CLICKED << 16)),
                 reinterpret_cast<LPARAM_T>(update));
  EXPECT_EQ(CWnd::GetFocusWindow(), update);
  EXPECT_EQ(dlg.Count(IDC_UPDATE, BN_CLICKED), 1);

  // Disabled while focused: the focus moves on to the next tab stop.
  dlg.m_btnUpdate.EnableWindow(false);
  EXPECT_EQ(CWnd::GetFocusWindow(), headless::Item(dlg, IDC_STATUS));
}

TEST_F(ImageButtonTest, SystemColourChangeResetsTheColoursAndBackgroundIsHollow) {
  Open();
  dlg.m_btnUpdate.m_crBkOut = MakeColor(1, 2, 3);
  dlg.m_btnUpdate.m_crFgIn = MakeColor(4, 5, 6);
  Paint(update);
  ASSERT_FALSE(update->invalid);
  headless::Send(update, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(dlg.m_btnUpdate.m_crBkOut, kFace);
  EXPECT_EQ(dlg.m_btnUpdate.m_crFgIn, kBlack);
  EXPECT_TRUE(update->invalid);
  EXPECT_EQ(headless::Send(dlg.m_hWnd, WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM_T>(update)),
            static_cast<LRESULT_T>(HOLLOW_BRUSH));
}

}  // namespace
