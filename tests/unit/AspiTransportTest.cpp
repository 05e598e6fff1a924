// CMyASPI32 against the real simulated library and deliberately broken ones.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "platform/SysInfo.h"
#include "tests/unit/DriveTestSupport.h"

using namespace drivetest;

namespace {

class AspiTransportTest : public SimTest {
 protected:
  // A request to the drive at 0:0:0 with the given CDB and no data.
  int Send(CMyASPI32& aspi, std::initializer_list<int> cdb, BYTE flags = 0, BYTE* buf = nullptr,
           DWORD len = 0) {
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof(srb));
    srb.SRB_Flags = flags;
    srb.SRB_BufPointer = buf;
    srb.SRB_BufLen = len;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = 6;
    int i = 0;
    for (int b : cdb) srb.CDBByte[i++] = static_cast<BYTE>(b);
    return aspi.Execute(srb);
  }
};

// ---------------------------------------------------------------- loading

TEST_F(AspiTransportTest, NoLibraryIsStatus10058AndScanIsRefused) {
  TempDir empty;
  headless::SetLibraryDir(empty.Path());
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_NO_LIBRARY);
  EXPECT_EQ(aspi.m_hAspi, nullptr);
  EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_SCAN_REFUSED);
  SRB_ExecSCSICmd srb = {};
  EXPECT_NE(aspi.Execute(srb), 0);
}

TEST_F(AspiTransportTest, MissingEntryPointIsNeverCalled) {
  setenv("ORVEX_BROKEN_TRACE", m_dir.Path("trace").c_str(), 1);
  headless::SetLibraryDir(std::string(ORVEX_SIM_DIR) + "/broken/NoSendEntry");
  {
    CMyASPI32 aspi;
    EXPECT_NE(aspi.m_hAspi, nullptr);
    EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_NO_ENTRY_POINT);
    EXPECT_EQ(aspi.m_pfnGetSupportInfo, nullptr);
    EXPECT_EQ(aspi.m_pfnSendCommand, nullptr);
    EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_SCAN_REFUSED);
    SRB_ExecSCSICmd srb = {};
    EXPECT_EQ(aspi.Execute(srb), ASPI_ERR_NO_ENTRY_POINT);
  }
  unsetenv("ORVEX_BROKEN_TRACE");
  EXPECT_FALSE(fs::exists(m_dir.Path("trace"))) << "an entry point of a half library was called";
}

TEST_F(AspiTransportTest, NotReadyLibraryIs10068AndNothingIsSent) {
  setenv("ORVEX_BROKEN_TRACE", m_dir.Path("trace").c_str(), 1);
  headless::SetLibraryDir(std::string(ORVEX_SIM_DIR) + "/broken/NotReady");
  {
    CMyASPI32 aspi;
    EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_NOT_READY);
    EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_SCAN_REFUSED);
    EXPECT_EQ(Send(aspi, {0}), ASPI_ERR_NOT_READY);
  }
  unsetenv("ORVEX_BROKEN_TRACE");
  std::ifstream in(m_dir.Path("trace"));
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "GetASPI32SupportInfo\n");
}

TEST_F(AspiTransportTest, SimulatedSupportStatusOtherThanCompIsNotReady) {
  Configure("support 00\nadapters 3\n" + Drive(0, 0, 0));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_NOT_READY);
  EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_SCAN_REFUSED);
  EXPECT_TRUE(Log().empty());
}

TEST_F(AspiTransportTest, ReadyLibraryCountsAdaptersAndClearsSense) {
  Configure("adapters 3\n");
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.GetStatus(), 0);
  EXPECT_EQ(aspi.m_nAdapters, 3);
  EXPECT_EQ(aspi.m_nDrives, 0);
  EXPECT_EQ(aspi.m_bWin9x, 0);
  EXPECT_EQ(aspi.m_nSenseCode, -1);
  EXPECT_EQ(aspi.m_nSenseKey, -1);
  EXPECT_EQ(aspi.m_nSenseASC, -1);
  EXPECT_EQ(aspi.m_nSenseASCQ, -1);
}

