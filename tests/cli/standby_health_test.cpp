// What a station knows of the standby that keeps the line's ledger when its
// server machine dies, and what it does without one: `srom-cli ledger
// --health` and a station.ini with require_standby=yes, against a real
// primary and standby (and a role without pg_monitor), with real srom-cli
// processes; and the window that says so as it opens.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "ledger/pg_ledger.h"
#include "ledger/station_ledger.h"
#include "support/logged_macs.h"
#include "support/pg_server.h"
#include "support/temp_folder.h"
#include "ui/fresh_window_fixture.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;

constexpr int kUnprotectedExit = 16;
constexpr char kRefusal[] =
    "has no synchronous standby acknowledging its commits";

// A primary with a standby of its own.
struct ServerPair {
  std::unique_ptr<PgServer> primary;
  std::unique_ptr<PgServer> standby;

  bool Start(bool synchronous, std::string* why) {
    primary = PgServer::Start(why);
    if (primary == nullptr) return false;
    standby = primary->StartStandby(synchronous, why);
    return standby != nullptr;
  }
  std::string Url() const { return PgServer::PairUrl(*primary, *standby); }
  int Units() const {
    std::string out;
    if (!primary->Psql("SELECT count(*) FROM srom_unit", &out)) return -1;
    return std::stoi(out);
  }
};

// A station with a simulated adapter on `url`.
class Station {
 public:
  Station(const fs::path& folder, const std::string& url, bool require,
          const std::string& first_mac = "001122330010")
      : dir_(folder) {
    fs::create_directories(dir_);
    WriteBytes(dir_ / "station.ini",
               "ledger=" + url + "\r\nstation=" + folder.filename().string() + "\r\n" +
                   (require ? "require_standby=yes\r\n" : ""));
    SromSettings settings;
    settings.CurrentMac = first_mac;
    WriteBytes(dir_ / "EEPROM.dat", FormatEepromDat(settings));
    EXPECT_EQ(Cli({"sim", "create", "--size", "256"}).code, 0);
  }

  Exit Cli(const std::vector<std::string>& args) const {
    return CliProcess(dir_, args, dir_.parent_path() / "err.txt", 0,
                      dir_.parent_path() / "out.txt")
        .Wait();
  }
  std::string out() const { return ReadBytes(dir_.parent_path() / "out.txt"); }
  Exit Program() const { return Cli({"-y", "program"}); }
  Exit Health() const { return Cli({"ledger", "--health"}); }
  // `ledger --health` until it exits `code` (the primary sees a standby
  // come and go within a moment): its last exit.
  Exit HealthUntil(int code) const {
    Exit exit;
    for (const auto until = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(200ms)) {
      exit = Health();
      if (exit.code == code) break;
    }
    return exit;
  }
  std::size_t Logged() const { return LoggedMacs(dir_).size(); }

 private:
  fs::path dir_;
};

// A station that requires a standby programs while one acknowledges, is
// refused, with the reason and nothing committed or logged, while it is
// away, and goes on when it is back. `ledger --health` says the same.
TEST(StandbyHealthTest, ARequiringStationProgramsOnlyWhileTheStandbyIsThere) {
  TempFolder folder;
  ServerPair servers;
  std::string why;
  ASSERT_TRUE(servers.Start(/*synchronous=*/true, &why)) << why;
  const Station station(folder / "S1", servers.Url(), /*require=*/true);

  Exit exit = station.HealthUntil(0);
  ASSERT_EQ(exit.code, 0) << exit.err << station.out();
  for (const char* said :
       {", the primary", "wait for 1 synchronous standby", "\"standby\": streaming, sync",
        "Protected:  yes"}) {
    EXPECT_NE(station.out().find(said), std::string::npos) << station.out();
  }
  exit = station.Program();
  ASSERT_EQ(exit.code, 0) << exit.err;

  ASSERT_TRUE(servers.standby->Stop(/*immediate=*/true));
  exit = station.HealthUntil(kUnprotectedExit);
  ASSERT_EQ(exit.code, kUnprotectedExit) << exit.err << station.out();
  EXPECT_NE(station.out().find("Protected:  no: no standby is connected"),
            std::string::npos)
      << station.out();
  for (int unit = 0; unit < 2; ++unit) {
    exit = station.Program();
    EXPECT_EQ(exit.code, kUnprotectedExit) << exit.err;
    EXPECT_NE(exit.err.find(kRefusal), std::string::npos) << exit.err;
    EXPECT_NE(exit.err.find("require_standby=yes"), std::string::npos)
        << exit.err;
  }
  EXPECT_EQ(servers.Units(), 1);
  EXPECT_EQ(station.Logged(), 1u);

  ASSERT_TRUE(servers.standby->StartAgain());
  exit = station.HealthUntil(0);
  ASSERT_EQ(exit.code, 0) << exit.err << station.out();
  exit = station.Program();
  EXPECT_EQ(exit.code, 0) << exit.err;
  EXPECT_EQ(servers.Units(), 2);
  EXPECT_EQ(station.Logged(), 2u);
}

