// Wall time of a whole update (Update pressed to the worker's end) against a
// zero-latency simulated drive: what the host adds beyond the 10 ms pause
// after the commit.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/UpdaterDlg.h"
#include "platform/headless/Inspect.h"
#include "platform/headless/InspectDrive.h"
#include "tools/ImageGen.h"

namespace {

struct UpdateSetup {
  std::string dir, cfg, image;
  UpdateSetup() {
    char tmpl[] = "/tmp/orvex-ubench-XXXXXX";
    dir = mkdtemp(tmpl);
    cfg = dir + "/update.cfg";
    if (std::FILE* f = std::fopen(cfg.c_str(), "w")) {
      std::fputs("device 0 0 0\nvendor KORVELIN\nproduct \"DVDRRW MQT-R41A \"\nrevision 1.00\n"
                 "idtext ID5678\n", f);
      std::fclose(f);
    }
    image = dir + "/fw.bin";
    imagegen::ImageSpec layout;
    layout.Identity(0x150000, "KORVELIN", "DVDRRW MQT-R41A ", "1.10").Text(0x160000, "ID5678");
    imagegen::Write(image, layout);
  }
  ~UpdateSetup() {
    std::remove(cfg.c_str());
    std::remove(image.c_str());
    rmdir(dir.c_str());
  }
};

void BM_WholeUpdate(benchmark::State& state) {
  static UpdateSetup setup;
  setenv("ORVEX_SIM_CONFIG", setup.cfg.c_str(), 1);
  headless::SetLibraryDir(ORVEX_SIM_DIR);
  for (auto _ : state) {
    state.PauseTiming();
    headless::Reset();
    CUpdaterDlg dlg;
    headless::OpenDialog(dlg);
    headless::ScriptFileDialog(setup.image);
    headless::Click(dlg, IDC_OPEN);
    if (!headless::Enabled(dlg, IDC_UPDATE)) state.SkipWithError("image not admitted");
    state.ResumeTiming();
    headless::Click(dlg, IDC_UPDATE);
    headless::JoinWorkers();
    state.PauseTiming();
    if (headless::Text(dlg, IDCANCEL) != "Close") state.SkipWithError("update did not complete");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WholeUpdate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
