// A line of many stations on one PostgreSQL server, measured: N stations
// (N = 1, 10, 50, 200) program units one after another, all at once, each
// with its own connection, opened as a station opens it (station.ini names
// the server, the station and its pool; StationSession), a few at a time. A
// unit is the Program sequence itself on a simulated adapter that answers at
// once, so that what a unit waits for is the ledger: its reservation before
// the write, its close, the settings saved. Two modes: typed ranges (each
// station its own MAC addresses, no pool) and one line pool that every
// station draws from. The stations are threads of this process.
//
// For each mode and N: units per second over the whole line, the median and
// the 99th percentile of a unit's reservation time (from its first ledger
// call to its reservation committed, every read of the pool and every try
// again included), the 99th percentile over the single station's, the
// reservations refused because another station took the pool's value first
// (in all, and the most for one unit: a unit gives up after 50), and the
// units refused (each tried again). Then every station's log is set
// against the server's units: each MAC address logged once across the line
// and recorded as programmed by the station that logged it.
//
// The server flushes every commit to the disk, as a line's server does, and
// takes 250 sessions. The stations' folders go to /dev/shm where there is
// one (each real station has its own disk, which the server's must not
// share here), or to SROM_BENCH_DIR.
//
// Units per station: 300 for one station, 30 for ten, 8 for fifty and 3 for
// two hundred, so that each figure rests on 300 to 600 reservations and the
// whole run takes under a minute on two cores. `line_bench <factor>`
// scales them (2 doubles every count).
//
// With adapters that answer at once every station asks again the moment it
// is answered: the line is as busy as its server lets it be, and a unit's
// wait grows with the stations that share the server's cores and disk. The
// pool's row is locked by every reservation from it, until its commit is
// flushed; the stations on typed ranges lock rows of their own only.
//
// Target: at 200 stations, in each mode, the 99th percentile at most 10
// times the single station's; and never a MAC address given twice.
//
// Exit status: 0 every target met, 1 a target missed (or a MAC address given
// twice, or a unit refused), 2 no measurement.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <map>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/simulated_adapter.h"
#include "ledger/pg_ledger.h"
#include "ledger/station_ledger.h"
#include "model/hex_text.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ops/station_session.h"
#include "silent_panel.h"
#include "support/fake_clock.h"
#include "support/line_findings.h"
#include "support/line_station_files.h"
#include "support/pg_server.h"
#include "timed_ledger.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::LineFindings;
using test::LineStation;

constexpr double kP99Target = 10.0;
constexpr int kMaxStations = 200;
constexpr char kPoolName[] = "line";

enum class Mode { kTypedRanges, kLinePool };

const char* ModeName(Mode mode) {
  return mode == Mode::kTypedRanges ? "typed ranges" : "line pool";
}

// Units per station for `stations` at once.
int UnitsPerStation(int stations, double factor) {
  int units = 3;
  if (stations == 1) units = 300;
  if (stations == 10) units = 30;
  if (stations == 50) units = 8;
  return std::max(1, static_cast<int>(units * factor + 0.5));
}

// Stations open a few at a time, as a line's operators start them, not all
// in the same instant: what is measured is the line at work, not a storm of
// logins. Then they start their units together.
constexpr std::ptrdiff_t kOpeningAtOnce = 4;
struct LineStart {
  explicit LineStart(int stations) : ready(stations) {}
  std::counting_semaphore<kOpeningAtOnce> opening{kOpeningAtOnce};
  std::latch ready;
  std::latch go{1};
};

// What one station's run came to.
struct StationResult {
  std::vector<double> reservation_ms;
  int pool_moved = 0;
  int most_pool_moved = 0;
  int failed = 0;       // units refused, each tried again
  std::string failure;  // what the station said at its first refused unit
  std::string first_unanswered;  // the first ledger call that timed out
};

