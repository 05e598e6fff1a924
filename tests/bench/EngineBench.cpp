// A whole main-firmware update through the engine (disc check, 208 pieces,
// transfer checksum, commit) against a zero-latency simulated drive, and
// the same requests handed straight to the library, in the same run.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "platform/headless/InspectDrive.h"
#include "tools/ImageGen.h"
#include "update/FirmwareImage.h"
#include "update/UpdateEngine.h"

namespace {

struct EngineSetup {
  std::string dir, cfg, image;
  EngineSetup() {
    char tmpl[] = "/tmp/orvex-ebench-XXXXXX";
    dir = mkdtemp(tmpl);
    cfg = dir + "/engine.cfg";
    if (std::FILE* f = std::fopen(cfg.c_str(), "w")) {
      std::fputs("device 0 0 0\nvendor KORVELIN\nproduct \"DVDRRW MQT-R41A \"\nrevision 1.00\nidtext ID5678\n", f);
      std::fclose(f);
    }
    image = dir + "/fw.bin";
    imagegen::ImageSpec layout;
    layout.Identity(0x150000, "KORVELIN", "DVDRRW MQT-R41A ", "1.10").Text(0x160000, "ID5678");
    imagegen::Write(image, layout);
    setenv("ORVEX_SIM_CONFIG", cfg.c_str(), 1);
    headless::SetLibraryDir(ORVEX_SIM_DIR);
  }
  ~EngineSetup() {
    std::remove(cfg.c_str());
    std::remove(image.c_str());
    rmdir(dir.c_str());
  }
};

EngineSetup& S() {
  static EngineSetup s;
  return s;
}

class CQuietReport : public CUpdateReport {
 public:
  void OnStatus(unsigned) override {}
  void OnNotice(NoticeKind, unsigned, const char*) override {}
  bool Ask(UpdateQuestion) override { return true; }
};

void BM_UpdateThroughTheEngine(benchmark::State& state) {
  S();
  CMyASPI32 aspi;
  aspi.ScanDrives();
  FirmwareImage image;
  if (image.Load(S().image.c_str(), &aspi) != 0) state.SkipWithError("load failed");
  CQuietReport report;
  CUpdateEngine engine(aspi, report);
  for (auto _ : state) {
    if (engine.Prepare(image, 0, false) != ENGINE_OK || engine.Transfer(image, 0, false) != ENGINE_OK ||
        engine.Commit(image, 0, false) != ENGINE_OK)
      state.SkipWithError("update failed");
  }
}
BENCHMARK(BM_UpdateThroughTheEngine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 213 requests, built once each and sent synchronously.
void BM_UpdateStraightToTheLibrary(benchmark::State& state) {
  S();
  CMyASPI32 aspi;  // keeps the library loaded and its bus started
  aspi.ScanDrives();
  FirmwareImage image;
  if (image.Load(S().image.c_str(), &aspi) != 0) state.SkipWithError("load failed");
  PFN_SendASPI32Command send = aspi.m_pfnSendCommand;
  auto sent = [&](SRB_ExecSCSICmd& srb) {
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    send(&srb);
    return srb.SRB_Status;
  };
  for (auto _ : state) {
    SRB_ExecSCSICmd srb;
    for (int i = 0; i < 3; ++i) {
      BuildTestUnitReady(srb);
      sent(srb);
    }
    for (int k = 0; k < IMAGE_LOAD_LENGTH / IMAGE_PIECE_LENGTH; ++k) {
      BuildWriteBufferPiece(srb, image.m_pData + k * IMAGE_PIECE_LENGTH, k * IMAGE_PIECE_LENGTH,
                            IMAGE_PIECE_LENGTH);
      if (sent(srb) != SS_COMP) state.SkipWithError("piece failed");
    }
    BYTE answer[CHECKSUM_ANSWER_LENGTH] = {};
    BuildReadTransferChecksum(srb, answer, IMAGE_LOAD_LENGTH);
    sent(srb);
    BYTE data[COMMIT_DATA_LENGTH] = {};
    BuildCommitFirmware(srb, data, IMAGE_LOAD_LENGTH);
    if (sent(srb) != SS_COMP) state.SkipWithError("commit failed");
  }
}
BENCHMARK(BM_UpdateStraightToTheLibrary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
