// The station's outbox on a real PostgreSQL server that goes away while a
// unit is being written: the unit's close waits in the station folder, its
// MAC address stays reserved on the server meanwhile, and the close is sent
// as soon as the server answers again. One server for the whole binary; each
// case has a database of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ledger/pg_ledger.h"
#include "ledger/station_ledger.h"
#include "ops/ledger_outbox.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ops/station_session.h"
#include "ops/unit_ledger.h"
#include "ops_fixture.h"
#include "support/pg_server.h"

namespace srom::testing {
namespace {

const std::string kOutbox(kLedgerOutboxFileName);

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
  const std::string kept =
      std::to_string(id) + " programmed 2019-04-24 09:06:07\r\n";
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

  EXPECT_FALSE(SendOutbox(folder_.path(), *ledger_, panel_));

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

}  // namespace
}  // namespace srom::testing
