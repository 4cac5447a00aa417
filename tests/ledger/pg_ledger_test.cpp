// What only the line's ledger does: one MAC space for every station, each
// station's own recovery, line pools, and a server that goes away and comes
// back, on a real PostgreSQL server.
#include "ledger/pg_ledger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ledger/pg_connection.h"
#include "ledger_store.h"
#include "ledger_test_support.h"

namespace srom {
namespace {

using test::DraftOf;
using test::kLaterTime;
using test::kTime;
using test::PostgresStore;
using test::SharedPgServer;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The database of a URL the test server made: "postgresql:///<name>?...".
std::string DatabaseOf(const std::string& url) {
  const std::size_t from = url.find(":///") + 4;
  return url.substr(from, url.find('?') - from);
}

// The same address for another database user.
std::string AsUser(std::string url, const std::string& user) {
  url.replace(url.find("user=srom"), 9, "user=" + user);
  return url;
}

// A station holding its name, as a station session opens the ledger.
PgLedgerOptions Holding(const std::string& computer) {
  PgLedgerOptions options;
  options.hold_station_name = true;
  options.computer = computer;
  return options;
}

// Two stations of one line, each with its own connection.
class LineLedgerTest : public ::testing::Test {
 protected:
  UnitDraft DraftAt(const std::string& station, std::uint64_t n) {
    UnitDraft draft = DraftOf(n);
    draft.station = station;
    return draft;
  }
  std::int64_t ReserveAt(PgLedger& ledger, const std::string& station,
                         std::uint64_t n) {
    const auto id = ledger.Reserve(DraftAt(station, n));
    EXPECT_TRUE(id.ok()) << id.error;
    return id.value.value_or(-1);
  }
  UnitDraft PoolDraft(PgLedger& ledger, const std::string& station,
                      const std::string& pool) {
    UnitDraft draft = DraftAt(station, 0);
    draft.pool = pool;
    const auto state = ledger.Pool(pool);
    EXPECT_TRUE(state.ok()) << state.error;
    if (state.ok()) draft.mac = state.value->next;
    return draft;
  }

