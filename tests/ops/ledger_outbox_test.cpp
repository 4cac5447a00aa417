// The station's outbox on a real PostgreSQL server that goes away while a
// unit is being written: the unit's close waits in the station folder, its
// MAC address stays reserved on the server meanwhile, and the close is sent
// as soon as the server answers again. One server for the whole binary; each
// case has a database of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "ledger/pg_connection.h"
#include "ledger/pg_ledger.h"
#include "ledger/station_ledger.h"
#include "ops/ledger_outbox.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ops/station_session.h"
#include "ops/unit_ledger.h"
#include "ops_fixture.h"
#include "support/pg_server.h"

namespace srom::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

const std::string kOutbox(kLedgerOutboxFileName);

// How long a station may take to answer when its server hangs: one ledger
// call's time, with room for a loaded two-core machine.
constexpr auto kAnswerBound = pg::kCallBudget + 5s;

// The server of this binary, started at its first use; null, after a test
// failure that says why, when it cannot be started.
PgServer* Server() {
  static std::string why;
  static const std::unique_ptr<PgServer> server = PgServer::Start(&why);
  if (server == nullptr) ADD_FAILURE() << "no PostgreSQL server: " << why;
  return server.get();
}

bool Contains(const std::vector<std::string>& texts, const std::string& word) {
  return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) {
    return t.find(word) != std::string::npos;
  });
}

class LedgerOutboxTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    server_ = Server();
    ASSERT_NE(server_, nullptr);
    // A case that failed with the server stopped leaves it so.
    if (!server_->running()) {
      ASSERT_TRUE(server_->StartAgain()) << server_->last_error();
    }
    static int databases = 0;
    database_ = "outbox" + std::to_string(++databases);
    ASSERT_TRUE(server_->CreateDatabase(database_)) << server_->last_error();
    auto opened = PgLedger::Open(server_->Url(database_), "Line 1");
    ASSERT_TRUE(opened.ok()) << opened.error;
    ledger_ = std::move(*opened.value);
    station_.name = "Line 1";
  }
  void TearDown() override {
    if (server_ != nullptr && !server_->running()) {
      EXPECT_TRUE(server_->StartAgain()) << server_->last_error();
    }
  }

  OpsContext Context() {
    return OpsContext{station_, panel_, adapter_, clock_, ledger_.get()};
  }

  // "<state> <closed_at>" of unit `id` as the server holds it, read over a
  // connection of its own.
  std::string RowOnServer(std::int64_t id) {
    std::string output;
    EXPECT_TRUE(server_->Psql("SELECT state || ' ' || coalesce(closed_at, '') "
                              "FROM srom_unit WHERE id = " +
                                  std::to_string(id),
                              &output, database_))
        << output;
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
      output.pop_back();
    }
    return output;
  }

  std::int64_t Reserved() {
    std::optional<std::int64_t> id;
    EXPECT_EQ(ReserveUnit(Context(), id), Outcome::kOk)
        << ::testing::PrintToString(panel_.messages());
    EXPECT_TRUE(id.has_value());
    return id.value_or(-1);
  }

  PgServer* server_ = nullptr;
  std::string database_;
  std::unique_ptr<PgLedger> ledger_;
};