TEST_F(AspiTransportTest, Win9xLoadsFromTheSystemFolderOfTheWindowsDirectory) {
  Configure("adapters 2\n");
  TempDir win;
  fs::create_directories(win.Path("system"));
  fs::copy_file(std::string(ORVEX_SIM_DIR) + "/libwnaspi32.so", win.Path("system/wnaspi32.dll"));
  headless::SetPlatformVersion(PLATFORM_WIN9X, 2222);
  headless::SetWindowsDirectory(win.Path());
  {
    CMyASPI32 aspi;
    EXPECT_EQ(aspi.m_bWin9x, 1);
    EXPECT_EQ(aspi.GetStatus(), 0);
    EXPECT_EQ(aspi.m_nAdapters, 2);
  }
  // The 9x road never searches: without the file there, nothing is loaded
  // even though the search folder holds a library.
  fs::remove(win.Path("system/wnaspi32.dll"));
  CMyASPI32 missing;
  EXPECT_EQ(missing.GetStatus(), ASPI_ERR_NO_LIBRARY);
}

TEST_F(AspiTransportTest, UnreadableOrUnknownVersionTakesTheNtRoad) {
  Configure("adapters 1\n");
  headless::SetPlatformVersion(PLATFORM_WIN9X, 1, false);
  CMyASPI32 unreadable;
  EXPECT_EQ(unreadable.m_bWin9x, 0);
  EXPECT_EQ(unreadable.GetStatus(), 0);
  headless::SetPlatformVersion(PLATFORM_WIN32S, 1);
  CMyASPI32 win32s;
  EXPECT_EQ(win32s.m_bWin9x, 0);
  EXPECT_EQ(win32s.GetStatus(), 0);
}

// ---------------------------------------------------------------- results

struct StatusCase {
  const char* fault;
  int result;
};

TEST_F(AspiTransportTest, EverySrbStatusMapsToItsResult) {
  const StatusCase cases[] = {
      {"nodevice", ASPI_ERR_NO_DEVICE},         {"aborted", ASPI_ERR_ABORTED},
      {"status 03", ASPI_ERR_ABORT_FAILED},     {"invalid", ASPI_ERR_INVALID_SRB},
      {"status E6", ASPI_ERR_BUFFER_TOO_BIG},   {"status E1", ASPI_ERR_BUFFER_ALIGN},
      {"status E2", ASPI_ERR_ILLEGAL_MODE},     {"status 80", ASPI_ERR_UNKNOWN_STATUS},
      {"status 81", ASPI_ERR_UNKNOWN_STATUS},   {"status FF", ASPI_ERR_UNKNOWN_STATUS},
  };
  std::string faults;
  int n = 1;
  for (const StatusCase& c : cases) faults += "fault tur " + std::to_string(n++) + " " + c.fault + "\n";
  Configure(Drive(0, 0, 0, "disc yes\n" + faults));
  CMyASPI32 aspi;
  for (const StatusCase& c : cases) EXPECT_EQ(Send(aspi, {0}), c.result) << c.fault;
  EXPECT_EQ(Send(aspi, {0}), 0) << "the drive itself is fine";
  EXPECT_EQ(aspi.m_nSenseKey, -1) << "no check condition was reported";
  ExpectEventsClosed(&aspi);
}

