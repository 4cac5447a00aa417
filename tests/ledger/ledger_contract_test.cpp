// The contract of every production ledger, run against the station's own
// SQLite file and the line's PostgreSQL server alike: the rows through their
// life, reserved before the adapter is written, then programmed, released or
// found interrupted, all of it still there when the ledger is opened again.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "ledger_store.h"
#include "ledger_test_support.h"

namespace srom {
namespace {

using test::Backend;
using test::BackendName;
using test::DraftOf;
using test::kBackends;
using test::kLaterTime;
using test::kTime;
using test::LedgerStore;

// A fresh ledger of one backend for each test, and its rows.
class LedgerContractBase {
 protected:
  void OpenStore(Backend backend) {
    store_ = LedgerStore::Make(backend);
    ASSERT_NE(store_, nullptr);
    ledger_ = store_->Open();
    ASSERT_NE(ledger_, nullptr);
  }
  std::int64_t Reserve(std::uint64_t n) {
    const auto id = ledger_->Reserve(DraftOf(n));
    EXPECT_TRUE(id.ok()) << id.error;
    return id.value.value_or(-1);
  }
  UnitRecord Record(std::int64_t id) {
    const auto units = ledger_->Units();
    EXPECT_TRUE(units.ok()) << units.error;
    for (const UnitRecord& r :
         units.value.value_or(std::vector<UnitRecord>{})) {
      if (r.id == id) return r;
    }
    ADD_FAILURE() << "no unit " << id;
    return {};
  }
  std::vector<UnitRecord> All() {
    auto units = ledger_->Units();
    EXPECT_TRUE(units.ok()) << units.error;
    return units.value.value_or(std::vector<UnitRecord>{});
  }

