// A line of six stations on a primary ledger server with a standby: the
// primary's machine dies in the middle of the run (every server process
// killed at once), the standby is promoted, and the stations, whose address
// names both servers, find the new primary by themselves and carry on. Real
// servers, real srom-cli processes. Not one MAC address may reach two units
// while the standby is synchronous; an asynchronous one shows why it must be.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ops/ledger_outbox.h"
#include "station_line.h"
#include "support/pg_server.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 6;
constexpr int kUnits = 9;
// How long the standby stays away before the primary dies, when it does:
// long enough for every station to try a unit meanwhile, and for a
// primary that gives up waiting for its standby at a statement's timeout
// (4 s) to answer a few commits; unless a unit a station has passed first.
constexpr auto kStandbyAway = 12s;

struct FailoverCase {
  const char* name;
  bool synchronous;
  // The standby stopped before the primary dies: the primary alone answers
  // meanwhile (or, waiting for its standby, answers no commit).
  bool standby_away_first;
  // Units reach an adapter while the standby is away, and their MAC
  // addresses, lost with the primary, are given again.
  bool loses_units;
};

class LineFailoverTest : public ::testing::TestWithParam<FailoverCase> {
 protected:
  void SetUp() override {
    std::string why;
    primary_ = PgServer::Start(&why);
    ASSERT_NE(primary_, nullptr) << why;
    standby_ = primary_->StartStandby(GetParam().synchronous, &why);
    ASSERT_NE(standby_, nullptr) << why;
    url_ = PgServer::PairUrl(*primary_, *standby_);
    ASSERT_TRUE(line_.MakeAdapters());
  }

  // What `srom-cli ledger ARGS` prints on the line's ledger.
  std::string LedgerListing(const std::vector<std::string>& args) {
    std::vector<std::string> cli = {"--ledger", url_, "ledger"};
    cli.insert(cli.end(), args.begin(), args.end());
    const fs::path out = folder_ / "listing.txt";
    const Exit exit =
        CliProcess(line_.dir(0), cli, folder_ / "listing-err.txt", 0, out)
            .Wait();
    EXPECT_EQ(exit.code, 0) << exit.err;
    return ReadBytes(out);
  }

  std::string Identity() {
    auto ledger = PgLedger::Open(url_, "test");
    EXPECT_TRUE(ledger.ok()) << ledger.error;
    return ledger.ok() ? (*ledger.value)->LedgerIdentity() : "";
  }

  TempFolder folder_;
  StationLine line_{folder_.path(), kStations};
  std::unique_ptr<PgServer> primary_;
  std::unique_ptr<PgServer> standby_;
  std::string url_;
};

