// The choice between the pass-through and an installed ASPI layer, against
// a fake system (family, system folder, loader) and a fake device layer:
// which road serves, what is loaded and called, and what is never touched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drive/Srb.h"
#include "spti/InstalledLayer.h"
#include "spti/SptiLayer.h"

using namespace spti;

namespace {

// The installed layer's two entry points, counting their calls.
struct Installed {
  DWORD support = (SS_COMP << 8) | 2;
  int supportCalls = 0;
  int sendCalls = 0;
} g_inst;
DWORD InstalledSupport() {
  ++g_inst.supportCalls;
  return g_inst.support;
}
DWORD InstalledSend(void*) {
  ++g_inst.sendCalls;
  return SS_PENDING;
}

const ModHandle kLayerModule = 0x5000;
const ModHandle kOwnModule = 0x6000;
const char kPath[] = "C:\\WINDOWS\\system32\\wnaspi32.dll";

class FakeSys : public CSystemLibraries {
 public:
  bool win9x = false;
  std::string path = kPath;
  bool ownFile = false;
  std::uint32_t loadError = 0;  // nonzero: Load fails with it
  bool loadsOwn = false;        // the loader hands back this library
  bool hasSupport = true, hasSend = true;
  std::vector<std::string> loaded;
  std::vector<ModHandle> freed;

  bool IsWin9x() override { return win9x; }
  std::string InstalledPath() override { return path; }
  bool IsOwnFile(const std::string&) override { return ownFile; }
  ModHandle Load(const std::string& p, std::uint32_t* err) override {
    loaded.push_back(p);
    *err = loadError;
    if (loadError) return 0;
    return loadsOwn ? kOwnModule : kLayerModule;
  }
  bool IsOwnModule(ModHandle m) override { return m == kOwnModule; }
  void* Entry(ModHandle m, const char* name) override {
    EXPECT_EQ(m, loadsOwn ? kOwnModule : kLayerModule);
    if (std::strcmp(name, "GetASPI32SupportInfo") == 0 && hasSupport)
      return reinterpret_cast<void*>(&InstalledSupport);
    if (std::strcmp(name, "SendASPI32Command") == 0 && hasSend)
      return reinterpret_cast<void*>(&InstalledSend);
    return nullptr;
  }
  void Free(ModHandle m) override { freed.push_back(m); }
};

// One CD/DVD drive at D:, which opens unless told otherwise.
class FakeIo : public CDeviceIo {
 public:
  std::string letters = "D";
  std::uint32_t openError = 0;
  int opens = 0, passThroughs = 0;
  std::vector<std::string> reports;

  std::string CdRomLetters() override { return letters; }
  std::uint32_t Open(const std::string& path, DevHandle* out) override {
    if (path != "\\\\.\\D:" || letters.empty()) return kErrFileNotFound;
    ++opens;
    if (openError) return openError;
    *out = 7;
    return 0;
  }
  std::uint32_t Control(DevHandle, std::uint32_t code, void*, std::uint32_t, void* out,
                        std::uint32_t, std::uint32_t* returned) override {
    *returned = 0;
    if (code == kIoctlScsiGetAddress) {
      ScsiAddress a = {sizeof(ScsiAddress), 1, 0, 0, 0};
      std::memcpy(out, &a, sizeof(a));
      *returned = sizeof(a);
      return 0;
    }
    if (code == kIoctlScsiPassThroughDirect) {
      ++passThroughs;
      return 0;
    }
    return kErrInvalidFunction;
  }
  void Close(DevHandle) override {}
  void Notify(std::uint8_t, std::uint64_t, void*) override {}
  void Report(const std::string& line) override { reports.push_back(line); }

  bool Said(const std::string& part) const {
    for (const std::string& r : reports)
      if (r.find(part) != std::string::npos) return true;
    return false;
  }
};

class InstalledLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { g_inst = Installed(); }

  // An INQUIRY to 0:0:0, as the updater's scan sends it.
  DWORD SendInquiry() {
    SRB_ExecSCSICmd srb = {};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Flags = SRB_DIR_IN;
    srb.SRB_BufLen = sizeof(m_data);
    srb.SRB_BufPointer = m_data;
    srb.SRB_CDBLen = 6;
    srb.SRB_SenseLen = 14;
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = sizeof(m_data);
    return m_router.Send(&srb);
  }

  FakeSys m_sys;
  FakeIo m_io;
  CSptiLayer m_layer{m_io};
  CAspiRouter m_router{m_layer, m_sys, m_io};
  BYTE m_data[36] = {};
};

TEST_F(InstalledLayerTest, NtPassThroughWithADeviceServesAndTheInstalledLayerIsNeverLoaded) {
  EXPECT_EQ(m_router.SupportInfo(), (SS_COMP << 8) | 1u);
  EXPECT_EQ(m_router.CurrentRoad(), CAspiRouter::kPassThrough);
  EXPECT_EQ(SendInquiry(), SS_COMP);
  EXPECT_EQ(m_io.passThroughs, 1);
  EXPECT_TRUE(m_sys.loaded.empty());
  EXPECT_EQ(g_inst.supportCalls + g_inst.sendCalls, 0);
  EXPECT_TRUE(m_io.Said("the pass-through serves (1 CD/DVD device(s) opened)"));
}

