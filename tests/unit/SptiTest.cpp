// The pass-through ASPI layer against a fake device layer: which devices it
// offers at which addresses, what one request block becomes on the port,
// and how the port's answer comes back into the block.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drive/Srb.h"
#include "spti/SptiLayer.h"

using namespace spti;

namespace {

struct FakeDevice {
  std::uint32_t openError = 0;
  bool hasAddress = true;
  ScsiAddress address = {};
  bool hasDescriptor = false;  // answers the adapter property query
  bool hasCapabilities = false;
  std::uint32_t alignMask = 0;
  std::uint32_t maxTransfer = 0;
  bool refuseOddCdb = false;  // refuses CDB lengths other than 6, 10, 12, 16
  bool overstate = false;     // reports the asked length as transferred
  long movedOut = -1;         // data out: the bytes it says it moved; -1 all
  // The next pass-through's outcome.
  std::uint32_t error = 0;
  std::uint8_t scsiStatus = 0;
  std::vector<std::uint8_t> sense;
  std::vector<std::uint8_t> answer;  // data in; may be shorter than asked
};

// One pass-through as the port received it.
struct Sent {
  ScsiPassThroughDirect sptd;
  std::vector<std::uint8_t> dataOut;
};

class FakeIo : public CDeviceIo {
 public:
  std::string letters;
  std::map<std::string, int> paths;  // several paths may name one device
  std::vector<FakeDevice> devices;
  std::map<DevHandle, int> open;
  std::vector<Sent> sent;
  std::vector<std::string> reports;
  std::vector<std::uint32_t> signalled;
  DevHandle next = 100;

  int Add(const std::string& path, int port, int pathId, int target, int lun) {
    FakeDevice d;
    d.address = {sizeof(ScsiAddress), static_cast<std::uint8_t>(port),
                 static_cast<std::uint8_t>(pathId), static_cast<std::uint8_t>(target),
                 static_cast<std::uint8_t>(lun)};
    devices.push_back(d);
    paths[path] = static_cast<int>(devices.size() - 1);
    return static_cast<int>(devices.size() - 1);
  }

  std::string CdRomLetters() override { return letters; }

  std::uint32_t Open(const std::string& path, DevHandle* out) override {
    auto it = paths.find(path);
    if (it == paths.end()) return kErrFileNotFound;
    if (devices[it->second].openError) return devices[it->second].openError;
    *out = next++;
    open[*out] = it->second;
    return 0;
  }

  std::uint32_t Control(DevHandle h, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                        std::uint32_t outLen, std::uint32_t* returned) override {
    EXPECT_TRUE(open.count(h)) << "control on a handle that is not open";
    FakeDevice& d = devices[open[h]];
    *returned = 0;
    switch (code) {
      case kIoctlScsiGetAddress:
        if (!d.hasAddress) return kErrInvalidFunction;
        EXPECT_GE(outLen, sizeof(ScsiAddress));
        std::memcpy(out, &d.address, sizeof(ScsiAddress));
        *returned = sizeof(ScsiAddress);
        return 0;
      case kIoctlStorageQueryProperty: {
        if (!d.hasDescriptor) return kErrInvalidFunction;
        EXPECT_EQ(static_cast<StoragePropertyQuery*>(in)->PropertyId, 1u);
        StorageAdapterDescriptor desc = {};
        desc.AlignmentMask = d.alignMask;
        desc.MaximumTransferLength = d.maxTransfer;
        std::memcpy(out, &desc, sizeof(desc));
        *returned = sizeof(desc);
        return 0;
      }
      case kIoctlScsiGetCapabilities: {
        if (!d.hasCapabilities) return kErrInvalidFunction;
        ScsiCapabilities cap = {};
        cap.AlignmentMask = d.alignMask;
        cap.MaximumTransferLength = d.maxTransfer;
        std::memcpy(out, &cap, sizeof(cap));
        *returned = sizeof(cap);
        return 0;
      }
      case kIoctlScsiPassThroughDirect:
        return PassThrough(d, in, inLen, out, returned);
    }
    return kErrInvalidFunction;
  }