TEST_P(LineFailoverTest, StationsFollowThePromotedStandby) {
  const FailoverCase& c = GetParam();
  const Clock::time_point began = Clock::now();
  ASSERT_EQ(line_
                .Cli(0, {"--ledger", url_, "pool", "create", "line", "--first",
                         "000000005000", "--last", "0000000050FF"})
                .code,
            0);
  for (int i = 0; i < kStations; ++i) {
    line_.SetUpStation(i, url_, "000000000001", "line");
  }
  // The same database on both: the stations' outboxes stay good.
  const std::string identity = Identity();
  ASSERT_FALSE(identity.empty());
  // A station whose last unit's close waits in its outbox across the
  // failover, as when the primary dies between a unit's write and its
  // close: the unit reserved on the primary, its close kept.
  const fs::path keeper = folder_ / "K";
  fs::create_directories(keeper);
  ASSERT_EQ(CliProcess(keeper, {"sim", "create", "--size", "256"},
                       folder_ / "err-K.txt")
                .Wait()
                .code,
            0);
  WriteBytes(keeper / "station.ini", "ledger=" + url_ + "\r\nstation=K\r\n");
  SromSettings settings;
  settings.CurrentMac = "000000007100";
  WriteBytes(keeper / "EEPROM.dat", FormatEepromDat(settings));
  std::int64_t kept_unit = 0;
  {
    auto ledger = PgLedger::Open(url_, "K");
    ASSERT_TRUE(ledger.ok()) << ledger.error;
    const auto reserved = (*ledger.value)
                              ->Reserve({"000000007000", "00000000007000", 0,
                                         "", "K", "2026-01-05 08:00:00"});
    ASSERT_TRUE(reserved.ok()) << reserved.error;
    kept_unit = *reserved.value;
  }
  ASSERT_TRUE(KeepCloseInOutbox(keeper, kept_unit, UnitState::kProgrammed,
                                "2026-01-05 08:00:02", "000000007000",
                                identity));

  enum class Step { kRunning, kStandbyAway, kFailedOver } step = Step::kRunning;
  Clock::time_point away_since{};
  Clock::time_point primary_died{};
  Clock::time_point first_unit_after{};
  int before = 0;
  int while_away = 0;
  int at_failover = 0;
  const auto fail_over = [&](int total) {
    ASSERT_TRUE(primary_->Kill()) << primary_->last_error();
    primary_died = Clock::now();
    at_failover = total;
    if (!standby_->running()) {
      ASSERT_TRUE(standby_->StartAgain()) << standby_->last_error();
    }
    ASSERT_TRUE(standby_->Promote()) << standby_->last_error();
    step = Step::kFailedOver;
  };
  const std::vector<StationRun> runs = line_.Run(kUnits, [&](int total) {
    switch (step) {
      case Step::kRunning:
        if (total < kStations * kUnits / 3) return;
        if (!c.standby_away_first) {
          before = total;
          return fail_over(total);
        }
        ASSERT_TRUE(standby_->Stop(/*immediate=*/false))
            << standby_->last_error();
        away_since = Clock::now();
        before = -1;  // counted at the next look, once the standby is away
        step = Step::kStandbyAway;
        return;
      case Step::kStandbyAway:
        if (before < 0) before = total;
        if (Clock::now() - away_since < kStandbyAway &&
            total - before < kStations) {
          return;
        }
        while_away = total - before;
        return fail_over(total);
      case Step::kFailedOver:
        if (first_unit_after == Clock::time_point{} && total > at_failover) {
          first_unit_after = Clock::now();
        }
        return;
    }
  });
  ASSERT_EQ(step, Step::kFailedOver);

  int waited = 0;
  int kept = 0;
  for (const StationRun& run : runs) {
    EXPECT_EQ(run.programmed, kUnits) << "every station carries on";
    EXPECT_TRUE(run.refusals.empty()) << run.refusals.front();
    EXPECT_TRUE(run.other_failures.empty()) << run.other_failures.front();
    waited += run.waited;
    kept += run.kept;
  }
  // Every close kept while no primary answered went to the new one.
  for (int i = 0; i < kStations; ++i) {
    EXPECT_FALSE(fs::exists(line_.dir(i) / "ledger-outbox.txt"))
        << StationLine::Name(i) << ": "
        << ReadBytes(line_.dir(i) / "ledger-outbox.txt");
  }
  EXPECT_EQ(Identity(), identity) << "the promoted standby is the same ledger";
  // The kept close goes to the new primary at the station's next unit.
  const Exit keeper_run =
      CliProcess(keeper, {"-y", "program"}, folder_ / "err-K.txt").Wait();
  EXPECT_EQ(keeper_run.code, 0) << keeper_run.err;
  EXPECT_FALSE(fs::exists(keeper / "ledger-outbox.txt"))
      << ReadBytes(keeper / "ledger-outbox.txt") << keeper_run.err;

  // Every unit cut off by the primary's end is set aside, and listed.
  const std::vector<UnitRecord> units = LedgerUnits(url_);
  const std::string interrupted_listing = LedgerListing({"--interrupted"});
  int interrupted = 0;
  for (const UnitRecord& u : units) {
    EXPECT_NE(u.state, UnitState::kReserved) << u.mac;
    if (u.id == kept_unit) {
      EXPECT_EQ(u.state, UnitState::kProgrammed) << "the kept close is sent";
    }
    if (u.state != UnitState::kInterrupted) continue;
    ++interrupted;
    EXPECT_NE(interrupted_listing.find(u.mac), std::string::npos)
        << u.mac << " is not listed:\n"
        << interrupted_listing;
  }

  const LineFindings findings = line_.Check(units);
  if (c.loses_units) {
    // Units the primary alone held, lost with it: their MAC addresses
    // reached a second unit.
    EXPECT_GT(while_away, 0);
    EXPECT_FALSE(findings.twice.empty());
  } else {
    ExpectNoneOf(findings);
  }
  const auto ms = [](Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
  };
  std::cout << "[ figures  ] " << c.name << ": " << kStations << " stations, "
            << before << " units before the failover, " << while_away
            << " while the standby was away, " << findings.units - at_failover
            << " after; first unit " << ms(first_unit_after - primary_died)
            << " ms after the primary died; " << waited
            << " runs refused meanwhile, " << kept
            << " closes kept in an outbox, " << interrupted
            << " units set aside; " << findings.twice.size()
            << " MAC addresses given twice; " << ms(Clock::now() - began)
            << " ms in all\n";
}

