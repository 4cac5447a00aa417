// The production ledger around a unit, on a real SQLite file: a unit is
// reserved before the write and closed after it, an address given before is
// refused unless a rework is confirmed, and a station that opens after a
// crash or a lost save never gives an address twice.
#include <gtest/gtest.h>

#include <algorithm>

#include "files/eeprom_dat.h"
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#include "model/messages.h"
#include "ops/ledger_rebuild.h"
#include "ops/program.h"
#include "ops/startup.h"
#include "ops/station_session.h"
#include "ops/unit_ledger.h"
#include "ops_fixture.h"

namespace srom::test {
namespace {

class LedgerOpsTest : public OpsTest {
 protected:
  void SetUp() override {
    OpsTest::SetUp();
    auto opened = SqliteLedger::Open(folder_ / std::string(kLedgerFileName));
    ASSERT_TRUE(opened.ok()) << opened.error;
    ledger_ = std::move(*opened.value);
    station_.name = "Line 1";
  }

  OpsContext Context() {
    return OpsContext{station_, panel_, adapter_, clock_, ledger_.get()};
  }
  std::vector<UnitRecord> Units() { return *ledger_->Units().value; }
  // The station's settings file with this current MAC address.
  void SaveSettingsAt(const std::string& mac) {
    SromSettings settings;
    settings.CurrentMac = mac;
    LastAccepted accepted;
    ASSERT_TRUE(SaveEepromDat(station_.folders, settings, accepted, panel_));
  }

  std::unique_ptr<SqliteLedger> ledger_;
};

TEST_F(LedgerOpsTest, AVerifiedUnitIsReservedProgrammedAndSavedInTheLedger) {
  ASSERT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  const auto units = Units();
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].mac, "000000000001");
  EXPECT_EQ(units[0].serial, "00000000000001");
  EXPECT_EQ(units[0].state, UnitState::kProgrammed);
  EXPECT_TRUE(units[0].settings_saved);
  EXPECT_EQ(units[0].station, "Line 1");
}

// The window opens its station in two steps, the lock and then the ledger
// once the settings are loaded. A station whose ledger file went while its
// log lists units says so at once, creates no new ledger, and refuses every
// unit before the adapter is written, naming the srom-cli command that
// rebuilds the ledger; once rebuilt, the next unit takes the next address.
TEST_F(LedgerOpsTest, ALostLedgerIsSaidAtOpeningAndRefusesUnitsUntilRebuilt) {
  ASSERT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  ASSERT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  ledger_.reset();
  for (const char* end : {"", "-wal", "-shm"}) {
    std::filesystem::remove(folder_ / (std::string(kLedgerFileName) + end));
  }
  const LedgerOpener opener =
      [](const LedgerPlace& place) -> LedgerResult<std::unique_ptr<Ledger>> {
    auto opened =
        SqliteLedger::Open(place.folder / std::string(kLedgerFileName));
    if (!opened.ok()) return opened.status();
    return std::unique_ptr<Ledger>(std::move(*opened.value));
  };

  Station reopened;
  RecordingPanel panel(reopened);
  panel.set_quiet(true);
  Outcome refusal = Outcome::kOk;
  auto session = StationSession::Lock(folder_.path(), panel, refusal);
  ASSERT_TRUE(session);
  ASSERT_TRUE(OpenStation(folder_.path(), reopened, panel));
  ASSERT_TRUE(session->OpenLedger(folder_.path(), reopened, panel, clock_,
                                  opener, true, refusal));
  ASSERT_EQ(panel.messages().size(), 1u);
  EXPECT_NE(panel.messages()[0].find("is missing, but Serial-MAC.log lists 2 "
                                     "units"),
            std::string::npos);
  EXPECT_NE(panel.messages()[0].find(kRebuildLedgerCommand), std::string::npos);
  EXPECT_EQ(session->ledger(), nullptr);
  EXPECT_FALSE(Exists(std::string(kLedgerFileName)));

  adapter_.clear_log();
  panel.clear();
  const OpsContext ctx{reopened, panel, adapter_, clock_, session->ledger()};
  EXPECT_EQ(RunSingleUnit(ctx), Outcome::kFileRejected);
  EXPECT_EQ(panel.messages(), std::vector<std::string>{LedgerGapRefusal()});
  EXPECT_EQ(panel.picture(), ResultPicture::kFail);
  for (const SimRequest& request : adapter_.log()) {
    EXPECT_NE(request.code, IOCTL_WRITE_EEPROM);
  }

  // srom-cli ledger --rebuild-from-log, with the window closed.
  session.reset();
  auto rebuilt = SqliteLedger::Open(folder_ / std::string(kLedgerFileName));
  ASSERT_TRUE(rebuilt.ok());
  EXPECT_EQ(RebuildLedgerFromLog(reopened, **rebuilt.value, panel).entered, 2);
  rebuilt.value->reset();
  Station again;
  RecordingPanel again_panel(again);
  again_panel.set_quiet(true);
  auto reopened_session = StationSession::Open(
      folder_.path(), again, again_panel, clock_, opener, refusal);
  ASSERT_TRUE(reopened_session);
  EXPECT_TRUE(again_panel.messages().empty());
  const OpsContext next{again, again_panel, adapter_, clock_,
                        reopened_session->ledger()};
  EXPECT_EQ(RunSingleUnit(next), Outcome::kOk);
  EXPECT_EQ(again.settings.CurrentMac, "000000000004");
}

