// Programming one unit on the simulated adapter at 100 us per request: the
// requests issued, and how much time the tool adds to the adapter's own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "device/sim/simulated_adapter.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ports/clock.h"
#include "silent_panel.h"
#include "unit_timing.h"
#include "support/fake_clock.h"

namespace srom {
namespace {

constexpr auto kLatency = std::chrono::microseconds(100);

void ProgramUnit(benchmark::State& state, int device_sel, int eeprom_size) {
  // SROM_BENCH_DIR puts the station's files elsewhere: on a RAM disk the
  // figure shows the tool's own work, on a real disk it includes the flushes
  // that keep the settings file safe.
  const char* base = std::getenv("SROM_BENCH_DIR");
  const auto dir = (base != nullptr ? std::filesystem::path(base)
                                    : std::filesystem::temp_directory_path()) /
                   ("srom-bench-" + std::to_string(device_sel) + "-" +
                    std::to_string(eeprom_size));
  std::filesystem::create_directories(dir);
  SimulatedAdapter adapter(eeprom_size);
  adapter.set_logging(false);
  adapter.set_latency(kLatency);
  FakeClock clock;
  Station station;
  station.folders = FileFolders{dir, dir};
  station.settings.DeviceSel = device_sel;
  station.settings.SromSize = eeprom_size == 512 ? 1 : 0;
  station.settings.MaximumSerial = "FFFFFFFFFFFFFF";
  SilentPanel panel(station);
  const OpsContext ctx{station, panel, adapter, clock};
  RefreshImage(ctx);

  const std::array<std::uint8_t, kSimEfuseSize> blank_fuses = [] {
    std::array<std::uint8_t, kSimEfuseSize> f;
    f.fill(0xFF);
    return f;
  }();
  UnitTiming timing(kLatency);
  for (auto _ : state) {
    if (IsEfuseSel(device_sel)) {
      state.PauseTiming();
      adapter.set_efuse(blank_fuses);  // a fresh unit on the fixture
      state.ResumeTiming();
    }
    if (!timing.Time(state, adapter, ctx, panel)) break;
  }
  // What is measured is the adapter's time plus the tool's own.
  timing.Report(state, "overhead_ratio");
  std::filesystem::remove_all(dir);
}

void BM_ProgramEeprom256(benchmark::State& state) {
  ProgramUnit(state, kChipAEeprom, 256);
}
void BM_ProgramEeprom512(benchmark::State& state) {
  ProgramUnit(state, kChipAEeprom, 512);
}
void BM_ProgramEfuse(benchmark::State& state) {
  ProgramUnit(state, kChipAEfuse, 512);
}

BENCHMARK(BM_ProgramEeprom256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProgramEeprom512)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProgramEfuse)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace srom