  std::uint32_t PassThrough(FakeDevice& d, void* in, std::uint32_t inLen, void* out,
                            std::uint32_t* returned) {
    EXPECT_EQ(in, out);
    EXPECT_GE(inLen, sizeof(ScsiPassThroughDirect));
    auto* p = static_cast<ScsiPassThroughDirect*>(in);
    Sent s;
    s.sptd = *p;
    if (p->DataIn == kDataOut && p->DataTransferLength > 0) {
      auto* b = static_cast<std::uint8_t*>(p->DataBuffer);
      s.dataOut.assign(b, b + p->DataTransferLength);
    }
    sent.push_back(s);
    const std::uint8_t n = p->CdbLength;
    if (d.refuseOddCdb && n != 6 && n != 10 && n != 12 && n != 16) return kErrInvalidParameter;
    if (d.error) return d.error;
    if (p->DataIn == kDataIn) {
      const std::uint32_t k =
          std::min<std::uint32_t>(p->DataTransferLength, static_cast<std::uint32_t>(d.answer.size()));
      if (k > 0) std::memcpy(p->DataBuffer, d.answer.data(), k);
      if (!d.overstate) p->DataTransferLength = k;
    } else if (p->DataIn == kDataOut && d.movedOut >= 0) {
      p->DataTransferLength = static_cast<std::uint32_t>(d.movedOut);
    }
    p->ScsiStatus = d.scsiStatus;
    if (d.scsiStatus == 0x02) {
      const std::uint8_t k =
          std::min<std::uint8_t>(p->SenseInfoLength, static_cast<std::uint8_t>(d.sense.size()));
      if (k > 0) std::memcpy(static_cast<std::uint8_t*>(in) + p->SenseInfoOffset, d.sense.data(), k);
      p->SenseInfoLength = k;
    } else {
      p->SenseInfoLength = 0;
    }
    *returned = inLen;
    return 0;
  }

  void Close(DevHandle h) override {
    EXPECT_EQ(open.erase(h), 1u) << "closed a handle twice or one never opened";
  }

  void Notify(std::uint8_t flags, std::uint64_t postProc, void*) override {
    if (flags & SRB_EVENT_NOTIFY) signalled.push_back(postProc);
  }

