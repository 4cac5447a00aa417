// A line of stations on one ledger server, as real srom-cli processes: each
// station with its own folder and simulated adapter, programming one unit
// after another, all at once. What the stations' logs and the server then
// say, for the tests that no MAC address reaches two units. POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "ledger/ledger.h"
#include "ledger/pg_ledger.h"
#include "support/line_findings.h"
#include "support/line_station_files.h"
#include "support/temp_folder.h"

namespace srom::test {

inline constexpr int kMacUsedExit = 11;
inline constexpr int kUnreachableExit = 12;

// What one station's runs came to.
struct StationRun {
  int programmed = 0;
  int waited = 0;  // runs refused while the server was away
  int kept = 0;    // units whose close waited in the station's outbox
  std::vector<std::string> refusals;  // runs refused for a MAC address taken
  std::vector<std::string> other_failures;
};

class StationLine {
 public:
  StationLine(const fs::path& folder, int stations) : folder_(folder) {
    for (int i = 0; i < stations; ++i) {
      const fs::path dir = folder_ / Name(i);
      fs::create_directories(dir);
      stations_.push_back(dir);
    }
  }

  static std::string Name(int i) { return "S" + std::to_string(i); }
  int size() const { return static_cast<int>(stations_.size()); }
  const fs::path& dir(int i) const {
    return stations_[static_cast<std::size_t>(i)];
  }

  Exit Cli(int station, const std::vector<std::string>& args) const {
    return CliProcess(dir(station), args,
                      folder_ / ("err-" + Name(station) + ".txt"))
        .Wait();
  }

  // A simulated adapter for each station.
  bool MakeAdapters() const {
    for (int i = 0; i < size(); ++i) {
      if (Cli(i, {"sim", "create", "--size", "256"}).code != 0) return false;
    }
    return true;
  }

  // station.ini and EEPROM.dat of station `i` on the ledger at `url`, its
  // MAC addresses from `first_mac` on (or from `pool`).
  void SetUpStation(int i, const std::string& url, const std::string& first_mac,
                    const std::string& pool = "") const {
    WriteLineStationFiles(dir(i), Name(i), url, first_mac, pool);
  }

  // Every station runs `srom-cli program` one unit after another, all at
  // once, until it has `units` or its next MAC address is taken elsewhere.
  // A run refused because the server is away waits and tries again.
  // `between` runs on this thread meanwhile with the count programmed.
  std::vector<StationRun> Run(int units,
                              const std::function<void(int)>& between = {}) {
    using namespace std::chrono_literals;
    std::vector<StationRun> runs(stations_.size());
    std::atomic<int> total{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < size(); ++i) {
      threads.emplace_back([&, i] {
        StationRun& run = runs[static_cast<std::size_t>(i)];
        const fs::path err = folder_ / ("run-" + Name(i) + ".txt");
        for (int attempt = 0; run.programmed < units && attempt < 400;
             ++attempt) {
          const Exit exit = CliProcess(dir(i), {"-y", "program"}, err).Wait();
          if (exit.code == 0) {
            ++run.programmed;
            ++total;
            if (exit.err.find("ledger-outbox.txt") != std::string::npos) {
              ++run.kept;
            }
          } else if (exit.code == kMacUsedExit) {
            run.refusals.push_back(exit.err);
            break;
          } else if (exit.code == kUnreachableExit) {
            ++run.waited;
            std::this_thread::sleep_for(100ms);
          } else {
            run.other_failures.push_back(std::to_string(exit.code) + ": " +
                                         exit.err);
            std::this_thread::sleep_for(100ms);
          }
        }
        ++done;
      });
    }
    while (done < size()) {
      if (between) between(total);
      std::this_thread::sleep_for(20ms);
    }
    for (std::thread& t : threads) t.join();
    return runs;
  }

  // Every MAC address that reached an adapter, by the stations' logs, set
  // against `units`, the ledger's: each must be logged once, and be a unit
  // programmed by that station.
  LineFindings Check(const std::vector<UnitRecord>& units) const {
    std::vector<LineStation> stations;
    for (int i = 0; i < size(); ++i) stations.push_back({Name(i), dir(i)});
    return FindOnLine(stations, units);
  }

 private:
  fs::path folder_;
  std::vector<fs::path> stations_;
};

// The units of the ledger at `url`, read as the line's tools do.
inline std::vector<UnitRecord> LedgerUnits(const std::string& url) {
  auto ledger = PgLedger::Open(url, "test");
  EXPECT_TRUE(ledger.ok()) << ledger.error;
  if (!ledger.ok()) return {};
  auto units = (*ledger.value)->Units();
  EXPECT_TRUE(units.ok()) << units.error;
  return units.value.value_or(std::vector<UnitRecord>{});
}

// Findings that must all be empty, one failure each.
inline void ExpectNoneOf(const LineFindings& findings) {
  for (const std::string& f : findings.twice) ADD_FAILURE() << f;
  for (const std::string& f : findings.unrecorded) ADD_FAILURE() << f;
  for (const std::string& f : findings.held_twice) {
    ADD_FAILURE() << f << " held twice on the server";
  }
}

}  // namespace srom::test