  PostgresStore store_;
  std::unique_ptr<PgLedger> a_ = store_.OpenAs("A");
  std::unique_ptr<PgLedger> b_ = store_.OpenAs("B");
};

// Whatever state station A's unit is in, station B never gets its MAC
// address, not even as a rework, and is told which station took it and
// when.
// A station that requires a synchronous standby gets no reservation from a
// server that waits for none, however it reaches the ledger: the
// reservation's own transaction looks, not only the station before it.
TEST_F(LineLedgerTest, ARequiringStationReservesNothingWithoutAStandby) {
  const std::string url = test::FreshDatabaseUrl();
  PgLedgerOptions requiring;
  requiring.require_standby = true;
  auto bound = PgLedger::Open(url, "S", requiring);
  ASSERT_TRUE(bound.ok()) << bound.error;
  const auto refused = (*bound.value)->Reserve(DraftAt("S", 1));
  EXPECT_EQ(refused.fault, LedgerFault::kUnprotected) << refused.error;
  EXPECT_NE(refused.error.find("synchronous_standby_names is empty"),
            std::string::npos)
      << refused.error;
  const auto units = (*bound.value)->Units();
  ASSERT_TRUE(units.ok()) << units.error;
  EXPECT_TRUE(units.value->empty());
  auto free = PgLedger::Open(url, "T");
  ASSERT_TRUE(free.ok()) << free.error;
  EXPECT_TRUE((*free.value)->Reserve(DraftAt("T", 1)).ok());
}

TEST_F(LineLedgerTest, AnotherStationsAddressIsRefusedNamingThatStation) {
  ASSERT_TRUE(a_ && b_);
  struct Case {
    std::uint64_t n;
    UnitState state;
    const char* when;  // the time the refusal names
  };
  const Case cases[] = {{1, UnitState::kReserved, kTime},
                        {2, UnitState::kProgrammed, kLaterTime},
                        {3, UnitState::kInterrupted, kTime}};
  for (const Case& c : cases) {
    const std::int64_t id = ReserveAt(*a_, "A", c.n);
    if (c.state == UnitState::kProgrammed) {
      ASSERT_TRUE(a_->MarkProgrammed(id, kLaterTime).ok());
    }
    if (c.state == UnitState::kInterrupted) {
      ASSERT_TRUE(a_->RecoverInterrupted(kTime).ok());
    }
    for (bool reissue : {false, true}) {
      UnitDraft draft = DraftAt("B", c.n);
      draft.reissue = reissue;
      const auto refused = b_->Reserve(draft);
      EXPECT_EQ(refused.fault, LedgerFault::kMacInUse) << c.n;
      EXPECT_NE(refused.error.find("station \"A\""), std::string::npos)
          << refused.error;
      EXPECT_NE(refused.error.find(c.when), std::string::npos)
          << refused.error;
    }
  }
  // B sees A's units as given, and A's own rework is still allowed.
  const auto used = b_->FindUsed(DraftOf(2).mac);
  ASSERT_TRUE(used.ok() && *used.value) << used.error;
  EXPECT_EQ((*used.value)->station, "A");
  UnitDraft rework = DraftAt("A", 2);
  rework.reissue = true;
  EXPECT_TRUE(a_->Reserve(rework).ok());
}

TEST_F(LineLedgerTest, EachStationRecoversAndCatchesUpOnlyItsOwnUnits) {
  ASSERT_TRUE(a_ && b_);
  const std::int64_t writing_at_a = ReserveAt(*a_, "A", 1);
  const std::int64_t at_b = ReserveAt(*b_, "B", 2);
  ASSERT_TRUE(b_->MarkProgrammed(at_b, kTime).ok());

  const auto recovered = b_->RecoverInterrupted(kLaterTime);
  ASSERT_TRUE(recovered.ok()) << recovered.error;
  EXPECT_TRUE(recovered.value->empty());  // A's unit is A's to recover
  const auto latest_a = a_->LatestUsed();
  ASSERT_TRUE(latest_a.ok()) << latest_a.error;
  EXPECT_FALSE(latest_a.value->has_value());  // B's unit is not A's latest
  const auto latest_b = b_->LatestUsed();
  ASSERT_TRUE(latest_b.ok() && *latest_b.value);
  EXPECT_EQ((*latest_b.value)->id, at_b);

  ASSERT_TRUE(a_->MarkProgrammed(writing_at_a, kLaterTime).ok());
}

TEST_F(LineLedgerTest, StationsTakeAPoolInTurnAndSkipAddressesHeldOutside) {
  ASSERT_TRUE(a_ && b_);
  ASSERT_TRUE(a_->CreatePool({"line1", "000000000010", "000000000016", 2, ""})
                  .ok());
  // Station B, outside the pool, took 000000000012 by hand.
  ReserveAt(*b_, "B", 0x12);

  std::vector<std::string> taken;
  UnitDraft stale = PoolDraft(*b_, "B", "line1");
  for (PgLedger* ledger : {a_.get(), b_.get(), a_.get(), b_.get()}) {
    const std::string station = ledger == a_.get() ? "A" : "B";
    for (int attempt = 0; attempt < 3; ++attempt) {
      const UnitDraft draft = PoolDraft(*ledger, station, "line1");
      const auto id = ledger->Reserve(draft);
      if (id.ok()) {
        taken.push_back(draft.mac);
        break;
      }
      if (id.fault == LedgerFault::kRejected) {
        EXPECT_NE(id.error.find("used up"), std::string::npos) << id.error;
        break;
      }
      ASSERT_EQ(id.fault, LedgerFault::kPoolMoved) << id.error;
      EXPECT_NE(id.error.find("station \"B\""), std::string::npos)
          << id.error;
    }
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"000000000010", "000000000014",
                                             "000000000016"}))
      << "the last take finds the pool used up";
  // A draft made before the others took their turns is refused.
  EXPECT_EQ(b_->Reserve(stale).fault, LedgerFault::kPoolMoved);
  const auto pool = a_->Pool("line1");
  ASSERT_TRUE(pool.ok()) << pool.error;
  EXPECT_EQ(pool.value->next, "000000000018");
  UnitDraft past = PoolDraft(*a_, "A", "line1");
  EXPECT_EQ(a_->Reserve(past).fault, LedgerFault::kRejected);

