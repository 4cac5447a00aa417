// What the production ledger adds to one unit: Reserve before the adapter is
// written, MarkProgrammed after it verified, MarkSettingsSaved after
// EEPROM.dat was saved; three commits, each flushed to the disk.
#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ledger/sqlite_ledger.h"

namespace srom {
namespace {

std::string Hex(std::uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
  return text;
}

void BM_LedgerOneUnit(benchmark::State& state) {
  // SROM_BENCH_DIR puts the ledger elsewhere: on a RAM disk (/dev/shm) the
  // figure is SQLite's and the tool's own work, on a real disk it includes
  // the flushes that make each commit durable.
  const char* base = std::getenv("SROM_BENCH_DIR");
  const auto dir = (base != nullptr ? std::filesystem::path(base)
                                    : std::filesystem::temp_directory_path()) /
                   "srom-ledger-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  auto opened = SqliteLedger::Open(dir / std::string(kLedgerFileName));
  if (!opened.ok()) {
    state.SkipWithError(opened.error.c_str());
    return;
  }
  SqliteLedger& ledger = **opened.value;
  const std::string time = "2024-03-01 08:15:00";
  std::uint64_t n = 0;
  for (auto _ : state) {
    ++n;
    const UnitDraft draft{Hex(n, 12), Hex(n, 14), 2, "digest", "bench", time};
    const auto id = ledger.Reserve(draft);
    if (!id.ok()) {
      state.SkipWithError(id.error.c_str());
      break;
    }
    LedgerStatus status = ledger.MarkProgrammed(*id.value, time);
    if (status.ok()) status = ledger.MarkSettingsSaved(*id.value);
    if (!status.ok()) {
      state.SkipWithError(status.error.c_str());
      break;
    }
  }
  opened.value->reset();
  std::filesystem::remove_all(dir);
}

BENCHMARK(BM_LedgerOneUnit)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace srom
