// The pass-through layer on Linux: CSptiLayer over the SG_IO device layer
// over a fake kernel. Which nodes are offered at which addresses, what a
// request block becomes as SG_IO, how each kernel outcome comes back into
// the block, and the lines that tell the user what to do.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drive/Srb.h"
#include "platform/headless/InspectLock.h"
#include "spti/SgioDeviceIo.h"
#include "spti/SgioMap.h"
#include "spti/SptiLayer.h"

using namespace spti;

namespace {

struct FakeNode {
  SgioNode names;
  int openErrno = 0;
  int idErrno = 0;
  SgioScsiId id;
  std::uint32_t maxTransfer = 0;
  bool block = false;
};

struct SentSgio {
  int fd;
  SgioRequest rq;
  std::vector<std::uint8_t> cdb;
  std::vector<std::uint8_t> dataOut;
};

class FakeKernel : public CSgioKernel {
 public:
  std::vector<FakeNode> nodes;
  std::map<int, std::string> open;  // fd -> node
  int nextFd = 10;
  // The next SG_IO's outcome; data in comes from `answer`, short answers
  // leave a residual count.
  SgioOutcome outcome;
  std::vector<std::uint8_t> answer;
  // Writes the whole data-in length (zeros past the answer) yet reports
  // the short answer's residual: what arrived is only what resid says.
  bool writesWholeLength = false;
  std::vector<std::uint8_t> sense;
  std::vector<SentSgio> sent;
  std::vector<std::uint32_t> signalled;
  std::vector<std::string> lines;