  void Report(const std::string& line) override { reports.push_back(line); }
};

SRB_ExecSCSICmd Exec(int ha, int target, int lun, std::initializer_list<int> cdb, BYTE flags = 0,
                     BYTE* buf = nullptr, DWORD len = 0, BYTE senseLen = SENSE_LEN) {
  SRB_ExecSCSICmd srb;
  std::memset(&srb, 0, sizeof(srb));
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = static_cast<BYTE>(ha);
  srb.SRB_Target = static_cast<BYTE>(target);
  srb.SRB_Lun = static_cast<BYTE>(lun);
  srb.SRB_Flags = flags;
  srb.SRB_BufPointer = buf;
  srb.SRB_BufLen = len;
  srb.SRB_SenseLen = senseLen;
  srb.SRB_CDBLen = static_cast<BYTE>(cdb.size());
  int i = 0;
  for (int b : cdb) srb.CDBByte[i++] = static_cast<BYTE>(b);
  return srb;
}

std::vector<std::uint8_t> Inquiry(const char* revision) {
  std::vector<std::uint8_t> a(36, ' ');
  a[0] = 0x05;
  a[1] = 0x80;
  a[4] = 31;
  std::memcpy(&a[8], "KORVELIN", 8);
  std::memcpy(&a[32], revision, 4);
  return a;
}

// ---------------------------------------------------------------- devices

TEST(SptiEnumerationTest, LettersAndCdRomPathsBecomeOneAdapterPerPortInPortOrder) {
  FakeIo io;
  io.letters = "DF";
  io.Add("\\\\.\\D:", 3, 0, 1, 0);
  io.Add("\\\\.\\F:", 1, 0, 0, 0);
  io.Add("\\\\.\\CdRom1", 3, 0, 1, 0);  // D: again, under its class name
  io.Add("\\\\.\\CdRom5", 3, 0, 0, 0);  // no letter, same port as D:
  CSptiLayer layer(io);

  EXPECT_EQ(layer.SupportInfo(), 0x0102u);
  ASSERT_EQ(layer.Devices().size(), 3u);
  EXPECT_EQ(layer.Devices()[0].path, "\\\\.\\F:");
  EXPECT_EQ(layer.Devices()[0].haId, 0);
  EXPECT_EQ(layer.Devices()[1].path, "\\\\.\\CdRom5");
  EXPECT_EQ(layer.Devices()[2].path, "\\\\.\\D:");
  EXPECT_EQ(layer.Devices()[2].haId, 1);
  EXPECT_EQ(io.open.size(), 3u) << "the duplicate's handle stays open";
  EXPECT_TRUE(io.reports.empty());

  // Addresses are those of the port; the scan finds D: at 1:1:0.
  BYTE buf[50];
  io.devices[0].answer = Inquiry("1.00");
  auto srb = Exec(1, 1, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  EXPECT_EQ(layer.Send(&srb), SS_COMP);
  ASSERT_EQ(io.sent.size(), 1u);
  EXPECT_EQ(io.sent[0].sptd.TargetId, 1);
  auto nobody = Exec(1, 2, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  EXPECT_EQ(layer.Send(&nobody), SS_NO_DEVICE);
  EXPECT_EQ(io.sent.size(), 1u) << "an empty address reaches no port";
  auto badHa = Exec(2, 0, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  EXPECT_EQ(layer.Send(&badHa), SS_INVALID_HA);
}

TEST(SptiEnumerationTest, TwoBusesOfOnePortAreTwoAdapters) {
  FakeIo io;
  io.Add("\\\\.\\CdRom0", 2, 0, 0, 0);
  io.Add("\\\\.\\CdRom1", 2, 1, 0, 0);
  CSptiLayer layer(io);
  EXPECT_EQ(layer.SupportInfo(), 0x0102u);
  EXPECT_EQ(layer.Devices()[1].haId, 1);
}

TEST(SptiEnumerationTest, NoDeviceIsReadyWithoutAdapters) {
  FakeIo io;
  CSptiLayer layer(io);
  EXPECT_EQ(layer.SupportInfo(), 0x0100u);
  EXPECT_TRUE(io.reports.empty());
  SRB_HAInquiry ha = {};
  ha.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(layer.Send(&ha), SS_INVALID_HA);
  EXPECT_EQ(ha.HA_Count, 0);
}

TEST(SptiEnumerationTest, OnlyDeniedDevicesMakeTheLayerFailAndSayWhy) {
  FakeIo io;
  io.letters = "E";
  io.Add("\\\\.\\E:", 1, 0, 0, 0);
  io.devices[0].openError = kErrAccessDenied;
  CSptiLayer layer(io);
  EXPECT_EQ(layer.SupportInfo(), static_cast<DWORD>(SS_NO_ADAPTERS) << 8);
  ASSERT_FALSE(io.reports.empty());
  EXPECT_NE(io.reports.back().find("access denied"), std::string::npos);
  EXPECT_NE(io.reports.back().find("administrator"), std::string::npos);

  // One device that opens is enough; the denied one is still named.
  io.reports.clear();
  io.Add("\\\\.\\CdRom3", 4, 0, 0, 0);
  EXPECT_EQ(layer.SupportInfo(), 0x0101u);
  ASSERT_EQ(io.reports.size(), 1u);
  EXPECT_NE(io.reports[0].find("\\\\.\\E:"), std::string::npos);
}

TEST(SptiEnumerationTest, DeviceWithoutAddressIsClosedAndLeftOut) {
  FakeIo io;
  io.letters = "D";
  io.Add("\\\\.\\D:", 0, 0, 0, 0);
  io.devices[0].hasAddress = false;
  io.Add("\\\\.\\CdRom0", 0, 0, 0, 0);  // an alias without pass-through, as Wine has
  io.devices[1].hasAddress = false;
  CSptiLayer layer(io);
  EXPECT_EQ(layer.SupportInfo(), 0x0100u);
  EXPECT_TRUE(io.open.empty());
  ASSERT_EQ(io.reports.size(), 1u) << "only the drive letter is worth a line";
  EXPECT_NE(io.reports[0].find("\\\\.\\D:"), std::string::npos);
}

TEST(SptiEnumerationTest, EverySupportInfoSearchesAfreshAndClosesTheOldHandles) {
  FakeIo io;
  io.Add("\\\\.\\CdRom0", 0, 0, 0, 0);
  {
    CSptiLayer layer(io);
    EXPECT_EQ(layer.SupportInfo(), 0x0101u);
    io.Add("\\\\.\\CdRom1", 1, 0, 0, 0);
    EXPECT_EQ(layer.SupportInfo(), 0x0102u);
    EXPECT_EQ(io.open.size(), 2u);
  }
  EXPECT_TRUE(io.open.empty()) << "handles outlive the layer";
}

TEST(SptiEnumerationTest, CommandsBeforeSupportInfoFindTheDevicesThemselves) {
  FakeIo io;
  io.Add("\\\\.\\CdRom0", 0, 0, 0, 0);
  CSptiLayer layer(io);
  auto srb = Exec(0, 0, 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&srb), SS_COMP);
}

TEST(SptiEnumerationTest, AdapterInquiryAndDeviceType) {
  FakeIo io;
  io.Add("\\\\.\\CdRom0", 0, 0, 7, 0);  // takes the usual adapter id
  io.devices[0].hasCapabilities = true;
  io.devices[0].alignMask = 0x1FF;
  io.devices[0].maxTransfer = 0x20000;
  CSptiLayer layer(io);
  ASSERT_EQ(layer.SupportInfo(), 0x0101u);

  SRB_HAInquiry ha;
  std::memset(&ha, 0xCC, sizeof(ha));
  ha.SRB_Cmd = SC_HA_INQUIRY;
  ha.SRB_HaId = 0;
  EXPECT_EQ(layer.Send(&ha), SS_COMP);
  EXPECT_EQ(ha.SRB_Status, SS_COMP);
  EXPECT_EQ(ha.HA_Count, 1);
  EXPECT_EQ(ha.HA_SCSI_ID, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ha.HA_ManagerId), 16), "ASPI for WIN32  ");
  EXPECT_EQ(ha.HA_Unique[0] | ha.HA_Unique[1] << 8, 0x1FF);
  EXPECT_EQ(ha.HA_Unique[3], 8);
  EXPECT_EQ(ha.HA_Unique[4] | ha.HA_Unique[5] << 8 | ha.HA_Unique[6] << 16, 0x20000);

  SRB_GDEVBlock dev = {};
  dev.SRB_Cmd = SC_GET_DEV_TYPE;
  dev.SRB_Target = 7;
  EXPECT_EQ(layer.Send(&dev), SS_COMP);
  EXPECT_EQ(dev.SRB_DeviceType, DTYPE_CDROM);
  dev.SRB_Target = 3;
  EXPECT_EQ(layer.Send(&dev), SS_NO_DEVICE);
  EXPECT_EQ(dev.SRB_Status, SS_NO_DEVICE);

  BYTE unknown[16] = {0x07};
  EXPECT_EQ(layer.Send(unknown), SS_INVALID_CMD);
  EXPECT_EQ(layer.Send(nullptr), SS_INVALID_SRB);
  EXPECT_TRUE(io.sent.empty());
}

// ---------------------------------------------------------------- requests

class SptiRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    io.Add("\\\\.\\CdRom0", 0, 0, 1, 0);
    ASSERT_EQ(layer.SupportInfo(), 0x0101u);
  }
  FakeDevice& Drive() { return io.devices[0]; }

  FakeIo io;
  CSptiLayer layer{io};
};

