// A duplicator tower's update: eight simulated drives, each taking 2 s to
// commit as a real drive's flash does, updated by one `orvex-cli update
// --all` (one drive after another) against eight orvex-cli processes at
// once, one per drive (what parallel updates would gain at best).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/ImageGen.h"

#ifdef ORVEX_CLI_PATH
namespace {

const int kDrives = 8;

struct TowerSetup {
  std::string dir;
  TowerSetup() {
    char tmpl[] = "/tmp/orvex-cbench-XXXXXX";
    dir = mkdtemp(tmpl);
    std::string all;
    for (int i = 0; i < kDrives; ++i) {
      const std::string drive = "device 0 " + std::to_string(i) +
                                " 0\nvendor KORVELIN\nproduct \"DVDRRW MQT-R41A \"\nrevision 1.00\nidtext ID5678\n"
                                "fault commit 1 slow 2000\n";
      all += drive;
      // One drive per configuration, with a flash file of its own, for the
      // processes that run at once.
      Write("one" + std::to_string(i) + ".cfg", "latency 1\nflash " + dir + "/flash" + std::to_string(i) + "\n" + drive);
    }
    Write("all.cfg", "latency 1\nflash " + dir + "/flash\n" + all);
    imagegen::ImageSpec layout;
    layout.Identity(0x150000, "KORVELIN", "DVDRRW MQT-R41A ", "1.10").Text(0x160000, "ID5678");
    imagegen::Write(dir + "/fw.bin", layout);
  }
  ~TowerSetup() { Run("cd / && rm -rf '" + dir + "'"); }
  void Write(const std::string& name, const std::string& text) {
    if (std::FILE* f = std::fopen((dir + "/" + name).c_str(), "w")) {
      std::fputs(text.c_str(), f);
      std::fclose(f);
    }
  }
  // Every drive back at 1.00.
  void Reset() { Run("rm -f flash*"); }
  int Run(const std::string& script) { return std::system(("cd '" + dir + "' && " + script).c_str()); }
};

TowerSetup& Tower() {
  static TowerSetup setup;
  return setup;
}

void BM_TowerSerial(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Tower().Reset();
    state.ResumeTiming();
    if (Tower().Run(std::string("'") + ORVEX_CLI_PATH + "' --transport sim:all.cfg update fw.bin --all --yes >/dev/null 2>&1") != 0)
      state.SkipWithError("update --all failed");
  }
}
BENCHMARK(BM_TowerSerial)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

void BM_TowerParallelProcesses(benchmark::State& state) {
  std::string script = "s=0; pids=; for i in $(seq 0 " + std::to_string(kDrives - 1) + "); do '" + ORVEX_CLI_PATH +
                       "' --transport sim:one$i.cfg update fw.bin --yes >/dev/null 2>&1 & pids=\"$pids $!\"; done; "
                       "for p in $pids; do wait $p || s=1; done; exit $s";
  for (auto _ : state) {
    state.PauseTiming();
    Tower().Reset();
    state.ResumeTiming();
    if (Tower().Run(script) != 0) state.SkipWithError("a parallel update failed");
  }
}
BENCHMARK(BM_TowerParallelProcesses)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
#endif