  void Add(const std::string& name, const std::string& node, int host, int id, int type = 5) {
    FakeNode n;
    n.names = {name, node};
    n.id.host = host;
    n.id.id = id;
    n.id.type = type;
    nodes.push_back(n);
  }
  bool Said(const std::string& text) const {
    for (const std::string& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

  std::vector<SgioNode> Nodes(std::string* where) override {
    *where = "/dev/sr*";
    std::vector<SgioNode> out;
    for (const FakeNode& n : nodes) out.push_back(n.names);
    return out;
  }
  const FakeNode* Node(const std::string& path) const {
    for (const FakeNode& n : nodes)
      if (n.names.node == path) return &n;
    return nullptr;
  }
  int Open(const std::string& node, int* fd) override {
    const FakeNode* n = Node(node);
    if (n == nullptr) return ENOENT;
    if (n->openErrno) return n->openErrno;
    *fd = nextFd++;
    open[*fd] = node;
    return 0;
  }
  int ScsiId(int fd, SgioScsiId* out) override {
    const FakeNode* n = Node(open.at(fd));
    if (n->idErrno) return n->idErrno;
    *out = n->id;
    return 0;
  }
  std::uint32_t MaxTransfer(int fd) override { return Node(open.at(fd))->maxTransfer; }
  void Execute(int fd, const SgioRequest& rq, SgioOutcome* out) override {
    EXPECT_TRUE(open.count(fd)) << "SG_IO on a descriptor that is not open";
    SentSgio s{fd, rq, std::vector<std::uint8_t>(rq.cdb, rq.cdb + rq.cmdLen), {}};
    if (rq.direction == kSgDxferToDev) {
      auto* b = static_cast<std::uint8_t*>(rq.data);
      s.dataOut.assign(b, b + rq.dxferLen);
    }
    sent.push_back(s);
    *out = outcome;
    if (out->nErrno != 0) return;
    if (rq.direction == kSgDxferFromDev) {
      const std::size_t k = std::min<std::size_t>(rq.dxferLen, answer.size());
      if (writesWholeLength) std::memset(rq.data, 0, rq.dxferLen);
      if (k > 0) std::memcpy(rq.data, answer.data(), k);
      out->resid = static_cast<std::int32_t>(rq.dxferLen - k);
    }
    const std::size_t k = std::min<std::size_t>(rq.senseMax, sense.size());
    if (k > 0) std::memcpy(rq.sense, sense.data(), k);
    out->senseLen = static_cast<std::uint8_t>(k);
  }
  void Close(int fd) override { EXPECT_EQ(open.erase(fd), 1u) << "closed twice or never opened"; }
  void Signal(std::uint32_t event) override { signalled.push_back(event); }
  void Line(const std::string& line) override { lines.push_back(line); }
  std::string NodeGroup(const std::string&) override { return "cdrom"; }
  bool IsBlockNode(int fd) override { return Node(open.at(fd))->block; }
  // The device is there for this many more looks; -1 always.
  int presentLooks = -1;
  bool Present(const std::string&) override { return presentLooks < 0 || presentLooks-- > 0; }
  // The exclusive open: refused with `exclusiveErrno` while it is set.
  int exclusiveErrno = 0;
  int exclusiveTries = 0;
  std::set<int> exclusive;
  int OpenExclusive(const std::string& node, int* fd) override {
    ++exclusiveTries;
    if (exclusiveErrno != 0) return exclusiveErrno;
    const int e = Open(node, fd);
    if (e == 0) exclusive.insert(*fd);
    return e;
  }
};

SRB_ExecSCSICmd Exec(std::initializer_list<int> cdb, BYTE flags = 0, BYTE* buf = nullptr,
                     DWORD len = 0, int target = 1) {
  SRB_ExecSCSICmd srb;
  std::memset(&srb, 0, sizeof(srb));
  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_Target = static_cast<BYTE>(target);
  srb.SRB_Flags = static_cast<BYTE>(flags | SRB_EVENT_NOTIFY);
  srb.SRB_PostProc = 42;
  srb.SRB_BufPointer = buf;
  srb.SRB_BufLen = len;
  srb.SRB_SenseLen = SENSE_LEN;
  srb.SRB_CDBLen = static_cast<BYTE>(cdb.size());
  int i = 0;
  for (int b : cdb) srb.CDBByte[i++] = static_cast<BYTE>(b);
  return srb;
}

TEST(SgioSearchTest, DrivesAreOpenedThroughTheirGenericNodesAtTheKernelsAddresses) {
  FakeKernel k;
  k.Add("/dev/sr0", "/dev/sg4", 7, 0);
  k.Add("/dev/sr1", "/dev/sg2", 2, 0);
  k.Add("/dev/sr2", "/dev/sr2", 7, 1);  // no sg node: the block node itself
  k.Add("/dev/sdz", "/dev/sdz", 9, 0, 0x00);  // a disk, named by hand
  k.Add("/dev/null", "/dev/null", 0, 0);
  k.nodes.back().idErrno = ENOTTY;
  k.nodes[1].maxTransfer = 0x20000;
  CSgioDeviceIo io(k);
  {
    CSptiLayer layer(io);
    // Adapters in the order the search met their hosts: sr0's host first.
    EXPECT_EQ(layer.SupportInfo(), 0x0102u);
    ASSERT_EQ(layer.Devices().size(), 3u);
    EXPECT_EQ(layer.Devices()[0].path, "/dev/sr0");
    EXPECT_EQ(layer.Devices()[1].path, "/dev/sr2");
    EXPECT_EQ(layer.Devices()[1].haId, 0);
    EXPECT_EQ(layer.Devices()[1].address.TargetId, 1);
    EXPECT_EQ(layer.Devices()[2].path, "/dev/sr1");
    EXPECT_EQ(layer.Devices()[2].haId, 1);
    EXPECT_EQ(layer.Adapters()[1].maxTransfer, 0x20000u);
    std::vector<std::string> opened;
    for (const auto& o : k.open) opened.push_back(o.second);
    EXPECT_EQ(opened, (std::vector<std::string>{"/dev/sg4", "/dev/sg2", "/dev/sr2"}));
    EXPECT_TRUE(k.Said("/dev/sdz: a SCSI device of type 00h, not a CD/DVD drive; not offered"));
    EXPECT_TRUE(k.Said("/dev/null: not a SCSI generic device (ENOTTY"));
    EXPECT_EQ(k.lines.size(), 2u);
  }
  EXPECT_TRUE(k.open.empty());

  // Nothing to find is said once, naming where the search looked.
  k.nodes.clear();
  k.lines.clear();
  CSptiLayer empty(io);
  EXPECT_EQ(empty.SupportInfo(), 0x0100u);
  ASSERT_EQ(k.lines.size(), 1u);
  EXPECT_NE(k.lines[0].find("libwnaspi32 (SG_IO): no CD/DVD device: none at /dev/sr* (ENOENT"),
            std::string::npos);
}

// A drive re-plugged comes back on another host, and a search then gives
// it another address; its name, and so the updaters' lock for it, stay.
TEST(SgioSearchTest, ADeviceThatMovedHostKeepsItsNameAndItsLock) {
  FakeKernel k;
  k.Add("/dev/sr0", "/dev/sg0", 3, 0);
  k.Add("/dev/sr1", "/dev/sg1", 5, 0);
  CSgioDeviceIo io(k);
  auto lockOf = [&](CSptiLayer& layer, BYTE ha) {
    char name[64] = {};
    EXPECT_GT(layer.DeviceName(ha, 0, 0, name, sizeof name), 0u);
    return headless::LockFileName("Orvex drive " + std::to_string(ha) + ":0:0", name);
  };
  std::string before, other;
  {
    CSptiLayer layer(io);
    layer.SupportInfo();
    before = lockOf(layer, 1);  // sr1 behind host 5, the second host met
    other = lockOf(layer, 0);
    char small[4];
    EXPECT_EQ(layer.DeviceName(1, 0, 0, small, sizeof small), 0u);
    EXPECT_EQ(layer.DeviceName(2, 0, 0, small, sizeof small), 0u);
  }
  k.nodes.erase(k.nodes.begin());  // sr0's drive unplugged
  k.nodes[0].id.host = 9;          // sr1's re-plugged
  k.Add("/dev/sr2", "/dev/sg2", 10, 0);
  CSptiLayer layer(io);
  layer.SupportInfo();
  EXPECT_EQ(layer.Devices()[0].path, "/dev/sr1");
  EXPECT_EQ(layer.Devices()[0].haId, 0);
  EXPECT_EQ(lockOf(layer, 0), before);
  EXPECT_NE(lockOf(layer, 1), before);
  EXPECT_NE(before, other);
}

TEST(SgioSearchTest, NodesWithoutRightsMakeTheLibraryNotReadyAndSayWhatIsNeeded) {
  FakeKernel k;
  k.Add("/dev/sr0", "/dev/sg0", 0, 0);
  k.nodes[0].openErrno = EACCES;
  k.Add("/dev/sr1", "/dev/sg1", 1, 0);
  k.nodes[1].openErrno = ENXIO;  // a node without its device
  CSgioDeviceIo io(k);
  CSptiLayer layer(io);
  EXPECT_EQ(layer.SupportInfo(), static_cast<DWORD>(SS_NO_ADAPTERS) << 8);
  EXPECT_TRUE(k.Said("/dev/sr0 could not be opened (EACCES: Permission denied; "
                     "reading and writing /dev/sg0 needs membership of group cdrom"));
  EXPECT_TRUE(k.Said("/dev/sr1 (/dev/sg1): no device (ENXIO"));
  EXPECT_TRUE(k.Said("1 CD/DVD device path(s) found, but none could be opened"));
  for (const std::string& l : k.lines) {
    EXPECT_EQ(l.rfind("libwnaspi32 (SG_IO): ", 0), 0u) << l;
    EXPECT_EQ(l.find("administrator"), std::string::npos) << l;
  }
  EXPECT_TRUE(k.sent.empty());
}

class SgioRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    k.Add("/dev/sr0", "/dev/sg0", 0, 1);
    k.nodes[0].maxTransfer = 0x10000;
    ASSERT_EQ(layer.SupportInfo(), 0x0101u);
  }
  FakeKernel k;
  CSgioDeviceIo io{k};
  CSptiLayer layer{io};
};

TEST_F(SgioRequestTest, EachDirectionBecomesOneSgioWithTheTransportsLimit) {
  k.answer.assign(36, 0x41);
  BYTE in[50];
  std::memset(in, 0xEE, sizeof(in));
  auto inquiry = Exec({0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, in, sizeof(in));
  EXPECT_EQ(layer.Send(&inquiry), SS_COMP);
  ASSERT_EQ(k.sent.size(), 1u);
  const SgioRequest& r = k.sent[0].rq;
  EXPECT_EQ(r.direction, kSgDxferFromDev);
  EXPECT_EQ(r.dxferLen, 50u);
  EXPECT_EQ(r.timeoutMs, 60000u);
  EXPECT_EQ(r.senseMax, SENSE_LEN);
  EXPECT_EQ(k.sent[0].cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 50, 0}));
  EXPECT_EQ(in[35], 0x41);
  EXPECT_EQ(in[36], 0xEE) << "a short answer leaves the rest of the buffer alone";
  EXPECT_EQ(k.signalled, std::vector<std::uint32_t>{42});
  // Good status with two bytes of four, the rest of the length written
  // over: the caller sees two bytes arrive, and its own after them.
  k.writesWholeLength = true;
  k.answer = {0x12, 0x34};
  BYTE zoneSum[4] = {0xA5, 0xA5, 0xA5, 0xA5};
  auto zone = Exec({0x3C, 0x04, 0x06, 0x00, 0x0F, 0x80, 0x00, 0, 0, 0}, SRB_DIR_IN, zoneSum, sizeof(zoneSum));
  EXPECT_EQ(layer.Send(&zone), SS_COMP);
  EXPECT_EQ(std::vector<BYTE>(zoneSum, zoneSum + 4), (std::vector<BYTE>{0x12, 0x34, 0xA5, 0xA5}));
  k.writesWholeLength = false;

