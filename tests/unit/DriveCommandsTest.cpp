// The drive commands of an update, byte by byte, against the simulated drive.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "tests/unit/DriveTestSupport.h"
#include "update/FirmwareImage.h"
#include "update/ZoneChecksum.h"

using namespace drivetest;

namespace {

imagegen::ImageSpec StandardImage(const std::string& revision = "1.10") {
  imagegen::ImageSpec layout;
  layout.seed = 7;
  layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", revision).Text(0x160000, "ABC123");
  return layout;
}

std::string Sum8(const std::uint8_t* p, std::size_t n) {
  std::uint32_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s += p[i];
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%08X", s);
  return buf;
}

class DriveCommandsTest : public SimTest {
 protected:
  void Start(const std::string& cfg) {
    Configure(cfg);
    m_aspi = std::make_unique<CMyASPI32>();
    ASSERT_EQ(m_aspi->ScanDrives(), 0);
    ClearLog();
  }
  // Loads a generated image file into m_image.
  void LoadImage(const imagegen::ImageSpec& layout) {
    ASSERT_TRUE(imagegen::Write(m_dir.Path("fw.bin"), layout));
    m_image = std::make_unique<FirmwareImage>();
    ASSERT_EQ(m_image->Load(m_dir.Path("fw.bin").c_str(), m_aspi.get()), 0);
    m_image->SetDriveIndex(0);
  }
  // An image object holding `n` bytes of our choosing, without a file.
  void UseBytes(const std::vector<std::uint8_t>& bytes) {
    m_image = std::make_unique<FirmwareImage>();
    m_image->m_pDriveAccess = m_aspi.get();
    m_image->m_nLength = static_cast<std::int32_t>(bytes.size());
    m_image->m_pData = new std::uint8_t[bytes.size()];
    std::memcpy(m_image->m_pData, bytes.data(), bytes.size());
    m_image->ComputeSum();
    m_image->SetDriveIndex(0);
  }
  std::vector<LoggedRequest> Requests(int cdb0) const {
    std::vector<LoggedRequest> out;
    for (const LoggedRequest& r : Log())
      if (!r.cdb.empty() && r.cdb[0] == cdb0) out.push_back(r);
    return out;
  }

  std::unique_ptr<CMyASPI32> m_aspi;
  std::unique_ptr<FirmwareImage> m_image;
};

const std::string kDrive = Drive(0, 3, 0, "disc yes\nidtext ABC123\n");

// ---------------------------------------------------------------- transfer

TEST_F(DriveCommandsTest, ImageTravelsAs208PiecesAndItsSumMatches) {
  Start(kDrive);
  LoadImage(StandardImage());
  EXPECT_EQ(m_image->DownloadImage(0), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 208u);
  for (std::size_t k = 0; k < log.size(); ++k) {
    const std::uint32_t off = static_cast<std::uint32_t>(k) * 8192;
    EXPECT_EQ(log[k].cdb, Cdb({0x3B, 0x06, 0x00, int(off >> 16), int((off >> 8) & 0xFF), int(off & 0xFF),
                               0x00, 0x20, 0x00, 0x00}))
        << "piece " << k;
    EXPECT_EQ(log[k].target, 3);
    EXPECT_EQ(log[k].flags, SRB_DIR_OUT | SRB_EVENT_NOTIFY);
    EXPECT_EQ(log[k].bufLen, 8192u);
    EXPECT_EQ(log[k].cdbLen, 10);
    EXPECT_EQ(log[k].senseLen, 14);
    EXPECT_EQ(log[k].dataSum, Sum8(m_image->m_pData + off, 8192)) << "piece " << k;
  }
  EXPECT_EQ(log.front().cdb, Cdb({0x3B, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00}));
  EXPECT_EQ(log.back().cdb, Cdb({0x3B, 0x06, 0x00, 0x19, 0xE0, 0x00, 0x00, 0x20, 0x00, 0x00}));

  ClearLog();
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), 0);
  auto sum = Log();
  ASSERT_EQ(sum.size(), 1u);
  EXPECT_EQ(sum[0].cdb, Cdb({0x3C, 0x04, 0x03, 0x00, 0x1A, 0x00, 0x00}));
  EXPECT_EQ(sum[0].cdbLen, 7);
  EXPECT_EQ(sum[0].bufLen, 4u);
  EXPECT_EQ(sum[0].flags, SRB_DIR_IN | SRB_EVENT_NOTIFY);
  EXPECT_EQ(sum[0].senseLen, 14);
}