TEST_F(LedgerOutboxTest, AClosePastTheServerWaitsInTheOutboxUntilItAnswers) {
  const std::int64_t id = Reserved();
  ASSERT_EQ(RowOnServer(id), "reserved");

  // The server goes away while the adapter is written; the unit verified a
  // minute later.
  ASSERT_TRUE(server_->Stop(/*immediate=*/true)) << server_->last_error();
  clock_.set_now(LocalTime{2019, 4, 24, 9, 6, 7});
  panel_.clear();
  EXPECT_EQ(CloseUnit(Context(), id, UnitState::kProgrammed), Outcome::kOk);
  const auto said = panel_.messages();
  EXPECT_TRUE(Contains(said, kOutbox)) << ::testing::PrintToString(said);
  EXPECT_TRUE(Contains(said, "cannot be reached"))
      << ::testing::PrintToString(said);
  // The line names the unit's MAC address and the ledger it was reserved in.
  ASSERT_FALSE(ledger_->LedgerIdentity().empty());
  const std::string kept = std::to_string(id) +
                           " programmed 2019-04-24 09:06:07 mac=" +
                           st().settings.CurrentMac +
                           " ledger=" + ledger_->LedgerIdentity() + "\r\n";
  EXPECT_EQ(Read(kOutbox), kept);

  // The next unit, with the server still away: nothing is written, and the
  // close stays kept.
  st().settings.CurrentMac = "000000000002";
  std::optional<std::int64_t> refused;
  EXPECT_EQ(ReserveUnit(Context(), refused), Outcome::kLedgerUnreachable);
  EXPECT_FALSE(refused.has_value());
  EXPECT_EQ(Read(kOutbox), kept);

  // Back, the server still holds the address reserved: nobody else gets it.
  ASSERT_TRUE(server_->StartAgain()) << server_->last_error();
  EXPECT_EQ(RowOnServer(id), "reserved");

  // The next unit sends the close first, with the time the unit was closed.
  clock_.set_now(LocalTime{2019, 4, 24, 9, 30, 0});
  const std::int64_t next = Reserved();
  EXPECT_NE(next, id);
  EXPECT_EQ(RowOnServer(id), "programmed 2019-04-24 09:06:07");
  EXPECT_FALSE(Exists(kOutbox));
}

TEST_F(LedgerOutboxTest, AFailedUnitsReleaseWaitsTooAndFreesTheAddressLater) {
  const std::int64_t id = Reserved();
  ASSERT_TRUE(server_->Stop(/*immediate=*/true)) << server_->last_error();
  EXPECT_EQ(CloseUnit(Context(), id, UnitState::kReleased), Outcome::kOk);
  ASSERT_TRUE(server_->StartAgain()) << server_->last_error();

  // The same MAC address again: the release is sent before it is looked at.
  const std::int64_t again = Reserved();
  EXPECT_NE(again, id);
  EXPECT_EQ(RowOnServer(id), "released 2019-04-24 09:05:07");
  EXPECT_EQ(RowOnServer(again), "reserved");
  EXPECT_FALSE(Exists(kOutbox));
}

// Lines the tool did not write, or whose unit the ledger does not know,
// never stop the closes that can be sent.
TEST_F(LedgerOutboxTest, SendingKeepsAHandWrittenLineAndDropsARefusedClose) {
  const std::int64_t id = Reserved();
  WriteBytes(folder_ / kOutbox,
             "999999 released 2019-04-24 09:06:00\r\n"
             "unit 7 was fine, Peter\r\n" +
                 std::to_string(id) + " programmed 2019-04-24 09:06:07\r\n");
  panel_.clear();

  EXPECT_TRUE(SendOutbox(st(), *ledger_, panel_).ok());

  EXPECT_EQ(RowOnServer(id), "programmed 2019-04-24 09:06:07");
  EXPECT_EQ(Read(kOutbox), "unit 7 was fine, Peter\r\n");
  const auto said = panel_.messages();
  ASSERT_EQ(said.size(), 1u) << ::testing::PrintToString(said);
  EXPECT_NE(said[0].find("999999"), std::string::npos) << said[0];
  EXPECT_NE(said[0].find("dropped"), std::string::npos) << said[0];
  EXPECT_NE(said[0].find("no such unit"), std::string::npos) << said[0];
}

// A station closed with a close still kept: at its next start the close is
// sent before the units left reserved are set aside, so its unit counts as
// programmed and the operator is not sent to check a good adapter.
TEST_F(LedgerOutboxTest, AStationThatStartsAgainSendsTheOutboxFirst) {
  const std::int64_t id = Reserved();
  ASSERT_TRUE(server_->Stop(/*immediate=*/true)) << server_->last_error();
  EXPECT_EQ(CloseUnit(Context(), id, UnitState::kProgrammed), Outcome::kOk);
  ledger_.reset();
  ASSERT_TRUE(server_->StartAgain()) << server_->last_error();
  WriteBytes(folder_ / std::string("station.ini"),
             "ledger=" + server_->Url(database_) + "\r\nstation=Line 1\r\n");

  Station restarted;
  RecordingPanel panel(restarted);
  Outcome refusal = Outcome::kOk;
  auto session = StationSession::Open(folder_.path(), restarted, panel, clock_,
                                      OpenStationLedger, refusal);
  ASSERT_TRUE(session) << ::testing::PrintToString(panel.messages());

  EXPECT_EQ(RowOnServer(id), "programmed 2019-04-24 09:05:07");
  EXPECT_FALSE(Exists(kOutbox));
  EXPECT_FALSE(Contains(panel.messages(), "interrupted"))
      << ::testing::PrintToString(panel.messages());
}