TEST_F(AspiTransportTest, UnknownStatusCodeIsUsedByNoOtherCause) {
  const int all[] = {0, ASPI_CHECK_CONDITION, ASPI_ERR_NO_LIBRARY, ASPI_ERR_NO_ENTRY_POINT,
                     ASPI_ERR_NOT_READY, ASPI_ERR_NO_EVENT, ASPI_ERR_TIMEOUT, ASPI_ERR_WAIT_FAILED,
                     ASPI_ERR_STILL_PENDING, ASPI_ERR_NO_DEVICE, ASPI_ERR_ABORTED,
                     ASPI_ERR_ABORT_FAILED, ASPI_ERR_INVALID_SRB, ASPI_ERR_BUFFER_TOO_BIG,
                     ASPI_ERR_BUFFER_ALIGN, ASPI_ERR_ILLEGAL_MODE, ASPI_ERR_UNKNOWN_STATUS,
                     ASPI_ERR_SCAN_REFUSED, ASPI_ERR_NO_DRIVE, ASPI_ERR_TABLE_FULL, ASPI_ERR_VENDOR,
                     ASPI_ERR_BAD_DRIVE};
  for (std::size_t i = 0; i < sizeof(all) / sizeof(all[0]); ++i)
    for (std::size_t j = i + 1; j < sizeof(all) / sizeof(all[0]); ++j) EXPECT_NE(all[i], all[j]);
}

TEST_F(AspiTransportTest, CheckConditionKeepsTheSenseFields) {
  Configure(Drive(0, 0, 0, "fault tur 2 check 03 11 05\n"));
  CMyASPI32 aspi;
  EXPECT_EQ(Send(aspi, {0}), ASPI_CHECK_CONDITION);  // no disc: 02/3A/00
  EXPECT_EQ(aspi.m_nSenseCode, 0x70);
  EXPECT_EQ(aspi.m_nSenseKey, 0x02);
  EXPECT_EQ(aspi.m_nSenseASC, 0x3A);
  EXPECT_EQ(aspi.m_nSenseASCQ, 0x00);
  EXPECT_EQ(Send(aspi, {0}), ASPI_CHECK_CONDITION);
  EXPECT_EQ(aspi.m_nSenseKey, 0x03);
  EXPECT_EQ(aspi.m_nSenseASC, 0x11);
  EXPECT_EQ(aspi.m_nSenseASCQ, 0x05);
  // A later success leaves the last sense where it was.
  EXPECT_EQ(Send(aspi, {0x1B, 0, 0, 0, 0x03, 0}), 0);  // load a disc
  EXPECT_EQ(Send(aspi, {0}), 0);
  EXPECT_EQ(aspi.m_nSenseKey, 0x03);
}

TEST_F(AspiTransportTest, BlockComesBackAsTheLibraryLeftIt) {
  Configure(Drive(0, 0, 0, "fault tur 1 check 05 24 00\n"));
  CMyASPI32 aspi;
  SRB_ExecSCSICmd srb;
  BuildTestUnitReady(srb);
  srb.SRB_Status = SS_COMP;  // stale value of a reused block
  EXPECT_EQ(aspi.Execute(srb), ASPI_CHECK_CONDITION);
  EXPECT_EQ(srb.SRB_Cmd, SC_EXEC_SCSI_CMD);
  EXPECT_EQ(srb.SRB_Status, SS_ERR);
  EXPECT_EQ(srb.SRB_Flags, SRB_EVENT_NOTIFY);
  EXPECT_EQ(srb.SRB_BufPointer, nullptr);
  EXPECT_EQ(srb.SenseArea[0], 0x70);
  EXPECT_EQ(srb.SenseArea[12], 0x24);
}

TEST_F(AspiTransportTest, AStaleStatusIsNeverTakenForTheLibrarysAnswer) {
  // A library that does not mark the request pending itself, and a request
  // that never completes: only the transport's own mark tells it apart from
  // the completed request the reused block carried before.
  Configure("accept-status keep\n" + Drive(0, 0, 0, "disc yes\nfault tur 1 timeout\n"));
  CMyASPI32::s_nRequestLimitMs = 50;
  CMyASPI32 aspi;
  SRB_ExecSCSICmd srb;
  BuildTestUnitReady(srb);
  srb.SRB_Status = SS_COMP;
  EXPECT_EQ(aspi.Execute(srb), ASPI_ERR_TIMEOUT);
}

// A library that writes back a larger length than it was given.
DWORD EnlargingSend(void* p) {
  auto& srb = *static_cast<SRB_ExecSCSICmd*>(p);
  std::memset(srb.SRB_BufPointer, 0x11, srb.SRB_BufLen);
  srb.SRB_BufLen += 32;
  srb.SRB_Status = SS_COMP;
  return SS_COMP;
}