  BYTE piece[8192];
  for (int i = 0; i < 8192; ++i) piece[i] = static_cast<BYTE>(i);
  auto out = Exec({0x3B, 0x06, 0, 0, 0, 0, 0, 0x20, 0, 0}, SRB_DIR_OUT, piece, sizeof(piece));
  EXPECT_EQ(layer.Send(&out), SS_COMP);
  EXPECT_EQ(k.sent.back().rq.direction, kSgDxferToDev);
  EXPECT_EQ(k.sent.back().dataOut, std::vector<std::uint8_t>(piece, piece + 8192));

  // The 7-byte READ BUFFER goes as it is: the kernel takes any length to 16.
  BYTE sum[4];
  k.answer = {0, 1, 2, 3};
  auto seven = Exec({0x3C, 0x04, 0x03, 0, 0x20, 0, 0}, SRB_DIR_IN, sum, 4);
  EXPECT_EQ(layer.Send(&seven), SS_COMP);
  EXPECT_EQ(k.sent.back().rq.cmdLen, 7);

  // No direction, or both: no data, whatever the length says.
  for (BYTE flags : {BYTE(0), BYTE(SRB_DIR_IN | SRB_DIR_OUT)}) {
    auto none = Exec({0x1B, 0, 0, 0, 0x02, 0}, flags, piece, 16);
    EXPECT_EQ(layer.Send(&none), SS_COMP);
    EXPECT_EQ(k.sent.back().rq.direction, kSgDxferNone);
    EXPECT_EQ(k.sent.back().rq.dxferLen, 0u);
  }
  EXPECT_TRUE(k.lines.empty());
}

