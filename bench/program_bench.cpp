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
  long requests = 0;
  double adapter_seconds = 0;
  double measured_seconds = 0;
  for (auto _ : state) {
    if (IsEfuseSel(device_sel)) {
      state.PauseTiming();
      adapter.set_efuse(blank_fuses);  // a fresh unit on the fixture
      state.ResumeTiming();
    }
    const long before = adapter.request_count();
    const auto start = std::chrono::steady_clock::now();
    RunSingleUnit(ctx);
    measured_seconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    const long issued = adapter.request_count() - before;
    requests += issued;
    adapter_seconds += static_cast<double>(issued) *
                       std::chrono::duration<double>(kLatency).count();
    if (panel.result != ResultPicture::kPass) {
      state.SkipWithError(("unit failed: " + panel.last_message).c_str());
      break;
    }
  }
  const double units = static_cast<double>(state.iterations());
  state.counters["requests"] = units > 0 ? requests / units : 0;
  // The clock's waits cost nothing here (FakeClock): what is measured is the
  // adapter's time plus the tool's own.
  state.counters["overhead_ratio"] =
      adapter_seconds > 0 ? measured_seconds / adapter_seconds : 0;
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
