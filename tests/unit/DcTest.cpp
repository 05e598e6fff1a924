// The headless drawing context: Win32 edge rules, memory contexts, object
// lifetimes, text measurement, icon drawing, and the art file decoder.
#include <gtest/gtest.h>

#include "platform/Dc.h"
#include "platform/Resources.h"
#include "platform/headless/DrawObjects.h"
#include "platform/headless/HeadlessWindow.h"
#include "platform/headless/InspectDraw.h"
#include "res/ResourceIds.h"
#include "tests/unit/DrawTestSupport.h"

namespace {

const Color kWhite = MakeColor(255, 255, 255);
const Color kBlack = MakeColor(0, 0, 0);
const Color kRed = MakeColor(200, 0, 0);
const Color kBlue = MakeColor(0, 0, 220);
const Color kFace = MakeColor(192, 192, 192);

// A context on a window's surface, as a paint message would give it.
class WindowDcTest : public ::testing::Test {
 protected:
  WindowDcTest() {
    win.rect = CRect(10, 10, 50, 40);  // 40 x 30 client area
    dc.m_hDC = HeadlessCreateWindowDC(&win);
  }
  ~WindowDcTest() override {
    HeadlessReleaseWindowDC(dc.m_hDC);
    dc.m_hDC = nullptr;
  }
  Color At(int x, int y) const { return headless::WindowPixel(&win, x, y); }