// One station: opened as srom-cli opens it, then `units` units in a row from
// the moment the line starts.
void RunStation(const fs::path& dir, const std::string& name,
                const std::string& url, const std::string& first_mac,
                const std::string& pool, int units, LineStart& start,
                StationResult& result) {
  fs::create_directories(dir);
  test::WriteLineStationFiles(dir, name, url, first_mac, pool);
  Station station;
  SilentPanel panel(station);
  FakeClock clock;
  Outcome refusal = Outcome::kFailed;
  start.opening.acquire();
  std::optional<StationSession> session = StationSession::Open(
      dir, station, panel, clock, OpenStationLedger, refusal);
  start.opening.release();
  if (!session || session->ledger() == nullptr) {
    result.failure = "did not open: " + panel.last_message;
    result.failed = 1;
    start.ready.count_down();
    return;
  }
  SimulatedAdapter adapter(256);
  adapter.set_logging(false);
  TimedLedger ledger(*session->ledger());
  const OpsContext ctx{station, panel, adapter, clock, &ledger};
  RefreshImage(ctx);
  start.ready.count_down();
  start.go.wait();
  // A unit the ledger refused is tried again, as the station's operator
  // would, a bounded number of times.
  for (int tries = 0; static_cast<int>(result.reservation_ms.size()) < units &&
                      tries < 3 * units;
       ++tries) {
    ledger.StartUnit();
    const Outcome outcome = RunSingleUnit(ctx);
    const auto reservation = ledger.reservation();
    if (outcome != Outcome::kOk || panel.result != ResultPicture::kPass ||
        !reservation) {
      ++result.failed;
      if (result.failure.empty()) result.failure = panel.last_message;
      continue;
    }
    result.reservation_ms.push_back(
        std::chrono::duration<double, std::milli>(*reservation).count());
  }
  result.first_unanswered = ledger.first_unanswered();
  result.pool_moved = ledger.pool_moved();
  result.most_pool_moved = ledger.most_pool_moved();
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(
      p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(rank, values.size() - 1)];
}

struct Figures {
  Mode mode = Mode::kTypedRanges;
  int stations = 0;
  int units = 0;
  double units_per_second = 0;
  double median_ms = 0;
  double p99_ms = 0;
  int pool_moved = 0;
  int most_pool_moved = 0;  // for one unit
  int failed = 0;
  std::string first_failure;
  // Stations by the ledger call that first went unanswered.
  std::map<std::string, int> unanswered_by_call;
  LineFindings findings;
};

// `stations` stations of `mode` on a database of their own on `server`;
// nothing when the line could not be set up.
std::optional<Figures> RunLine(test::PgServer& server, const fs::path& root,
                               Mode mode, int stations, double factor) {
  const int units = UnitsPerStation(stations, factor);
  const std::string tag =
      std::string(mode == Mode::kTypedRanges ? "typed" : "pool") +
      std::to_string(stations);
  if (!server.CreateDatabase(tag)) {
    std::fprintf(stderr, "%s\n", server.last_error().c_str());
    return std::nullopt;
  }
  const std::string url = server.Url(tag);
  const std::string pool = mode == Mode::kLinePool ? kPoolName : "";
  if (mode == Mode::kLinePool) {
    auto ledger = PgLedger::Open(url, "bench");
    const std::uint64_t first = 0x000000100000;
    const LedgerStatus created =
        ledger.ok() ? (*ledger.value)
                          ->CreatePool({kPoolName, MacText(first),
                                        MacText(first + 0xFFFFF), 1, ""})
                    : ledger.status();
    if (!created.ok()) {
      std::fprintf(stderr, "no line pool: %s\n", created.error.c_str());
      return std::nullopt;
    }
  }

  const fs::path line = root / tag;
  std::vector<LineStation> named;
  std::vector<StationResult> results(static_cast<std::size_t>(stations));
  LineStart start(stations);
  std::vector<std::thread> threads;
  for (int i = 0; i < stations; ++i) {
    named.push_back(
        {"S" + std::to_string(i), line / ("S" + std::to_string(i))});
    // Typed ranges far apart: 65536 addresses a station.
    const std::string first_mac =
        MacText(0x000001000000 + (static_cast<std::uint64_t>(i) << 16));
    threads.emplace_back(RunStation, named.back().dir, named.back().name, url,
                         first_mac, pool, units, std::ref(start),
                         std::ref(results[static_cast<std::size_t>(i)]));
  }
  start.ready.wait();
  const auto started = std::chrono::steady_clock::now();
  start.go.count_down();
  for (std::thread& t : threads) t.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
          .count();

  Figures figures;
  figures.mode = mode;
  figures.stations = stations;
  std::vector<double> all;
  for (const StationResult& r : results) {
    all.insert(all.end(), r.reservation_ms.begin(), r.reservation_ms.end());
    figures.pool_moved += r.pool_moved;
    figures.most_pool_moved =
        std::max(figures.most_pool_moved, r.most_pool_moved);
    figures.failed += r.failed;
    if (!r.failure.empty() && figures.first_failure.empty()) {
      figures.first_failure = r.failure;
    }
    if (!r.first_unanswered.empty()) {
      ++figures.unanswered_by_call[r.first_unanswered];
    }
  }
  figures.units = static_cast<int>(all.size());
  figures.units_per_second = seconds > 0 ? figures.units / seconds : 0;
  figures.median_ms = Percentile(all, 0.5);
  figures.p99_ms = Percentile(all, 0.99);

  auto reader = PgLedger::Open(url, "bench-check");
  auto held = reader.ok()
                  ? (*reader.value)->Units()
                  : LedgerResult<std::vector<UnitRecord>>(reader.status());
  if (!held.ok()) {
    std::fprintf(stderr, "the server's units cannot be read: %s\n",
                 held.error.c_str());
    return std::nullopt;
  }
  figures.findings = test::FindOnLine(named, *held.value);
  if (figures.findings.units < figures.units) {
    figures.findings.unrecorded.push_back(
        std::to_string(figures.units) + " units passed, " +
        std::to_string(figures.findings.units) + " logged");
  }
  fs::remove_all(line);
  return figures;
}

