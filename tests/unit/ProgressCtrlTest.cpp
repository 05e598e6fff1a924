// The percentage progress bar, hosted in the main dialog's template and
// checked pixel by pixel on its headless surface.
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/headless/HeadlessWindow.h"
#include "platform/headless/Inspect.h"
#include "platform/headless/InspectDraw.h"
#include "tests/unit/DrawTestSupport.h"

namespace {

const Color kBack = MakeColor(200, 255, 200);
const Color kBlack = MakeColor(0, 0, 0);

// Every pixel of the test bitmap tells where it came from.
Color BarPixel(int x, int y) { return MakeColor(x, 100 + 5 * y, 50); }

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    art.Write("art/progress_bar.bmp", drawtest::Bmp32TopDown(248, 24, BarPixel));
    headless::OpenDialog(dlg);
    bar = headless::Item(dlg, IDC_PROGRESS);
    ASSERT_NE(bar, nullptr);
  }
  void TearDown() override { headless::Reset(); }

  // As the main dialog configures its bar.
  void Configure() {
    dlg.m_progress.SetRange(0, 1000);
    dlg.m_progress.SetStep(13);
    dlg.m_progress.SetTextStyle(true, kBlack);
    ASSERT_TRUE(dlg.m_progress.SetBarBitmap(IDB_PROGRESS_BAR));
    dlg.m_progress.SetColors(kBack, MakeColor(64, 128, 64), MakeColor(64, 128, 64));
  }
  void Paint() {
    headless::ClearTextDraws();
    bar->invalid = true;
    dlg.m_progress.UpdateWindow();
  }
  Color At(int x, int y) const { return headless::WindowPixel(bar, x, y); }
  int Width() const { return bar->rect.Width(); }
  int Height() const { return bar->rect.Height(); }
  void ExpectOutline() {
    int r = Width() - 1, b = Height() - 1;
    for (int x = 0; x <= r; x += 7) {
      EXPECT_EQ(At(x, 0), kBlack) << x;
      EXPECT_EQ(At(x, b), kBlack) << x;
    }
    for (int y = 0; y <= b; ++y) {
      EXPECT_EQ(At(0, y), kBlack) << y;
      EXPECT_EQ(At(r, y), kBlack) << y;
    }
  }

  drawtest::ArtDir art;
  drawtest::HostDlg dlg;
  PlatWindow* bar = nullptr;
};

struct BarCase {
  int pos;
  int percent;
};

class ProgressBarAt : public ProgressTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(ProgressBarAt, PaintsBitmapPartOutlineAndCentredText) {
  Configure();
  const BarCase c = GetParam();
  int gdi = headless::LiveGdiObjects(), dcs = headless::LiveDCs(), misuse = headless::GdiMisuses();
  dlg.m_progress.SetPos(c.pos);
  EXPECT_EQ(dlg.m_progress.m_nPercent, c.percent);
  Paint();

  ASSERT_EQ(Width(), 252);
  ASSERT_EQ(Height(), 28);
  ExpectOutline();
  // The bar ends where the percentage says, and never on the right outline.
  int right = 1 + c.percent * Width() / 100;
  if (right >= Width()) right = Width() - 1;
  // Inside the bar: the bitmap's top-left part, unstretched. The bar is two
  // columns longer and two rows taller than the bitmap: there its last
  // column and last row carry on, so the bar is filled to its length.
  for (int x = 1; x < Width() - 1; ++x) {
    if (x < right) {
      int bx = std::min(x - 1, 247);
      ASSERT_EQ(At(x, 1), BarPixel(bx, 0)) << x;
      ASSERT_EQ(At(x, 13), BarPixel(bx, 12)) << x;
      ASSERT_EQ(At(x, 24), BarPixel(bx, 23)) << x;
      ASSERT_EQ(At(x, 25), BarPixel(bx, 23)) << x;
      ASSERT_EQ(At(x, 26), BarPixel(bx, 23)) << x;
    } else {
      ASSERT_EQ(At(x, 1), kBack) << x;
      ASSERT_EQ(At(x, 13), kBack) << x;
    }
  }