  const auto units = a_->Units();
  ASSERT_TRUE(units.ok());
  std::set<std::string> macs;
  for (const UnitRecord& u : *units.value) {
    EXPECT_TRUE(macs.insert(u.mac).second) << u.mac;
    if (u.station == "A") {
      EXPECT_EQ(u.pool, "line1");
    }
  }
}

TEST_F(LineLedgerTest, PoolsThatWouldShareAddressesAreRefused) {
  ASSERT_TRUE(a_);
  ASSERT_TRUE(a_->CreatePool({"one", "000000000100", "0000000001FF", 1, ""})
                  .ok());
  struct Case {
    PoolState pool;
    const char* named;
  };
  const Case cases[] = {
      {{"one", "000000000300", "0000000003FF", 1, ""}, "exists already"},
      {{"two", "0000000001FF", "0000000002FF", 1, ""}, "overlaps"},
      {{"two", "000000000200", "000000000100", 1, ""}, "lies past"},
      {{"two", "000000000200", "0000000002FF", 0, ""}, "increment 0"},
      {{"no spaces", "000000000200", "0000000002FF", 1, ""}, "pool name"},
  };
  for (const Case& c : cases) {
    const LedgerStatus status = a_->CreatePool(c.pool);
    EXPECT_EQ(status.fault, LedgerFault::kRejected) << c.named;
    EXPECT_NE(status.error.find(c.named), std::string::npos) << status.error;
  }
  const auto pools = a_->Pools();
  ASSERT_TRUE(pools.ok());
  EXPECT_EQ(pools.value->size(), 1u);
}

