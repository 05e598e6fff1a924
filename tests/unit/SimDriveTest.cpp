// The simulated drive model on its own: configuration, drive behaviour,
// faults by kind and occurrence, the request log and the flash state.
#include <gtest/gtest.h>

#include <cstring>

#include "drive/Cdb.h"
#include "sim/SimModel.h"
#include "tests/unit/DriveTestSupport.h"

using namespace drivetest;

namespace {

sim::BusConfig Parse(const std::string& text) {
  sim::BusConfig cfg;
  std::string error;
  EXPECT_TRUE(sim::ParseConfig(text, &cfg, &error)) << error;
  return cfg;
}

std::string ParseError(const std::string& text) {
  sim::BusConfig cfg;
  std::string error;
  EXPECT_FALSE(sim::ParseConfig(text, &cfg, &error)) << text;
  return error;
}

TEST(SimConfigTest, ReadsBusDevicesAndFaults) {
  sim::BusConfig cfg = Parse(
      "# a comment\n"
      "adapters 3\r\nsupport E3\ncompletion async\nlatency 12\nlog none\n"
      "device 2 7 1   # trailing comment\n"
      "vendor \"QN\"\nproduct \"Some \\\"Drive\\\"\"\nrevision 9.1\nidtext \"A\\x00\\x42\"\n"
      "type 1F\ndisc yes\nzone-sum DEADBEEF\ninquiry-length 20\nstrategy-commit changes-zone\n"
      "latency 3\n"
      "fault write 5 check 03 0C 00\nfault any 7+ status 82\nfault readzone * badsum\n");
  EXPECT_EQ(cfg.adapters, 3);
  EXPECT_EQ(cfg.supportStatus, 0xE3);
  EXPECT_TRUE(cfg.async);
  EXPECT_EQ(cfg.latencyMs, 12);
  EXPECT_TRUE(cfg.logPath.empty());
  ASSERT_EQ(cfg.devices.size(), 1u);
  const sim::DeviceConfig& d = cfg.devices[0];
  EXPECT_EQ(d.ha, 2);
  EXPECT_EQ(d.target, 7);
  EXPECT_EQ(d.lun, 1);
  EXPECT_EQ(d.vendor, "QN      ");
  EXPECT_EQ(d.product, "Some \"Drive\"    ");
  EXPECT_EQ(d.revision, "9.1 ");
  EXPECT_EQ(d.idText, std::string("A\0B\0\0\0", 6));
  EXPECT_EQ(d.deviceType, 0x1F);
  EXPECT_TRUE(d.disc);
  EXPECT_EQ(d.zoneSum, 0xDEADBEEFu);
  EXPECT_EQ(d.inquiryLength, 20);
  EXPECT_TRUE(d.strategyChangesZone);
  EXPECT_EQ(d.latencyMs, 3);
  ASSERT_EQ(d.faults.size(), 3u);
  EXPECT_EQ(d.faults[0].kind, sim::Kind::WritePiece);
  EXPECT_EQ(d.faults[0].occurrence, 5);
  EXPECT_FALSE(d.faults[0].onward);
  EXPECT_EQ(d.faults[0].action, sim::FaultAction::Check);
  EXPECT_EQ(d.faults[0].senseKey, 3);
  EXPECT_EQ(d.faults[0].asc, 0x0C);
  EXPECT_EQ(d.faults[1].kind, sim::Kind::Any);
  EXPECT_TRUE(d.faults[1].onward);
  EXPECT_EQ(d.faults[1].status, 0x82);
  EXPECT_EQ(d.faults[2].occurrence, 1);
  EXPECT_TRUE(d.faults[2].onward);
  EXPECT_EQ(d.faults[2].action, sim::FaultAction::BadSum);
}

TEST(SimConfigTest, RejectsWhatItCannotRead) {
  EXPECT_NE(ParseError("adapters 256\n").find("line 1"), std::string::npos);
  EXPECT_NE(ParseError("\nfault tur 1 timeout\n").find("line 2"), std::string::npos);
  ParseError("device 0 8 0\n");
  ParseError("device 0 0\n");
  ParseError("device 0 0 0\nfault tur 0 timeout\n");
  ParseError("device 0 0 0\nfault teleport 1 timeout\n");
  ParseError("device 0 0 0\nfault tur 1 explode\n");
  ParseError("device 0 0 0\nfault tur 1 check 03 11\n");
  ParseError("device 0 0 0\nvendor \"open\n");
  ParseError("device 0 0 0\ndisc maybe\n");
  ParseError("completion later\n");
  ParseError("colour blue\n");
}

TEST(SimConfigTest, KindsOfCdbs) {
  auto k = [](std::initializer_list<int> b) {
    std::vector<std::uint8_t> c = Cdb(b);
    return sim::ClassifyCdb(c.data());
  };
  EXPECT_EQ(k({0x12}), sim::Kind::Inquiry);
  EXPECT_EQ(k({0x00}), sim::Kind::TestUnitReady);
  EXPECT_EQ(k({0x1B}), sim::Kind::StartStop);
  EXPECT_EQ(k({0x3B, 0x06}), sim::Kind::WritePiece);
  EXPECT_EQ(k({0x3B, 0x07, 0x0A, 0, 0x80, 0, 0x19, 0x80, 0, 0x01}), sim::Kind::CommitMain);
  EXPECT_EQ(k({0x3B, 0x07, 0, 0, 0, 0, 0, 0, 0, 0x02}), sim::Kind::CommitStrategy);
  EXPECT_EQ(k({0x3C, 0x04, 0x03}), sim::Kind::ReadTransferSum);
  EXPECT_EQ(k({0x3C, 0x04, 0x06}), sim::Kind::ReadZoneSum);
  EXPECT_EQ(k({0x3C, 0x04, 0x02}), sim::Kind::Other);
  EXPECT_EQ(k({0xF0}), sim::Kind::IdText);
  EXPECT_EQ(k({0x28}), sim::Kind::Other);
}

// ---------------------------------------------------------------- drive

class SimDriveModelTest : public ::testing::Test {
 protected:
  SimDriveModelTest() : m_drive(Config()) {}
  static sim::DeviceConfig Config() {
    sim::DeviceConfig c;
    c.vendor = "KORVELIN";
    c.product = "DVDRRW M1";
    c.revision = "1.00";
    c.idText = "XYZ987";
    c.zoneSum = 0x01020304;
    return c;
  }
  sim::Reply Run(std::initializer_list<int> cdb, const std::vector<std::uint8_t>& out = {}) {
    std::vector<std::uint8_t> c = Cdb(cdb);
    return m_drive.Handle(c.data(), out.empty() ? nullptr : out.data(),
                          static_cast<std::uint32_t>(out.size()));
  }
  static void ExpectSense(const sim::Reply& r, int key, int asc, int ascq) {
    EXPECT_EQ(r.status, SS_ERR);
    EXPECT_EQ(r.sense[0], 0x70);
    EXPECT_EQ(r.sense[2], key);
    EXPECT_EQ(r.sense[12], asc);
    EXPECT_EQ(r.sense[13], ascq);
  }
  sim::SimDrive m_drive;
};

TEST_F(SimDriveModelTest, InquiryAnswersStandardDataUpToTheAllocationLength) {
  sim::Reply r = Run({0x12, 0, 0, 0, 50, 0});
  EXPECT_EQ(r.status, SS_COMP);
  ASSERT_EQ(r.data.size(), 36u);
  EXPECT_EQ(r.data[0], 0x05);
  EXPECT_EQ(std::string(r.data.begin() + 8, r.data.begin() + 36), "KORVELINDVDRRW M1       1.00");
  EXPECT_EQ(Run({0x12, 0, 0, 0, 20, 0}).data.size(), 20u);
}

TEST_F(SimDriveModelTest, DiscTestAndEject) {
  ExpectSense(Run({0x00}), 0x02, 0x3A, 0x00);
  EXPECT_EQ(Run({0x1B, 0, 0, 0, 0x03}).status, SS_COMP);  // load
  EXPECT_EQ(Run({0x00}).status, SS_COMP);
  EXPECT_EQ(Run({0x1B, 0, 0, 0, 0x01}).status, SS_COMP);  // start only: disc stays
  EXPECT_TRUE(m_drive.Disc());
  EXPECT_EQ(Run({0x1B, 0, 0, 0, 0x02}).status, SS_COMP);  // eject
  EXPECT_FALSE(m_drive.Disc());
}

TEST_F(SimDriveModelTest, WriteBufferStoresPiecesAndChecksTheirBounds) {
  std::vector<std::uint8_t> piece(8192, 2);
  EXPECT_EQ(Run({0x3B, 0x06, 0, 0x00, 0x20, 0x00, 0x00, 0x20, 0x00}, piece).status, SS_COMP);
  EXPECT_EQ(m_drive.ReceivedSum(0x2000), 0u);
  EXPECT_EQ(m_drive.ReceivedSum(0x4000), 2u * 8192);
  EXPECT_EQ(m_drive.ReceivedSum(0x3000), 2u * 4096) << "sums up to the requested length only";
  // Past the buffer's end, and a length that disagrees with the data.
  ExpectSense(Run({0x3B, 0x06, 0, 0x1F, 0xF0, 0x00, 0x00, 0x20, 0x00}, piece), 0x05, 0x24, 0x00);
  ExpectSense(Run({0x3B, 0x06, 0, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00}, piece), 0x05, 0x24, 0x00);
  EXPECT_EQ(Run({0x3B, 0x06, 0, 0x1F, 0xE0, 0x00, 0x00, 0x20, 0x00}, piece).status, SS_COMP)
      << "the last piece of the buffer";

  sim::Reply sum = Run({0x3C, 0x04, 0x03, 0x00, 0x00, 0x40, 0x00});
  ASSERT_EQ(sum.data.size(), 4u);
  EXPECT_EQ(GetBE32(sum.data.data()), 2u * 8192);
  ExpectSense(Run({0x3C, 0x04, 0x03, 0x00, 0x20, 0x00, 0x01}), 0x05, 0x24, 0x00);
}

TEST_F(SimDriveModelTest, ZoneChecksumOnlyForItsSpan) {
  sim::Reply r = Run({0x3C, 0x04, 0x06, 0x00, 0x0F, 0x80, 0x00});
  EXPECT_EQ(GetBE32(r.data.data()), 0x01020304u);
  ExpectSense(Run({0x3C, 0x04, 0x06, 0x00, 0x0F, 0x00, 0x00}), 0x05, 0x24, 0x00);
}

TEST_F(SimDriveModelTest, CommitTakesIdentityFromTheReceivedImage) {
  std::vector<std::uint8_t> image = imagegen::Build(
      imagegen::ImageSpec().Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.30"));
  for (std::uint32_t off = 0; off < 0x1A0000; off += 8192) {
    std::vector<std::uint8_t> piece(image.begin() + off, image.begin() + off + 8192);
    ASSERT_EQ(Run({0x3B, 0x06, 0, int(off >> 16), int((off >> 8) & 0xFF), 0, 0x00, 0x20, 0x00}, piece).status,
              SS_COMP);
  }
  EXPECT_EQ(Run({0x3B, 0x07, 0x0A, 0x00, 0x80, 0x00, 0x19, 0x80, 0x00, 0x01}, {0, 0, 0, 0}).status, SS_COMP);
  EXPECT_EQ(m_drive.Config().revision, "1.30");
  EXPECT_EQ(m_drive.ZoneSum(), imagegen::ByteSum(image, 0xF8000));
  sim::Reply inq = Run({0x12, 0, 0, 0, 36, 0});
  EXPECT_EQ(std::string(inq.data.begin() + 32, inq.data.end()), "1.30");
}

TEST_F(SimDriveModelTest, CommitOfNoImageIsRefused) {
  ExpectSense(Run({0x3B, 0x07, 0x0A, 0x00, 0x80, 0x00, 0x19, 0x80, 0x00, 0x01}, {0, 0, 0, 0}), 0x05, 0x26,
              0x00);
  ExpectSense(Run({0x3B, 0x07, 0x00, 0x00, 0x80, 0x00, 0x19, 0x80, 0x00, 0x01}, {0, 0, 0, 0}), 0x05, 0x24,
              0x00);
  EXPECT_EQ(m_drive.Config().revision, "1.00");
}

TEST_F(SimDriveModelTest, IdentificationTextNeedsByteTen) {
  sim::Reply r = Run({0xF0, 0x12, 0x20, 0, 0, 0, 0, 0, 0, 0, 0x07});
  ASSERT_EQ(r.data.size(), 40u);
  EXPECT_EQ(std::string(r.data.begin() + 3, r.data.begin() + 9), "XYZ987");
  ExpectSense(Run({0xF0, 0x12, 0x20}), 0x05, 0x24, 0x00);
  // Behind the kernel's target stack the drive sees ten bytes of it.
  sim::DeviceConfig ten = Config();
  std::string error;
  sim::BusConfig bus;
  ASSERT_TRUE(sim::ParseConfig("device 0 0 0\nidtext-cdb 10\n", &bus, &error)) << error;
  ten.idTextNeedsByte10 = bus.devices[0].idTextNeedsByte10;
  std::vector<std::uint8_t> c = Cdb({0xF0, 0x12, 0x20});
  EXPECT_EQ(sim::SimDrive(ten).Handle(c.data(), nullptr, 0).data.size(), 40u);
}

TEST_F(SimDriveModelTest, UnknownCommandsAreIllegalRequests) {
  ExpectSense(Run({0x28}), 0x05, 0x20, 0x00);
  ExpectSense(Run({0x3C, 0x04, 0x02}), 0x05, 0x20, 0x00);
}

TEST(FindIdentityTest, SameRulesAsTheLoader) {
  std::vector<std::uint8_t> d(0x1A0000, 0);
  auto put = [&](std::size_t at, const char* s) { std::memcpy(&d[at], s, std::strlen(s)); };
  EXPECT_EQ(sim::FindIdentity(d.data(), 0x1A0000), -1);
  put(0x13FFF0, "KORVELINDVDRRW M");
  EXPECT_EQ(sim::FindIdentity(d.data(), 0x1A0000), -1);
  put(0x19FFF0, "KORVELINDVDRRW M");
  EXPECT_EQ(sim::FindIdentity(d.data(), 0x1A0000), -1) << "no room for the block";
  put(0x150000, "QN      DVD Writer");
  EXPECT_EQ(sim::FindIdentity(d.data(), 0x1A0000), 0x150000);
  put(0x160000, "KORVELINDVD-RAM M");
  EXPECT_EQ(sim::FindIdentity(d.data(), 0x1A0000), 0x160000);
}

// ---------------------------------------------------------------- bus

class SimBusTest : public ::testing::Test {
 protected:
  SRB_ExecSCSICmd Tur(int target = 0) {
    SRB_ExecSCSICmd srb;
    BuildTestUnitReady(srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Target = static_cast<BYTE>(target);
    return srb;
  }
  BYTE Run(sim::SimBus& bus, SRB_ExecSCSICmd& srb) {
    sim::Decision d = bus.Accept(srb);
    if (d.completion != sim::Decision::Complete) return 0xEE;
    bus.Complete(srb, d);
    return srb.SRB_Status;
  }
  TempDir m_dir;
};

TEST_F(SimBusTest, FaultsHitTheirOccurrenceOnly) {
  sim::SimBus bus(Parse("device 0 0 0\ndisc yes\nfault tur 2 nodevice\nfault tur 4+ aborted\n"
                        "fault tur 3 timeout\nfault startstop 1 signal-pending\n"));
  SRB_ExecSCSICmd srb = Tur();
  EXPECT_EQ(Run(bus, srb), SS_COMP);
  EXPECT_EQ(Run(bus, srb), SS_NO_DEVICE);
  EXPECT_EQ(bus.Accept(srb).completion, sim::Decision::Never);
  EXPECT_EQ(Run(bus, srb), SS_ABORTED);
  EXPECT_EQ(Run(bus, srb), SS_ABORTED);
  EXPECT_EQ(bus.Count(0, sim::Kind::TestUnitReady), 5);
  SRB_ExecSCSICmd ssu;
  BuildStartStopUnit(ssu, 0x02);
  EXPECT_EQ(bus.Accept(ssu).completion, sim::Decision::SignalOnly);
}

TEST_F(SimBusTest, AddressesWithoutDevicesAndAdaptersBeyondTheCount) {
  sim::SimBus bus(Parse("adapters 2\ndevice 1 0 0\ndisc yes\n"));
  SRB_ExecSCSICmd srb = Tur();
  EXPECT_EQ(Run(bus, srb), SS_NO_DEVICE);
  srb.SRB_HaId = 1;
  EXPECT_EQ(Run(bus, srb), SS_COMP);
  srb.SRB_HaId = 2;
  EXPECT_EQ(Run(bus, srb), SS_INVALID_HA);
  EXPECT_EQ(bus.SupportInfo(), 0x0102u);
}

TEST_F(SimBusTest, CheckConditionSenseIsCutToTheRequestedLength) {
  sim::SimBus bus(Parse("device 0 0 0\nfault tur * check 06 29 01\n"));
  SRB_ExecSCSICmd srb = Tur();
  EXPECT_EQ(Run(bus, srb), SS_ERR);
  EXPECT_EQ(srb.SenseArea[2], 0x06);
  EXPECT_EQ(srb.SenseArea[13], 0x01);
  srb = Tur();
  srb.SRB_SenseLen = 0;
  EXPECT_EQ(Run(bus, srb), SS_ERR);
  EXPECT_EQ(srb.SenseArea[0], 0) << "no sense asked, none written";
}

TEST_F(SimBusTest, LogsEveryBlockWithItsBytes) {
  sim::SimBus bus(Parse("log " + m_dir.Path("log") + "\ndevice 0 1 2\n"));
  BYTE data[4] = {1, 2, 3, 250};
  SRB_ExecSCSICmd srb;
  BuildCommitWriteStrategy(srb, data);
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_Target = 1;
  srb.SRB_Lun = 2;
  srb.SRB_Flags |= SRB_EVENT_NOTIFY;
  bus.Accept(srb);
  std::ifstream in(m_dir.Path("log"));
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line,
            "ha=0 target=1 lun=2 cmd=02 flags=50 buflen=4 senselen=14 cdblen=10 "
            "cdb=3B070000000000000002000000000000 datasum=00000100 head=010203FA");
}

TEST_F(SimBusTest, FlashStateOutlivesTheBus) {
  const std::string cfg = "flash " + m_dir.Path("flash") +
                          "\ndevice 0 0 0\nzone-sum 00000010\nstrategy-commit changes-zone\n"
                          "device 0 1 0\nrevision 0.50\n";
  {
    sim::SimBus bus(Parse(cfg));
    BYTE zero[4] = {};
    SRB_ExecSCSICmd srb;
    BuildCommitWriteStrategy(srb, zero);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    EXPECT_EQ(Run(bus, srb), SS_COMP);
    bus.Device(1).SetFlash("QN", "NEW PRODUCT", "0.60", 5);
    EXPECT_EQ(Run(bus, srb), SS_COMP);  // saved again, with device 1's change
  }
  sim::SimBus again(Parse(cfg));
  EXPECT_EQ(again.Device(0).ZoneSum(), 0x00000010u ^ 0x00010001u ^ 0x00010001u);
  EXPECT_EQ(again.Device(1).Config().revision, "0.60");
  EXPECT_EQ(again.Device(1).Config().vendor, "QN      ");
  EXPECT_EQ(again.Device(1).ZoneSum(), 5u);
}

}  // namespace
