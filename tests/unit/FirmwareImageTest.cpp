// Loading an image file and checking it against a drive.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

#include "drive/MyAspi32.h"
#include "tests/unit/DriveTestSupport.h"
#include "update/FirmwareImage.h"

using namespace drivetest;

namespace {

class FirmwareImageTest : public SimTest {
 protected:
  int LoadSpec(const imagegen::ImageSpec& layout, FirmwareImage& image, const std::string& name = "fw.bin") {
    EXPECT_TRUE(imagegen::Write(m_dir.Path(name), layout));
    return image.Load(m_dir.Path(name).c_str(), nullptr);
  }
  static imagegen::ImageSpec Filler() {
    imagegen::ImageSpec layout;
    layout.seed = 3;
    return layout;
  }
};

// ---------------------------------------------------------------- Load

TEST_F(FirmwareImageTest, FreshObject) {
  FirmwareImage image;
  EXPECT_EQ(image.m_pData, nullptr);
  EXPECT_EQ(image.m_pFile, nullptr);
  EXPECT_EQ(image.m_nLength, 0);
  EXPECT_EQ(image.m_nDriveIndex, -1);
  EXPECT_STREQ(image.m_szVendor, "");
  EXPECT_STREQ(image.m_szProduct, "");
  EXPECT_STREQ(image.m_szRevision, "");
}

TEST_F(FirmwareImageTest, LoadsIdentityAndSumsOnlyTheLoadedRegion) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M9", "2.04");
  layout.Text(0x1A0000, std::string(0x60000, '\xFF'));  // the unread tail
  CMyASPI32* aspi = reinterpret_cast<CMyASPI32*>(0x1234);
  FirmwareImage image;
  ASSERT_TRUE(imagegen::Write(m_dir.Path("fw.bin"), layout));
  EXPECT_EQ(image.Load(m_dir.Path("fw.bin").c_str(), aspi), IMAGE_OK);
  EXPECT_EQ(image.m_pDriveAccess, aspi);
  EXPECT_EQ(image.m_nLength, 0x1A0000);
  EXPECT_STREQ(image.m_szVendor, "KORVELIN");
  EXPECT_STREQ(image.m_szProduct, "DVDRRW M9       ");
  EXPECT_STREQ(image.m_szRevision, "2.04");
  EXPECT_EQ(image.m_nSum, imagegen::ByteSum(imagegen::Build(layout), 0x1A0000));
  EXPECT_NE(image.m_pFile, nullptr) << "the file stays open until the image goes";
  EXPECT_EQ(std::memcmp(image.m_pData, imagegen::Build(layout).data(), 0x1A0000), 0);
}

TEST_F(FirmwareImageTest, WrongLengthsAreRefused) {
  for (std::size_t size : {std::size_t(0), std::size_t(0x1FFFFF), std::size_t(0x200001),
                           std::size_t(0x1A0000)}) {
    imagegen::ImageSpec layout = Filler();
    layout.size = size;
    layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.00");
    FirmwareImage image;
    EXPECT_EQ(LoadSpec(layout, image), IMAGE_ERR_LENGTH) << size;
    EXPECT_EQ(image.m_llFileLength, static_cast<long long>(size));
    EXPECT_EQ(image.m_pData, nullptr);
  }
}

TEST_F(FirmwareImageTest, PathsThatAreNoImageFileAreRefused) {
  FirmwareImage missing;
  EXPECT_EQ(missing.Load(m_dir.Path("none.bin").c_str(), nullptr), IMAGE_ERR_OPEN);
  FirmwareImage empty;
  EXPECT_EQ(empty.Load("", nullptr), IMAGE_ERR_OPEN);
  FirmwareImage null;
  EXPECT_EQ(null.Load(nullptr, nullptr), IMAGE_ERR_OPEN);
  FirmwareImage folder;
  EXPECT_EQ(folder.Load(m_dir.Path().c_str(), nullptr), IMAGE_ERR_NOT_FILE);
  EXPECT_EQ(folder.m_nFileKind, FILE_KIND_DIRECTORY);
  EXPECT_EQ(folder.m_pData, nullptr);
  // A named pipe nobody writes to: refused at once, not waited on.
  ASSERT_EQ(mkfifo(m_dir.Path("pipe.bin").c_str(), 0600), 0);
  FirmwareImage pipe;
  EXPECT_EQ(pipe.Load(m_dir.Path("pipe.bin").c_str(), nullptr), IMAGE_ERR_NOT_FILE);
  EXPECT_EQ(pipe.m_nFileKind, FILE_KIND_FIFO);

  // A file that vanished after it was chosen.
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.00");
  ASSERT_TRUE(imagegen::Write(m_dir.Path("gone.bin"), layout));
  fs::remove(m_dir.Path("gone.bin"));
  FirmwareImage gone;
  EXPECT_EQ(gone.Load(m_dir.Path("gone.bin").c_str(), nullptr), IMAGE_ERR_OPEN);
}

