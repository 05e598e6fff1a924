// How much the updater's own path adds to the drive and to the image file:
// a 208-piece transfer through CMyASPI32 against the same requests handed
// straight to the library, and Load + MatchDrive against a bare read and sum.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "drive/Cdb.h"
#include "drive/MyAspi32.h"
#include "platform/headless/InspectDrive.h"
#include "tools/ImageGen.h"
#include "update/FirmwareImage.h"

namespace {

// A zero-latency, synchronous simulated drive without a request log, and an
// image file in a scratch folder.
struct Setup {
  std::string dir;
  std::string image;
  Setup() {
    char tmpl[] = "/tmp/orvex-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    const std::string cfg = dir + "/sim.cfg";
    if (std::FILE* f = std::fopen(cfg.c_str(), "w")) {
      std::fputs("device 0 0 0\nvendor KORVELIN\nproduct \"DVDRRW M1\"\nidtext ABC123\ndisc yes\n", f);
      std::fclose(f);
    }
    setenv("ORVEX_SIM_CONFIG", cfg.c_str(), 1);
    headless::SetLibraryDir(ORVEX_SIM_DIR);
    image = dir + "/fw.bin";
    imagegen::ImageSpec layout;
    layout.Identity(0x150000, "KORVELIN", "DVDRRW M1", "1.10").Text(0x160000, "ABC123");
    imagegen::Write(image, layout);
  }
  ~Setup() {
    std::remove((dir + "/sim.cfg").c_str());
    std::remove(image.c_str());
    rmdir(dir.c_str());
  }
};

Setup& S() {
  static Setup s;
  return s;
}

void BM_TransferThroughCMyASPI32(benchmark::State& state) {
  CMyASPI32 aspi;
  aspi.ScanDrives();
  FirmwareImage image;
  image.Load(S().image.c_str(), &aspi);
  for (auto _ : state) {
    if (image.DownloadImage(0) != 0) state.SkipWithError("transfer failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t(IMAGE_LOAD_LENGTH));
}
BENCHMARK(BM_TransferThroughCMyASPI32)->Unit(benchmark::kMillisecond);

void BM_TransferStraightToTheEntryPoint(benchmark::State& state) {
  CMyASPI32 aspi;  // keeps the library loaded and its bus started
  aspi.ScanDrives();
  FirmwareImage image;
  image.Load(S().image.c_str(), &aspi);
  PFN_SendASPI32Command send = aspi.m_pfnSendCommand;
  for (auto _ : state) {
    for (int k = 0; k < IMAGE_LOAD_LENGTH / IMAGE_PIECE_LENGTH; ++k) {
      SRB_ExecSCSICmd srb;
      BuildWriteBufferPiece(srb, image.m_pData + k * IMAGE_PIECE_LENGTH, k * IMAGE_PIECE_LENGTH,
                            IMAGE_PIECE_LENGTH);
      srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
      send(&srb);
      if (srb.SRB_Status != SS_COMP) state.SkipWithError("piece failed");
    }
  }
  state.SetBytesProcessed(state.iterations() * int64_t(IMAGE_LOAD_LENGTH));
}
BENCHMARK(BM_TransferStraightToTheEntryPoint)->Unit(benchmark::kMillisecond);

void BM_LoadAndMatchDrive(benchmark::State& state) {
  CMyASPI32 aspi;
  aspi.ScanDrives();
  for (auto _ : state) {
    FirmwareImage image;
    if (image.Load(S().image.c_str(), &aspi) != 0) state.SkipWithError("load failed");
    image.SetDriveIndex(0);
    if (image.MatchDrive(aspi.m_drives[0].szVendor, aspi.m_drives[0].szProduct) != 0)
      state.SkipWithError("mismatch");
    benchmark::DoNotOptimize(image.m_nSum);
  }
}
BENCHMARK(BM_LoadAndMatchDrive)->Unit(benchmark::kMillisecond);

void BM_ReadFileAndSumOnce(benchmark::State& state) {
  for (auto _ : state) {
    std::FILE* f = std::fopen(S().image.c_str(), "rb");
    std::uint8_t* buf = new std::uint8_t[IMAGE_LOAD_LENGTH];
    std::size_t n = std::fread(buf, 1, IMAGE_LOAD_LENGTH, f);
    std::fclose(f);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += buf[i];
    delete[] buf;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadFileAndSumOnce)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  S();  // the configuration must be in place before any library is loaded
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