TEST_F(SptiRequestTest, DataInRequestBecomesOnePassThroughAndComesBack) {
  Drive().answer = Inquiry("1.00");
  BYTE buf[50];
  std::memset(buf, 0xEE, sizeof(buf));
  auto srb = Exec(0, 1, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  srb.SRB_Status = 0x77;
  srb.SRB_HaStat = 0x55;
  srb.SRB_Flags |= SRB_EVENT_NOTIFY;
  srb.SRB_PostProc = 0x1234;

  EXPECT_EQ(layer.Send(&srb), SS_COMP);
  EXPECT_EQ(srb.SRB_Status, SS_COMP);
  EXPECT_EQ(srb.SRB_HaStat, 0);
  EXPECT_EQ(srb.SRB_TargStat, 0);
  EXPECT_EQ(io.signalled, std::vector<std::uint32_t>{0x1234});

  ASSERT_EQ(io.sent.size(), 1u);
  const ScsiPassThroughDirect& p = io.sent[0].sptd;
  EXPECT_EQ(p.Length, sizeof(ScsiPassThroughDirect));
  EXPECT_EQ(p.PathId, 0);
  EXPECT_EQ(p.TargetId, 1);
  EXPECT_EQ(p.Lun, 0);
  EXPECT_EQ(p.CdbLength, 6);
  EXPECT_EQ(std::vector<int>(p.Cdb, p.Cdb + 6), (std::vector<int>{0x12, 0, 0, 0, 50, 0}));
  EXPECT_EQ(p.DataIn, kDataIn);
  EXPECT_EQ(p.DataTransferLength, 50u);
  EXPECT_NE(p.DataBuffer, buf) << "data in lands in the layer's own buffer first";
  EXPECT_GE(p.TimeOutValue, 60u);
  EXPECT_EQ(p.SenseInfoLength, SENSE_LEN);
  EXPECT_GE(p.SenseInfoOffset, sizeof(ScsiPassThroughDirect));
  EXPECT_LE(p.SenseInfoOffset + p.SenseInfoLength, sizeof(PassThroughRequest));

  EXPECT_EQ(std::memcmp(buf, Drive().answer.data(), 36), 0);
  EXPECT_EQ(buf[36], 0xEE) << "a short answer leaves the rest of the buffer alone";
}

TEST_F(SptiRequestTest, DirectionsAndTheCdbBytesBeyondItsLength) {
  BYTE four[4] = {1, 2, 3, 4};
  auto out = Exec(0, 1, 0, {0x3B, 0x07, 0, 0, 0, 0, 0, 0, 0, 0x02}, SRB_DIR_OUT, four, 4);
  EXPECT_EQ(layer.Send(&out), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.DataIn, kDataOut);
  EXPECT_EQ(io.sent.back().dataOut, (std::vector<std::uint8_t>{1, 2, 3, 4}));

  auto none = Exec(0, 1, 0, {0x1B, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 0, 0);
  EXPECT_EQ(layer.Send(&none), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.DataIn, kDataUnspecified);
  EXPECT_EQ(io.sent.back().sptd.DataTransferLength, 0u);
  EXPECT_EQ(io.sent.back().sptd.DataBuffer, nullptr);
  EXPECT_EQ(io.sent.back().sptd.CdbLength, 12);
  EXPECT_EQ(io.sent.back().sptd.SenseInfoLength, 0);

  // The identification query keeps a byte after its 10-byte CDB, which a
  // classic layer's 12-byte ATAPI packet carried: it goes as 12 bytes.
  BYTE id[40];
  Drive().answer.assign(40, 0);
  auto f0 = Exec(0, 1, 0, {0xF0, 0x12, 0x20, 0, 0, 0, 0, 0, 0, 0}, SRB_DIR_IN, id, sizeof(id));
  f0.CDBByte[10] = 0x07;
  EXPECT_EQ(layer.Send(&f0), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.CdbLength, 12);
  EXPECT_EQ(io.sent.back().sptd.Cdb[10], 0x07);
  EXPECT_EQ(io.sent.back().sptd.Cdb[11], 0);
  f0.CDBByte[13] = 0x01;
  EXPECT_EQ(layer.Send(&f0), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.CdbLength, 16);

  // Both direction bits: no data, whatever the length says.
  BYTE spare[8];
  auto both = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0}, SRB_DIR_IN | SRB_DIR_OUT, spare, sizeof(spare));
  EXPECT_EQ(layer.Send(&both), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.DataTransferLength, 0u);
}

