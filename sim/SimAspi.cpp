// The simulated drive behind the two ASPI for Win32 entry points.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "aspi/wnaspi32.h"
#include "sim/SimModel.h"
#include "sim/SimPort.h"

#ifdef _WIN32
#define SIM_EXPORT extern "C"
#else
#define SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

sim::SimBus* g_bus = nullptr;
// The configuration the bus was built from: with an address, it names a
// simulated drive for every process that simulates the same one.
std::string g_configPath;

// Starts the bus afresh from the configuration and the flash-state file.
void Rebuild() {
  sim::JoinCompletions();
  delete g_bus;
  g_bus = nullptr;
  std::string path = sim::GetEnv("ORVEX_SIM_CONFIG");
  if (path.empty()) {
#ifdef _WIN32
    path = sim::LibraryDir() + "\\wnaspi32.cfg";
#else
    path = sim::LibraryDir() + "/wnaspi32.cfg";
#endif
  }
#ifdef _WIN32
  g_configPath = path;
#else
  // One drive for processes that name its configuration differently.
  char* real = realpath(path.c_str(), nullptr);
  g_configPath = real != nullptr ? real : path;
  std::free(real);
#endif
  sim::BusConfig cfg;
  std::string text, error;
  if (sim::ReadTextFile(path, &text) && !sim::ParseConfig(text, &cfg, &error)) {
    // A configuration that cannot be read leaves the layer uninitialised
    // rather than guessing a drive.
    std::fprintf(stderr, "wnaspi32 (simulated): %s: %s\n", path.c_str(), error.c_str());
    cfg = sim::BusConfig();
    cfg.adapters = 0;
    cfg.supportStatus = SS_FAILED_INIT;
  }
  g_bus = new sim::SimBus(cfg);
}

struct Pending {
  SRB_ExecSCSICmd* srb;
  sim::Decision d;
};

void Finish(SRB_ExecSCSICmd* srb, const sim::Decision& d) {
  g_bus->Complete(*srb, d);
  if (srb->SRB_Flags & SRB_EVENT_NOTIFY) sim::SignalEvent(srb->SRB_PostProc);
}

void CompletionProc(void* p) {
  auto* pending = static_cast<Pending*>(p);
  sim::SleepMs(pending->d.latencyMs);
  Finish(pending->srb, pending->d);
  delete pending;
}

struct Unload {
  ~Unload() {
#ifndef _WIN32
    // Windows ends the threads itself at process exit; elsewhere nothing
    // may still run in this code once it is unmapped.
    sim::ReleaseCompletions();
    delete g_bus;
    g_bus = nullptr;
#endif
  }
} g_unload;

}  // namespace

SIM_EXPORT DWORD GetASPI32SupportInfo(void) {
  Rebuild();
  return g_bus->SupportInfo();
}

SIM_EXPORT DWORD SendASPI32Command(void* p) {
  if (p == nullptr) return SS_INVALID_SRB;
  if (g_bus == nullptr) Rebuild();
  BYTE* header = static_cast<BYTE*>(p);
  if (header[0] == SC_HA_INQUIRY) {
    // Enough of host adapter inquiry for callers that count adapters.
    header[8] = static_cast<BYTE>(g_bus->SupportInfo() & 0xFF);
    header[1] = SS_COMP;
    return SS_COMP;
  }
  if (header[0] != SC_EXEC_SCSI_CMD) {
    header[1] = SS_INVALID_CMD;
    return SS_INVALID_CMD;
  }
  SRB_ExecSCSICmd& srb = *static_cast<SRB_ExecSCSICmd*>(p);
  if (g_bus->MarksPending()) sim::StoreStatus(srb, SS_PENDING);
  const sim::Decision d = g_bus->Accept(srb);
  switch (d.completion) {
    case sim::Decision::Never:
      return SS_PENDING;
    case sim::Decision::SignalOnly:
      if (srb.SRB_Flags & SRB_EVENT_NOTIFY) sim::SignalEvent(srb.SRB_PostProc);
      return SS_PENDING;
    case sim::Decision::Complete:
      break;
  }
  if (g_bus->Async()) {
    sim::StartCompletion(CompletionProc, new Pending{&srb, d});
    return SS_PENDING;
  }
  sim::SleepMs(d.latencyMs);
  Finish(&srb, d);
  return srb.SRB_Status;
}

// "sim CONFIG HA:TARGET:LUN" for a configured device: two processes that
// simulate one drive take one lock for it.
SIM_EXPORT DWORD OrvexDeviceName(BYTE ha, BYTE target, BYTE lun, char* name, DWORD size) {
  if (g_bus == nullptr) Rebuild();
  for (int i = 0; i < g_bus->DeviceCount(); ++i) {
    const sim::DeviceConfig& c = g_bus->Device(i).Config();
    if (c.ha != ha || c.target != target || c.lun != lun) continue;
    const std::string text = "sim " + g_configPath + " " + std::to_string(ha) + ":" + std::to_string(target) + ":" +
                             std::to_string(lun);
    if (name == nullptr || text.size() >= size) return 0;
    std::memcpy(name, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
  }
  return 0;
}