TEST_F(FirmwareImageTest, NonAsciiPathsLoadOrFailCleanly) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.00");
  FirmwareImage image;
  EXPECT_EQ(LoadSpec(layout, image, "fw-\xC3\xA9t\xC3\xA9.bin"), IMAGE_OK);
  FirmwareImage latin1;
  EXPECT_EQ(latin1.Load(m_dir.Path("fw-\xE9t\xE9.bin").c_str(), nullptr), IMAGE_ERR_OPEN);
}

TEST_F(FirmwareImageTest, IdentityOnlyBelowTheSearchWindowIsCode5) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x13FFFF, "KORVELIN", "DVDRRW M1", "1.00");  // starts one byte early
  FirmwareImage image;
  EXPECT_EQ(LoadSpec(layout, image), IMAGE_ERR_IDENTITY);
  imagegen::ImageSpec none = Filler();
  FirmwareImage image2;
  EXPECT_EQ(LoadSpec(none, image2), IMAGE_ERR_IDENTITY);
  // Beyond the loaded region counts for nothing either.
  imagegen::ImageSpec tail = Filler();
  tail.Identity(0x1A0000, "KORVELIN", "DVDRRW M1", "1.00");
  FirmwareImage image3;
  EXPECT_EQ(LoadSpec(tail, image3), IMAGE_ERR_IDENTITY);
}

TEST_F(FirmwareImageTest, SignatureOrderBeatsOffset) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x140000, "KORVELIN", "DVD-RAM M4", "4.44");   // signature 4, lowest
  layout.Identity(0x148000, "QN      ", "DVD Writer 5", "5.55");  // signature 5
  layout.Identity(0x190000, "KORVELIN", "DVDRRW M1", "1.11");    // signature 1, highest
  layout.Identity(0x170000, "KORVELIN", "DVDRRW M1", "1.00");    // signature 1, lower: wins
  FirmwareImage image;
  ASSERT_EQ(LoadSpec(layout, image), IMAGE_OK);
  EXPECT_STREQ(image.m_szRevision, "1.00");

  imagegen::ImageSpec three = Filler();
  three.Identity(0x180000, "KORVELIN", "DVD+-RW M3", "3.33");
  three.Identity(0x150000, "KORVELIN", "DVD-RAM M4", "4.44");
  three.Identity(0x145000, "QN      ", "DVD Writer 5", "5.55");
  FirmwareImage image3;
  ASSERT_EQ(LoadSpec(three, image3), IMAGE_OK);
  EXPECT_STREQ(image3.m_szRevision, "3.33");
  EXPECT_STREQ(image3.m_szProduct, "DVD+-RW M3      ");

  imagegen::ImageSpec spaced = Filler();
  spaced.Identity(0x150000, "KORVELIN", " DVDRRW M2", "2.22");  // signature 2
  FirmwareImage image2;
  ASSERT_EQ(LoadSpec(spaced, image2), IMAGE_OK);
  EXPECT_STREQ(image2.m_szProduct, " DVDRRW M2      ");
}

TEST_F(FirmwareImageTest, SignatureWithoutRoomForItsBlockDoesNotCount) {
  // Signature 1 whose block would run 12 bytes past the loaded region.
  imagegen::ImageSpec layout = Filler();
  layout.Text(0x1A0000 - 16, "KORVELINDVDRRW M");
  layout.Identity(0x150000, "QN      ", "DVD Writer 7", "7.77");
  FirmwareImage image;
  ASSERT_EQ(LoadSpec(layout, image), IMAGE_OK);
  EXPECT_STREQ(image.m_szVendor, "QN      ");

  // Exactly fitting at the very end counts.
  imagegen::ImageSpec edge = Filler();
  edge.Identity(0x1A0000 - 28, "KORVELIN", "DVDRRW M1", "1.01");
  FirmwareImage image2;
  ASSERT_EQ(LoadSpec(edge, image2), IMAGE_OK);
  EXPECT_STREQ(image2.m_szRevision, "1.01");

}

// ---------------------------------------------------------------- helpers