TEST_F(AspiTransportTest, DataComesBackNoLongerThanTheCallerGave) {
  Configure(Drive(0, 0, 0));
  CMyASPI32 aspi;
  aspi.m_pfnSendCommand = EnlargingSend;
  BYTE area[64];
  std::memset(area, 0xEE, sizeof(area));
  SRB_ExecSCSICmd srb;
  BuildReadZoneChecksum(srb, area);  // 4 bytes in
  for (int round = 0; round < 2; ++round) {  // the block is reused as it came back
    EXPECT_EQ(aspi.Execute(srb), 0);
    EXPECT_EQ(srb.SRB_BufLen, 4u);
    EXPECT_EQ(area[3], 0x11);
    for (std::size_t i = 4; i < sizeof(area); ++i) ASSERT_EQ(area[i], 0xEE) << "byte " << i;
  }
}

TEST_F(AspiTransportTest, DataInArrivesInTheCallersBuffer) {
  Configure("completion async\nlatency 5\n" + Drive(0, 0, 0));
  CMyASPI32 aspi;
  BYTE answer[50];
  std::memset(answer, 0xEE, sizeof(answer));
  SRB_ExecSCSICmd srb;
  BuildInquiry(srb, answer);
  EXPECT_EQ(aspi.Execute(srb), 0);
  EXPECT_EQ(srb.SRB_BufPointer, answer);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 8), 8), "KORVELIN");
  EXPECT_EQ(answer[36], 0xEE) << "a 36-byte answer leaves the rest of the buffer alone";
  ExpectEventsClosed(&aspi);
}

TEST_F(AspiTransportTest, SynchronousCompletionNeedsNoWait) {
  Configure(Drive(0, 0, 0, "disc yes\n"));
  CMyASPI32::s_nRequestLimitMs = 0;  // any wait would time out at once
  CMyASPI32 aspi;
  EXPECT_EQ(Send(aspi, {0}), 0);
  ExpectEventsClosed(&aspi);
}

TEST_F(AspiTransportTest, LaterCompletionThroughTheEvent) {
  Configure("completion async\nlatency 30\n" + Drive(0, 0, 0, "disc yes\n"));
  CMyASPI32 aspi;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Send(aspi, {0}), 0);
  ExpectEventsClosed(&aspi);
}

TEST_F(AspiTransportTest, RequestThatNeverCompletesTimesOut) {
  Configure(Drive(0, 0, 0, "disc yes\nfault tur 1 timeout\n"));
  CMyASPI32::s_nRequestLimitMs = 50;
  CMyASPI32 aspi;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Send(aspi, {0}), ASPI_ERR_TIMEOUT);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(45));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_EQ(Send(aspi, {0}), 0) << "the next request goes through";
}

TEST_F(AspiTransportTest, LateCompletionWritesIntoKeptMemoryNotTheCallers) {
  // The drive answers after the limit: the library writes into the block and
  // buffer that Execute kept, never into the caller's (gone) ones.
  Configure("completion async\nlatency 150\n" + Drive(0, 0, 0));
  CMyASPI32::s_nRequestLimitMs = 10;
  {
    CMyASPI32 aspi;
    {
      BYTE answer[50] = {};
      SRB_ExecSCSICmd srb;
      BuildInquiry(srb, answer);
      EXPECT_EQ(aspi.Execute(srb), ASPI_ERR_TIMEOUT);
      EXPECT_EQ(srb.SRB_Status, SS_PENDING);
      std::memset(answer, 0x5A, sizeof(answer));
    }
    CMyASPI32::s_nRequestLimitMs = 60000;
    BYTE fresh[50] = {};
    SRB_ExecSCSICmd srb;
    BuildInquiry(srb, fresh);
    EXPECT_EQ(aspi.Execute(srb), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(fresh + 8), 8), "KORVELIN");
  }
  // Unloading waited for the late completion; its event was closed after it.
  ExpectEventsClosed();
}