TEST_F(SgioRequestTest, ShortDataOutIsAnOverrunShortDataInIsNot) {
  BYTE piece[8192] = {};
  k.outcome.resid = 4096;
  auto out = Exec({0x3B, 0x06, 0, 0, 0, 0, 0, 0x20, 0, 0}, SRB_DIR_OUT, piece, sizeof(piece));
  EXPECT_EQ(layer.Send(&out), SS_ERR);
  EXPECT_EQ(out.SRB_HaStat, HASTAT_DO_DU);
  EXPECT_TRUE(k.Said("/dev/sr0: CDB 3Bh moved 4096 of 8192 bytes out; not delivered"));

  k.outcome.resid = 0;
  k.answer.assign(10, 1);
  BYTE in[50];
  auto inquiry = Exec({0x12, 0, 0, 0, 50, 0}, SRB_DIR_IN, in, sizeof(in));
  EXPECT_EQ(layer.Send(&inquiry), SS_COMP);
  EXPECT_EQ(inquiry.SRB_HaStat, 0);
}

// A generic node's answer is a whole sg version 3 header or an I/O error:
// the part not read back would still say "good" from the request written.
TEST(SgHeaderTest, OnlyAWholeHeaderIsAnAnswer) {
  EXPECT_EQ(SgHeaderReadErrno(88, 88, 'S'), 0);
  EXPECT_EQ(SgHeaderReadErrno(0, 88, 'S'), EIO);
  EXPECT_EQ(SgHeaderReadErrno(40, 88, 'S'), EIO);
  EXPECT_EQ(SgHeaderReadErrno(88, 88, 'Q'), EIO);
}