TEST(FindPatternTest, SearchWindowAndBounds) {
  std::vector<std::uint8_t> data(0x1A0000, 0);
  const std::uint8_t pat[] = {'A', 'B', 'C'};
  data[0x100] = 'A', data[0x101] = 'B', data[0x102] = 'C';
  EXPECT_EQ(FindPattern(data.data(), 0x1A0000, pat, 3), -1) << "below the window";
  EXPECT_EQ(FindPattern(data.data(), 0x140000, pat, 3), 0x100) << "a short buffer is searched whole";
  data[0x19FFFD] = 'A', data[0x19FFFE] = 'B', data[0x19FFFF] = 'C';
  EXPECT_EQ(FindPattern(data.data(), 0x1A0000, pat, 3), 0x19FFFD);
  EXPECT_EQ(FindPattern(data.data(), 0x19FFFF, pat, 3), -1) << "must lie inside the length";
  data[0x140000] = 'A', data[0x140001] = 'B', data[0x140002] = 'C';
  EXPECT_EQ(FindPattern(data.data(), 0x1A0000, pat, 3), 0x140000);
  EXPECT_EQ(FindPattern(data.data(), 0x1A0000, pat, 0), 0x140000) << "empty: the start";
  EXPECT_EQ(FindPattern(data.data(), 10, pat, 0), 0);
  EXPECT_EQ(FindPattern(data.data(), 2, pat, 3), -1);
  const std::uint8_t partial[] = {'A', 'B', 'D'};
  EXPECT_EQ(FindPattern(data.data(), 0x1A0000, partial, 3), -1);
}

TEST(FindPatternTest, RepeatedFirstBytes) {
  const std::string hay = "AAAAAB";
  const std::uint8_t pat[] = {'A', 'A', 'B'};
  EXPECT_EQ(FindPattern(reinterpret_cast<const std::uint8_t*>(hay.data()), 6, pat, 3), 3);
}

TEST(CopyFieldTest, CopiesAndTerminates) {
  char dest[6];
  std::memset(dest, 'x', sizeof(dest));
  CopyField(dest, "ab\0cdef", 5);
  EXPECT_EQ(std::memcmp(dest, "ab\0cd\0", 6), 0);
}

// ---------------------------------------------------------------- MatchDrive

class MatchDriveTest : public FirmwareImageTest {
 protected:
  void Start(const std::string& idtext, const imagegen::ImageSpec& layout) {
    Configure(Drive(0, 0, 0, "idtext \"" + idtext + "\"\n"));
    m_aspi = std::make_unique<CMyASPI32>();
    ASSERT_EQ(m_aspi->ScanDrives(), 0);
    ASSERT_TRUE(imagegen::Write(m_dir.Path("fw.bin"), layout));
    ASSERT_EQ(m_image.Load(m_dir.Path("fw.bin").c_str(), m_aspi.get()), IMAGE_OK);
    m_image.SetDriveIndex(0);
    ClearLog();
  }
  static imagegen::ImageSpec Image(std::size_t textAt = 0x160000, const std::string& text = "ABC123") {
    imagegen::ImageSpec layout = Filler();
    layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.10").Text(textAt, text);
    return layout;
  }
  int Match() { return m_image.MatchDrive(m_aspi->m_drives[0].szVendor, m_aspi->m_drives[0].szProduct); }

  std::unique_ptr<CMyASPI32> m_aspi;
  FirmwareImage m_image;
};

TEST_F(MatchDriveTest, FitsWhenVendorProductAndTextAgree) {
  Start("ABC123", Image());
  EXPECT_EQ(Match(), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].cdb[0], 0xF0);
}

TEST_F(MatchDriveTest, CaseAndTrailingBlanksCount) {
  Start("ABC123", Image());
  EXPECT_EQ(m_image.MatchDrive("korvelin", "DVDRRW M1       "), 1);
  EXPECT_EQ(m_image.MatchDrive("KORVELIN", "DVDRRW M1"), 1);
  EXPECT_EQ(m_image.MatchDrive("KORVELIN", "dvdrrw m1       "), 1);
  EXPECT_EQ(m_image.MatchDrive("KORVELIN ", "DVDRRW M1       "), 1);
  EXPECT_TRUE(Log().empty()) << "no command for a vendor or product mismatch";
  EXPECT_EQ(m_image.MatchDrive("KORVELIN", "DVDRRW M1       "), 0);
}

TEST_F(MatchDriveTest, IdentificationTextMustLieInTheSearchWindow) {
  Start("XYZ789", Image(0x13FFF0, "XYZ789"));
  EXPECT_EQ(Match(), 1);
}

TEST_F(MatchDriveTest, IdentificationTextAbsentIsAMismatch) {
  Start("QQQ999", Image());
  EXPECT_EQ(Match(), 1);
}