TEST_F(AspiTransportTest, FailedWaitIs10158AndTheRequestIsKeptUntilDone) {
  Configure("completion async\nlatency 100\n" + Drive(0, 0, 0, "disc yes\n"));
  {
    CMyASPI32 aspi;
    headless::FailNextEventWait();
    EXPECT_EQ(Send(aspi, {0}), ASPI_ERR_WAIT_FAILED);
    EXPECT_EQ(Send(aspi, {0}), 0);
  }
  ExpectEventsClosed();
}

TEST_F(AspiTransportTest, NoEventMeansNothingIsSent) {
  Configure(Drive(0, 0, 0, "disc yes\n"));
  CMyASPI32 aspi;
  headless::FailNextEventCreate();
  EXPECT_EQ(Send(aspi, {0}), ASPI_ERR_NO_EVENT);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(Send(aspi, {0}), 0);
  EXPECT_EQ(Log().size(), 1u);
}

TEST_F(AspiTransportTest, SignalledButPendingIs10174) {
  Configure(Drive(0, 0, 0, "disc yes\nfault tur 1 signal-pending\n"));
  CMyASPI32 aspi;
  EXPECT_EQ(Send(aspi, {0}), ASPI_ERR_STILL_PENDING);
  EXPECT_EQ(Send(aspi, {0}), 0);
}

TEST_F(AspiTransportTest, RequestBlockCarriesTheAddressAndNotifyFlag) {
  Configure("adapters 2\n" + Drive(1, 5, 3, "disc yes\n"));
  CMyASPI32 aspi;
  ASSERT_EQ(aspi.ScanDrives(), 0);
  ClearLog();
  BYTE answer[4] = {};
  SRB_ExecSCSICmd srb;
  BuildReadZoneChecksum(srb, answer);
  EXPECT_EQ(aspi.ExecuteOnDrive(srb, 0), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].ha, 1);
  EXPECT_EQ(log[0].target, 5);
  EXPECT_EQ(log[0].lun, 3);
  EXPECT_EQ(log[0].cmd, SC_EXEC_SCSI_CMD);
  EXPECT_EQ(log[0].flags, SRB_DIR_IN | SRB_EVENT_NOTIFY);
}

TEST_F(AspiTransportTest, RowsNotInUseAreRefusedWithoutSending) {
  Configure(Drive(0, 0, 0, "disc yes\n"));
  CMyASPI32 aspi;
  ASSERT_EQ(aspi.ScanDrives(), 0);
  ClearLog();
  SRB_ExecSCSICmd srb;
  BuildTestUnitReady(srb);
  EXPECT_EQ(aspi.ExecuteOnDrive(srb, -1), ASPI_ERR_BAD_DRIVE);
  EXPECT_EQ(aspi.ExecuteOnDrive(srb, 1), ASPI_ERR_BAD_DRIVE);
  EXPECT_EQ(aspi.ExecuteOnDrive(srb, 4), ASPI_ERR_BAD_DRIVE);
  EXPECT_EQ(aspi.StartStopUnit(1, 0x02), ASPI_ERR_BAD_DRIVE);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(aspi.ExecuteOnDrive(srb, 0), 0);
}

TEST_F(AspiTransportTest, StartStopUnitEjectsWithTwelveByteCdbAndNoSense) {
  Configure(Drive(0, 2, 0, "disc yes\n"));
  CMyASPI32 aspi;
  ASSERT_EQ(aspi.ScanDrives(), 0);
  ClearLog();
  EXPECT_EQ(aspi.StartStopUnit(0, 0x02), 0);
  SRB_ExecSCSICmd tur;
  BuildTestUnitReady(tur);
  EXPECT_EQ(aspi.ExecuteOnDrive(tur, 0), ASPI_CHECK_CONDITION) << "the disc is out";
  auto log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].target, 2);
  EXPECT_EQ(log[0].cdb, Cdb({0x1B, 0, 0, 0, 0x02}));
  EXPECT_EQ(log[0].cdbLen, 12);
  EXPECT_EQ(log[0].senseLen, 0);
  EXPECT_EQ(log[0].flags, SRB_EVENT_NOTIFY);
  EXPECT_EQ(log[0].bufLen, 0u);
}