  PlatWindow win;
  CDC dc;
};

TEST_F(WindowDcTest, SurfaceIsSizedToTheClientArea) {
  EXPECT_EQ(win.surface.width, 40);
  EXPECT_EQ(win.surface.height, 30);
  EXPECT_EQ(dc.GetPixel(39, 29), kWhite);
  EXPECT_EQ(dc.GetPixel(40, 0), CLR_INVALID);
}

TEST_F(WindowDcTest, RectangleExcludesRightAndBottomEdges) {
  CBrush red(kRed);
  GdiHandle old = dc.SelectObject(&red);
  dc.Rectangle(2, 3, 10, 8);  // default pen: black, one pixel
  EXPECT_EQ(At(2, 3), kBlack);
  EXPECT_EQ(At(9, 7), kBlack);
  EXPECT_EQ(At(9, 3), kBlack);
  EXPECT_EQ(At(2, 7), kBlack);
  EXPECT_EQ(At(10, 5), kWhite);
  EXPECT_EQ(At(5, 8), kWhite);
  EXPECT_EQ(At(3, 4), kRed);
  EXPECT_EQ(At(8, 6), kRed);

  // Without a pen the filled figure loses its last column and row.
  dc.SelectStockObject(NULL_PEN);
  dc.Rectangle(20, 3, 28, 8);
  EXPECT_EQ(At(20, 3), kRed);
  EXPECT_EQ(At(26, 6), kRed);
  EXPECT_EQ(At(27, 5), kWhite);
  EXPECT_EQ(At(24, 7), kWhite);

  // An empty rectangle draws nothing at all.
  dc.SelectStockObject(BLACK_PEN);
  dc.Rectangle(30, 3, 30, 9);
  EXPECT_EQ(At(30, 3), kWhite);
  dc.SelectObject(old);
}

TEST_F(WindowDcTest, WidePenOutlineAndHollowBrush) {
  CPen pen(PS_SOLID, 2, kBlue);
  dc.SelectObject(&pen);
  dc.SelectStockObject(HOLLOW_BRUSH);
  dc.Rectangle(5, 5, 15, 15);
  // Two pixels across each edge; the inside is left alone.
  EXPECT_EQ(At(5, 10), kBlue);
  EXPECT_EQ(At(4, 10), kBlue);
  EXPECT_EQ(At(14, 10), kBlue);
  EXPECT_EQ(At(13, 10), kBlue);
  EXPECT_EQ(At(10, 10), kWhite);
  dc.SelectStockObject(BLACK_PEN);
}

TEST_F(WindowDcTest, LineLeavesOutItsLastPoint) {
  dc.MoveTo(1, 1);
  dc.LineTo(6, 1);
  for (int x = 1; x <= 5; ++x) EXPECT_EQ(At(x, 1), kBlack) << x;
  EXPECT_EQ(At(6, 1), kWhite);
  dc.LineTo(6, 4);  // continues from the end of the last line
  EXPECT_EQ(At(6, 1), kBlack);
  EXPECT_EQ(At(6, 3), kBlack);
  EXPECT_EQ(At(6, 4), kWhite);
  // Upwards and leftwards too.
  dc.MoveTo(20, 10);
  dc.LineTo(20, 5);
  EXPECT_EQ(At(20, 10), kBlack);
  EXPECT_EQ(At(20, 6), kBlack);
  EXPECT_EQ(At(20, 5), kWhite);
  CPoint was = dc.MoveTo(0, 0);
  EXPECT_EQ(was.x, 20);
  EXPECT_EQ(was.y, 5);
}

TEST_F(WindowDcTest, FrameAndSolidFill) {
  CBrush blue(kBlue);
  dc.FrameRect(CRect(1, 1, 6, 5), &blue);
  EXPECT_EQ(At(1, 1), kBlue);
  EXPECT_EQ(At(5, 4), kBlue);
  EXPECT_EQ(At(5, 1), kBlue);
  EXPECT_EQ(At(1, 4), kBlue);
  EXPECT_EQ(At(3, 2), kWhite);
  EXPECT_EQ(At(6, 5), kWhite);

  dc.FillSolidRect(CRect(10, 10, 13, 13), kRed);
  EXPECT_EQ(At(12, 12), kRed);
  EXPECT_EQ(At(13, 12), kWhite);
  EXPECT_EQ(At(12, 13), kWhite);
}

TEST_F(WindowDcTest, FocusRectangleInvertsEveryOtherPixelAndTwiceRemovesIt) {
  dc.FillSolidRect(CRect(0, 0, 40, 30), kFace);
  CRect rc(4, 4, 20, 12);
  dc.DrawFocusRect(rc);
  EXPECT_EQ(At(4, 4), kFace ^ 0xFFFFFF);
  EXPECT_EQ(At(5, 4), kFace);
  EXPECT_EQ(At(19, 11), kFace ^ 0xFFFFFF);
  EXPECT_EQ(At(4, 6), kFace ^ 0xFFFFFF);
  EXPECT_EQ(At(10, 8), kFace);  // the inside stays
  dc.DrawFocusRect(rc);
  for (int x = 4; x < 20; ++x) EXPECT_EQ(At(x, 4), kFace);
}

TEST_F(WindowDcTest, MemoryContextsStartMonochrome) {
  CDC mem;
  ASSERT_TRUE(mem.CreateCompatibleDC(&dc));
  // A bitmap made compatible with the fresh memory context is monochrome.
  CBitmap mono;
  ASSERT_TRUE(mono.CreateCompatibleBitmap(&mem, 4, 4));
  GdiHandle oldMono = mem.SelectObject(&mono);
  mem.FillSolidRect(CRect(0, 0, 4, 4), kRed);
  EXPECT_EQ(mem.GetPixel(1, 1), kBlack);
  mem.FillSolidRect(CRect(0, 0, 2, 2), MakeColor(200, 255, 200));
  EXPECT_EQ(mem.GetPixel(1, 1), kWhite);
  mem.SelectObject(oldMono);

  // Compatible with the window's context, it keeps colours.
  CBitmap colour;
  ASSERT_TRUE(colour.CreateCompatibleBitmap(&dc, 4, 4));
  GdiHandle old = mem.SelectObject(&colour);
  mem.FillSolidRect(CRect(0, 0, 4, 4), kRed);
  EXPECT_EQ(mem.GetPixel(1, 1), kRed);
  mem.SelectObject(old);
}

TEST_F(WindowDcTest, BitBltCopiesOnlyWhatTheSourceHas) {
  CDC mem;
  mem.CreateCompatibleDC(&dc);
  CBitmap bmp;
  bmp.CreateCompatibleBitmap(&dc, 4, 4);
  GdiHandle old = mem.SelectObject(&bmp);
  mem.FillSolidRect(CRect(0, 0, 4, 4), kBlue);
  mem.FillSolidRect(CRect(0, 0, 1, 1), kRed);
  EXPECT_TRUE(dc.BitBlt(5, 6, 10, 10, &mem, 0, 0, SRCCOPY));
  EXPECT_EQ(At(5, 6), kRed);
  EXPECT_EQ(At(8, 9), kBlue);
  EXPECT_EQ(At(9, 9), kWhite);
  EXPECT_EQ(At(8, 10), kWhite);
  // From an offset inside the source.
  EXPECT_TRUE(dc.BitBlt(20, 20, 2, 2, &mem, 0, 0, SRCCOPY));
  EXPECT_TRUE(dc.BitBlt(30, 20, 3, 3, &mem, 1, 1, SRCCOPY));
  EXPECT_EQ(At(20, 20), kRed);
  EXPECT_EQ(At(30, 20), kBlue);
  EXPECT_EQ(At(32, 22), kBlue);
  mem.SelectObject(old);
}

TEST_F(WindowDcTest, ObjectsLiveUntilReleasedAndSelectedDeletionIsCounted) {
  int live = headless::LiveGdiObjects(), dcs = headless::LiveDCs(), misuse = headless::GdiMisuses();
  {
    CDC mem;
    mem.CreateCompatibleDC(&dc);
    int saved = mem.SaveDC();
    CBitmap bmp;
    bmp.CreateCompatibleBitmap(&dc, 8, 8);
    CBrush brush(kRed);
    CPen pen(PS_SOLID, 1, kBlue);
    mem.SelectObject(&bmp);
    mem.SelectObject(&brush);
    mem.SelectObject(&pen);
    EXPECT_EQ(headless::LiveGdiObjects(), live + 3);
    EXPECT_EQ(headless::LiveDCs(), dcs + 1);
    EXPECT_TRUE(mem.RestoreDC(saved));
  }
  EXPECT_EQ(headless::LiveGdiObjects(), live);
  EXPECT_EQ(headless::LiveDCs(), dcs);
  EXPECT_EQ(headless::GdiMisuses(), misuse);

  {
    CDC mem;
    mem.CreateCompatibleDC(&dc);
    CBrush brush(kRed);
    mem.SelectObject(&brush);
    EXPECT_FALSE(brush.DeleteObject());  // still selected: refused, as on Win32
    EXPECT_EQ(headless::GdiMisuses(), misuse + 1);
  }
  EXPECT_EQ(headless::LiveGdiObjects(), live);  // freed with the context

  // A bitmap sits in one memory context at a time.
  CDC a, b;
  a.CreateCompatibleDC(&dc);
  b.CreateCompatibleDC(&dc);
  CBitmap bmp;
  bmp.CreateCompatibleBitmap(&dc, 2, 2);
  GdiHandle old = a.SelectObject(&bmp);
  EXPECT_NE(old, nullptr);
  EXPECT_EQ(b.SelectObject(&bmp), nullptr);
  EXPECT_EQ(dc.SelectObject(&bmp), nullptr);  // nor into a window's context
  a.SelectObject(old);
}

TEST_F(WindowDcTest, SaveAndRestoreBringBackColoursAndMode) {
  dc.SetTextColor(kRed);
  dc.SetBkMode(OPAQUE);
  int saved = dc.SaveDC();
  dc.SetTextColor(kBlue);
  dc.SetBkMode(TRANSPARENT);
  EXPECT_TRUE(dc.RestoreDC(saved));
  EXPECT_EQ(dc.SetTextColor(kBlack), kRed);
  EXPECT_EQ(dc.SetBkMode(TRANSPARENT), OPAQUE);
  EXPECT_FALSE(dc.RestoreDC(-1));  // nothing left to restore
}

TEST_F(WindowDcTest, TextIsMeasuredWithTheFixedCellAndRecorded) {
  headless::ClearTextDraws();
  CRect r(3, 4, 103, 54);
  EXPECT_EQ(dc.DrawText("Update", &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER), 13);
  EXPECT_EQ(r, CRect(3, 4, 3 + 36, 4 + 13));

  // Word breaking at blanks, within the rectangle's width.
  r = CRect(0, 0, 50, 50);
  dc.DrawText("Check Sum Fail", &r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(r, CRect(0, 0, 48, 26));
  // Hard breaks count unless the text is one line.
  r = CRect(0, 0, 200, 50);
  dc.DrawText("ab\r\ncde", &r, DT_CALCRECT);
  EXPECT_EQ(r, CRect(0, 0, 18, 26));
  r = CRect(0, 0, 200, 50);
  dc.DrawText("ab\r\ncde", &r, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(r.Height(), 13);
  EXPECT_TRUE(headless::TextDraws().empty());  // measuring draws nothing

  dc.SetTextColor(kBlue);
  dc.SetBkMode(TRANSPARENT);
  r = CRect(0, 0, 40, 30);
  dc.DrawText("50 %", &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  auto draws = headless::TextDraws(&win);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].text, "50 %");
  EXPECT_EQ(draws[0].rect, CRect(0, 0, 40, 30));
  EXPECT_EQ(draws[0].flags, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  EXPECT_EQ(draws[0].color, kBlue);
  EXPECT_EQ(draws[0].bkMode, TRANSPARENT);
  EXPECT_EQ(draws[0].box, CRect(8, 8, 32, 21));
  EXPECT_EQ(At(10, 10), kWhite);  // transparent: no background behind the text

  // An opaque draw paints its background colour behind the text.
  dc.SetBkMode(OPAQUE);
  dc.SetBkColor(kRed);
  r = CRect(0, 0, 40, 13);
  dc.DrawText("ab", &r, DT_SINGLELINE);
  EXPECT_EQ(At(0, 0), kRed);
  EXPECT_EQ(At(11, 12), kRed);
  EXPECT_EQ(At(12, 0), kWhite);
}

TEST_F(WindowDcTest, TextDrawnOffScreenIsRecordedForTheWindow) {
  headless::ClearTextDraws();
  CDC mem;
  mem.CreateCompatibleDC(&dc);
  CBitmap bmp;
  bmp.CreateCompatibleBitmap(&dc, 40, 30);
  GdiHandle old = mem.SelectObject(&bmp);
  CRect r(0, 0, 40, 30);
  mem.DrawText("x", &r, DT_SINGLELINE);
  mem.SelectObject(old);
  ASSERT_EQ(headless::TextDraws(&win).size(), 1u);
}

TEST_F(WindowDcTest, IconsDrawnNormallyEmbossedAndAtTheStandardSize) {
  dc.FillSolidRect(CRect(0, 0, 40, 30), kFace);
  IconHandle icon = headless::MakeTestIcon(8, 8, kRed, 2);
  // Normal: the opaque part in its colour, the border transparent.
  EXPECT_TRUE(dc.DrawState(4, 4, 8, 8, icon, DST_ICON | DSS_NORMAL));
  EXPECT_EQ(At(6, 6), kRed);
  EXPECT_EQ(At(9, 9), kRed);
  EXPECT_EQ(At(5, 5), kFace);
  EXPECT_EQ(At(10, 10), kFace);

  // Disabled: the shape in the highlight colour one pixel right and down,
  // then in the shadow colour in place.
  EXPECT_TRUE(dc.DrawState(20, 4, 8, 8, icon, DST_ICON | DSS_DISABLED));
  EXPECT_EQ(At(22, 6), MakeColor(128, 128, 128));
  EXPECT_EQ(At(25, 9), MakeColor(128, 128, 128));
  EXPECT_EQ(At(26, 10), kWhite);
  EXPECT_EQ(At(26, 7), kWhite);
  EXPECT_EQ(At(21, 5), kFace);

  // White parts of an icon are no part of the embossed shape.
  IconHandle white = headless::MakeTestIcon(8, 8, kWhite, 0);
  dc.FillSolidRect(CRect(0, 0, 40, 30), kFace);
  dc.DrawState(4, 4, 8, 8, white, DST_ICON | DSS_DISABLED);
  EXPECT_EQ(At(6, 6), kFace);

  // DrawIcon uses the standard icon size, 32 x 32 here.
  win.rect = CRect(0, 0, 60, 60);
  HeadlessReleaseWindowDC(dc.m_hDC);
  dc.m_hDC = HeadlessCreateWindowDC(&win);
  dc.FillSolidRect(CRect(0, 0, 60, 60), kFace);
  EXPECT_TRUE(dc.DrawIcon(4, 4, icon));
  EXPECT_EQ(At(4 + 8, 4 + 8), kRed);
  EXPECT_EQ(At(4 + 23, 4 + 23), kRed);
  EXPECT_EQ(At(4 + 7, 4 + 7), kFace);
  EXPECT_EQ(At(4 + 24, 4 + 24), kFace);

  // An icon whose information cannot be read draws nothing.
  IconHandle broken = headless::MakeTestIcon(8, 8, kRed, 0, false);
  dc.FillSolidRect(CRect(0, 0, 60, 60), kFace);
  EXPECT_FALSE(dc.DrawState(4, 4, 8, 8, broken, DST_ICON));
  EXPECT_EQ(At(6, 6), kFace);
  int cx = 0, cy = 0;
  EXPECT_FALSE(GetIconSize(broken, &cx, &cy));
  EXPECT_TRUE(GetIconSize(icon, &cx, &cy));
  EXPECT_EQ(cx, 8);
  EXPECT_EQ(cy, 8);
  DestroyIconRes(icon);
  DestroyIconRes(white);
  DestroyIconRes(broken);
}

// ---- art files ----

Color RowColour(int, int y) { return MakeColor(10 * y, 255 - 10 * y, 7 * y); }

TEST(ArtFiles, BitmapsDecodeTheirRowsTheRightWayUp) {
  drawtest::ArtDir dir;
  dir.Write("art/progress_bar.bmp", drawtest::Bmp8(30, 20, RowColour));
  dir.Write("art/about.bmp", drawtest::Bmp32TopDown(5, 7, [](int x, int y) { return MakeColor(x * 40, y * 30, 9); }));
  for (int id : {IDB_PROGRESS_BAR, IDB_ABOUT_PICTURE}) {
    PlatBitmap* bmp = LoadBitmapRes(id);
    ASSERT_NE(bmp, nullptr) << id;
    int cx = 0, cy = 0;
    ASSERT_TRUE(GetBitmapSize(bmp, &cx, &cy));
    const Surface* s = headless::BitmapSurface(bmp);
    if (id == IDB_PROGRESS_BAR) {
      EXPECT_EQ(cx, 30);
      EXPECT_EQ(cy, 20);
      EXPECT_EQ(s->At(0, 0), RowColour(0, 0));
      EXPECT_EQ(s->At(29, 19), RowColour(0, 19));
      EXPECT_EQ(s->At(3, 5), RowColour(0, 5));
    } else {
      EXPECT_EQ(cx, 5);
      EXPECT_EQ(cy, 7);
      EXPECT_EQ(s->At(4, 0), MakeColor(160, 0, 9));
      EXPECT_EQ(s->At(0, 6), MakeColor(0, 180, 9));
    }
    DeleteBitmapRes(bmp);
  }
}

TEST(ArtFiles, IconsPickTheirImageAndKeepTheirMask) {
  drawtest::ArtDir dir;
  dir.Write("art/orvex.ico",
            drawtest::Ico({{32, [](int, int) { return kRed; }, [](int x, int) { return x < 4; }},
                           {16, [](int, int) { return kBlue; }, [](int, int) { return false; }}}));
  int icons = headless::LiveIcons();
  IconHandle own = LoadIconRes(IDR_MAINFRAME);  // the first image, its own size
  IconHandle standard = LoadIconRes(IDR_MAINFRAME, -1, -1);
  IconHandle small = LoadIconRes(IDR_MAINFRAME, 16, 16);
  ASSERT_TRUE(own && standard && small);
  int cx = 0, cy = 0;
  GetIconSize(own, &cx, &cy);
  EXPECT_EQ(cx, 32);
  EXPECT_EQ(own->hotX, 16);
  GetIconSize(standard, &cx, &cy);
  EXPECT_EQ(cx, 32);
  GetIconSize(small, &cx, &cy);
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);

  PlatWindow win;
  win.rect = CRect(0, 0, 40, 40);
  CDC dc(HeadlessCreateWindowDC(&win));
  dc.FillSolidRect(CRect(0, 0, 40, 40), kFace);
  dc.DrawState(0, 0, 32, 32, own, DST_ICON);
  dc.DrawState(0, 32, 16, 16, small, DST_ICON);
  EXPECT_EQ(dc.GetPixel(3, 10), kFace);  // masked off
  EXPECT_EQ(dc.GetPixel(4, 10), kRed);
  EXPECT_EQ(dc.GetPixel(0, 33), kBlue);
  HeadlessReleaseWindowDC(dc.m_hDC);
  dc.m_hDC = nullptr;

  DestroyIconRes(own);
  DestroyIconRes(standard);
  DestroyIconRes(small);
  EXPECT_EQ(headless::LiveIcons(), icons);
}

TEST(ArtFiles, DamagedOrMissingFilesGiveNull) {
  drawtest::ArtDir dir;
  std::vector<std::uint8_t> bmp = drawtest::Bmp8(30, 20, RowColour);
  std::vector<std::uint8_t> ico = drawtest::SolidIco(32, kRed, 0);

  EXPECT_EQ(LoadBitmapRes(IDB_PROGRESS_BAR), nullptr);  // not written yet
  EXPECT_EQ(LoadIconRes(IDI_UPDATE_IN), nullptr);
  EXPECT_EQ(LoadBitmapRes(4321), nullptr);              // no such resource
  EXPECT_EQ(LoadIconRes(4321), nullptr);

  std::vector<std::uint8_t> cut(bmp.begin(), bmp.begin() + static_cast<long>(bmp.size() / 2));
  dir.Write("art/progress_bar.bmp", cut);
  EXPECT_EQ(LoadBitmapRes(IDB_PROGRESS_BAR), nullptr);

  std::vector<std::uint8_t> huge = bmp;
  huge[18] = 0xFF;  // a width beyond any screen
  huge[21] = 0x7F;
  dir.Write("art/progress_bar.bmp", huge);
  EXPECT_EQ(LoadBitmapRes(IDB_PROGRESS_BAR), nullptr);

  std::vector<std::uint8_t> rle = bmp;
  rle[30] = 1;  // BI_RLE8 is not read
  dir.Write("art/progress_bar.bmp", rle);
  EXPECT_EQ(LoadBitmapRes(IDB_PROGRESS_BAR), nullptr);

  std::vector<std::uint8_t> far = ico;
  far[18] = 0xF0;  // image offset beyond the file
  far[19] = 0xFF;
  dir.Write("art/update_in.ico", far);
  EXPECT_EQ(LoadIconRes(IDI_UPDATE_IN), nullptr);

  std::vector<std::uint8_t> cutIco(ico.begin(), ico.end() - 32 * 4);
  dir.Write("art/update_in.ico", cutIco);
  EXPECT_EQ(LoadIconRes(IDI_UPDATE_IN), nullptr);

  std::vector<std::uint8_t> png = ico;
  png[22] = 0x89;
  png[23] = 'P';
  png[24] = 'N';
  png[25] = 'G';
  dir.Write("art/update_in.ico", png);
  EXPECT_EQ(LoadIconRes(IDI_UPDATE_IN), nullptr);

  dir.Write("art/update_in.ico", ico);
  IconHandle good = LoadIconRes(IDI_UPDATE_IN);
  EXPECT_NE(good, nullptr);
  DestroyIconRes(good);
}

// The artwork shipped in res/ matches the sizes the resource list promises.
TEST(ArtFiles, ShippedArtLoadsWithItsSizes) {
  struct Want {
    int id;
    bool icon;
    int cx, cy;
  };
  const Want wants[] = {{IDR_MAINFRAME, true, 32, 32},    {IDI_UPDATE_OUT, true, 32, 32},
                        {IDI_CANCEL_OUT, true, 32, 32},   {IDI_UPDATE_IN, true, 32, 32},
                        {IDI_CANCEL_IN, true, 32, 32},    {IDB_PROGRESS_BAR, false, 248, 24},
                        {IDB_OPEN_PRESSED, false, 100, 99}, {IDB_OPEN_NORMAL, false, 100, 99},
                        {IDB_OPEN_DISABLED, false, 100, 99}, {IDB_ABOUT_PICTURE, false, 148, 82}};
  for (const Want& w : wants) {
    int cx = 0, cy = 0;
    if (w.icon) {
      IconHandle h = LoadIconRes(w.id);
      ASSERT_NE(h, nullptr) << w.id;
      EXPECT_TRUE(GetIconSize(h, &cx, &cy));
      DestroyIconRes(h);
    } else {
      PlatBitmap* b = LoadBitmapRes(w.id);
      ASSERT_NE(b, nullptr) << w.id;
      EXPECT_TRUE(GetBitmapSize(b, &cx, &cy));
      DeleteBitmapRes(b);
    }
    EXPECT_EQ(cx, w.cx) << w.id;
    EXPECT_EQ(cy, w.cy) << w.id;
  }
  IconHandle small = LoadIconRes(IDR_MAINFRAME, 16, 16);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->width, 16);
  DestroyIconRes(small);
}

}  // namespace