TEST_F(MatchDriveTest, IdentificationTextIsMatchedOverAllSixBytes) {
  Start("AB\\0ZZZ", Image(0x170000, "AB"));
  EXPECT_EQ(Match(), 1) << "\"AB\" alone is a weaker pattern than the drive gave";
  Start("AB\\0ZZZ", Image(0x170000, std::string("AB\0ZZZ", 6)));
  EXPECT_EQ(Match(), 0);
}

TEST_F(MatchDriveTest, EmptyIdentificationTextMatchesNoImage) {
  Start("\\0\\0\\0\\0\\0\\0", Image());
  EXPECT_EQ(Match(), 1);
  EXPECT_EQ(m_aspi->m_nLastResult, ASPI_ERR_SHORT_ANSWER);
}

TEST_F(MatchDriveTest, FailedIdentificationCommandIsAMismatch) {
  Start("ABC123", Image());
  m_image.SetDriveIndex(3);  // a row not in the table: nothing is sent
  EXPECT_EQ(Match(), 1);
  EXPECT_TRUE(Log().empty());
}

}  // namespace

namespace {

TEST_F(FirmwareImageTest, LoadingAgainStartsFromNothing) {
  imagegen::ImageSpec good = Filler();
  good.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.00");
  FirmwareImage image;
  ASSERT_EQ(LoadSpec(good, image, "a.bin"), IMAGE_OK);
  imagegen::ImageSpec shortFile = Filler();
  shortFile.size = 100;
  EXPECT_EQ(LoadSpec(shortFile, image, "b.bin"), IMAGE_ERR_LENGTH);
  EXPECT_EQ(image.m_pData, nullptr);
  EXPECT_STREQ(image.m_szVendor, "");
}

TEST_F(FirmwareImageTest, AFileThatShrinksOrCannotBeReadAfterItsLengthWasCheckedIsRefused) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.00");  // in the part still read
  ASSERT_TRUE(imagegen::Write(m_dir.Path("fw.bin"), layout));
  const std::string path = m_dir.Path("fw.bin");
  FirmwareImage shrunk;
  headless::BeforeNextFileRead([&] { fs::resize_file(path, 0x180000); });
  EXPECT_EQ(shrunk.Load(path.c_str(), nullptr), IMAGE_ERR_READ);
  EXPECT_EQ(shrunk.m_pData, nullptr);

  ASSERT_TRUE(imagegen::Write(path, layout));
  FirmwareImage failed;
  headless::FailNextFileRead(IMAGE_LOAD_LENGTH - 1);
  EXPECT_EQ(failed.Load(path.c_str(), nullptr), IMAGE_ERR_READ);
  EXPECT_EQ(failed.m_pData, nullptr);
  FirmwareImage again;
  EXPECT_EQ(again.Load(path.c_str(), nullptr), IMAGE_OK) << "only the next read fails";
}

TEST_F(FirmwareImageTest, BytesInMemoryLoadAsTheirFileDoes) {
  imagegen::ImageSpec layout = Filler();
  layout.Identity(0x160000, "QN      ", "DVD Writer 4K5x", "2.01");
  const std::vector<std::uint8_t> bytes = imagegen::Build(layout);
  imagegen::ImageSpec before = Filler();
  before.seed = 9;
  before.Identity(0x170000, "KORVELIN", "DVDRRW M1", "1.00");
  const std::vector<std::uint8_t> beforeBytes = imagegen::Build(before);
  FirmwareImage fromFile, fromBytes;
  ASSERT_EQ(LoadSpec(layout, fromFile), IMAGE_OK);
  // Loaded over another image: nothing of that one stays.
  ASSERT_EQ(fromBytes.LoadBytes(beforeBytes.data(), beforeBytes.size(), nullptr), IMAGE_OK);
  ASSERT_EQ(fromBytes.LoadBytes(bytes.data(), bytes.size(), nullptr), IMAGE_OK);
  EXPECT_EQ(fromBytes.m_nSum, fromFile.m_nSum);
  EXPECT_EQ(fromBytes.m_nLength, IMAGE_LOAD_LENGTH);
  EXPECT_STREQ(fromBytes.m_szProduct, fromFile.m_szProduct);
  EXPECT_STREQ(fromBytes.m_szRevision, "2.01");
  EXPECT_EQ(fromBytes.m_pFile, nullptr);
  EXPECT_EQ(fromBytes.LoadBytes(bytes.data(), bytes.size() - 1, nullptr), IMAGE_ERR_LENGTH);
  EXPECT_EQ(fromBytes.m_pData, nullptr);
}

}  // namespace