TEST_F(InstalledLayerTest, NtInstalledLayerServesWhenThePassThroughOpensNoDevice) {
  for (std::uint32_t openError : {kErrNone, kErrAccessDenied}) {
    SCOPED_TRACE(openError);
    SetUp();
    FakeSys sys;
    FakeIo io;
    if (openError == kErrNone) io.letters.clear();  // no device at all
    io.openError = openError;                        // or no rights to it
    CSptiLayer layer(io);
    CAspiRouter router(layer, sys, io);
    EXPECT_EQ(router.SupportInfo(), (SS_COMP << 8) | 2u) << "the installed layer's own answer";
    EXPECT_EQ(router.CurrentRoad(), CAspiRouter::kInstalled);
    ASSERT_EQ(sys.loaded, std::vector<std::string>{kPath}) << "by its full path only";
    SRB_ExecSCSICmd srb = {};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    EXPECT_EQ(router.Send(&srb), SS_PENDING);
    EXPECT_EQ(g_inst.sendCalls, 1);
    EXPECT_EQ(io.passThroughs, 0);
    // Asked again: the layer is asked again, loaded once, the road told once.
    router.SupportInfo();
    EXPECT_EQ(g_inst.supportCalls, 2);
    EXPECT_EQ(sys.loaded.size(), 1u);
    int told = 0;
    for (const std::string& r : io.reports) told += r.find("installed ASPI layer") != std::string::npos;
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(sys.freed.empty());
  }
}

TEST_F(InstalledLayerTest, Win9xInstalledLayerServesEvenWithADeviceAndThePassThroughIsNotTried) {
  m_sys.win9x = true;
  // A request before any support call chooses the road first.
  EXPECT_EQ(SendInquiry(), SS_PENDING);
  EXPECT_EQ(g_inst.sendCalls, 1);
  EXPECT_EQ(m_router.SupportInfo(), (SS_COMP << 8) | 2u);
  EXPECT_EQ(m_io.opens, 0);
  EXPECT_EQ(m_io.passThroughs, 0);
  EXPECT_TRUE(m_io.Said("Windows 9x: the installed ASPI layer"));
}

// Layers that never serve: the library answers as the pass-through does,
// nothing is sent through them, and they are not tried again.
TEST_F(InstalledLayerTest, UnusableLayersAreNeverUsed) {
  struct Case {
    const char* name;
    void (*arrange)(FakeSys&);
    bool loads;      // Load is called
    int supports;    // calls of its GetASPI32SupportInfo
    bool freed;      // released again
    const char* why;
  };
  const Case cases[] = {
      {"none installed", [](FakeSys& s) { s.loadError = 126; }, true, 0, false, "no ASPI layer installed"},
      {"fails to load", [](FakeSys& s) { s.loadError = 193; }, true, 0, false, "could not be loaded (Windows error 193)"},
      {"no system folder", [](FakeSys& s) { s.path.clear(); }, false, 0, false, nullptr},
      {"this library's file", [](FakeSys& s) { s.ownFile = true; }, false, 0, false, "is this library itself"},
      {"loads as this library", [](FakeSys& s) { s.loadsOwn = true; }, true, 0, true, "loads as this library itself"},
      {"no send entry", [](FakeSys& s) { s.hasSend = false; }, true, 0, true, "lacks SendASPI32Command"},
      {"no support entry", [](FakeSys& s) { s.hasSupport = false; }, true, 0, true, "lacks GetASPI32SupportInfo"},
      {"not ready", [](FakeSys&) { g_inst.support = SS_FAILED_INIT << 8; }, true, 1, true, "is not ready (support information 0000E400h)"},
      {"no adapter", [](FakeSys&) { g_inst.support = SS_COMP << 8; }, true, 1, true, "reports no host adapter"},
  };
  for (bool win9x : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (win9x ? " (9x)" : " (NT)"));
      g_inst = Installed();
      FakeSys sys;
      sys.win9x = win9x;
      FakeIo io;
      io.letters.clear();
      c.arrange(sys);
      CSptiLayer layer(io);
      CAspiRouter router(layer, sys, io);
      EXPECT_EQ(router.SupportInfo(), SS_COMP << 8) << "the pass-through's answer: no adapter";
      SRB_ExecSCSICmd srb = {};
      srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
      EXPECT_EQ(router.Send(&srb), SS_INVALID_HA);
      router.SupportInfo();
      EXPECT_EQ(sys.loaded.size(), c.loads ? 1u : 0u);
      EXPECT_EQ(g_inst.supportCalls, c.supports);
      EXPECT_EQ(g_inst.sendCalls, 0);
      EXPECT_EQ(sys.freed.size(), c.freed ? 1u : 0u);
      EXPECT_EQ(router.CurrentRoad(), CAspiRouter::kPassThrough);
      if (c.why) {
        EXPECT_TRUE(io.Said(c.why));
      }
      EXPECT_TRUE(io.Said("no installed ASPI layer serves") || io.Said("Windows 9x without"));
    }
  }
}

TEST_F(InstalledLayerTest, NtRoadIsChosenAgainAtEachSupportCall) {
  m_io.letters.clear();
  ASSERT_EQ(m_router.SupportInfo(), (SS_COMP << 8) | 2u);
  m_io.letters = "D";  // a drive the pass-through opens appears
  EXPECT_EQ(m_router.SupportInfo(), (SS_COMP << 8) | 1u);
  EXPECT_EQ(m_router.CurrentRoad(), CAspiRouter::kPassThrough);
  EXPECT_EQ(SendInquiry(), SS_COMP);
  EXPECT_EQ(g_inst.sendCalls, 0);
}

}  // namespace