// A unit that fails once a write request has gone out may have left its
// address on the adapter: the address goes again only to that adapter (its
// EEPROM holds the address), another adapter gets the next one and the
// failed one is set aside; an eFuse keeps what was burnt. A unit whose
// control device never opened reached nothing, and its address is free.
struct FailedUnitRow {
  const char* name;
  bool efuse;
  void (*fail)(SimulatedAdapter&);  // arms the first unit's failure; null:
                                    // the adapter is pulled as it is written
  Outcome first;
  UnitState first_state;
  // Between the units: the faults go, and the adapter is swapped for a
  // blank one, or stays.
  bool swapped;
  const char* second_mac;
  UnitState first_state_after;
};

class FailedUnitAddress : public LedgerOpsTest,
                          public ::testing::WithParamInterface<FailedUnitRow> {
};

// The adapter's control device stops opening once the unit is reserved: the
// write finds no adapter.
class PulledAtTheWrite : public DriverPort {
 public:
  PulledAtTheWrite(DriverPort& inner, Ledger& ledger)
      : inner_(inner), ledger_(ledger) {}
  std::optional<DeviceHandle> Open(std::string_view path) override {
    const auto units = ledger_.Units();
    if (units.ok() && !units.value->empty()) return std::nullopt;
    return inner_.Open(path);
  }
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override {
    return inner_.Request(handle, code, input, output);
  }
  void Close(DeviceHandle handle) override { inner_.Close(handle); }

 private:
  DriverPort& inner_;
  Ledger& ledger_;
};

TEST_P(FailedUnitAddress, GoesAgainOnlyToTheAdapterThatMayHoldIt) {
  const FailedUnitRow& row = GetParam();
  if (row.efuse) SelectEfuse(kChipAEfuse);
  SaveSettingsAt(st().settings.CurrentMac);
  PulledAtTheWrite pulled(adapter_, *ledger_);
  if (row.fail != nullptr) row.fail(adapter_);
  DriverPort& port = row.fail != nullptr ? static_cast<DriverPort&>(adapter_)
                                         : static_cast<DriverPort&>(pulled);
  EXPECT_EQ(RunSingleUnit(
                OpsContext{station_, panel_, port, clock_, ledger_.get()}),
            row.first);
  ASSERT_EQ(Units().size(), 1u);
  EXPECT_EQ(Units()[0].state, row.first_state);

  adapter_.ClearFaults();
  adapter_.set_plugged(true);
  if (row.swapped) {
    adapter_.set_eeprom(std::vector<std::uint8_t>(256, 0xFF));
    std::array<std::uint8_t, kSimEfuseSize> blank;
    blank.fill(0xFF);
    adapter_.set_efuse(blank);
  }
  panel_.clear();
  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kOk)
      << ::testing::PrintToString(panel_.messages());

  const auto units = Units();
  ASSERT_GE(units.size(), 2u);
  EXPECT_EQ(units[0].state, row.first_state_after);
  EXPECT_EQ(units.back().mac, row.second_mac);
  EXPECT_EQ(units.back().state, UnitState::kProgrammed);
  const std::string said = ::testing::PrintToString(panel_.messages());
  const bool moved_on = std::string(row.second_mac) != units[0].mac;
  EXPECT_EQ(said.find("is set aside") != std::string::npos, moved_on) << said;
  for (const std::string& e : panel_.events()) {
    EXPECT_NE(e.rfind("reissue?", 0), 0u) << "no question for a retry";
  }
}