// A station opened while its server is away: it opens and says so, writes
// nothing to an adapter while the server stays away, and once it answers
// the station is brought into step and programs on its own.
TEST_F(LedgerOutboxTest, AStationOpenedWithoutItsServerProgramsOnceItAnswers) {
  ledger_.reset();
  WriteBytes(folder_ / std::string("station.ini"),
             "ledger=" + server_->Url(database_) + "\r\nstation=Line 1\r\n");
  ASSERT_TRUE(server_->Stop(/*immediate=*/true)) << server_->last_error();

  Station station;
  RecordingPanel panel(station);
  Outcome refusal = Outcome::kOk;
  auto session = StationSession::Open(folder_.path(), station, panel, clock_,
                                      OpenStationLedger, refusal);
  ASSERT_TRUE(session) << ::testing::PrintToString(panel.messages());
  EXPECT_TRUE(Contains(panel.messages(), "cannot be reached"))
      << ::testing::PrintToString(panel.messages());
  const OpsContext ctx{station, panel, adapter_, clock_, session->ledger()};
  RefreshImage(ctx);
  const long requests = adapter_.request_count();

  EXPECT_EQ(RunSingleUnit(ctx), Outcome::kLedgerUnreachable);
  EXPECT_FALSE(Exists("Serial-MAC.log"));
  const std::string mac = station.settings.CurrentMac;

  ASSERT_TRUE(server_->StartAgain()) << server_->last_error();
  EXPECT_EQ(RunSingleUnit(ctx), Outcome::kOk)
      << ::testing::PrintToString(panel.messages());
  EXPECT_GT(adapter_.request_count(), requests);
  std::string units;
  ASSERT_TRUE(server_->Psql("SELECT mac || ' ' || state FROM srom_unit",
                            &units, database_));
  EXPECT_EQ(units, mac + " programmed\n");
}

// A close is sent only to the ledger it was kept for, and only for the unit
// holding the MAC address it names; a line of an older srom-tool, which
// names neither, only for this station's own open unit. Every other line
// stays in the file, and the operator is told once why.
TEST_F(LedgerOutboxTest, AKeptCloseGoesOnlyToItsLedgerAndItsUnit) {
  const std::int64_t own = Reserved();
  const std::string mac = st().settings.CurrentMac;
  UnitDraft elsewhere;
  elsewhere.mac = "0000000000E0";
  elsewhere.serial = "000000000000E0";
  elsewhere.image_digest = "x";
  elsewhere.station = "Line 2";
  elsewhere.time = "2019-04-24 09:00:00";
  const auto other_station = ledger_->Reserve(elsewhere);
  ASSERT_TRUE(other_station.ok()) << other_station.error;
  const std::string here = ledger_->LedgerIdentity();
  const std::string unit = std::to_string(own);
  const std::string stays =
      unit + " programmed 2019-04-24 09:06:07 mac=" + mac +
      " ledger=0123456789abcdef0123456789abcdef@42\r\n" + unit +
      " programmed 2019-04-24 09:06:07 mac=0000000000EE ledger=" + here +
      "\r\n" + std::to_string(*other_station.value) +
      " released 2019-04-24 09:06:07\r\n";
  WriteBytes(folder_ / kOutbox,
             stays + unit + " programmed 2019-04-24 09:06:07\r\n");
  panel_.clear();

  EXPECT_TRUE(SendOutbox(st(), *ledger_, panel_).ok());
  EXPECT_EQ(Read(kOutbox), stays);
  EXPECT_EQ(RowOnServer(own), "programmed 2019-04-24 09:06:07");
  EXPECT_EQ(RowOnServer(*other_station.value), "reserved");
  const auto said = panel_.messages();
  ASSERT_EQ(said.size(), 3u) << ::testing::PrintToString(said);
  EXPECT_NE(said[0].find("another production ledger"), std::string::npos)
      << said[0];
  EXPECT_NE(said[1].find("another MAC address"), std::string::npos)
      << said[1];
  EXPECT_NE(said[2].find("not this station's open unit"), std::string::npos)
      << said[2];
  for (const std::string& message : said) {
    EXPECT_NE(message.find("stays in the file"), std::string::npos)
        << message;
  }

  // Sent again (the next unit): the lines stay, and nothing is said twice.
  panel_.clear();
  EXPECT_TRUE(SendOutbox(st(), *ledger_, panel_).ok());
  EXPECT_EQ(Read(kOutbox), stays);
  EXPECT_TRUE(panel_.messages().empty())
      << ::testing::PrintToString(panel_.messages());
}