// ---------------------------------------------------------------- scanning

TEST_F(AspiTransportTest, ScanVisitsEveryAddressInOrder) {
  Configure("adapters 2\n" + Drive(1, 0, 1) + Drive(0, 7, 7, "", "QN      ", "DVD Writer 1", "2.00"));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), 0);
  auto log = Log();
  ASSERT_EQ(log.size(), 128u);
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(log[i].ha, i / 64);
    EXPECT_EQ(log[i].target, (i / 8) % 8);
    EXPECT_EQ(log[i].lun, i % 8);
    EXPECT_EQ(log[i].cdb, Cdb({0x12, 0, 0, 0, 0x32, 0}));
    EXPECT_EQ(log[i].cdbLen, 6);
    EXPECT_EQ(log[i].bufLen, 50u);
    EXPECT_EQ(log[i].senseLen, 14);
    EXPECT_EQ(log[i].flags, SRB_DIR_IN | SRB_EVENT_NOTIFY);
  }
  ASSERT_EQ(aspi.m_nDrives, 2);
  EXPECT_STREQ(aspi.m_drives[0].szVendor, "QN      ");
  EXPECT_STREQ(aspi.m_drives[0].szProduct, "DVD Writer 1    ");
  EXPECT_STREQ(aspi.m_drives[0].szRevision, "2.00");
  EXPECT_EQ(aspi.m_drives[0].nHaId, 0);
  EXPECT_EQ(aspi.m_drives[0].nTarget, 7);
  EXPECT_EQ(aspi.m_drives[0].nLun, 7);
  EXPECT_STREQ(aspi.m_drives[1].szVendor, "KORVELIN");
  EXPECT_EQ(aspi.m_drives[1].nHaId, 1);
  EXPECT_EQ(aspi.m_drives[1].nLun, 1);
  EXPECT_EQ(aspi.m_drives[1].abInquiry[0], 0x05);
  EXPECT_EQ(aspi.m_drives[1].abInquiry[1], 0x80);
}

TEST_F(AspiTransportTest, NoAdaptersSendsNothing) {
  Configure("adapters 0\n");
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_NO_DRIVE);
  EXPECT_TRUE(Log().empty());
}

TEST_F(AspiTransportTest, OnlyTheTwoVendorsExactlyAreAdmitted) {
  Configure(Drive(0, 0, 0, "", "KORVELIN", "ANYTHING AT ALL") + Drive(0, 1, 0, "", "korvelin") +
            Drive(0, 2, 0, "", "KORVELI") + Drive(0, 3, 0, "", "QN") + Drive(0, 4, 0, "", "QN     X") +
            Drive(0, 5, 0, "type 1F\n", "QN      ", "NOT A DVD"));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), 0);
  ASSERT_EQ(aspi.m_nDrives, 3);
  EXPECT_EQ(aspi.m_drives[0].nTarget, 0);
  EXPECT_EQ(aspi.m_drives[1].nTarget, 3) << "\"QN\" padded with six spaces is the OEM vendor";
  EXPECT_EQ(aspi.m_drives[2].nTarget, 5) << "the device type is not tested";
}

TEST_F(AspiTransportTest, FifthDeviceOverflowsTheTable) {
  std::string cfg;
  for (int t = 0; t < 4; ++t) cfg += Drive(0, t, 0);
  cfg += Drive(0, 6, 0, "", "OTHERVEN");
  Configure(cfg);
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), 0);
  EXPECT_EQ(aspi.m_nDrives, 4);
  EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_TABLE_FULL);
  EXPECT_EQ(Log().size(), 64u) << "every address is visited after the table is full";
  EXPECT_EQ(aspi.ScanDrives(), ASPI_ERR_SCAN_REFUSED);
  EXPECT_EQ(aspi.StartStopUnit(3, 0x02), 0) << "requests still work";
}