// Many connections reserving the same addresses at once: each address is
// given once, and every loser hears of the winner.
TEST_F(LineLedgerTest, StationsRacingForTheSameAddressesGetEachOnce) {
  constexpr int kStations = 4;
  constexpr std::uint64_t kUnits = 25;
  std::vector<std::vector<std::uint64_t>> won(kStations);
  std::vector<std::string> bad_refusals;
  std::mutex mutex;
  std::vector<std::thread> threads;
  for (int s = 0; s < kStations; ++s) {
    threads.emplace_back([&, s] {
      const std::string station = "S" + std::to_string(s);
      auto ledger = store_.OpenAs(station);
      if (!ledger) return;
      for (std::uint64_t n = 1; n <= kUnits; ++n) {
        const auto id = ledger->Reserve(DraftAt(station, n));
        std::lock_guard<std::mutex> lock(mutex);
        if (id.ok()) {
          won[static_cast<std::size_t>(s)].push_back(n);
        } else if (id.fault != LedgerFault::kMacInUse ||
                   id.error.find("station \"S") == std::string::npos) {
          bad_refusals.push_back(id.error);
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(bad_refusals.empty()) << bad_refusals.front();
  std::multiset<std::uint64_t> all;
  for (const auto& list : won) all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), kUnits);
  EXPECT_EQ(std::set<std::uint64_t>(all.begin(), all.end()).size(), kUnits);
}

TEST_F(LineLedgerTest, ALedgerReachesTheServerAgainByItselfAfterACrash) {
  ASSERT_TRUE(a_);
  const std::int64_t before = ReserveAt(*a_, "A", 1);
  test::PgServer* server = SharedPgServer();
  ASSERT_NE(server, nullptr);
  ASSERT_TRUE(server->Stop(true)) << server->last_error();

  const auto refused = a_->Reserve(DraftAt("A", 2));
  EXPECT_EQ(refused.fault, LedgerFault::kUnreachable);
  EXPECT_NE(refused.error.find("cannot be reached"), std::string::npos)
      << refused.error;
  EXPECT_EQ(a_->MarkProgrammed(before, kTime).fault,
            LedgerFault::kUnreachable);

  ASSERT_TRUE(server->StartAgain()) << server->last_error();
  ASSERT_TRUE(a_->MarkProgrammed(before, kTime).ok());
  // Sent twice, as after a lost answer: the same close stands.
  EXPECT_TRUE(a_->MarkProgrammed(before, kTime).ok());
  const auto after = a_->Reserve(DraftAt("A", 2));
  ASSERT_TRUE(after.ok()) << after.error;
  const auto units = a_->Units();
  ASSERT_TRUE(units.ok());
  ASSERT_EQ(units.value->size(), 2u);  // the refused reservation left nothing
  EXPECT_EQ((*units.value)[0].state, UnitState::kProgrammed);
}

TEST_F(LineLedgerTest, ADatabaseOfANewerToolIsRefusedUntouched) {
  ASSERT_TRUE(a_);
  test::PgServer* server = SharedPgServer();
  const std::string database = DatabaseOf(store_.url());
  std::string output;
  ASSERT_TRUE(server->Psql("UPDATE srom_schema SET version = 99", &output,
                           database))
      << output;
  const auto opened = PgLedger::Open(store_.url(), "C");
  EXPECT_EQ(opened.fault, LedgerFault::kSettingsRejected);
  EXPECT_NE(opened.error.find("newer version"), std::string::npos)
      << opened.error;
  ASSERT_TRUE(server->Psql("SELECT version FROM srom_schema", &output,
                           database));
  EXPECT_EQ(output.substr(0, 2), "99");
}

// Settings the server refuses are not an outage: the ledger is refused at
// once, in the tool's words with the server's reason, and never as a server
// that cannot be reached (which a station would wait for).
TEST_F(LineLedgerTest, SettingsTheServerRefusesAreRejectedNotWaitedFor) {
  ASSERT_TRUE(a_);
  test::PgServer* server = SharedPgServer();
  const std::string database = DatabaseOf(store_.url());
  std::string output;
  // A clerk who may connect but not touch the ledger's tables, one who may
  // not log in at all, and a database whose schema a newer tool wrote.
  ASSERT_TRUE(server->Psql("CREATE ROLE srom_clerk LOGIN; "
                           "CREATE ROLE srom_barred NOLOGIN",
                           &output))
      << output;
  const std::string newer = test::FreshDatabaseUrl();
  ASSERT_TRUE(PgLedger::Open(newer, "N").ok());
  ASSERT_TRUE(server->Psql("UPDATE srom_schema SET version = 99", &output,
                           DatabaseOf(newer)))
      << output;
  struct Case {
    const char* settings;
    std::string url;
    const char* reason;  // the server's, in the refusal
  };
  const Case cases[] = {
      {"a database that does not exist", server->Url("no_such_ledger"),
       "database \"no_such_ledger\" does not exist"},
      {"a user the server does not know",
       AsUser(store_.url(), "srom_stranger"),
       "role \"srom_stranger\" does not exist"},
      {"a user that may not log in", AsUser(store_.url(), "srom_barred"),
       "not permitted to log in"},
      {"a user without permission on the ledger",
       AsUser(store_.url(), "srom_clerk"), "permission denied"},
      {"a ledger of a newer srom-tool", newer, "newer version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    const auto began = SteadyClock::now();
    const auto opened = PgLedger::Open(c.url, "S", Holding("pc-1"));
    EXPECT_LT(SteadyClock::now() - began, pg::kCallBudget);
    EXPECT_EQ(opened.fault, LedgerFault::kSettingsRejected) << opened.error;
    EXPECT_EQ(opened.error.rfind("The settings of the line's production "
                                 "ledger are rejected by the server",
                                 0),
              0u)
        << opened.error;
    EXPECT_NE(opened.error.find(c.reason), std::string::npos) << opened.error;
    for (const char* raw : {"FATAL", "ERROR:", "WARNING", "\n"}) {
      EXPECT_EQ(opened.error.find(raw), std::string::npos) << opened.error;
    }
  }

  // A permission taken away while a station runs: its next unit is
  // refused the same way.
  ASSERT_TRUE(server->Psql("GRANT ALL ON ALL TABLES IN SCHEMA public TO "
                           "srom_clerk; GRANT ALL ON ALL SEQUENCES IN SCHEMA "
                           "public TO srom_clerk",
                           &output, database))
      << output;
  auto clerk = PgLedger::Open(AsUser(store_.url(), "srom_clerk"), "C");
  ASSERT_TRUE(clerk.ok()) << clerk.error;
  ASSERT_TRUE(server->Psql("REVOKE INSERT ON srom_unit FROM srom_clerk",
                           &output, database))
      << output;
  const auto refused = (*clerk.value)->Reserve(DraftAt("C", 0x77));
  EXPECT_EQ(refused.fault, LedgerFault::kSettingsRejected) << refused.error;
  EXPECT_NE(refused.error.find("permission denied for table srom_unit"),
            std::string::npos)
      << refused.error;
}

// One name, one live station: a second station under the same name is
// refused, naming the computer and process that hold it and since when,
// and never touches the first one's units; once the first has gone, it
// opens and finds them.
TEST_F(LineLedgerTest, AStationNameIsHeldByOneLiveStationAtATime) {
  auto first = PgLedger::Open(store_.url(), "Line 7", Holding("pc-1"));
  ASSERT_TRUE(first.ok()) << first.error;
  const std::int64_t writing = ReserveAt(**first.value, "Line 7", 1);

  const auto second = PgLedger::Open(store_.url(), "Line 7", Holding("pc-2"));
  EXPECT_EQ(second.fault, LedgerFault::kStationInUse);
  for (const std::string& named :
       {std::string("Station \"Line 7\""), std::string("computer \"pc-1\""),
        "process " + std::to_string(getpid()), std::string(" since 20")}) {
    EXPECT_NE(second.error.find(named), std::string::npos) << second.error;
  }
  // Connections that do not hold a name (the line's tools) are not
  // refused, and another name opens.
  EXPECT_TRUE(PgLedger::Open(store_.url(), "Line 7").ok());
  EXPECT_TRUE(PgLedger::Open(store_.url(), "Line 8", Holding("pc-2")).ok());
  const auto units = a_->Units();
  ASSERT_TRUE(units.ok()) << units.error;
  EXPECT_EQ(units.value->front().state, UnitState::kReserved);

  first.value->reset();
  auto after = PgLedger::Open(store_.url(), "Line 7", Holding("pc-2"));
  ASSERT_TRUE(after.ok()) << after.error;
  const auto recovered = (*after.value)->RecoverInterrupted(kLaterTime);
  ASSERT_TRUE(recovered.ok()) << recovered.error;
  ASSERT_EQ(recovered.value->size(), 1u);
  EXPECT_EQ(recovered.value->front().id, writing);
}

// A server that hangs with a station's session on it: the station's calls
// end within their time, and once the server goes on the station's next
// call makes a new session, ends the old one and holds its name again, so
// that a second station under it is still refused.
TEST_F(LineLedgerTest, AHungServerCostsACallItsTimeAndTheNameIsHeldAgain) {
  test::PgServer* server = SharedPgServer();
  auto station = PgLedger::Open(store_.url(), "Line 9", Holding("pc-1"));
  ASSERT_TRUE(station.ok()) << station.error;
  PgLedger& ledger = **station.value;
  const std::int64_t unit = ReserveAt(ledger, "Line 9", 1);

  ASSERT_TRUE(server->Freeze()) << server->last_error();
  auto began = SteadyClock::now();
  const LedgerStatus closed = ledger.MarkProgrammed(unit, kTime);
  const auto waited = SteadyClock::now() - began;
  EXPECT_EQ(closed.fault, LedgerFault::kUnreachable);
  EXPECT_NE(closed.error.find("does not answer"), std::string::npos)
      << closed.error;
  EXPECT_GE(waited, pg::kCallBudget - 100ms);
  EXPECT_LE(waited, pg::kCallBudget + 5s);
  // The calls right after are told at once.
  began = SteadyClock::now();
  EXPECT_EQ(ledger.FindUsed(DraftOf(1).mac).fault, LedgerFault::kUnreachable);
  EXPECT_LT(SteadyClock::now() - began, 1s);
  ASSERT_TRUE(server->Thaw()) << server->last_error();

  std::this_thread::sleep_for(pg::kCallBudget);
  ASSERT_TRUE(ledger.MarkProgrammed(unit, kTime).ok());
  const auto second = PgLedger::Open(store_.url(), "Line 9", Holding("pc-2"));
  EXPECT_EQ(second.fault, LedgerFault::kStationInUse) << second.error;
}

// A line's address may name a standby host after the first: when the
// first hangs, the second is reached within the call's time (each host has
// its own share of it), as libpq's failover does for a host that is down.
TEST_F(LineLedgerTest, AHungFirstHostGivesWayToTheNextOfTheAddress) {
  test::PgServer* live = SharedPgServer();
  std::string why;
  const auto hung = test::PgServer::Start(&why);
  ASSERT_NE(hung, nullptr) << why;
  ASSERT_TRUE(hung->Freeze()) << hung->last_error();
  const std::string url = "postgresql:///" + DatabaseOf(store_.url()) +
                          "?host=" + hung->folder().string() + "," +
                          live->folder().string() +
                          "&port=" + std::to_string(hung->port()) + "," +
                          std::to_string(live->port()) + "&user=srom";
  const auto began = SteadyClock::now();
  auto ledger = PgLedger::Open(url, "Line 5");
  const auto took = SteadyClock::now() - began;
  ASSERT_TRUE(hung->Thaw()) << hung->last_error();
  ASSERT_TRUE(ledger.ok()) << ledger.error;
  EXPECT_EQ((*ledger.value)->LedgerIdentity(), a_->LedgerIdentity());
  EXPECT_GE(took, pg::kHostConnectBudget - 100ms);
  EXPECT_LT(took, pg::kCallBudget);
  EXPECT_TRUE((*ledger.value)->Units().ok());
}

// Each ledger database has an identity of its own, the same on every
// connection; a ledger that finds another database at its address (a
// server swapped, a backup restored in its place) stops rather than close
// units of the first one in the second.
TEST_F(LineLedgerTest, ALedgerKnowsItsDatabaseAndStopsWhenAnotherAnswers) {
  ASSERT_TRUE(a_ && b_);
  test::PgServer* server = SharedPgServer();
  EXPECT_FALSE(a_->LedgerIdentity().empty());
  EXPECT_EQ(a_->LedgerIdentity(), b_->LedgerIdentity());
  const std::string other_url = test::FreshDatabaseUrl();
  std::string other_identity;
  {
    auto other = PgLedger::Open(other_url, "A");
    ASSERT_TRUE(other.ok()) << other.error;
    other_identity = (*other.value)->LedgerIdentity();
  }
  EXPECT_NE(other_identity, a_->LedgerIdentity());
  const std::int64_t unit = ReserveAt(*a_, "A", 1);

  const std::string database = DatabaseOf(store_.url());
  const std::string other = DatabaseOf(other_url);
  std::string output;
  ASSERT_TRUE(server->Psql(
      "SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
      "WHERE datname IN ('" +
          database + "', '" + other + "')",
      &output))
      << output;
  ASSERT_TRUE(server->Psql("ALTER DATABASE " + database + " RENAME TO " +
                               database + "_was",
                           &output))
      << output;
  ASSERT_TRUE(server->Psql(
      "ALTER DATABASE " + other + " RENAME TO " + database, &output))
      << output;

  for (int call = 0; call < 2; ++call) {
    const LedgerStatus closed = a_->MarkProgrammed(unit, kTime);
    EXPECT_EQ(closed.fault, LedgerFault::kSettingsRejected) << closed.error;
    EXPECT_NE(closed.error.find("another ledger database"), std::string::npos)
        << closed.error;
  }
}

}  // namespace
}  // namespace srom