// Where the stations' folders go: SROM_BENCH_DIR, else a RAM disk where
// there is one, else the system's temporary folder.
fs::path StationsRoot() {
  if (const char* base = std::getenv("SROM_BENCH_DIR")) return base;
  std::error_code error;
  if (fs::is_directory("/dev/shm", error)) return "/dev/shm";
  return fs::temp_directory_path();
}

int Duplicates(const LineFindings& f) {
  return static_cast<int>(f.twice.size() + f.held_twice.size() +
                          f.unrecorded.size());
}

}  // namespace
}  // namespace srom

int main(int argc, char** argv) {
  using namespace srom;
  const double factor = argc > 1 ? std::max(0.1, std::atof(argv[1])) : 1.0;

  std::string why;
  const auto server = test::PgServer::Start(
      &why, {.durable = true, .max_connections = kMaxStations + 50});
  if (server == nullptr) {
    std::fprintf(stderr, "no PostgreSQL server: %s\n", why.c_str());
    return 2;
  }
  const fs::path root =
      StationsRoot() / ("srom-line-bench-" + std::to_string(getpid()));
  fs::create_directories(root);

  std::vector<Figures> table;
  for (const Mode mode : {Mode::kTypedRanges, Mode::kLinePool}) {
    for (const int stations : {1, 10, 50, kMaxStations}) {
      std::fprintf(stderr, "%s, %d stations...\n", ModeName(mode), stations);
      auto figures = RunLine(*server, root, mode, stations, factor);
      if (!figures) {
        fs::remove_all(root);
        return 2;
      }
      table.push_back(std::move(*figures));
    }
  }
  fs::remove_all(root);

  std::printf(
      "A line on one PostgreSQL server (every commit flushed), adapters "
      "answering at once\n");
  std::printf("  %-13s %8s %6s %8s %10s %8s %10s %11s %10s %7s %6s\n", "mode",
              "stations", "units", "units/s", "median ms", "p99 ms",
              "p99/p99(1)", "pool moved", "most/unit", "refused", "twice");
  bool met = true;
  bool measured = true;
  for (const Figures& f : table) {
    const Figures& single = *std::find_if(
        table.begin(), table.end(),
        [&](const Figures& g) { return g.mode == f.mode && g.stations == 1; });
    const double ratio = single.p99_ms > 0 ? f.p99_ms / single.p99_ms : 0;
    std::printf("  %-13s %8d %6d %8.1f %10.2f %8.2f %10.1f %11d %10d %7d %6d\n",
                ModeName(f.mode), f.stations, f.units, f.units_per_second,
                f.median_ms, f.p99_ms, ratio, f.pool_moved, f.most_pool_moved,
                f.failed, Duplicates(f.findings));
    measured = measured && f.units > 0;
    met = met && f.failed == 0 && f.findings.clean();
    if (f.stations == kMaxStations) met = met && ratio <= kP99Target;
  }
  for (const Figures& f : table) {
    if (!f.first_failure.empty()) {
      std::printf(
          "  %s, %d stations: %d units refused and tried again; the "
          "first said: %s\n",
          ModeName(f.mode), f.stations, f.failed, f.first_failure.c_str());
      for (const auto& [call, count] : f.unanswered_by_call) {
        std::printf("    %d stations first went unanswered at %s\n", count,
                    call.c_str());
      }
    }
    for (const auto* list :
         {&f.findings.twice, &f.findings.held_twice, &f.findings.unrecorded}) {
      for (const std::string& finding : *list) {
        std::printf(
            "  %s, %d stations: MAC ADDRESS GIVEN TWICE OR UNRECORDED: "
            "%s\n",
            ModeName(f.mode), f.stations, finding.c_str());
      }
    }
  }
  std::printf(
      "  target: at %d stations p99 at most %.0f x one station's, in "
      "each mode; no MAC address twice: %s\n",
      kMaxStations, kP99Target, met ? "met" : "MISSED");
  if (!measured) return 2;
  return met ? 0 : 1;
}