TEST_F(DriveCommandsTest, FailedPieceEndsTheTransferWithItsResult) {
  // Pieces count from 0: piece 5 is the sixth WRITE BUFFER.
  Start(Drive(0, 0, 0, "disc yes\nfault write 6 check 03 0C 00\n"));
  LoadImage(StandardImage());
  EXPECT_EQ(m_image->DownloadImage(0), ASPI_CHECK_CONDITION);
  EXPECT_EQ(m_aspi->m_nSenseKey, 0x03);
  EXPECT_EQ(m_aspi->m_nSenseASC, 0x0C);
  auto log = Log();
  ASSERT_EQ(log.size(), 6u) << "nothing after the failed piece";
  EXPECT_EQ(log.back().cdb[4], 0xA0);  // offset 00A000h
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), -1) << "the drive did not get the whole image";
}

TEST_F(DriveCommandsTest, TransportFailureOfAPieceIsReturnedUnchanged) {
  Start(Drive(0, 0, 0, "disc yes\nfault write 208 nodevice\n"));
  LoadImage(StandardImage());
  EXPECT_EQ(m_image->DownloadImage(0), ASPI_ERR_NO_DEVICE);
  EXPECT_EQ(Log().size(), 208u);
}

TEST_F(DriveCommandsTest, ShortLastPieceIsPaddedToAnEvenLength) {
  Start(kDrive);
  std::vector<std::uint8_t> bytes(2 * 8192 + 1001);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
  UseBytes(bytes);
  EXPECT_EQ(m_image->DownloadImage(0), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[2].cdb, Cdb({0x3B, 0x06, 0x00, 0x00, 0x40, 0x00, 0x00, 0x03, 0xEA, 0x00}));
  EXPECT_EQ(log[2].bufLen, 1002u);
  EXPECT_EQ(log[2].dataSum, Sum8(bytes.data() + 16384, 1001)) << "the pad byte is 00h";
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), 0);

  // An even remainder goes out as it is.
  bytes.resize(8192 + 1000);
  UseBytes(bytes);
  ClearLog();
  EXPECT_EQ(m_image->DownloadImage(0), 0);
  log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].bufLen, 1000u);
  EXPECT_EQ(log[1].cdb[6], 0x00);
  EXPECT_EQ(log[1].cdb[7], 0x03);
  EXPECT_EQ(log[1].cdb[8], 0xE8);
}

TEST_F(DriveCommandsTest, NothingLoadedSendsNothing) {
  Start(kDrive);
  FirmwareImage empty;
  empty.m_pDriveAccess = m_aspi.get();
  EXPECT_NE(empty.DownloadImage(0), 0);
  FirmwareImage detached;
  EXPECT_NE(detached.DownloadImage(0), 0);
  EXPECT_EQ(detached.TestUnitReady(0), -1);
  EXPECT_TRUE(Log().empty());
}

// ---------------------------------------------------------------- checksums

TEST_F(DriveCommandsTest, TransferChecksumIsABigEndianNumber) {
  Start(kDrive);
  // 1,703,936 bytes whose sum is exactly 001A2B3Ch.
  std::vector<std::uint8_t> bytes(0x1A0000, 1);
  for (int i = 0; i < 43; ++i) bytes[i] = 255;  // +43 * 254
  bytes[43] = 1 + 146;                          // +146: 0x1A0000 + 11068
  UseBytes(bytes);
  ASSERT_EQ(m_image->m_nSum, 0x001A2B3Cu);
  ASSERT_EQ(m_image->DownloadImage(0), 0);
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), 0);
  m_image->m_nSum = 0x001A2B3D;
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), -1);
  m_image->m_nSum = 0x3C2B1A00;  // the same bytes read little-endian
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), -1);
}

TEST_F(DriveCommandsTest, TransferChecksumFailuresStayApart) {
  Start(Drive(0, 0, 0, "disc yes\nfault readsum 1 badsum\nfault readsum 2 check 05 24 00\n"
                       "fault readsum 3 timeout\n"));
  LoadImage(StandardImage());
  ASSERT_EQ(m_image->DownloadImage(0), 0);
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), -1);
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), ASPI_CHECK_CONDITION);
  CMyASPI32::s_nRequestLimitMs = 30;
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), ASPI_ERR_TIMEOUT);
  EXPECT_EQ(m_image->VerifyTransferChecksum(0), 0);
}