TEST_F(AspiTransportTest, SecondScanAppendsUpToFourRows) {
  Configure(Drive(0, 1, 0) + Drive(0, 2, 0));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), 0);
  EXPECT_EQ(aspi.m_nDrives, 2);
  EXPECT_EQ(aspi.ScanDrives(), 0);
  ASSERT_EQ(aspi.m_nDrives, 4);
  EXPECT_EQ(aspi.m_drives[2].nTarget, 1);
  EXPECT_EQ(aspi.m_drives[3].nTarget, 2);
  EXPECT_EQ(aspi.GetStatus(), 0);
  EXPECT_EQ(aspi.ScanDrives(), 0) << "the full table refuses quietly but the rows stay";
  EXPECT_EQ(aspi.GetStatus(), ASPI_ERR_TABLE_FULL);
}

TEST_F(AspiTransportTest, AllAdaptersAreScannedSafely) {
  Configure("log none\nadapters 255\n" + Drive(254, 7, 7) + Drive(200, 0, 0));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.m_nAdapters, 255);
  EXPECT_EQ(aspi.ScanDrives(), 0);
  ASSERT_EQ(aspi.m_nDrives, 2);
  EXPECT_EQ(aspi.m_drives[0].nHaId, 200);
  EXPECT_EQ(aspi.m_drives[1].nHaId, 254);
  EXPECT_EQ(aspi.m_drives[1].nTarget, 7);
  ExpectEventsClosed(&aspi);
}

TEST_F(AspiTransportTest, ShortAndNulFilledInquiryAnswersAreStoredByteExact) {
  Configure(Drive(0, 0, 0, "", "KORVELIN", "A\\0B\\x01", "\\0\\0x\\xFF") +
            // Answers only 20 bytes: its vendor field is complete, the rest
            // of the buffer must not come from the drive before it.
            Drive(0, 1, 0, "inquiry-length 20\n", "QN      ") +
            Drive(0, 2, 0, "inquiry-length 12\n", "KORVELIN"));
  CMyASPI32 aspi;
  EXPECT_EQ(aspi.ScanDrives(), 0);
  ASSERT_EQ(aspi.m_nDrives, 2);
  EXPECT_EQ(std::memcmp(aspi.m_drives[0].szProduct, "A\0B\x01            \0", 17), 0);
  EXPECT_EQ(std::memcmp(aspi.m_drives[0].szRevision, "\0\0x\xFF\0", 5), 0);
  EXPECT_STREQ(aspi.m_drives[1].szVendor, "QN      ");
  EXPECT_EQ(std::memcmp(aspi.m_drives[1].szProduct, "DVDR\0\0\0\0\0\0\0\0\0\0\0\0\0", 17), 0)
      << "bytes the drive did not send are zero, not the previous drive's";
  EXPECT_EQ(std::memcmp(aspi.m_drives[1].szRevision, "\0\0\0\0\0", 5), 0);
}

}  // namespace

namespace {

// The row takes only what arrived, whatever else the buffer holds: a
// revision cut short is none at all, and product bytes that did not come
// are zero.
TEST(ParseInquiryTest, OnlyWhatArrivedMakesTheRow) {
  BYTE answer[36];
  std::memcpy(answer, "\x05\x80\x02\x02\x1F\0\0\0KORVELINDVDRRW M1       1.20", 36);
  DriveEntry row;
  EXPECT_EQ(ParseInquiry(answer, 36, &row), 0);
  EXPECT_STREQ(row.szRevision, "1.20");
  EXPECT_EQ(ParseInquiry(answer, 34, &row), 0);
  EXPECT_STREQ(row.szRevision, "");
  EXPECT_STREQ(row.szVendor, "KORVELIN");
  EXPECT_EQ(ParseInquiry(answer, 20, &row), 0);
  EXPECT_STREQ(row.szProduct, "DVDR");
  EXPECT_EQ(ParseInquiry(answer, 15, &row), ASPI_ERR_SHORT_ANSWER);
}

}  // namespace