TEST_F(SptiRequestTest, DataOutThatMovedLessThanAskedIsAnOverrun) {
  BYTE piece[256] = {};
  Drive().movedOut = 200;
  auto out = Exec(0, 1, 0, {0x3B, 0x06, 0, 0, 0, 0, 0, 0x01, 0, 0}, SRB_DIR_OUT, piece, 256);
  out.SRB_Flags |= SRB_EVENT_NOTIFY;
  out.SRB_PostProc = 5;
  EXPECT_EQ(layer.Send(&out), SS_ERR);
  EXPECT_EQ(out.SRB_HaStat, HASTAT_DO_DU);
  EXPECT_EQ(out.SRB_TargStat, 0);
  EXPECT_EQ(io.signalled.size(), 1u);
  ASSERT_FALSE(io.reports.empty());
  EXPECT_NE(io.reports.back().find("200 of 256"), std::string::npos);

  Drive().movedOut = 256;
  EXPECT_EQ(layer.Send(&out), SS_COMP);
  EXPECT_EQ(out.SRB_HaStat, 0);

  // The drive's own answer says more than the count: a check condition stays one.
  Drive().movedOut = 0;
  Drive().scsiStatus = 0x02;
  Drive().sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0};
  EXPECT_EQ(layer.Send(&out), SS_ERR);
  EXPECT_EQ(out.SRB_HaStat, 0);
  EXPECT_EQ(out.SenseArea[12], 0x24);
}