TEST_F(SgioRequestTest, CheckConditionCarriesTheDrivesSense) {
  k.outcome.status = 0x02;
  k.sense = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x00, 0, 0, 0, 0x55};
  auto tur = Exec({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&tur), SS_ERR);
  EXPECT_EQ(tur.SRB_TargStat, 0x02);
  EXPECT_EQ(tur.SRB_HaStat, 0);
  EXPECT_EQ(tur.SenseArea[2], 0x02);
  EXPECT_EQ(tur.SenseArea[12], 0x3A);
  EXPECT_EQ(k.sent.back().rq.senseMax, SENSE_LEN);

  // Sense the driver vouches for is a check condition even without the status.
  k.outcome.status = 0;
  k.outcome.driverStatus = kDriverSense;
  auto again = Exec({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&again), SS_ERR);
  EXPECT_EQ(again.SRB_TargStat, 0x02);
  EXPECT_EQ(again.SenseArea[12], 0x3A);
}

TEST_F(SgioRequestTest, KernelFailuresAreNeverACompletionAndEachIsNamed) {
  struct Case {
    const char* name;
    SgioOutcome o;
    BYTE status;
    BYTE haStat;
    const char* line;
  };
  auto errnoOf = [](int e) {
    SgioOutcome o;
    o.nErrno = e;
    return o;
  };
  auto host = [](std::uint16_t h, std::uint16_t d = 0, std::uint8_t status = 0) {
    SgioOutcome o;
    o.hostStatus = h;
    o.driverStatus = d;
    o.status = status;
    return o;
  };
  const Case cases[] = {
      {"timeout", host(kDidTimeOut), SS_ERR, HASTAT_COMMAND_TIMEOUT, "host status 03h (DID_TIME_OUT)"},
      {"driver timeout", host(0, kDriverTimeout), SS_ERR, HASTAT_COMMAND_TIMEOUT,
       "driver status 06h (DRIVER_TIMEOUT)"},
      {"timed out", errnoOf(ETIMEDOUT), SS_ERR, HASTAT_COMMAND_TIMEOUT, "ETIMEDOUT"},
      // The transport failed: whatever status came with it is not the target's.
      {"host error", host(kDidError, 0, 0x02), SS_ERR, HASTAT_PHASE_ERR, "host status 07h (DID_ERROR)"},
      {"no connect", host(kDidNoConnect), SS_ERR, HASTAT_SEL_TO, "DID_NO_CONNECT"},
      {"driver error", host(0, 4), SS_ERR, HASTAT_PHASE_ERR, "driver status 04h (DRIVER_ERROR)"},
      {"EIO", errnoOf(EIO), SS_ERR, HASTAT_PHASE_ERR, "EIO: "},
      {"EINVAL", errnoOf(EINVAL), SS_INVALID_SRB, 0, "EINVAL: "},
      {"ENOMEM", errnoOf(ENOMEM), SS_BUFFER_TO_BIG, 0, "ENOMEM: "},
      {"EFAULT", errnoOf(EFAULT), SS_BUFFER_ALIGN, 0, "EFAULT: "},
      // Opened for reading and writing, a generic node filters nothing:
      // no capability would help.
      {"EPERM", errnoOf(EPERM), SS_ERR, HASTAT_PHASE_ERR,
       "CDB 3Bh failed, EPERM: Operation not permitted: WRITE BUFFER (3Bh) was refused on /dev/sr0 (/dev/sg0) "
       "although it is open for reading and writing"},
      {"EACCES", errnoOf(EACCES), SS_ERR, HASTAT_PHASE_ERR, "group cdrom"},
  };
  BYTE piece[64] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    k.outcome = c.o;
    k.signalled.clear();
    k.lines.clear();
    auto out = Exec({0x3B, 0x06, 0, 0, 0, 0, 0, 0, 0x40, 0}, SRB_DIR_OUT, piece, sizeof(piece));
    EXPECT_EQ(layer.Send(&out), c.status);
    EXPECT_EQ(out.SRB_HaStat, c.haStat);
    EXPECT_EQ(out.SRB_TargStat, 0);
    EXPECT_EQ(k.signalled.size(), 1u);
    ASSERT_EQ(k.lines.size(), 1u);
    EXPECT_NE(k.lines[0].find(c.line), std::string::npos) << k.lines[0];
  }
}

