// Whether the server's figures say a synchronous standby acknowledges the
// station's commits: the verdict a station that requires one programs by.
#include "ledger/ledger_health.h"

#include <gtest/gtest.h>

#include <string>

namespace srom {
namespace {

TEST(SyncStandbysAwaited, ReadsEveryFormOfTheSetting) {
  struct Row {
    const char* names;
    int awaited;
  } const rows[] = {
      {"", 0},
      {"   ", 0},
      {"db2", 1},
      {"*", 1},
      {"db2, db3", 1},
      {"FIRST 2 (db2, db3, db4)", 2},
      {"first 1 (db2)", 1},
      {"ANY 2 (db2, db3)", 2},
      {"2 (db2, db3)", 2},
      {"2(db2, db3)", 2},
      // A standby may be called "2", or "first": a name, not a count.
      {"2", 1},
      {"first", 1},
      {"\"FIRST 2 (x)\"", 1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SyncStandbysAwaited(row.names), row.awaited) << row.names;
  }
}

StandbyState Standby(const char* name, const char* sync_state,
                     const char* state = "streaming") {
  return {name, state, sync_state, 1, 0};
}

LedgerHealth Primary(const char* names,
                     std::vector<StandbyState> standbys) {
  LedgerHealth health;
  health.where = "(database \"srom\" on db1,db2)";
  health.server = "db1:5432";
  health.primary = true;
  health.synchronous_standby_names = names;
  health.synchronous_commit = "on";
  health.standbys = std::move(standbys);
  return health;
}

TEST(UnprotectedReason, NamesWhatLeavesACommitOnOneMachine) {
  struct Row {
    const char* name;
    LedgerHealth health;
    const char* reason;  // nullptr: protected
  };
  LedgerHealth on_standby = Primary("", {});
  on_standby.primary = false;
  on_standby.server = "db2:5432";
  LedgerHealth local_commit = Primary("db2", {Standby("db2", "sync")});
  local_commit.synchronous_commit = "local";
  LedgerHealth remote_apply = Primary("db2", {Standby("db2", "sync")});
  remote_apply.synchronous_commit = "remote_apply";
  LedgerHealth hidden = Primary("db2", {Standby("db2", "")});
  hidden.standbys_shown = false;
  const Row rows[] = {
      {"a synchronous standby in step", Primary("db2", {Standby("db2", "sync")}),
       nullptr},
      {"the session waits for the standby to apply", remote_apply, nullptr},
      {"a quorum of two", Primary("ANY 2 (db2, db3, db4)",
                                  {Standby("db2", "quorum"),
                                   Standby("db3", "quorum")}),
       nullptr},
      {"the first of two candidates", Primary("FIRST 1 (db2, db3)",
                                              {Standby("db2", "sync"),
                                               Standby("db3", "potential")}),
       nullptr},
      {"a standby server", on_standby, "(db2:5432) is a standby itself"},
      {"commits that do not wait", local_commit, "synchronous_commit is local"},
      {"no standby named", Primary("", {Standby("db2", "async")}),
       "synchronous_standby_names is empty"},
      {"a role without pg_monitor", hidden, "grant it pg_monitor"},
      {"the standby away", Primary("db2", {}),
       "no standby is connected to the server"},
      {"an asynchronous standby", Primary("db3", {Standby("db2", "async")}),
       "standby \"db2\": streaming, async, caught up, replay lag 1 ms does "
       "not acknowledge"},
      {"a standby catching up", Primary("db2", {Standby("db2", "sync", "catchup")}),
       "\"db2\": catchup, sync"},
      {"one of a quorum of two", Primary("ANY 2 (db2, db3)",
                                         {Standby("db2", "quorum"),
                                          Standby("db3", "quorum", "catchup")}),
       "1 of the 2 synchronous standbys a commit waits for"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto reason = UnprotectedReason(row.health);
    const std::string report = HealthReport(row.health);
    if (row.reason == nullptr) {
      EXPECT_FALSE(reason) << *reason;
      EXPECT_NE(report.find("Protected:  yes"), std::string::npos) << report;
      continue;
    }
    ASSERT_TRUE(reason);
    EXPECT_NE(reason->find(row.reason), std::string::npos) << *reason;
    // The report and the refusal give the same reason.
    EXPECT_NE(report.find("Protected:  no: " + *reason), std::string::npos)
        << report;
    const std::string refusal = UnprotectedText(row.health, *reason);
    EXPECT_NE(refusal.find(row.health.where), std::string::npos) << refusal;
    EXPECT_NE(refusal.find(*reason), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("require_standby=yes"), std::string::npos)
        << refusal;
  }
}

}  // namespace
}  // namespace srom