  std::unique_ptr<LedgerStore> store_;
  std::unique_ptr<Ledger> ledger_;
};

class LedgerContract : public LedgerContractBase,
                       public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { OpenStore(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Backends, LedgerContract,
                         ::testing::ValuesIn(kBackends),
                         [](const auto& info) {
                           return BackendName(info.param);
                         });

// A table of cases, each run against every backend.
template <class Row>
class LedgerContractWith
    : public LedgerContractBase,
      public ::testing::TestWithParam<std::tuple<Backend, Row>> {
 protected:
  void SetUp() override { OpenStore(std::get<0>(this->GetParam())); }
  const Row& Case() const { return std::get<1>(this->GetParam()); }
};

template <class Row>
std::string CaseName(const ::testing::TestParamInfo<std::tuple<Backend, Row>>& info) {
  return BackendName(std::get<0>(info.param)) + "_" +
         std::get<1>(info.param).name;
}

TEST_P(LedgerContract, ReserveKeepsEveryFieldOfTheDraft) {
  UnitDraft draft{"0011223344AB", "00001122334455",      1,
                  "5f1e...",      "Bench \"2\", Straße", "2024-12-31 23:59:59"};
  const auto id = ledger_->Reserve(draft);
  ASSERT_TRUE(id.ok()) << id.error;
  EXPECT_EQ(Record(*id.value),
            (UnitRecord{*id.value, draft.mac, draft.serial, draft.device_sel,
                        draft.image_digest, draft.station, draft.time, "",
                        UnitState::kReserved, false}));
}

TEST_P(LedgerContract, IdsGrowInTheOrderOfReservation) {
  const std::int64_t a = Reserve(5);
  const std::int64_t b = Reserve(3);
  const std::int64_t c = Reserve(9);
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  const auto all = All();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].mac, DraftOf(5).mac);
  EXPECT_EQ(all[2].mac, DraftOf(9).mac);
}

enum class Action {
  kMarkProgrammed,
  kRelease,
  kMarkFailed,
  kSetAside,
  kMarkSettingsSaved
};

struct Transition {
  const char* name;
  UnitState from;
  Action action;
  bool allowed;
};

// Every change from every state: a unit leaves reserved (or interrupted)
// exactly once, and only a programmed unit has its settings saved.
const Transition kTransitions[] = {
    {"ReservedToProgrammed", UnitState::kReserved, Action::kMarkProgrammed,
     true},
    {"ReservedToReleased", UnitState::kReserved, Action::kRelease, true},
    {"ReservedSettingsSaved", UnitState::kReserved, Action::kMarkSettingsSaved,
     false},
    {"ProgrammedAgain", UnitState::kProgrammed, Action::kMarkProgrammed, false},
    {"ProgrammedToReleased", UnitState::kProgrammed, Action::kRelease, false},
    {"ProgrammedSettingsSaved", UnitState::kProgrammed,
     Action::kMarkSettingsSaved, true},
    {"ReleasedToProgrammed", UnitState::kReleased, Action::kMarkProgrammed,
     false},
    {"ReleasedAgain", UnitState::kReleased, Action::kRelease, false},
    {"ReleasedSettingsSaved", UnitState::kReleased, Action::kMarkSettingsSaved,
     false},
    {"InterruptedToProgrammed", UnitState::kInterrupted,
     Action::kMarkProgrammed, true},
    {"InterruptedToReleased", UnitState::kInterrupted, Action::kRelease, true},
    // The station saved its settings past a unit that was set aside.
    {"InterruptedSettingsSaved", UnitState::kInterrupted,
     Action::kMarkSettingsSaved, true},
    // Only a unit being written is set aside (its image changed under it).
    {"ReservedSetAside", UnitState::kReserved, Action::kSetAside, true},
    {"ProgrammedSetAside", UnitState::kProgrammed, Action::kSetAside, false},
    {"ReleasedSetAside", UnitState::kReleased, Action::kSetAside, false},
    {"InterruptedSetAside", UnitState::kInterrupted, Action::kSetAside, false},
    // A write went out but did not verify: the address stays held, set
    // aside once another adapter is to be programmed.
    {"ReservedToFailed", UnitState::kReserved, Action::kMarkFailed, true},
    {"InterruptedToFailed", UnitState::kInterrupted, Action::kMarkFailed, true},
    {"ProgrammedToFailed", UnitState::kProgrammed, Action::kMarkFailed, false},
    {"ReleasedToFailed", UnitState::kReleased, Action::kMarkFailed, false},
    {"FailedAgain", UnitState::kFailed, Action::kMarkFailed, false},
    {"FailedToProgrammed", UnitState::kFailed, Action::kMarkProgrammed, false},
    {"FailedToReleased", UnitState::kFailed, Action::kRelease, false},
    {"FailedSetAside", UnitState::kFailed, Action::kSetAside, true},
    {"FailedSettingsSaved", UnitState::kFailed, Action::kMarkSettingsSaved,
     false},
};

class StateChange : public LedgerContractWith<Transition> {
 protected:
  // A unit in the state the case starts from.
  std::int64_t UnitIn(UnitState state) {
    const std::int64_t id = Reserve(1);
    LedgerStatus status;
    if (state == UnitState::kProgrammed) {
      status = ledger_->MarkProgrammed(id, kTime);
    } else if (state == UnitState::kReleased) {
      status = ledger_->Release(id, kTime);
    } else if (state == UnitState::kInterrupted) {
      status = ledger_->RecoverInterrupted(kTime).status();
    } else if (state == UnitState::kFailed) {
      status = ledger_->MarkFailed(id, kTime);
    }
    EXPECT_TRUE(status.ok()) << status.error;
    EXPECT_EQ(Record(id).state, state);
    return id;
  }
  LedgerStatus Apply(std::int64_t id) {
    switch (Case().action) {
      case Action::kMarkProgrammed:
        return ledger_->MarkProgrammed(id, kLaterTime);
      case Action::kRelease:
        return ledger_->Release(id, kLaterTime);
      case Action::kMarkFailed:
        return ledger_->MarkFailed(id, kLaterTime);
      case Action::kSetAside:
        return ledger_->SetAside(id, kLaterTime);
      case Action::kMarkSettingsSaved:
        return ledger_->MarkSettingsSaved(id);
    }
    return {};
  }
};

TEST_P(StateChange, IsMadeOrRefusedWithTheRowLeftAsItWas) {
  const std::int64_t id = UnitIn(Case().from);
  const UnitRecord before = Record(id);
  const LedgerStatus status = Apply(id);
  const UnitRecord after = Record(id);
  if (!Case().allowed) {
    EXPECT_EQ(status.fault, LedgerFault::kRejected);
    EXPECT_NE(status.error.find("unit " + std::to_string(id)),
              std::string::npos)
        << status.error;
    EXPECT_NE(status.error.find(std::string(UnitStateName(Case().from))),
              std::string::npos)
        << status.error;
    EXPECT_EQ(after, before);
    return;
  }
  ASSERT_TRUE(status.ok()) << status.error;
  UnitRecord expected = before;
  switch (Case().action) {
    case Action::kMarkProgrammed:
      expected.state = UnitState::kProgrammed;
      expected.closed_at = kLaterTime;
      break;
    case Action::kRelease:
      expected.state = UnitState::kReleased;
      expected.closed_at = kLaterTime;
      break;
    case Action::kMarkFailed:
      expected.state = UnitState::kFailed;
      expected.closed_at = kLaterTime;
      break;
    case Action::kSetAside:
      expected.state = UnitState::kInterrupted;
      expected.closed_at = kLaterTime;
      break;
    case Action::kMarkSettingsSaved:
      expected.settings_saved = true;
      break;
  }
  EXPECT_EQ(after, expected);
}

TEST_P(StateChange, OfAUnitThatDoesNotExistIsRefused) {
  const std::int64_t id = UnitIn(Case().from);
  const LedgerStatus status = Apply(id + 1);
  EXPECT_EQ(status.fault, LedgerFault::kRejected);
  EXPECT_NE(status.error.find("no such unit"), std::string::npos)
      << status.error;
}

INSTANTIATE_TEST_SUITE_P(EveryStateAndAction, StateChange,
                         ::testing::Combine(::testing::ValuesIn(kBackends),
                                            ::testing::ValuesIn(kTransitions)),
                         CaseName<Transition>);

TEST_P(LedgerContract, MarkingSettingsSavedTwiceKeepsTheUnitSaved) {
  // The station may repeat the save after a retry; that is no error.
  const std::int64_t id = Reserve(1);
  ASSERT_TRUE(ledger_->MarkProgrammed(id, kTime).ok());
  ASSERT_TRUE(ledger_->MarkSettingsSaved(id).ok());
  const LedgerStatus again = ledger_->MarkSettingsSaved(id);
  EXPECT_TRUE(again.ok()) << again.error;
  EXPECT_TRUE(Record(id).settings_saved);
}

struct BadDraft {
  const char* name;
  void (*spoil)(UnitDraft&);
  const char* named;  // what the refusal must name
};

const BadDraft kBadDrafts[] = {
    {"LowerCaseMac", [](UnitDraft& d) { d.mac = "0011223344ab"; },
     "0011223344ab"},
    {"ShortMac", [](UnitDraft& d) { d.mac = "00112233445"; }, "00112233445"},
    {"MacWithColons", [](UnitDraft& d) { d.mac = "00:11:22:33:44"; },
     "00:11:22:33:44"},
    {"EmptyMac", [](UnitDraft& d) { d.mac.clear(); }, "MAC address"},
    {"LongSerial", [](UnitDraft& d) { d.serial = "000011223344556"; },
     "000011223344556"},
    {"SerialNotHex", [](UnitDraft& d) { d.serial = "0000112233445G"; },
     "0000112233445G"},
    {"DeviceSelOutOfRange", [](UnitDraft& d) { d.device_sel = 4; },
     "device selection 4"},
    {"NegativeDeviceSel", [](UnitDraft& d) { d.device_sel = -1; },
     "device selection -1"},
    {"TimeWithoutSeconds", [](UnitDraft& d) { d.time = "2024-03-01 08:15"; },
     "2024-03-01 08:15"},
    {"TimeWithT", [](UnitDraft& d) { d.time = "2024-03-01T08:15:00"; },
     "2024-03-01T08:15:00"},
};

class DraftRefused : public LedgerContractWith<BadDraft> {};

TEST_P(DraftRefused, WithTheFieldNamedAndNothingStored) {
  UnitDraft draft = DraftOf(1);
  Case().spoil(draft);
  const auto id = ledger_->Reserve(draft);
  EXPECT_FALSE(id.ok());
  EXPECT_EQ(id.fault, LedgerFault::kRejected);
  EXPECT_NE(id.error.find(Case().named), std::string::npos) << id.error;
  EXPECT_NE(id.error.find(store_->name()), std::string::npos) << id.error;
  EXPECT_TRUE(All().empty());
}

INSTANTIATE_TEST_SUITE_P(MalformedFields, DraftRefused,
                         ::testing::Combine(::testing::ValuesIn(kBackends),
                                            ::testing::ValuesIn(kBadDrafts)),
                         CaseName<BadDraft>);

TEST_P(LedgerContract, ClosingTimesMustBeLedgerTimes) {
  const std::int64_t id = Reserve(1);
  EXPECT_EQ(ledger_->MarkProgrammed(id, "yesterday").fault,
            LedgerFault::kRejected);
  EXPECT_EQ(ledger_->Release(id, "").fault, LedgerFault::kRejected);
  EXPECT_EQ(ledger_->RecoverInterrupted("2024-3-1 8:15:00").fault,
            LedgerFault::kRejected);
  EXPECT_EQ(Record(id).state, UnitState::kReserved);
}

// A MAC address that sits on an adapter, or may, is never reserved again;
// one whose write failed is.
// A deliberate reissue (a rework) may take a programmed or set-aside address,
// never one that is being written.
struct Holder {
  const char* name;
  UnitState state;
  bool reissue;
  bool reservable;
};

const Holder kHolders[] = {
    {"Reserved", UnitState::kReserved, false, false},
    {"Programmed", UnitState::kProgrammed, false, false},
    {"Interrupted", UnitState::kInterrupted, false, false},
    {"Released", UnitState::kReleased, false, true},
    {"ReservedReissued", UnitState::kReserved, true, false},
    {"ProgrammedReissued", UnitState::kProgrammed, true, true},
    {"InterruptedReissued", UnitState::kInterrupted, true, true},
    // A failed unit's adapter may hold the address: only a retry of that
    // adapter (asked for as a reissue) takes it again.
    {"Failed", UnitState::kFailed, false, false},
    {"FailedRetried", UnitState::kFailed, true, true},
};

class SecondReservation : public LedgerContractWith<Holder> {};

TEST_P(SecondReservation, OfTheSameMacDependsOnTheFirstUnitsState) {
  const std::int64_t first = Reserve(7);
  if (Case().state == UnitState::kProgrammed) {
    ASSERT_TRUE(ledger_->MarkProgrammed(first, kTime).ok());
  } else if (Case().state == UnitState::kReleased) {
    ASSERT_TRUE(ledger_->Release(first, kTime).ok());
  } else if (Case().state == UnitState::kInterrupted) {
    ASSERT_TRUE(ledger_->RecoverInterrupted(kTime).ok());
  } else if (Case().state == UnitState::kFailed) {
    ASSERT_TRUE(ledger_->MarkFailed(first, kTime).ok());
  }
  UnitDraft again = DraftOf(7);
  again.serial = "0000000000FFFF";  // another unit, the same address
  again.reissue = Case().reissue;
  const auto second = ledger_->Reserve(again);
  if (Case().reservable) {
    ASSERT_TRUE(second.ok()) << second.error;
    EXPECT_GT(*second.value, first);
    EXPECT_EQ(All().size(), 2u);
    return;
  }
  EXPECT_EQ(second.fault, LedgerFault::kMacInUse);
  EXPECT_NE(second.error.find(again.mac), std::string::npos) << second.error;
  EXPECT_NE(second.error.find("unit " + std::to_string(first)),
            std::string::npos)
      << second.error;
  EXPECT_EQ(All().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(FirstUnitStates, SecondReservation,
                         ::testing::Combine(::testing::ValuesIn(kBackends),
                                            ::testing::ValuesIn(kHolders)),
                         CaseName<Holder>);

// A rework asked for under another station's name. The line's server
// refuses it, naming the station that gave the address: that station's
// adapter may hold it. A station's own file takes it: every row in it is
// its folder's, written under whatever name the station had then.
TEST_P(LedgerContract, AReworkUnderAnotherNameIsTheLineWideLedgersToRefuse) {
  const std::int64_t first = Reserve(7);
  ASSERT_TRUE(ledger_->MarkProgrammed(first, kTime).ok());
  UnitDraft again = DraftOf(7);
  again.serial = "0000000000FFFF";
  again.station = "Line 1 renamed";
  again.reissue = true;
  const auto second = ledger_->Reserve(again);
  if (ledger_->LineWide()) {
    EXPECT_EQ(second.fault, LedgerFault::kMacInUse);
    EXPECT_NE(second.error.find("station \"Line 1\""), std::string::npos)
        << second.error;
    EXPECT_EQ(All().size(), 1u);
    return;
  }
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_EQ(Record(*second.value).station, again.station);
  EXPECT_EQ(All().size(), 2u);
}

TEST_P(LedgerContract, RecoveryTurnsOnlyReservedUnitsIntoInterruptedOnes) {
  const std::int64_t programmed = Reserve(1);
  const std::int64_t open_a = Reserve(2);
  const std::int64_t released = Reserve(3);
  const std::int64_t open_b = Reserve(4);
  ASSERT_TRUE(ledger_->MarkProgrammed(programmed, kTime).ok());
  ASSERT_TRUE(ledger_->Release(released, kTime).ok());
  const UnitRecord programmed_before = Record(programmed);
  const UnitRecord released_before = Record(released);

  const auto recovered = ledger_->RecoverInterrupted(kLaterTime);
  ASSERT_TRUE(recovered.ok()) << recovered.error;
  ASSERT_EQ(recovered.value->size(), 2u);
  EXPECT_EQ((*recovered.value)[0].id, open_a);
  EXPECT_EQ((*recovered.value)[1].id, open_b);
  for (const UnitRecord& r : *recovered.value) {
    EXPECT_EQ(r.state, UnitState::kInterrupted);
    EXPECT_EQ(r.closed_at, kLaterTime);
    EXPECT_EQ(r, Record(r.id));  // what is returned is what is stored
  }
  EXPECT_EQ(Record(programmed), programmed_before);
  EXPECT_EQ(Record(released), released_before);

  const auto again = ledger_->RecoverInterrupted(kLaterTime);
  ASSERT_TRUE(again.ok()) << again.error;
  EXPECT_TRUE(again.value->empty());
}

TEST_P(LedgerContract, AWriterStillClosesItsUnitAfterAnotherProcessRecovered) {
  // A second process starting at the station takes the first one's unit in
  // progress for lost; the first one's result must still be recorded.
  auto other = store_->Open();
  const std::int64_t id = Reserve(1);
  const auto recovered = other->RecoverInterrupted(kTime);
  ASSERT_TRUE(recovered.ok()) << recovered.error;
  ASSERT_EQ(recovered.value->size(), 1u);
  ASSERT_TRUE(ledger_->MarkProgrammed(id, kLaterTime).ok());
  EXPECT_EQ(Record(id).state, UnitState::kProgrammed);
  EXPECT_EQ(Record(id).closed_at, kLaterTime);
}

TEST_P(LedgerContract, FindUsedSeesProgrammedInterruptedAndFailedUnitsOnly) {
  const std::int64_t programmed = Reserve(1);
  Reserve(2);  // stays reserved, so recovery makes it interrupted
  ASSERT_TRUE(ledger_->MarkProgrammed(programmed, kTime).ok());
  ASSERT_TRUE(ledger_->RecoverInterrupted(kTime).ok());
  const std::int64_t released = Reserve(3);
  ASSERT_TRUE(ledger_->Release(released, kTime).ok());
  Reserve(4);  // reserved now
  const std::int64_t failed = Reserve(6);
  ASSERT_TRUE(ledger_->MarkFailed(failed, kTime).ok());

  const std::pair<std::uint64_t, std::optional<UnitState>> cases[] = {
      {1, UnitState::kProgrammed}, {2, UnitState::kInterrupted},
      {3, std::nullopt},           {4, std::nullopt},
      {5, std::nullopt},           {6, UnitState::kFailed},
  };
  for (const auto& [n, state] : cases) {
    const auto found = ledger_->FindUsed(DraftOf(n).mac);
    ASSERT_TRUE(found.ok()) << found.error;
    ASSERT_EQ(found.value->has_value(), state.has_value()) << "unit " << n;
    if (state) {
      EXPECT_EQ((*found.value)->state, *state) << "unit " << n;
      EXPECT_EQ(**found.value, Record((*found.value)->id));
    }
  }
  EXPECT_EQ(ledger_->FindUsed("not a MAC").fault, LedgerFault::kRejected);
}

TEST_P(LedgerContract, LatestUsedSkipsLaterUnitsThatHoldNoAddress) {
  const auto empty = ledger_->LatestUsed();
  ASSERT_TRUE(empty.ok()) << empty.error;
  EXPECT_FALSE(empty.value->has_value());

  const std::int64_t saved = Reserve(1);
  ASSERT_TRUE(ledger_->MarkProgrammed(saved, kTime).ok());
  ASSERT_TRUE(ledger_->MarkSettingsSaved(saved).ok());
  const std::int64_t unsaved = Reserve(2);
  ASSERT_TRUE(ledger_->MarkProgrammed(unsaved, kTime).ok());
  ASSERT_TRUE(ledger_->Release(Reserve(3), kTime).ok());
  Reserve(4);

  auto latest = ledger_->LatestUsed();
  ASSERT_TRUE(latest.ok()) << latest.error;
  ASSERT_TRUE(latest.value->has_value());
  EXPECT_EQ((*latest.value)->id, unsaved);
  EXPECT_FALSE((*latest.value)->settings_saved);  // the station catches up

  ASSERT_TRUE(ledger_->MarkSettingsSaved(unsaved).ok());
  latest = ledger_->LatestUsed();
  EXPECT_TRUE((*latest.value)->settings_saved);

  // Unit 4, still reserved, is interrupted by a restart: now it is the latest.
  ASSERT_TRUE(ledger_->RecoverInterrupted(kLaterTime).ok());
  latest = ledger_->LatestUsed();
  EXPECT_EQ((*latest.value)->mac, DraftOf(4).mac);
  EXPECT_EQ((*latest.value)->state, UnitState::kInterrupted);
}

TEST_P(LedgerContract, EveryRowIsThereAfterTheFileIsOpenedAgain) {
  const std::int64_t a = Reserve(1);
  const std::int64_t b = Reserve(2);
  Reserve(3);
  ASSERT_TRUE(ledger_->MarkProgrammed(a, kTime).ok());
  ASSERT_TRUE(ledger_->MarkSettingsSaved(a).ok());
  ASSERT_TRUE(ledger_->Release(b, kLaterTime).ok());
  const std::vector<UnitRecord> before = All();
  ledger_.reset();

  ledger_ = store_->Open();
  ASSERT_NE(ledger_, nullptr);
  EXPECT_EQ(All(), before);
  // Ids go on from where they were.
  EXPECT_GT(Reserve(4), before.back().id);
}

TEST_P(LedgerContract, AnotherConnectionSeesEachCallOnceItReturned) {
  auto reader = store_->Open();
  const std::int64_t id = Reserve(1);
  auto units = reader->Units();
  ASSERT_TRUE(units.ok()) << units.error;
  ASSERT_EQ(units.value->size(), 1u);
  EXPECT_EQ((*units.value)[0].state, UnitState::kReserved);
  ASSERT_TRUE(ledger_->MarkProgrammed(id, kTime).ok());
  const auto found = reader->FindUsed(DraftOf(1).mac);
  ASSERT_TRUE(found.ok()) << found.error;
  EXPECT_TRUE(found.value->has_value());
}

}  // namespace
}  // namespace srom