// An update holds the drive's node with O_EXCL: its requests go through
// the exclusive descriptor, the hold's end opens the node plainly again,
// and a node that another process keeps open is waited for, then refused.
TEST_F(SgioRequestTest, AnUpdateHoldsTheNodeExclusivelyAndAnotherProcessKeepsItOut) {
  auto tur = Exec({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_TAKE, 0, 1, 0), ORVEX_HELD);
  ASSERT_EQ(k.exclusive.size(), 1u);
  EXPECT_EQ(k.open.size(), 1u);  // the plain descriptor was closed first
  EXPECT_EQ(layer.Send(&tur), SS_COMP);
  EXPECT_TRUE(k.exclusive.count(k.sent.back().fd));
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_RELEASE, 0, 1, 0), ORVEX_HELD);
  EXPECT_EQ(layer.Send(&tur), SS_COMP);
  EXPECT_FALSE(k.exclusive.count(k.sent.back().fd));

  k.exclusiveErrno = EBUSY;
  k.exclusiveTries = 0;
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_TAKE, 0, 1, 0), ORVEX_HOLD_BUSY);
  EXPECT_GT(k.exclusiveTries, 1);  // waited for a scan to end
  EXPECT_TRUE(k.Said("/dev/sr0 (/dev/sg0): another process keeps it open"));
  EXPECT_EQ(layer.Send(&tur), SS_COMP);  // still reachable, not held

  // Another updater holds it exclusively: no waiting for its end, after
  // which the drive may not be what this update was checked against.
  k.exclusiveTries = 0;
  k.nodes[0].openErrno = EBUSY;
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_TAKE, 0, 1, 0), ORVEX_HOLD_BUSY);
  EXPECT_EQ(k.exclusiveTries, 1);
  EXPECT_TRUE(k.Said("/dev/sr0 (/dev/sg0): another update is running on this drive"));
  k.nodes[0].openErrno = 0;
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_TAKE, 0, 7, 0), ORVEX_HOLD_NO_DEVICE);
}

// One drive reached through `node`, for the cases the fixture's node does
// not cover.
struct OneNode {
  explicit OneNode(const std::string& node) { k.Add("/dev/sr0", node, 0, 1); }
  FakeKernel k;
  CSgioDeviceIo io{k};
  CSptiLayer layer{io};
};

// While another updater holds a node, a search meets EBUSY: the drive is
// not offered, its line says why, and the library counts it.
TEST(SgioBusyNodeTest, ANodeHeldByAnotherUpdaterIsNamedAndCounted) {
  OneNode one("/dev/sg0");
  FakeKernel& k = one.k;
  CSptiLayer& layer = one.layer;
  k.nodes[0].openErrno = EBUSY;
  EXPECT_EQ(layer.SupportInfo(), 0x0100u);
  EXPECT_EQ(layer.Hold(ORVEX_HOLD_BUSY_COUNT, 0, 0, 0), 1u);
  EXPECT_TRUE(k.Said("/dev/sr0 (/dev/sg0): another update is running on this drive"));
}