// A TCP port on 127.0.0.1 that takes connections and never says a word: a
// server machine that hangs.
class HangingPort {
 public:
  HangingPort() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(socket_, 8) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) !=
            0) {
      ADD_FAILURE() << "no listening socket";
    }
    port_ = ntohs(address.sin_port);
  }
  ~HangingPort() { close(socket_); }
  HangingPort(const HangingPort&) = delete;
  HangingPort& operator=(const HangingPort&) = delete;
  int port() const { return port_; }

 private:
  int socket_ = -1;
  int port_ = 0;
};

// A station's address names the servers in any order: it stays with the one
// that takes writes, whichever is listed first, and one that names only a
// standby (with target_session_attrs or without) is a server away (the
// station waits), not a broken ledger. A
// service may name them too, and a first one that hangs does not keep the
// station from the next.
TEST(TwoServerAddressTest, TheStationFindsThePrimaryInAnyOrder) {
  TempFolder folder;
  const HangingPort hanging;
  std::string why;
  const std::unique_ptr<PgServer> primary = PgServer::Start(&why);
  ASSERT_NE(primary, nullptr) << why;
  const std::unique_ptr<PgServer> standby =
      primary->StartStandby(/*synchronous=*/false, &why);
  ASSERT_NE(standby, nullptr) << why;
  struct Case {
    const char* name;
    std::string url;
    LedgerFault fault;
  };
  const Case cases[] = {
      {"primary first", PgServer::PairUrl(*primary, *standby),
       LedgerFault::kNone},
      {"standby first", PgServer::PairUrl(*standby, *primary),
       LedgerFault::kNone},
      {"the standby alone", standby->Url() + "&target_session_attrs=read-write",
       LedgerFault::kUnreachable},
      // Named without target_session_attrs, a standby answers, and refuses
      // every write until it is promoted: a wait, as for a server away.
      {"the standby alone, taken as it answers", standby->Url(),
       LedgerFault::kUnreachable},
      {"a service: a machine that hangs, the standby, the primary",
       "postgresql:///srom?service=line", LedgerFault::kNone},
  };
  // ~/.pg_service.conf as a station would have it.
  WriteBytes(folder / "services.conf",
             "[line]\nhost=127.0.0.1," + standby->folder().string() + "," +
                 primary->folder().string() +
                 "\nport=" + std::to_string(hanging.port()) + "," +
                 std::to_string(standby->port()) + "," +
                 std::to_string(primary->port()) +
                 "\nuser=srom\ntarget_session_attrs=read-write\n");
  ASSERT_EQ(setenv("PGSERVICEFILE", (folder / "services.conf").c_str(), 1), 0);
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto ledger = PgLedger::Open(c.url, "test");
    ASSERT_TRUE(ledger.ok()) << ledger.error;
    // A write: a standby would refuse it.
    char first[16];
    std::snprintf(first, sizeof first, "%012X", 0x6000 + 0x100 * ++made);
    const LedgerStatus created =
        (*ledger.value)
            ->CreatePool(
                {"pool" + std::to_string(made), first, first, 1, first});
    EXPECT_EQ(created.fault, c.fault) << created.error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replication, LineFailoverTest,
    ::testing::Values(
        FailoverCase{"SynchronousPrimaryDies", true, false, false},
        // The primary answers no commit while its standby is away, so the
        // standby, promoted, lacks nothing the stations were told of.
        FailoverCase{"SynchronousStandbyAwayFirst", true, true, false},
        // Why the standby must be synchronous.
        FailoverCase{"AsynchronousStandbyAwayFirst", false, true, true}),
    [](const ::testing::TestParamInfo<FailoverCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace srom::test