const FailedUnitRow kFailedUnitRows[] = {
    // The write went out, the read-back failed: the adapter holds the
    // address. Retried on it, it gets the same one...
    {"ReadBackFailedRetried", false,
     [](SimulatedAdapter& a) { a.FailEveryRequest(IOCTL_READ_REGISTER); },
     Outcome::kVerifyFailed, UnitState::kFailed, false, "000000000001",
     UnitState::kFailed},
    // ... and a blank adapter in its place gets the next one.
    {"ReadBackFailedSwapped", false,
     [](SimulatedAdapter& a) { a.FailEveryRequest(IOCTL_READ_REGISTER); },
     Outcome::kVerifyFailed, UnitState::kFailed, true, "000000000002",
     UnitState::kInterrupted},
    {"StuckCellRetried", false,
     [](SimulatedAdapter& a) { a.set_eeprom_cell_stuck(0x20); },
     Outcome::kVerifyFailed, UnitState::kFailed, false, "000000000001",
     UnitState::kFailed},
    // The driver refused the write: nothing proves the adapter holds the
    // address, so even the same adapter gets the next one.
    {"WriteRefused", false,
     [](SimulatedAdapter& a) { a.FailEveryRequest(IOCTL_WRITE_EEPROM); },
     Outcome::kWriteFailed, UnitState::kFailed, false, "000000000002",
     UnitState::kInterrupted},
    // An eFuse unit that failed after its first burn never gives its
    // address again.
    {"EfuseFailed", true,
     [](SimulatedAdapter& a) { a.set_weak_efuse_bits(0x05, 0x02, 100); },
     Outcome::kVerifyFailed, UnitState::kFailed, true, "000000000002",
     UnitState::kInterrupted},
    // The control device never opened for the write: nothing reached an
    // adapter, and the address is free again.
    {"NothingReachedTheAdapter", false, nullptr, Outcome::kDeviceAbsent,
     UnitState::kReleased, false, "000000000001", UnitState::kReleased},
};

INSTANTIATE_TEST_SUITE_P(Rows, FailedUnitAddress,
                         ::testing::ValuesIn(kFailedUnitRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// A settings file set back by hand, or restored from an old copy, would
// give an address again: the ledger refuses it, and a rework must be asked
// for.
TEST_F(LedgerOpsTest, AnAddressGivenBeforeIsRefusedUnlessAReworkIsConfirmed) {
  ASSERT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  st().settings.CurrentMac = "000000000001";
  panel_.clear();
  const std::string eeprom_before = Read("EEPROM.dat");

  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kMacAlreadyUsed);
  const auto& events = panel_.events();
  const auto asked =
      std::find_if(events.begin(), events.end(), [](const std::string& e) {
        return e.rfind("reissue?", 0) == 0;
      });
  ASSERT_NE(asked, events.end());
  const std::string question = *asked;
  EXPECT_NE(question.find("000000000001"), std::string::npos) << question;
  EXPECT_NE(question.find("Line 1"), std::string::npos) << question;
  EXPECT_EQ(Units().size(), 1u);
  EXPECT_EQ(Read("EEPROM.dat"), eeprom_before);

  panel_.set_allow_reissue(true);
  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  EXPECT_EQ(Units().size(), 2u);
}

// A scanner's next Enter would answer a question: a scanned address the
// ledger holds is refused at once, in the output box, with no question.
TEST_F(LedgerOpsTest, AScannedAddressGivenBeforeIsRefusedWithoutAQuestion) {
  ASSERT_EQ(RunSingleUnit(Context()), Outcome::kOk);
  st().settings.CurrentMac = "000000000001";
  panel_.clear();
  panel_.set_allow_reissue(true);  // a question would be answered OK
  OpsContext scanned = Context();
  scanned.scanned = true;

  EXPECT_EQ(RunSingleUnit(scanned), Outcome::kMacAlreadyUsed);
  for (const std::string& e : panel_.events()) {
    EXPECT_NE(e.rfind("reissue?", 0), 0u) << "no question was asked";
  }
  EXPECT_EQ(panel_.picture(), ResultPicture::kFail);
  EXPECT_NE(panel_.OutputText().find("MAC address 000000000001 was given to "
                                     "a unit before: programmed on"),
            std::string::npos)
      << panel_.OutputText();
  EXPECT_EQ(panel_.verdict(), "FAIL 000000000001");
  EXPECT_EQ(Units().size(), 1u);
}

// Whatever changes the image or the MAC address while an eFuse unit waits
// between its writes (a race with the window), the next write never goes
// out: the unit stops, and its address is set aside for good.
struct ChangedUnderTheUnit {
  const char* name;
  void (*change)(Station&);
};

class ImageChangedMidUnit
    : public LedgerOpsTest,
      public ::testing::WithParamInterface<ChangedUnderTheUnit> {};

TEST_P(ImageChangedMidUnit, StopsBeforeTheNextWriteAndSetsTheAddressAside) {
  SelectEfuse(kChipAEfuse);
  st().settings.CurrentMac = "00E04C000010";
  st().settings.MaximumMac = "00E04C0000FF";
  adapter_.set_weak_efuse_bits(0, 0x0F, 3);  // two rewrites are needed
  clock_.during_sleep = [this](int) { GetParam().change(st()); };

  EXPECT_EQ(RunSingleUnit(Context()), Outcome::kVerifyFailed);

  const auto units = Units();
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].mac, "00E04C000010");
  EXPECT_EQ(units[0].state, UnitState::kInterrupted);
  int efuse_writes = 0;
  for (const SimRequest& r : adapter_.log()) {
    efuse_writes += r.code == IOCTL_WRITE_EFUSE;
  }
  EXPECT_EQ(efuse_writes, 1) << "no write after the change";
  EXPECT_EQ(adapter_.efuse()[5], 0x10);
  const std::string said = ::testing::PrintToString(panel_.messages());
  EXPECT_NE(said.find("00E04C000010 is set aside"), std::string::npos) << said;
  EXPECT_EQ(panel_.picture(), ResultPicture::kFail);
  EXPECT_EQ(panel_.verdict(), "FAIL 00E04C000010");
  EXPECT_FALSE(Exists("Serial-MAC.log"));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ImageChangedMidUnit,
    ::testing::Values(
        ChangedUnderTheUnit{"ImageBytes",
                            [](Station& s) { ImageArea(s.prev)[5] = 0xAA; }},
        ChangedUnderTheUnit{"MacText",
                            [](Station& s) {
                              s.settings.CurrentMac = "00E04C000AAA";
                            }}),
    [](const auto& info) { return std::string(info.param.name); });