TEST(SgioBlockNodeTest, FirmwareCommandRefusedOnTheBlockNodeNamesTheSgDriverNotACapability) {
  OneNode one("/dev/sr0");
  FakeKernel& k = one.k;
  CSptiLayer& layer = one.layer;
  k.nodes[0].block = true;
  ASSERT_EQ(layer.SupportInfo(), 0x0101u);
  k.outcome.nErrno = EPERM;
  BYTE piece[64] = {};
  auto out = Exec({0x3B, 0x06, 0, 0, 0, 0, 0, 0, 0x40, 0}, SRB_DIR_OUT, piece, sizeof(piece));
  EXPECT_EQ(layer.Send(&out), SS_ERR);
  EXPECT_TRUE(k.Said("WRITE BUFFER (3Bh) was refused on the block node /dev/sr0, where the kernel passes it only "
                     "to a process with CAP_SYS_RAWIO; load the sg driver (modprobe sg)"));
  EXPECT_FALSE(k.Said("setcap"));
}

TEST_F(SgioRequestTest, DeviceThatGoesAwayBetweenTwoRequests) {
  auto tur = Exec({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(layer.Send(&tur), SS_COMP);
  k.outcome.nErrno = ENODEV;
  EXPECT_EQ(layer.Send(&tur), SS_ERR);
  EXPECT_EQ(tur.SRB_HaStat, HASTAT_SEL_TO);
  EXPECT_TRUE(k.Said("ENODEV: No such device; the device has gone"));
  // The next search no longer finds it, and closes what it had.
  k.nodes.clear();
  EXPECT_EQ(layer.SupportInfo(), 0x0100u);
  EXPECT_TRUE(k.open.empty());
  EXPECT_EQ(layer.Send(&tur), SS_INVALID_HA);
}

// A drive that leaves fails the request in hand with DID_ERROR a moment
// before its nodes go (measured in tests/vm, USB and tcm_loop alike): that
// is the device gone, not a failure of a device still there.
TEST_F(SgioRequestTest, TransportErrorOfADeviceThatLeavesIsTheDeviceGone) {
  auto tur = Exec({0, 0, 0, 0, 0, 0});
  k.outcome.hostStatus = kDidError;
  k.presentLooks = 3;
  EXPECT_EQ(layer.Send(&tur), SS_ERR);
  EXPECT_EQ(tur.SRB_HaStat, HASTAT_SEL_TO);
  EXPECT_TRUE(k.Said("host status 07h (DID_ERROR); the device has gone"));
  // A timeout is never taken for a departure, even of a device gone.
  k.outcome.hostStatus = kDidTimeOut;
  EXPECT_EQ(layer.Send(&tur), SS_ERR);
  EXPECT_EQ(tur.SRB_HaStat, HASTAT_COMMAND_TIMEOUT);
}

TEST_F(SgioRequestTest, RequestAboveTheKernelsLimitIsRefusedWhole) {
  SRB_HAInquiry ha = {};
  ha.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(layer.Send(&ha), SS_COMP);
  EXPECT_EQ(ha.HA_Unique[4] | ha.HA_Unique[5] << 8 | ha.HA_Unique[6] << 16, 0x10000);

  static BYTE big[0x10001];
  auto out = Exec({0x3B, 0x06, 0, 0, 0, 0, 0x01, 0, 0x01, 0}, SRB_DIR_OUT, big, sizeof(big));
  EXPECT_EQ(layer.Send(&out), SS_BUFFER_TO_BIG);
  EXPECT_TRUE(k.sent.empty());
  EXPECT_EQ(k.signalled.size(), 1u);
}

TEST_F(SgioRequestTest, PostingRoutinesAreRefusedOnceAndEventsAreSet) {
  auto tur = Exec({0, 0, 0, 0, 0, 0});
  tur.SRB_Flags = SRB_POSTING;
  EXPECT_EQ(layer.Send(&tur), SS_COMP);
  EXPECT_EQ(layer.Send(&tur), SS_COMP);
  EXPECT_TRUE(k.signalled.empty());
  ASSERT_EQ(k.lines.size(), 1u);
  EXPECT_NE(k.lines[0].find("SRB_EVENT_NOTIFY"), std::string::npos);
}

}  // namespace