TEST_F(DriveCommandsTest, ZoneChecksumAndItsFailuresAsValues) {
  Start(Drive(0, 0, 0, "zone-sum 12AB34CD\nfault readzone 2 timeout\nfault readzone 3 check 03 11 00\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  EXPECT_EQ(image.ReadZoneChecksum(0), 0x12AB34CDu);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].cdb, Cdb({0x3C, 0x04, 0x06, 0x00, 0x0F, 0x80, 0x00}));
  EXPECT_EQ(log[0].cdbLen, 7);
  EXPECT_EQ(log[0].bufLen, 4u);
  EXPECT_EQ(log[0].flags, SRB_DIR_IN | SRB_EVENT_NOTIFY);
  CMyASPI32::s_nRequestLimitMs = 30;
  EXPECT_EQ(image.ReadZoneChecksum(0), 10147u);
  EXPECT_EQ(image.ReadZoneChecksum(0), 0xAA55AA55u);
  EXPECT_EQ(image.ReadZoneChecksum(0), 0x12AB34CDu);
}

// Good status is not an answer: only bytes that arrived count. A value
// whose last bytes equal the transport's fill is asked for once more and
// taken when both answers agree.
TEST_F(DriveCommandsTest, OnlyBytesThatArrivedAreAValue) {
  Start(Drive(0, 0, 0, "zone-sum 1234A5A5\nfault readzone 3 empty\nfault readzone 5 half\nfault readzone 6 short 3\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  std::uint32_t v = 0;
  EXPECT_EQ(ReadZoneChecksumChecked(image, 0, &v), 0);
  EXPECT_EQ(v, 0x1234A5A5u);
  EXPECT_EQ(Log().size(), 2u) << "two looks at an answer that ends in the fill";
  EXPECT_EQ(ReadZoneChecksumChecked(image, 0, &v), ASPI_ERR_SHORT_ANSWER) << "nothing, then the value";
  EXPECT_EQ(ReadZoneChecksumChecked(image, 0, &v), ASPI_ERR_SHORT_ANSWER) << "half, then three bytes";
  EXPECT_EQ(Log().size(), 6u);

  // The caller's buffer keeps its bytes past what arrived.
  BYTE answer[CHECKSUM_ANSWER_LENGTH] = {1, 2, 3, 4};
  SRB_ExecSCSICmd srb;
  BuildReadZoneChecksum(srb, answer);
  Start(Drive(0, 0, 0, "zone-sum 11223344\nfault readzone 1 half\n"));
  EXPECT_EQ(m_aspi->ExecuteOnDrive(srb, 0), 0);
  EXPECT_EQ(m_aspi->m_nLastArrived, 2u);
  EXPECT_EQ(std::memcmp(answer, "\x11\x22\x03\x04", 4), 0);
}

// ---------------------------------------------------------------- disc

TEST_F(DriveCommandsTest, TestUnitReadyMapsItsOutcomes) {
  Start(Drive(0, 0, 0, "disc yes\nfault tur 3 nodevice\nfault tur 4 timeout\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  EXPECT_EQ(image.TestUnitReady(0), 0);
  EXPECT_EQ(m_aspi->StartStopUnit(0, 0x02), 0);
  EXPECT_EQ(image.TestUnitReady(0), TUR_NOT_READY) << "no disc: check condition";
  EXPECT_EQ(m_aspi->m_nSenseASC, 0x3A);
  EXPECT_EQ(image.TestUnitReady(0), -1);
  CMyASPI32::s_nRequestLimitMs = 30;
  EXPECT_EQ(image.TestUnitReady(0), -1) << "a drive that does not answer";
  EXPECT_EQ(image.TestUnitReady(1), -1) << "a row not in use";
  auto tur = Requests(0x00);
  ASSERT_EQ(tur.size(), 4u);
  EXPECT_EQ(tur[0].cdb, Cdb({}));
  EXPECT_EQ(tur[0].cdbLen, 6);
  EXPECT_EQ(tur[0].bufLen, 0u);
  EXPECT_EQ(tur[0].senseLen, 14);
  EXPECT_EQ(tur[0].flags, SRB_EVENT_NOTIFY);
}

// ---------------------------------------------------------------- commits

TEST_F(DriveCommandsTest, CommitFirmwareGoesToTheRememberedRowAndTheDriveAdoptsTheImage) {
  Start(Drive(0, 0, 0, "disc yes\n") + Drive(0, 4, 0, "disc yes\n"));
  LoadImage(StandardImage("1.10"));
  m_image->SetDriveIndex(1);
  ASSERT_EQ(m_image->DownloadImage(1), 0);
  ClearLog();
  EXPECT_EQ(m_image->CommitFirmware(), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].target, 4);
  EXPECT_EQ(log[0].cdb, Cdb({0x3B, 0x07, 0x0A, 0x00, 0x80, 0x00, 0x19, 0x80, 0x00, 0x01}));
  EXPECT_EQ(log[0].cdbLen, 10);
  EXPECT_EQ(log[0].flags, SRB_DIR_OUT | SRB_EVENT_NOTIFY);
  EXPECT_EQ(log[0].bufLen, 4u);
  EXPECT_EQ(log[0].head, "00000000");
  EXPECT_EQ(log[0].senseLen, 14);

  // A new run sees the committed revision on that drive only.
  m_image.reset();
  m_aspi.reset();
  CMyASPI32 next;
  ASSERT_EQ(next.ScanDrives(), 0);
  ASSERT_EQ(next.m_nDrives, 2);
  EXPECT_STREQ(next.m_drives[0].szRevision, "1.00");
  EXPECT_STREQ(next.m_drives[1].szRevision, "1.10");
  EXPECT_STREQ(next.m_drives[1].szProduct, "DVDRRW M1       ");
}

TEST_F(DriveCommandsTest, CommitWithoutAnImageInTheDriveIsRefusedByIt) {
  Start(kDrive);
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  image.m_nLength = 0x1A0000;
  image.SetDriveIndex(0);
  EXPECT_EQ(image.CommitFirmware(), ASPI_CHECK_CONDITION);
  FirmwareImage unset;
  unset.m_pDriveAccess = m_aspi.get();
  EXPECT_EQ(unset.CommitFirmware(), ASPI_ERR_BAD_DRIVE) << "no drive row remembered";
}

TEST_F(DriveCommandsTest, CommitWriteStrategyAndTheZoneItLeaves) {
  Start(Drive(0, 0, 0, "zone-sum 00001111\n") +
        Drive(0, 1, 0, "zone-sum 00002222\nstrategy-commit changes-zone\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  image.SetDriveIndex(0);
  EXPECT_EQ(image.CommitWriteStrategy(), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].cdb, Cdb({0x3B, 0x07, 0, 0, 0, 0, 0, 0, 0, 0x02}));
  EXPECT_EQ(log[0].bufLen, 4u);
  EXPECT_EQ(log[0].head, "00000000");
  EXPECT_EQ(log[0].flags, SRB_DIR_OUT | SRB_EVENT_NOTIFY);
  EXPECT_EQ(image.ReadZoneChecksum(0), 0x00001111u);
  image.SetDriveIndex(1);
  EXPECT_EQ(image.CommitWriteStrategy(), 0);
  EXPECT_NE(image.ReadZoneChecksum(1), 0x00002222u);
}

// ---------------------------------------------------------------- F0h

TEST_F(DriveCommandsTest, IdentificationTextIsCopiedAsReceived) {
  Start(Drive(0, 0, 0, "idtext \"A\\0C\\0\\0F\"\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  image.SetDriveIndex(0);
  std::uint8_t area[10];
  std::memset(area, 0x77, sizeof(area));
  EXPECT_EQ(image.ReadDriveIdText(area), 0);
  const std::uint8_t want[10] = {'A', 0, 'C', 0, 0, 'F', 0x77, 0x77, 0x77, 0x77};
  EXPECT_EQ(std::memcmp(area, want, 10), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].cdb, Cdb({0xF0, 0x12, 0x20, 0, 0, 0, 0, 0, 0, 0, 0x07}));
  EXPECT_EQ(log[0].cdbLen, 10);
  EXPECT_EQ(log[0].bufLen, 40u);
  EXPECT_EQ(log[0].flags, SRB_DIR_IN | SRB_EVENT_NOTIFY);
  EXPECT_EQ(log[0].senseLen, 14);
}

TEST_F(DriveCommandsTest, FailedIdentificationLeavesTheAreaAlone) {
  Start(Drive(0, 0, 0, "fault idtext 1 check 05 20 00\n"));
  FirmwareImage image;
  image.m_pDriveAccess = m_aspi.get();
  image.SetDriveIndex(0);
  std::uint8_t area[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(image.ReadDriveIdText(area), ASPI_CHECK_CONDITION);
  const std::uint8_t same[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::memcmp(area, same, 6), 0);
}

}  // namespace
