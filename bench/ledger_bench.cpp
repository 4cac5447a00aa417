// What the production ledger adds to one unit: the unit is programmed on the
// simulated adapter at 500 us per request, as Program does it, with no
// ledger, with the station's own SQLite file, or with the line's PostgreSQL
// server over its Unix socket. The ledger commits three times a unit (the
// reservation before the write, the close after the verification, the
// settings saved after EEPROM.dat), each one flushed to the disk. The figure
// is the unit's time over the adapter's own; target: at most 1.05 with
// either ledger.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "device/sim/simulated_adapter.h"
#include "ledger/station_ledger.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "silent_panel.h"
#include "unit_timing.h"
#include "support/fake_clock.h"
#ifdef SROM_BENCH_SERVER_LEDGER
#include "support/pg_server.h"
#endif

namespace srom {
namespace {

namespace fs = std::filesystem;

constexpr auto kLatency = std::chrono::microseconds(500);

enum class Kept { kNone, kStationFile, kLineServer };

// The station's folder: SROM_BENCH_DIR puts it elsewhere. On a RAM disk
// (/dev/shm) the figure is the tool's and SQLite's own work; on a real disk
// it includes the flushes that make each commit and each save durable.
fs::path StationFolder(const std::string& name) {
  const char* base = std::getenv("SROM_BENCH_DIR");
  return (base != nullptr ? fs::path(base) : fs::temp_directory_path()) / name;
}

#ifdef SROM_BENCH_SERVER_LEDGER
// One server for the whole run, started at its first use, flushing every
// commit to the disk as a line's server does. Its folder is in the system's
// temporary folder whatever SROM_BENCH_DIR says.
test::PgServer* Server(std::string* why) {
  static std::string failure;
  static const std::unique_ptr<test::PgServer> server =
      test::PgServer::Start(&failure, {.durable = true});
  *why = failure;
  return server.get();
}

// What the server says of its own flushing, so that the report shows it.
std::string ServerFsync(const test::PgServer& server) {
  std::string output;
  if (!server.Psql("SHOW fsync", &output)) return "fsync=?";
  while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
    output.pop_back();
  }
  return "fsync=" + output;
}
#endif

// The ledger the station keeps, opened as the station opens it; null for
// none. On failure the benchmark is skipped with the reason.
std::unique_ptr<Ledger> OpenLedger(benchmark::State& state, Kept kept,
                                   const fs::path& folder) {
  LedgerPlace place{folder, "", "bench"};
  if (kept == Kept::kNone) return nullptr;
  if (kept == Kept::kLineServer) {
#ifdef SROM_BENCH_SERVER_LEDGER
    std::string why;
    test::PgServer* server = Server(&why);
    if (server == nullptr) {
      state.SkipWithError(("no PostgreSQL server: " + why).c_str());
      return nullptr;
    }
    static int runs = 0;
    const std::string database = "bench" + std::to_string(++runs);
    if (!server->CreateDatabase(database)) {
      state.SkipWithError(server->last_error().c_str());
      return nullptr;
    }
    place.url = server->Url(database);
    state.SetLabel(ServerFsync(*server));
#endif
  }
  auto opened = OpenStationLedger(place);
  if (!opened.ok()) {
    state.SkipWithError(opened.error.c_str());
    return nullptr;
  }
  return std::move(*opened.value);
}

void ProgramUnit(benchmark::State& state, Kept kept, const std::string& name) {
  const fs::path dir = StationFolder("srom-ledger-bench-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::unique_ptr<Ledger> ledger = OpenLedger(state, kept, dir);
  if (kept != Kept::kNone && ledger == nullptr) return;

  SimulatedAdapter adapter(256);
  adapter.set_logging(false);
  adapter.set_latency(kLatency);
  FakeClock clock;
  Station station;
  station.folders = FileFolders{dir, dir};
  station.name = "bench";
  station.settings.DeviceSel = kChipAEeprom;
  station.settings.MaximumSerial = "FFFFFFFFFFFFFF";
  SilentPanel panel(station);
  const OpsContext ctx{station, panel, adapter, clock, ledger.get()};
  RefreshImage(ctx);

  UnitTiming timing(kLatency);
  for (auto _ : state) {
    if (!timing.Time(state, adapter, ctx, panel)) break;
  }
  // What is measured is the adapter's time plus the tool's and the ledger's.
  timing.Report(state, "ratio");
  ledger.reset();
  fs::remove_all(dir);
}

void BM_UnitWithoutLedger(benchmark::State& state) {
  ProgramUnit(state, Kept::kNone, "none");
}
void BM_UnitWithStationFile(benchmark::State& state) {
  ProgramUnit(state, Kept::kStationFile, "sqlite");
}

// A unit takes about a third of a second: some ten of them a figure.
constexpr double kSeconds = 3;

BENCHMARK(BM_UnitWithoutLedger)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(kSeconds);
BENCHMARK(BM_UnitWithStationFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(kSeconds);

#ifdef SROM_BENCH_SERVER_LEDGER
void BM_UnitWithLineServer(benchmark::State& state) {
  ProgramUnit(state, Kept::kLineServer, "server");
}
BENCHMARK(BM_UnitWithLineServer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(kSeconds);
#endif

}  // namespace
}  // namespace srom
