// A line of six stations on one ledger server: real srom-cli processes, each
// station with its own folder and simulated adapter, programming at once
// against a real PostgreSQL server, with ranges typed in that overlap, with
// a line pool, and with the server stopped hard in the middle of the run.
// Not one MAC address may reach two units.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "station_line.h"
#include "support/pg_server.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;

constexpr int kStations = 6;

PgServer* Server() {
  static std::string why;
  static const std::unique_ptr<PgServer> server = PgServer::Start(&why);
  if (server == nullptr) ADD_FAILURE() << "no PostgreSQL server: " << why;
  return server.get();
}

std::string StationName(int i) { return StationLine::Name(i); }

class LineLedgerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Server(), nullptr);
    static int count = 0;
    const std::string database = "line" + std::to_string(++count);
    ASSERT_TRUE(Server()->CreateDatabase(database)) << Server()->last_error();
    url_ = Server()->Url(database);
    ASSERT_TRUE(line_.MakeAdapters());
    for (int i = 0; i < kStations; ++i) stations_.push_back(line_.dir(i));
  }

  Exit Cli(int station, const std::vector<std::string>& args) {
    return line_.Cli(station, args);
  }

  void SetUpStation(int i, const std::string& first_mac,
                    const std::string& pool = "") {
    line_.SetUpStation(i, url_, first_mac, pool);
  }

  std::vector<StationRun> RunLine(
      int units, const std::function<void(int)>& between = nullptr) {
    return line_.Run(units, between);
  }

  std::vector<UnitRecord> ServerUnits() { return LedgerUnits(url_); }

  // Every MAC address that reached an adapter, by the stations' logs, is
  // distinct across the line and has its unit on the server, programmed by
  // that station. The count of units logged.
  int CheckLine() {
    const LineFindings findings = line_.Check(ServerUnits());
    ExpectNoneOf(findings);
    return findings.units;
  }

  TempFolder folder_;
  StationLine line_{folder_.path(), kStations};
  std::string url_;
  std::vector<fs::path> stations_;
};

TEST_F(LineLedgerTest, SixStationsWithOverlappingRangesThenAPool) {
  // Ranges typed in by hand: each station's eight addresses overlap the next
  // station's by four.
  for (int i = 0; i < kStations; ++i) {
    char first[16];
    std::snprintf(first, sizeof first, "%012X", 0x100 + 4 * i);
    SetUpStation(i, first);
  }
  const std::vector<StationRun> typed = RunLine(8);
  int refusals = 0;
  for (int i = 0; i < kStations; ++i) {
    const StationRun& run = typed[static_cast<std::size_t>(i)];
    EXPECT_TRUE(run.other_failures.empty()) << run.other_failures.front();
    for (const std::string& refusal : run.refusals) {
      ++refusals;
      // The refusal names the station that took the address, and when.
      bool names_another = false;
      for (int j = 0; j < kStations; ++j) {
        names_another = names_another ||
                        (j != i && refusal.find("station \"" + StationName(j) +
                                                "\"") != std::string::npos);
      }
      EXPECT_TRUE(names_another) << refusal;
      EXPECT_NE(refusal.find("2"), std::string::npos) << refusal;
    }
  }
  EXPECT_GT(refusals, 0) << "the ranges overlap";
  const int typed_units = CheckLine();

  // The same line on a pool: every station takes the pool's next address.
  ASSERT_EQ(Cli(0, {"--ledger", url_, "pool", "create", "line1", "--first",
                    "000000001000", "--last", "0000000010FF"})
                .code,
            0);
  for (int i = 0; i < kStations; ++i) {
    SetUpStation(i, "000000000001", "line1");
  }
  const std::vector<StationRun> pooled = RunLine(8);
  for (const StationRun& run : pooled) {
    EXPECT_EQ(run.programmed, 8);
    EXPECT_TRUE(run.refusals.empty()) << run.refusals.front();
    EXPECT_TRUE(run.other_failures.empty()) << run.other_failures.front();
  }
  const int all_units = CheckLine();
  EXPECT_EQ(all_units, typed_units + kStations * 8);
  // Each station's settings file follows the pool: past the station's own
  // last unit, within the pool, the pool's last address as its maximum.
  for (const fs::path& station : stations_) {
    const auto saved = SettingsFromEepromDat(ReadBytes(station / "EEPROM.dat"),
                                             SromSettings{});
    ASSERT_TRUE(saved) << station;
    const std::vector<std::string> logged = LoggedMacs(station);
    ASSERT_FALSE(logged.empty());
    EXPECT_GT(saved->CurrentMac, logged.back()) << station;
    EXPECT_LE(saved->CurrentMac, "000000001030") << station;
    EXPECT_EQ(saved->MaximumMac, "0000000010FF") << station;
  }
  int pool_units = 0;
  for (const UnitRecord& u : ServerUnits()) {
    if (u.pool == "line1") {
      ++pool_units;
      EXPECT_GE(u.mac, "000000001000");
      EXPECT_LE(u.mac, "0000000010FF");
    }
  }
  EXPECT_EQ(pool_units, kStations * 8);
  std::cout << "[ figures  ] " << kStations
            << " stations at once: " << typed_units
            << " units on typed ranges, " << refusals
            << " refusals naming the other station; " << pool_units
            << " units from the pool; duplicates 0\n";
}