TEST_F(SptiRequestTest, CheckConditionCopiesTheSenseUpToTheAskedLength) {
  Drive().scsiStatus = 0x02;
  Drive().sense = {0xF0, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x01};
  auto srb = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&srb), SS_ERR);
  EXPECT_EQ(srb.SRB_TargStat, 0x02);
  EXPECT_EQ(srb.SRB_HaStat, 0);
  EXPECT_EQ(std::vector<int>(srb.SenseArea, srb.SenseArea + 14),
            std::vector<int>(Drive().sense.begin(), Drive().sense.end()));

  auto shortSense = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0}, 0, nullptr, 0, 8);
  std::memset(shortSense.SenseArea, 0xEE, sizeof(shortSense.SenseArea));
  EXPECT_EQ(layer.Send(&shortSense), SS_ERR);
  EXPECT_EQ(io.sent.back().sptd.SenseInfoLength, 8);
  EXPECT_EQ(shortSense.SenseArea[2], 0x02);
  EXPECT_EQ(shortSense.SenseArea[8], 0xEE) << "sense written beyond SRB_SenseLen";

  // A length larger than the block's sense area is cut to the area.
  auto longSense = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0}, 0, nullptr, 0, 200);
  EXPECT_EQ(layer.Send(&longSense), SS_ERR);
  EXPECT_EQ(io.sent.back().sptd.SenseInfoLength, sizeof(longSense.SenseArea));

  // Busy: an error of the target without sense; stale sense is cleared.
  Drive().scsiStatus = 0x08;
  auto busy = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0});
  std::memset(busy.SenseArea, 0x70, sizeof(busy.SenseArea));
  EXPECT_EQ(layer.Send(&busy), SS_ERR);
  EXPECT_EQ(busy.SRB_TargStat, 0x08);
  EXPECT_EQ(busy.SenseArea[0], 0);
}

TEST_F(SptiRequestTest, PortFailuresAreNeverACompletionOrATargetAnswer) {
  struct Case {
    std::uint32_t error;
    BYTE status;
    BYTE haStat;
  } cases[] = {
      {kErrSemTimeout, SS_ERR, HASTAT_COMMAND_TIMEOUT},
      {kErrTimeout, SS_ERR, HASTAT_COMMAND_TIMEOUT},
      {kErrDeviceNotConnected, SS_ERR, HASTAT_SEL_TO},
      {kErrInvalidParameter, SS_INVALID_SRB, 0},
      {kErrInvalidUserBuffer, SS_BUFFER_ALIGN, 0},
      {kErrNoSystemResources, SS_BUFFER_TO_BIG, 0},
      {kErrIoDevice, SS_ERR, HASTAT_PHASE_ERR},
      {kErrAccessDenied, SS_ERR, HASTAT_PHASE_ERR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Drive().error = c.error;
    auto srb = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0});
    srb.SRB_Flags = SRB_EVENT_NOTIFY;
    srb.SRB_PostProc = 9;
    io.signalled.clear();
    EXPECT_EQ(layer.Send(&srb), c.status);
    EXPECT_EQ(srb.SRB_Status, c.status);
    EXPECT_EQ(srb.SRB_HaStat, c.haStat);
    EXPECT_EQ(srb.SRB_TargStat, 0);
    EXPECT_EQ(io.signalled.size(), 1u) << "a failed request must still complete";
  }
  EXPECT_NE(io.reports.back().find("administrator"), std::string::npos);
}