// An asynchronous standby acknowledges nothing: a station that does not
// require one programs and is told so by --health; one that does is
// refused (the server waits for no standby). A role without pg_monitor cannot see the standby at all, and is
// told what to grant.
TEST(StandbyHealthTest, AnAsynchronousStandbyOrAHiddenOneProtectsNothing) {
  TempFolder folder;
  ServerPair servers;
  std::string why;
  ASSERT_TRUE(servers.Start(/*synchronous=*/false, &why)) << why;
  const Station free(folder / "free" / "S1", servers.Url(), false);
  Exit exit = free.Program();
  ASSERT_EQ(exit.code, 0) << exit.err;
  exit = free.HealthUntil(kUnprotectedExit);
  EXPECT_EQ(exit.code, kUnprotectedExit) << exit.err << free.out();
  EXPECT_NE(free.out().find("\"standby\": streaming, async"), std::string::npos)
      << free.out();

  const Station bound(folder / "bound" / "S2", servers.Url(), true,
                      "001122330020");
  exit = bound.Program();
  EXPECT_EQ(exit.code, kUnprotectedExit) << exit.err;
  EXPECT_NE(exit.err.find("synchronous_standby_names is empty"),
            std::string::npos)
      << exit.err;
  EXPECT_EQ(servers.Units(), 1);

  // The same pair made synchronous, seen by a clerk's role.
  std::string out;
  ASSERT_TRUE(servers.primary->Psql(
      "CREATE ROLE srom_clerk LOGIN; "
      "GRANT ALL ON ALL TABLES IN SCHEMA public TO srom_clerk; "
      "GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO srom_clerk",
      &out))
      << out;
  ASSERT_TRUE(servers.primary->Psql(
      "ALTER SYSTEM SET synchronous_standby_names = 'standby'", &out))
      << out;
  ASSERT_TRUE(servers.primary->Psql("SELECT pg_reload_conf()", &out)) << out;
  std::string clerk_url = servers.Url();
  clerk_url.replace(clerk_url.find("user=srom"), 9, "user=srom_clerk");
  const Station clerk(folder / "clerk" / "S3", clerk_url, true,
                      "001122330030");
  exit = clerk.HealthUntil(kUnprotectedExit);
  EXPECT_EQ(exit.code, kUnprotectedExit) << exit.err << clerk.out();
  EXPECT_NE(clerk.out().find("grant it pg_monitor"), std::string::npos)
      << clerk.out();
  ASSERT_TRUE(servers.primary->Psql("GRANT pg_monitor TO srom_clerk", &out))
      << out;
  exit = clerk.HealthUntil(0);
  EXPECT_EQ(exit.code, 0) << exit.err << clerk.out();
  exit = clerk.Program();
  EXPECT_EQ(exit.code, 0) << exit.err;
}

// The window of a station that requires a standby says, as it opens, that
// none acknowledges: the operator knows before the first unit.
class StandbyWindowTest : public FreshWindowTest {};

TEST_F(StandbyWindowTest, TheWindowSaysAtOpeningThatNoStandbyAcknowledges) {
  ServerPair servers;
  std::string why;
  ASSERT_TRUE(servers.Start(/*synchronous=*/true, &why)) << why;
  // The line's ledger as it stands on the server before the standby goes.
  ASSERT_TRUE(PgLedger::Open(servers.Url(), "maker").ok());
  ASSERT_TRUE(servers.standby->Stop(/*immediate=*/true));
  WriteFile("station.ini",
            "ledger=" + servers.Url() + "\nrequire_standby=yes\n");
  // The primary notices its standby gone within a moment.
  std::string out;
  for (int i = 0; i < 300; ++i) {
    if (servers.primary->Psql("SELECT count(*) FROM pg_stat_replication",
                              &out) &&
        out.starts_with("0")) {
      break;
    }
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(Start(OpenStationLedger));
  bool said = false;
  for (const std::string& message : view_.messages()) {
    said = said || message.find(kRefusal) != std::string::npos;
  }
  EXPECT_TRUE(said) << ::testing::PrintToString(view_.messages());
}

}  // namespace
}  // namespace srom::test