// The ledger calls of a unit and of a station's opening.
enum class LedgerCall { kPool, kFindUsed, kReserve, kClose, kRecover };

// A station's real ledger on the test's server, which is stopped (SIGSTOP,
// as a machine that hangs) right before the first call of one kind.
class FreezingLedger final : public Ledger {
 public:
  FreezingLedger(std::unique_ptr<Ledger> ledger, PgServer& server,
                 LedgerCall at)
      : ledger_(std::move(ledger)), server_(server), at_(at) {}

  LedgerResult<std::int64_t> Reserve(const UnitDraft& draft) override {
    Before(LedgerCall::kReserve);
    return ledger_->Reserve(draft);
  }
  LedgerStatus MarkProgrammed(std::int64_t id,
                              const std::string& time) override {
    Before(LedgerCall::kClose);
    return ledger_->MarkProgrammed(id, time);
  }
  LedgerStatus Release(std::int64_t id, const std::string& time) override {
    Before(LedgerCall::kClose);
    return ledger_->Release(id, time);
  }
  LedgerStatus MarkFailed(std::int64_t id, const std::string& time) override {
    Before(LedgerCall::kClose);
    return ledger_->MarkFailed(id, time);
  }
  LedgerStatus SetAside(std::int64_t id, const std::string& time) override {
    return ledger_->SetAside(id, time);
  }
  LedgerStatus MarkSettingsSaved(std::int64_t id) override {
    return ledger_->MarkSettingsSaved(id);
  }
  LedgerResult<std::vector<UnitRecord>> RecoverInterrupted(
      const std::string& time) override {
    Before(LedgerCall::kRecover);
    return ledger_->RecoverInterrupted(time);
  }
  LedgerResult<std::optional<UnitRecord>> FindUsed(
      const std::string& mac) override {
    Before(LedgerCall::kFindUsed);
    return ledger_->FindUsed(mac);
  }
  LedgerResult<std::optional<UnitRecord>> LatestUsed() override {
    return ledger_->LatestUsed();
  }
  LedgerResult<std::vector<UnitRecord>> Units() override {
    return ledger_->Units();
  }
  LedgerResult<std::optional<UnitRecord>> Unit(std::int64_t id) override {
    return ledger_->Unit(id);
  }
  std::string LedgerIdentity() const override {
    return ledger_->LedgerIdentity();
  }
  bool LineWide() const override { return ledger_->LineWide(); }
  LedgerResult<PoolState> Pool(const std::string& name) override {
    Before(LedgerCall::kPool);
    return ledger_->Pool(name);
  }
  LedgerResult<std::vector<PoolState>> Pools() override {
    return ledger_->Pools();
  }
  LedgerStatus CreatePool(const PoolState& pool) override {
    return ledger_->CreatePool(pool);
  }

 private:
  void Before(LedgerCall call) {
    if (call != at_ || frozen_) return;
    frozen_ = true;
    EXPECT_TRUE(server_.Freeze()) << server_.last_error();
  }

  std::unique_ptr<Ledger> ledger_;
  PgServer& server_;
  LedgerCall at_;
  bool frozen_ = false;
};

struct FrozenCall {
  const char* name;
  LedgerCall at;
  bool pool;     // the station takes its MAC addresses from a line pool
  bool written;  // the adapter was written before the server stopped
};

void PrintTo(const FrozenCall& c, std::ostream* os) { *os << c.name; }

// A server that stops answering at any ledger call of a unit, or of a
// station's opening: the station answers within one call's time, a unit is
// written only when its address was reserved before, and once the server
// goes on every unit is accounted for and no address is given twice.
class FrozenServerTest : public LedgerOutboxTest,
                         public ::testing::WithParamInterface<FrozenCall> {
 protected:
  void TearDown() override {
    if (server_ != nullptr && server_->frozen()) {
      EXPECT_TRUE(server_->Thaw()) << server_->last_error();
    }
    LedgerOutboxTest::TearDown();
  }

  // Every unit's row on the server: "<mac> <state>", one a line.
  std::vector<std::string> Rows() {
    std::string output;
    EXPECT_TRUE(server_->Psql(
        "SELECT mac || ' ' || state FROM srom_unit ORDER BY id", &output,
        database_))
        << output;
    std::vector<std::string> rows;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    return rows;
  }
};