TEST_F(SptiRequestTest, MalformedBlocksAreRefusedBeforeThePort) {
  auto noCdb = Exec(0, 1, 0, {});
  EXPECT_EQ(layer.Send(&noCdb), SS_INVALID_SRB);
  auto longCdb = Exec(0, 1, 0, {0});
  longCdb.SRB_CDBLen = 17;
  EXPECT_EQ(layer.Send(&longCdb), SS_INVALID_SRB);
  auto noBuffer = Exec(0, 1, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, nullptr, 50);
  EXPECT_EQ(layer.Send(&noBuffer), SS_INVALID_SRB);
  EXPECT_TRUE(io.sent.empty());
}

TEST_F(SptiRequestTest, SevenByteCdbRefusedByThePortGoesPaddedWithZeros) {
  Drive().refuseOddCdb = true;
  Drive().answer = {0x00, 0x1A, 0x2B, 0x3C};
  BYTE sum[4] = {};
  auto srb = Exec(0, 1, 0, {0x3C, 0x04, 0x03, 0x00, 0x1A, 0x00, 0x00}, SRB_DIR_IN, sum, 4);
  EXPECT_EQ(layer.Send(&srb), SS_COMP);
  ASSERT_EQ(io.sent.size(), 2u);
  EXPECT_EQ(io.sent[0].sptd.CdbLength, 7);
  EXPECT_EQ(io.sent[1].sptd.CdbLength, 10);
  EXPECT_EQ(std::vector<int>(io.sent[1].sptd.Cdb, io.sent[1].sptd.Cdb + 10),
            (std::vector<int>{0x3C, 0x04, 0x03, 0x00, 0x1A, 0x00, 0x00, 0, 0, 0}));
  EXPECT_EQ(sum[3], 0x3C);

  // The device is known now: the next one goes padded at once.
  auto again = Exec(0, 1, 0, {0x3C, 0x04, 0x06, 0x00, 0x0F, 0x80, 0x00}, SRB_DIR_IN, sum, 4);
  EXPECT_EQ(layer.Send(&again), SS_COMP);
  ASSERT_EQ(io.sent.size(), 3u);
  EXPECT_EQ(io.sent[2].sptd.CdbLength, 10);
}

TEST_F(SptiRequestTest, SevenByteCdbThatThePortTakesIsSentAsItIs) {
  BYTE sum[4];
  Drive().answer = {1, 2, 3, 4};
  auto srb = Exec(0, 1, 0, {0x3C, 0x04, 0x03, 0x00, 0x1A, 0x00, 0x00}, SRB_DIR_IN, sum, 4);
  EXPECT_EQ(layer.Send(&srb), SS_COMP);
  ASSERT_EQ(io.sent.size(), 1u);
  EXPECT_EQ(io.sent[0].sptd.CdbLength, 7);
}

TEST_F(SptiRequestTest, RefusalOfAStandardLengthIsNotRetried) {
  Drive().error = kErrInvalidParameter;
  auto srb = Exec(0, 1, 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&srb), SS_INVALID_SRB);
  EXPECT_EQ(io.sent.size(), 1u);
}

class SptiAlignedAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    io.Add("\\\\.\\CdRom0", 0, 0, 0, 0);
    io.devices[0].hasDescriptor = true;
    io.devices[0].alignMask = 0x7;
    io.devices[0].maxTransfer = 0x10000;
    ASSERT_EQ(layer.SupportInfo(), 0x0101u);
  }
  FakeIo io;
  CSptiLayer layer{io};
  alignas(64) BYTE store[0x10000 + 64];
};