TEST_F(LineLedgerTest, TheServerStoppedHardMidRunGivesNoAddressTwice) {
  // Half the line on a pool, half on typed ranges far apart.
  ASSERT_EQ(Cli(0, {"--ledger", url_, "pool", "create", "line2", "--first",
                    "000000002000", "--last", "0000000020FF"})
                .code,
            0);
  for (int i = 0; i < kStations; ++i) {
    char first[16];
    std::snprintf(first, sizeof first, "%012X", 0x3000 + 0x100 * i);
    SetUpStation(i, first, i % 2 == 0 ? "line2" : "");
  }
  constexpr int kUnits = 12;
  int restarts = 0;
  const std::vector<StationRun> runs = RunLine(kUnits, [&](int total) {
    // Twice: once a third of the units are done, and again at two thirds.
    if ((restarts == 0 && total >= kStations * kUnits / 3) ||
        (restarts == 1 && total >= 2 * kStations * kUnits / 3)) {
      ASSERT_TRUE(Server()->Stop(true)) << Server()->last_error();
      std::this_thread::sleep_for(700ms);
      ASSERT_TRUE(Server()->StartAgain()) << Server()->last_error();
      ++restarts;
    }
  });
  ASSERT_EQ(restarts, 2);
  int waited = 0;
  int kept = 0;
  for (const StationRun& run : runs) {
    EXPECT_EQ(run.programmed, kUnits) << "every station resumes";
    EXPECT_TRUE(run.refusals.empty()) << run.refusals.front();
    waited += run.waited;
    kept += run.kept;
  }
  // A run cut off in the middle of its unit left it reserved; the next run
  // of that station set it aside, and every kept close was sent.
  int interrupted = 0;
  for (const UnitRecord& u : ServerUnits()) {
    EXPECT_NE(u.state, UnitState::kReserved) << u.mac;
    if (u.state == UnitState::kInterrupted) ++interrupted;
  }
  for (const fs::path& station : stations_) {
    EXPECT_FALSE(fs::exists(station / "ledger-outbox.txt")) << station;
  }
  const int units = CheckLine();
  EXPECT_EQ(units, kStations * kUnits);
  std::cout << "[ figures  ] " << kStations << " stations, " << units
            << " units, server stopped hard " << restarts << " times, "
            << waited << " runs refused while it was away, " << kept
            << " closes kept in an outbox, " << interrupted
            << " units set aside; duplicates 0\n";
}

// A station killed (as kill -9 would) at every step of a unit, on a pool
// shared with a station that goes on meanwhile: the killed station's next
// run sets aside what it may have written, and no address reaches two units.
TEST_F(LineLedgerTest, AStationKilledAtAnyStepOfAUnitGivesNoAddressTwice) {
  ASSERT_EQ(Cli(0, {"--ledger", url_, "pool", "create", "line3", "--first",
                    "000000004000", "--last", "0000000040FF"})
                .code,
            0);
  SetUpStation(0, "000000000001", "line3");
  SetUpStation(1, "000000000001", "line3");
  const auto program = [this](int station, int crash_at) {
    return CliProcess(
               stations_[static_cast<std::size_t>(station)], {"-y", "program"},
               folder_ / ("kill-" + StationName(station) + ".txt"), crash_at)
        .Wait();
  };
  int killed = 0;
  for (int step = 1; step <= 8; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    const Exit crashed = program(0, step);
    ASSERT_EQ(program(1, 0).code, 0);  // the line goes on
    const Exit after = program(0, 0);
    ASSERT_EQ(after.code, 0) << after.err;
    if (crashed.code != 137) break;  // past the last step: the unit passed
    ++killed;
  }
  EXPECT_GE(killed, 3);
  int set_aside = 0;
  for (const UnitRecord& u : ServerUnits()) {
    EXPECT_NE(u.state, UnitState::kReserved) << u.mac;
    if (u.state == UnitState::kInterrupted) ++set_aside;
  }
  const int units = CheckLine();
  std::cout << "[ figures  ] a station killed at " << killed
            << " steps of a unit: " << units << " units on the line, "
            << set_aside << " set aside; duplicates 0\n";
}

}  // namespace
}  // namespace srom::test