  auto draws = headless::TextDraws(bar);
  ASSERT_EQ(draws.size(), 1u);
  std::string text = std::to_string(c.percent) + " %";
  EXPECT_EQ(draws[0].text, text);
  EXPECT_EQ(draws[0].rect, CRect(0, 0, 252, 28));
  EXPECT_EQ(draws[0].flags, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(draws[0].color, kBlack);
  EXPECT_EQ(draws[0].bkMode, TRANSPARENT);
  int w = static_cast<int>(text.size()) * headless::kCharWidth;
  EXPECT_EQ(draws[0].box.left, (252 - w) / 2);
  EXPECT_EQ(draws[0].box.top, (28 - headless::kLineHeight) / 2);

  // Everything made for the paint is gone again.
  EXPECT_EQ(headless::LiveGdiObjects(), gdi);
  EXPECT_EQ(headless::LiveDCs(), dcs);
  EXPECT_EQ(headless::GdiMisuses(), misuse);
}

INSTANTIATE_TEST_SUITE_P(Positions, ProgressBarAt,
                         ::testing::Values(BarCase{0, 0}, BarCase{500, 50}, BarCase{988, 98},
                                           BarCase{1000, 100}, BarCase{1001, 100}, BarCase{1014, 101}));

TEST_F(ProgressTest, AboveOneHundredDrawsLikeOneHundred) {
  Configure();
  dlg.m_progress.SetPos(1000);
  Paint();
  std::vector<Color> full = bar->surface.pixels;
  dlg.m_progress.SetPos(1014);
  Paint();
  EXPECT_EQ(bar->surface.pixels, full);
  EXPECT_EQ(headless::TextDraws(bar).at(0).text, "101 %");
  EXPECT_EQ(bar->pos, 1000);  // the platform bar keeps to its range
}

TEST_F(ProgressTest, RangeStepAndPositionReachThePlatformBar) {
  EXPECT_NE(bar->style & PBS_SMOOTH, 0u);
  Configure();
  EXPECT_EQ(bar->rangeLo, 0);
  EXPECT_EQ(bar->rangeHi, 1000);
  EXPECT_EQ(bar->step, 13);
  dlg.m_progress.StepIt();
  dlg.m_progress.StepIt();
  EXPECT_EQ(dlg.m_progress.m_nPos, 26);
  EXPECT_EQ(bar->pos, 26);
  EXPECT_EQ(dlg.m_progress.m_nPercent, 2);
  EXPECT_EQ(dlg.m_progress.m_strText, "2 %");
  for (int i = 0; i < 75; ++i) dlg.m_progress.StepIt();
  EXPECT_EQ(dlg.m_progress.m_nPos, 1001);
  EXPECT_EQ(dlg.m_progress.m_strText, "100 %");
}

TEST_F(ProgressTest, TextFollowsOnlyWhileShownButRangeAlwaysResetsIt) {
  Configure();
  dlg.m_progress.SetPos(500);
  EXPECT_EQ(dlg.m_progress.m_strText, "50 %");
  dlg.m_progress.SetTextStyle(false, kBlack);
  dlg.m_progress.SetPos(700);
  EXPECT_EQ(dlg.m_progress.m_nPercent, 70);
  EXPECT_EQ(dlg.m_progress.m_strText, "50 %");
  Paint();
  EXPECT_TRUE(headless::TextDraws(bar).empty());

  dlg.m_progress.SetRange(0, 1000);
  EXPECT_EQ(dlg.m_progress.m_strText, "0 %");
  EXPECT_EQ(dlg.m_progress.m_nPos, 0);
  EXPECT_EQ(dlg.m_progress.m_nPercent, 0);
}

TEST_F(ProgressTest, WithoutBitmapTheBarIsAPenOutlinedRectangle) {
  const Color pen = MakeColor(220, 0, 0), fill = MakeColor(0, 0, 220);
  EXPECT_FALSE(dlg.m_progress.SetBarBitmap(4321));
  EXPECT_FALSE(dlg.m_progress.m_bHasBitmap);
  dlg.m_progress.SetRange(0, 1000);
  dlg.m_progress.SetTextStyle(true, kBlack);
  dlg.m_progress.SetColors(kBack, pen, fill);
  dlg.m_progress.SetPos(500);
  Paint();
  // Bar (1, 1, 127, 27): a pen two pixels wide centred on the bar's edge,
  // around the fill.
  EXPECT_EQ(At(60, 1), pen);
  EXPECT_EQ(At(60, 2), fill);
  EXPECT_EQ(At(60, 14), fill);
  EXPECT_EQ(At(60, 25), pen);
  EXPECT_EQ(At(60, 26), pen);
  EXPECT_EQ(At(60, 27), kBlack);
  EXPECT_EQ(At(125, 14), pen);
  EXPECT_EQ(At(126, 14), pen);
  EXPECT_EQ(At(127, 14), kBack);
  EXPECT_EQ(At(251, 14), kBlack);
}

TEST_F(ProgressTest, AFailedBitmapLoadKeepsTheBitmapAlreadyShown) {
  Configure();
  art.Write("art/progress_bar.bmp", {'B', 'M', 0, 0});
  EXPECT_FALSE(dlg.m_progress.SetBarBitmap(IDB_PROGRESS_BAR));
  EXPECT_TRUE(dlg.m_progress.m_bHasBitmap);
  dlg.m_progress.SetPos(500);
  Paint();
  EXPECT_EQ(At(10, 1), BarPixel(9, 0));
}

TEST_F(ProgressTest, UnconfiguredBarPaintsAnEmptyBox) {
  Paint();
  ExpectOutline();
  EXPECT_EQ(At(5, 5), MakeColor(255, 255, 255));
  EXPECT_TRUE(headless::TextDraws(bar).empty());
}

TEST_F(ProgressTest, ExtremePositionsStayWithinTheControl) {
  Configure();
  // A zero top of the range gives no percentage rather than a division fault.
  dlg.m_progress.SetRange(0, 0);
  dlg.m_progress.SetPos(5);
  EXPECT_EQ(dlg.m_progress.m_nPercent, 0);

  dlg.m_progress.SetRange(0, 1);
  dlg.m_progress.SetPos(INT_MAX);
  EXPECT_EQ(dlg.m_progress.m_nPercent, INT_MAX);
  Paint();
  ExpectOutline();
  EXPECT_EQ(At(248, 1), BarPixel(247, 0));

  dlg.m_progress.SetRange(0, 1000);
  dlg.m_progress.SetPos(-500);
  EXPECT_EQ(dlg.m_progress.m_nPercent, -50);
  EXPECT_EQ(dlg.m_progress.m_strText, "-50 %");
  Paint();
  ExpectOutline();
  EXPECT_EQ(At(1, 10), kBack);
}

TEST_F(ProgressTest, ClientSizeIsTakenAtTheFirstPaintOnly) {
  Configure();
  Paint();
  EXPECT_TRUE(dlg.m_progress.m_bSizeKnown);
  EXPECT_EQ(dlg.m_progress.m_nWidth, 252);
  EXPECT_EQ(dlg.m_progress.m_nHeight, 28);
  bar->rect.right += 20;
  Paint();
  EXPECT_EQ(dlg.m_progress.m_nWidth, 252);
}

}  // namespace
