// A station of the line as srom-cli runs it, against a real PostgreSQL
// server that the test starts, stops in the middle (SIGSTOP, as a machine
// that hangs) and misconfigures: the station answers within a call's time,
// Ctrl-C ends its wait, settings the server refuses are said as such and
// not waited for, one folder is one station whatever its spelling, and one
// name is one live station.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "ledger/pg_connection.h"
#include "ledger/pg_ledger.h"
#include "support/logged_macs.h"
#include "ports/host_name.h"
#include "support/pg_server.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr int kStationBusyExit = 10;
constexpr int kUnreachableExit = 12;
constexpr int kRejectedExit = 13;

// How long a station may take to answer when its server hangs: one ledger
// call's time, with room for a loaded two-core machine and a process start.
constexpr auto kAnswerBound = pg::kCallBudget + 5s;

PgServer* Server() {
  static std::string why;
  static const std::unique_ptr<PgServer> server = PgServer::Start(&why);
  if (server == nullptr) ADD_FAILURE() << "no PostgreSQL server: " << why;
  return server.get();
}

long Milliseconds(SteadyClock::duration duration) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

class LineStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(Server(), nullptr);
    if (Server()->frozen()) {
      ASSERT_TRUE(Server()->Thaw()) << Server()->last_error();
    }
    static int count = 0;
    database_ = "station" + std::to_string(++count);
    ASSERT_TRUE(Server()->CreateDatabase(database_)) << Server()->last_error();
    url_ = Server()->Url(database_);
  }
  void TearDown() override {
    if (Server() != nullptr && Server()->frozen()) {
      EXPECT_TRUE(Server()->Thaw()) << Server()->last_error();
    }
  }

  // A station folder with a blank simulated adapter, on the line's server
  // under `name` (the default name when empty), with this "Delay time".
  fs::path MakeStation(const std::string& folder, const std::string& name,
                       int delay_seconds = 0) {
    const fs::path dir = folder_ / folder;
    fs::create_directories(dir);
    WriteBytes(dir / "station.ini",
               "ledger=" + url_ + "\r\n" +
                   (name.empty() ? "" : "station=" + name + "\r\n"));
    SromSettings settings;
    settings.DelayTime = delay_seconds;
    WriteBytes(dir / "EEPROM.dat", FormatEepromDat(settings));
    EXPECT_EQ(Cli(dir, {"sim", "create", "--size", "256"}).code, 0);
    return dir;
  }

  Exit Cli(const fs::path& station, const std::vector<std::string>& args,
           int crash_at = 0, const fs::path& cwd = {}) {
    return CliProcess(station, args, folder_ / "err.txt", crash_at, {}, cwd)
        .Wait();
  }

  // "<station> <state>" of every unit on the server, one a line.
  std::string Rows() {
    std::string output;
    EXPECT_TRUE(Server()->Psql(
        "SELECT station || ' ' || mac || ' ' || state FROM srom_unit "
        "ORDER BY id",
        &output, database_))
        << output;
    return output;
  }

  // Waits until `read` shows `text`; false after half a minute, which only
  // a hung child takes.
  static bool WaitFor(const std::function<std::string()>& read,
                      const std::string& text) {
    const auto give_up = SteadyClock::now() + 30s;
    while (SteadyClock::now() < give_up) {
      if (read().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  TempFolder folder_;
  std::string database_;
  std::string url_;
};

// The server hangs: `program` says so and exits 12 within a call's time,
// writing nothing; once it goes on, the next run programs.
TEST_F(LineStationTest, AHungServerIsToldWithinSecondsAndNothingIsWritten) {
  const fs::path station = MakeStation("S1", "S1");
  ASSERT_EQ(Cli(station, {"program"}).code, 0);

  ASSERT_TRUE(Server()->Freeze()) << Server()->last_error();
  const auto began = SteadyClock::now();
  const Exit hung = Cli(station, {"program"});
  const auto took = SteadyClock::now() - began;
  ASSERT_TRUE(Server()->Thaw()) << Server()->last_error();
  EXPECT_EQ(hung.code, kUnreachableExit) << hung.err;
  EXPECT_NE(hung.err.find("does not answer"), std::string::npos) << hung.err;
  EXPECT_NE(hung.err.find("FAIL: ledger unreachable\n"), std::string::npos)
      << hung.err;
  EXPECT_LE(took, kAnswerBound);
  EXPECT_EQ(LoggedMacs(station).size(), 1u);

  const Exit after = Cli(station, {"program"});
  EXPECT_EQ(after.code, 0) << after.err;
  EXPECT_EQ(LoggedMacs(station),
            (std::vector<std::string>{"000000000001", "000000000002"}));
  std::cout << "[ figures  ] srom-cli program on a hung server answered in "
            << Milliseconds(took) << " ms\n";
}

// Ctrl-C while `auto` waits for a server that hangs ends the wait at once
// (not when the call's time runs out), and `auto` with it.
TEST_F(LineStationTest, CtrlCEndsAutoWhileItWaitsForAHungServer) {
  const fs::path station = MakeStation("S1", "S1");
  ASSERT_EQ(Cli(station, {"sim", "unplug"}).code, 0);
  CliProcess child(station, {"auto"}, folder_ / "auto-err.txt", 0,
                   folder_ / "auto-out.txt");
  const auto err = [this] { return ReadBytes(folder_ / "auto-err.txt"); };
  const auto out = [this] { return ReadBytes(folder_ / "auto-out.txt"); };
  ASSERT_TRUE(WaitFor(err, "waiting for an adapter")) << err();

  ASSERT_TRUE(Server()->Freeze()) << Server()->last_error();
  ASSERT_EQ(Cli(station, {"sim", "plug"}).code, 0);
  // The countdown's 0, then the unit asks the server and waits.
  ASSERT_TRUE(WaitFor(out, "0\n")) << out();
  std::this_thread::sleep_for(pg::kStopGrace + 500ms);
  const auto stopped = SteadyClock::now();
  child.Signal(SIGINT);
  const Exit exit = child.Wait();
  const auto took = SteadyClock::now() - stopped;
  ASSERT_TRUE(Server()->Thaw()) << Server()->last_error();

  EXPECT_EQ(exit.code, 0) << exit.err;
  // The call would have waited on for seconds more.
  EXPECT_LT(took, pg::kCallBudget - pg::kStopGrace - 1s);
  EXPECT_NE(exit.err.find("was stopped before it answered"),
            std::string::npos)
      << exit.err;
  EXPECT_NE(out().find("Unit 1: FAIL: ledger unreachable"), std::string::npos)
      << out();
  EXPECT_TRUE(LoggedMacs(station).empty());
  std::cout << "[ figures  ] Ctrl-C during a wait for a hung server: auto "
               "ended in "
            << Milliseconds(took) << " ms\n";
}

// Settings the server refuses: said as such (the server's reason in the
// tool's words, no raw server line first), exit 13, and no wait or retry.
TEST_F(LineStationTest, SettingsTheServerRefusesEndTheRunWithTheirOwnCode) {
  const fs::path station = MakeStation("S1", "S1");
  WriteBytes(station / "station.ini",
             "ledger=" + Server()->Url("no_such_ledger") + "\r\nstation=S1\r\n");
  const auto began = SteadyClock::now();
  const Exit refused = Cli(station, {"program"});
  EXPECT_LT(SteadyClock::now() - began, pg::kCallBudget);
  EXPECT_EQ(refused.code, kRejectedExit) << refused.err;
  EXPECT_EQ(refused.err.rfind("The settings of the line's production ledger "
                              "are rejected by the server",
                              0),
            0u)
      << refused.err;
  EXPECT_NE(refused.err.find("database \"no_such_ledger\" does not exist"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("FAIL: ledger settings rejected\n"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.err.find("cannot be reached"), std::string::npos)
      << refused.err;
  EXPECT_TRUE(LoggedMacs(station).empty());
}

// A server that greets every session with a WARNING (here: a collation
// version recorded where none can be read, as after a system upgrade): the
// operator never sees the server's raw notice.
TEST_F(LineStationTest, AServersNoticesNeverReachTheOperator) {
  std::string output;
  ASSERT_TRUE(Server()->Psql("UPDATE pg_database SET datcollversion = '1.0' "
                             "WHERE datname = '" +
                                 database_ + "'",
                             &output))
      << output;
  ASSERT_TRUE(Server()->Psql("SELECT 1", &output, database_));
  ASSERT_NE(output.find("WARNING"), std::string::npos)
      << "the server greets with a warning: " << output;
  const fs::path station = MakeStation("S1", "S1");
  const Exit exit = Cli(station, {"program"});
  EXPECT_EQ(exit.code, 0) << exit.err;
  EXPECT_EQ(exit.err.find("WARNING"), std::string::npos) << exit.err;
}

// Every spelling of one folder is one station on the line: a unit cut off
// under one spelling is set aside by the next run under another, which then
// programs (not refused as "being written" by a station of another name).
TEST_F(LineStationTest, EverySpellingOfOneFolderIsOneStation) {
  const fs::path station = MakeStation("P", "");
  fs::create_directory_symlink(station, folder_ / "L");
  struct Spelling {
    const char* name;
    fs::path dir;
    fs::path cwd;
  };
  const std::vector<Spelling> spellings = {
      {"--dir P", station, {}},
      {"--dir P/", station.string() + "/", {}},
      {"a relative path from another folder",
       fs::relative(station, fs::current_path()), {}},
      {"a link to it", folder_ / "L", {}},
      {"cd P", ".", station},
  };
  for (std::size_t i = 0; i < spellings.size(); ++i) {
    const Spelling& cut = spellings[i];
    const Spelling& next = spellings[(i + 1) % spellings.size()];
    SCOPED_TRACE(std::string(cut.name) + ", then " + next.name);
    // Killed right after its unit's reservation.
    EXPECT_EQ(Cli(cut.dir, {"program"}, 1, cut.cwd).code, 137);
    const Exit after = Cli(next.dir, {"program"}, 0, next.cwd);
    EXPECT_EQ(after.code, 0) << after.err;
    EXPECT_NE(after.err.find("was interrupted while MAC address"),
              std::string::npos)
        << after.err;
  }
  const std::string name = HostName() + ":" + fs::canonical(station).string();
  std::istringstream rows(Rows());
  int units = 0;
  for (std::string row; std::getline(rows, row); ++units) {
    EXPECT_EQ(row.rfind(name + " ", 0), 0u) << row;
    EXPECT_EQ(row.find(" reserved"), std::string::npos) << row;
  }
  EXPECT_EQ(units, 2 * static_cast<int>(spellings.size()));
}

// Two stations given one name: while the first runs (auto, holding the
// name), the second is refused naming the first's computer and since when,
// and the first's unit being written is not set aside; once the first has
// ended, the second opens and sets that unit aside.
TEST_F(LineStationTest, ASecondStationUnderALiveStationsNameIsRefused) {
  const fs::path first = MakeStation("A", "Line-X");
  const fs::path second = MakeStation("B", "Line-X");
  CliProcess running(first, {"auto"}, folder_ / "auto-err.txt", 0,
                     folder_ / "auto-out.txt");
  const auto err = [this] { return ReadBytes(folder_ / "auto-err.txt"); };
  ASSERT_TRUE(WaitFor(err, "Automatic programming:")) << err();
  // The first station's unit being written.
  std::string output;
  ASSERT_TRUE(Server()->Psql(
      "INSERT INTO srom_unit (mac, serial, device_sel, image_digest, "
      "station, reserved_at, state) VALUES ('0000000000F0', "
      "'000000000000F0', 0, 'x', 'Line-X', '2019-04-24 09:00:00', "
      "'reserved')",
      &output, database_))
      << output;

  const Exit refused = Cli(second, {"program"});
  EXPECT_EQ(refused.code, kStationBusyExit) << refused.err;
  for (const std::string& named :
       {std::string("Station \"Line-X\" is open already"),
        "computer \"" + HostName() + "\"",
        "(process " + std::to_string(running.pid()) + ")",
        std::string(" since 20"), std::string("FAIL: station in use\n")}) {
    EXPECT_NE(refused.err.find(named), std::string::npos) << refused.err;
  }
  EXPECT_EQ(Rows(), "Line-X 0000000000F0 reserved\n");

  running.Signal(SIGINT);
  EXPECT_EQ(running.Wait().code, 0);
  const Exit opened = Cli(second, {"program"});
  EXPECT_EQ(opened.code, 0) << opened.err;
  EXPECT_NE(opened.err.find("MAC address 0000000000F0 was being written"),
            std::string::npos)
      << opened.err;
  EXPECT_NE(Rows().find("Line-X 0000000000F0 interrupted\n"),
            std::string::npos)
      << Rows();
}

}  // namespace
}  // namespace srom::test