TEST_F(SptiAlignedAdapterTest, MisalignedBufferTravelsThroughAnAlignedCopy) {
  BYTE* odd = store + 3;
  for (int i = 0; i < 8192; ++i) odd[i] = static_cast<BYTE>(i * 7);
  auto out = Exec(0, 0, 0, {0x3B, 0x06, 0, 0, 0, 0, 0, 0x20, 0, 0}, SRB_DIR_OUT, odd, 8192);
  EXPECT_EQ(layer.Send(&out), SS_COMP);
  const ScsiPassThroughDirect& p = io.sent.back().sptd;
  EXPECT_NE(p.DataBuffer, odd);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p.DataBuffer) & 7, 0u);
  ASSERT_EQ(io.sent.back().dataOut.size(), 8192u);
  EXPECT_EQ(std::memcmp(io.sent.back().dataOut.data(), odd, 8192), 0);

  // Data in comes back into the caller's buffer, only as far as it came.
  io.devices[0].answer = Inquiry("2.00");
  std::memset(odd, 0xEE, 50);
  auto in = Exec(0, 0, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, odd, 50);
  EXPECT_EQ(layer.Send(&in), SS_COMP);
  EXPECT_EQ(std::memcmp(odd, io.devices[0].answer.data(), 36), 0);
  EXPECT_EQ(odd[36], 0xEE);

  // A port that claims the whole length still leaves the rest as it was.
  io.devices[0].overstate = true;
  std::memset(odd, 0xEE, 50);
  auto claimed = Exec(0, 0, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, odd, 50);
  EXPECT_EQ(layer.Send(&claimed), SS_COMP);
  EXPECT_EQ(odd[36], 0xEE);

  // An aligned buffer of data out is not copied.
  auto aligned = Exec(0, 0, 0, {0x3B, 0x06, 0, 0, 0, 0, 0, 0, 0x08, 0}, SRB_DIR_OUT, store + 8, 8);
  EXPECT_EQ(layer.Send(&aligned), SS_COMP);
  EXPECT_EQ(io.sent.back().sptd.DataBuffer, store + 8);
}

TEST_F(SptiAlignedAdapterTest, TransferAboveTheAdapterLimitIsRefused) {
  auto big = Exec(0, 0, 0, {0x3B, 0x06, 0, 0, 0, 0, 0x01, 0, 0x08, 0}, SRB_DIR_OUT, store,
                  0x10008);
  EXPECT_EQ(layer.Send(&big), SS_BUFFER_TO_BIG);
  EXPECT_TRUE(io.sent.empty());
}

TEST_F(SptiRequestTest, InquiryAlwaysReachesTheDrive) {
  BYTE buf[50];
  Drive().answer = Inquiry("1.00");
  auto first = Exec(0, 1, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  EXPECT_EQ(layer.Send(&first), SS_COMP);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 32), 4), "1.00");
  Drive().answer = Inquiry("1.10");  // new firmware, same session
  auto second = Exec(0, 1, 0, {0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, buf, sizeof(buf));
  EXPECT_EQ(layer.Send(&second), SS_COMP);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 32), 4), "1.10");
  EXPECT_EQ(io.sent.size(), 2u);
}

}  // namespace

namespace {

// Wine answers the page size where a mask belongs.
TEST(SptiAlignmentTest, AlignmentGivenInBytesIsTakenAsAMask) {
  FakeIo io;
  io.Add("\\\\.\\CdRom0", 2, 0, 0, 0);
  io.devices[0].hasCapabilities = true;
  io.devices[0].alignMask = 4096;
  io.devices[0].maxTransfer = 32768;
  CSptiLayer layer(io);
  ASSERT_EQ(layer.SupportInfo(), 0x0101u);
  EXPECT_EQ(layer.Adapters()[0].alignMask, 0xFFFu);

  alignas(4096) static BYTE store[2 * 4096];
  auto srb = Exec(0, 0, 0, {0x3C, 0x04, 0x03, 0, 0x1A, 0, 0}, SRB_DIR_IN, store + 16, 4);
  EXPECT_EQ(layer.Send(&srb), SS_COMP);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(io.sent.back().sptd.DataBuffer) & 0xFFF, 0u);

  SRB_HAInquiry ha = {};
  ha.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(layer.Send(&ha), SS_COMP);
  EXPECT_EQ(ha.HA_Unique[0] | ha.HA_Unique[1] << 8, 0xFFF);
}

}  // namespace