struct CrashRow {
  const char* name;
  // What was left behind: the unit's record and whether the settings file
  // took the stepped counters.
  bool programmed;
  bool settings_saved;
  // The settings file set back by hand after all that (a rework), or null.
  const char* set_back_to;
  const char* mac_after_reopen;
  const char* said;  // words the operator is told at reopening
};

class ReopenAfterCrash : public LedgerOpsTest,
                         public ::testing::WithParamInterface<CrashRow> {};

// The state a crash leaves is made by hand here; the crash tests of srom-cli
// end a real process at every step.
TEST_P(ReopenAfterCrash, NeverGivesTheAddressAgain) {
  const CrashRow& row = GetParam();
  SaveSettingsAt("000000000005");
  UnitDraft draft{"000000000005", "00000000000001",     kChipAEeprom, "d",
                  "Line 1",       "2026-12-10 05:00:00"};
  const auto id = ledger_->Reserve(draft);
  ASSERT_TRUE(id.ok()) << id.error;
  if (row.programmed) {
    ASSERT_TRUE(ledger_->MarkProgrammed(*id.value, "2026-12-10 05:00:01").ok());
  }
  if (row.settings_saved) {
    SaveSettingsAt("000000000006");
    ASSERT_TRUE(ledger_->MarkSettingsSaved(*id.value).ok());
  }
  if (row.set_back_to != nullptr) SaveSettingsAt(row.set_back_to);
  ledger_.reset();

  Station reopened;
  RecordingPanel panel(reopened);
  Outcome refusal = Outcome::kOk;
  const LedgerOpener opener = [](const LedgerPlace& place)
      -> LedgerResult<std::unique_ptr<Ledger>> {
    auto opened =
        SqliteLedger::Open(place.folder / std::string(kLedgerFileName));
    if (!opened.ok()) return opened.status();
    return std::unique_ptr<Ledger>(std::move(*opened.value));
  };
  auto session = StationSession::Open(folder_.path(), reopened, panel, clock_,
                                      opener, refusal);
  ASSERT_TRUE(session) << ::testing::PrintToString(panel.messages());

  EXPECT_EQ(reopened.settings.CurrentMac, row.mac_after_reopen);
  const std::string said = ::testing::PrintToString(panel.messages());
  if (row.said[0] != '\0') {
    EXPECT_NE(said.find(row.said), std::string::npos) << said;
  } else {
    EXPECT_TRUE(panel.messages().empty()) << said;
  }
  // What the station now holds is also what a later start reads.
  EXPECT_NE(Read("EEPROM.dat").find(row.mac_after_reopen), std::string::npos);
}

const CrashRow kCrashRows[] = {
    // Killed after the reservation, before or during the write: the adapter
    // may hold the address.
    {"ReservedOnly", false, false, nullptr, "000000000006", "set aside"},
    // Killed after the unit was recorded, before its settings were saved.
    {"ProgrammedNotSaved", true, false, nullptr, "000000000006",
     "brought up to date"},
    // Nothing was lost.
    {"ProgrammedAndSaved", true, true, nullptr, "000000000006", ""},
    // The operator set the counter back after a saved unit, for a rework:
    // that is asked for when the unit is programmed, never undone here.
    {"ReworkAfterASavedUnit", true, true, "000000000003", "000000000003", ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, ReopenAfterCrash,
                         ::testing::ValuesIn(kCrashRows), [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace srom::test