TEST_P(FrozenServerTest, TheStationAnswersInTimeAndGivesNoAddressTwice) {
  const FrozenCall& c = GetParam();
  std::string ini = "ledger=" + server_->Url(database_) + "\r\nstation=S1\r\n";
  if (c.pool) {
    ASSERT_TRUE(
        ledger_->CreatePool({"line1", "000000000100", "0000000001FF", 1, ""})
            .ok());
    ini += "pool=line1\r\n";
  }
  WriteBytes(folder_ / std::string("station.ini"), ini);
  if (c.at == LedgerCall::kRecover) {
    // A unit cut off by a crash, for the catch-up to set aside.
    std::string output;
    ASSERT_TRUE(server_->Psql(
        "INSERT INTO srom_unit (mac, serial, device_sel, image_digest, "
        "station, reserved_at, state) VALUES ('0000000000F0', "
        "'000000000000F0', 0, 'x', 'S1', '2019-04-24 09:00:00', 'reserved')",
        &output, database_))
        << output;
  }
  const auto opener = [this, &c](const LedgerPlace& place)
      -> LedgerResult<std::unique_ptr<Ledger>> {
    auto opened = OpenStationLedger(place);
    if (!opened.ok()) return opened.status();
    return std::unique_ptr<Ledger>(
        new FreezingLedger(std::move(*opened.value), *server_, c.at));
  };

  Station station;
  RecordingPanel panel(station);
  panel.set_quiet(true);
  Outcome refusal = Outcome::kOk;
  auto began = SteadyClock::now();
  auto session = StationSession::Open(folder_.path(), station, panel, clock_,
                                      opener, refusal);
  ASSERT_TRUE(session) << ::testing::PrintToString(panel.messages());
  const OpsContext ctx{station, panel, adapter_, clock_, session->ledger()};
  Outcome outcome = Outcome::kLedgerUnreachable;
  if (c.at != LedgerCall::kRecover) {
    ASSERT_TRUE(RefreshImage(ctx));
    began = SteadyClock::now();
    outcome = RunSingleUnit(ctx);
  }
  const auto took = SteadyClock::now() - began;
  ASSERT_TRUE(server_->frozen()) << "the server was stopped at that call";
  EXPECT_LE(took, kAnswerBound);
  const auto said = panel.messages();
  EXPECT_TRUE(Contains(said, "does not answer"))
      << ::testing::PrintToString(said);
  const bool blank = adapter_.eeprom()[5] == 0xFF;
  EXPECT_EQ(!blank, c.written);
  if (c.written) {
    // The unit passed; its close waits in the outbox.
    EXPECT_EQ(outcome, Outcome::kOk);
    EXPECT_TRUE(Exists(kOutbox));
  } else {
    EXPECT_EQ(outcome, Outcome::kLedgerUnreachable);
  }
  std::cout << "[ figures  ] server stopped at " << c.name
            << ": the station answered in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(took)
                   .count()
            << " ms\n";

  ASSERT_TRUE(server_->Thaw()) << server_->last_error();
  // The next units go on as soon as the server is asked again.
  int units = 0;
  std::vector<std::string> later;
  const auto give_up = SteadyClock::now() + 30s;
  while (units < 2 && SteadyClock::now() < give_up) {
    panel.clear();
    const Outcome next = RunSingleUnit(ctx);
    const auto messages = panel.messages();
    later.insert(later.end(), messages.begin(), messages.end());
    if (next == Outcome::kOk) {
      ++units;
    } else {
      std::this_thread::sleep_for(500ms);
    }
  }
  ASSERT_EQ(units, 2) << ::testing::PrintToString(later);
  if (c.at == LedgerCall::kRecover) {
    // The unit the crash left is set aside once the server answers, and
    // the operator is told.
    EXPECT_TRUE(Contains(later, "0000000000F0 was being written"))
        << ::testing::PrintToString(later);
  }
  EXPECT_FALSE(Exists(kOutbox));
  std::map<std::string, int> held;
  int programmed = 0;
  for (const std::string& row : Rows()) {
    const std::string mac = row.substr(0, row.find(' '));
    const std::string state = row.substr(row.find(' ') + 1);
    EXPECT_NE(state, "reserved") << row;
    if (state != "released") ++held[mac];
    if (state == "programmed") ++programmed;
  }
  for (const auto& [mac, count] : held) EXPECT_EQ(count, 1) << mac;
  EXPECT_EQ(programmed, c.written ? 3 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLedgerCall, FrozenServerTest,
    ::testing::Values(
        FrozenCall{"the pool read", LedgerCall::kPool, true, false},
        FrozenCall{"the look for a used MAC", LedgerCall::kFindUsed, false,
                   false},
        FrozenCall{"the reservation", LedgerCall::kReserve, false, false},
        FrozenCall{"the reservation from a pool", LedgerCall::kReserve, true,
                   false},
        FrozenCall{"the close", LedgerCall::kClose, false, true},
        FrozenCall{"the catch-up at opening", LedgerCall::kRecover, false,
                   false}),
    [](const ::testing::TestParamInfo<FrozenCall>& info) {
      std::string name;
      for (const char* c = info.param.name; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      }
      return name;
    });

// A reservation whose commit the server took but never answered (it
// stopped in the middle): the station was told it failed and wrote nothing,
// so the address must come free again, and the next unit gets it.
TEST_F(LedgerOutboxTest, AReservationCutOffAtItsCommitLeavesItsAddressFree) {
  std::string output;
  // Every commit that inserted a unit sleeps a moment first: long enough
  // for the test to stop the server in it.
  ASSERT_TRUE(server_->Psql(
      "CREATE FUNCTION slow_commit() RETURNS trigger LANGUAGE plpgsql AS "
      "$$ BEGIN PERFORM pg_sleep(3); RETURN NULL; END $$; "
      "CREATE CONSTRAINT TRIGGER slow_commit AFTER INSERT ON srom_unit "
      "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION "
      "slow_commit()",
      &output, database_))
      << output;
  std::thread stopper([this] {
    const auto give_up = SteadyClock::now() + 20s;
    std::string sleeping;
    while (SteadyClock::now() < give_up) {
      if (server_->Psql("SELECT count(*) FROM pg_stat_activity "
                        "WHERE wait_event = 'PgSleep'",
                        &sleeping) &&
          sleeping.rfind("1", 0) == 0) {
        EXPECT_TRUE(server_->Freeze()) << server_->last_error();
        return;
      }
      std::this_thread::sleep_for(20ms);
    }
  });
  const std::string mac = st().settings.CurrentMac;
  std::optional<std::int64_t> cut;
  const auto began = SteadyClock::now();
  EXPECT_EQ(ReserveUnit(Context(), cut), Outcome::kLedgerUnreachable)
      << ::testing::PrintToString(panel_.messages());
  EXPECT_LE(SteadyClock::now() - began, kAnswerBound);
  stopper.join();
  ASSERT_TRUE(server_->frozen()) << "the commit was not caught sleeping";
  EXPECT_FALSE(cut.has_value());
  ASSERT_TRUE(server_->Thaw()) << server_->last_error();
  ASSERT_TRUE(server_->Psql("DROP TRIGGER slow_commit ON srom_unit", &output,
                            database_))
      << output;

  // Whatever the server made of the commit, the same address is free for
  // the next unit once the server is asked again.
  std::optional<std::int64_t> next;
  const auto give_up = SteadyClock::now() + 30s;
  while (!next && SteadyClock::now() < give_up) {
    panel_.clear();
    if (ReserveUnit(Context(), next) != Outcome::kOk) {
      std::this_thread::sleep_for(500ms);
    }
  }
  ASSERT_TRUE(next.has_value()) << ::testing::PrintToString(panel_.messages());
  EXPECT_EQ(st().settings.CurrentMac, mac);
  ASSERT_TRUE(server_->Psql("SELECT state FROM srom_unit WHERE mac = '" + mac +
                                "' ORDER BY id",
                            &output, database_));
  EXPECT_TRUE(output == "reserved\n" || output == "released\nreserved\n")
      << output;
}

}  // namespace
}  // namespace srom::test
