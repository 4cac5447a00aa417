#include "ops/ledger_rebuild.h"

#include <cstdint>
#include <map>
#include <vector>

#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/logs.h"
#include "ledger/ledger_rules.h"
#include "model/hex_text.h"
#include "ops/unit_ledger.h"
#include "ports/file_kind.h"
#include "ports/system_error_text.h"

namespace srom {
namespace fs = std::filesystem;

namespace {

fs::path LogOf(const fs::path& folder) {
  return folder / std::string(station_file::kSerialMacLog);
}

std::string UnitsText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " unit" : " units");
}

// The initial settings' current MAC address, where a new station's counter
// starts.
const std::string& InitialMac() {
  static const std::string mac = SromSettings{}.CurrentMac;
  return mac;
}

bool MacMovedOn(const SromSettings& settings) {
  return HasHexDigits(settings.CurrentMac, kMacDigits) &&
         HexTextValue(settings.CurrentMac, kMacDigits) >
             HexTextValue(InitialMac(), kMacDigits);
}

std::string StateText(LedgerFileState state) {
  switch (state) {
    case LedgerFileState::kMissing:
      return "is missing";
    case LedgerFileState::kEmpty:
      return "is empty (0 bytes)";
    case LedgerFileState::kPresent:
      break;
  }
  return "holds no unit";
}

}  // namespace

LedgerFileState LedgerFileStateOf(const fs::path& ledger_file) {
  const FileKind kind = EntryKindOf(ledger_file);
  if (kind == FileKind::kMissing) return LedgerFileState::kMissing;
  std::error_code error;
  if (kind == FileKind::kRegular && fs::file_size(ledger_file, error) == 0 &&
      !error) {
    return LedgerFileState::kEmpty;
  }
  return LedgerFileState::kPresent;
}

std::optional<std::string> LedgerGap(const fs::path& folder,
                                     const Station& station,
                                     LedgerFileState file_state,
                                     bool opened_before,
                                     bool ledger_holds_units) {
  if (ledger_holds_units) return std::nullopt;
  std::vector<std::string> shown;
  const fs::path log = LogOf(folder);
  if (MayExist(log)) {
    std::string why;
    const auto text = ReadRegularFile(log, kLogReadCap, &why);
    if (!text) {
      shown.push_back(
          "Serial-MAC.log, which may list units, cannot be "
          "read: " +
          why);
    } else if (const std::size_t units = LoggedUnits(*text).size(); units > 0) {
      shown.push_back("Serial-MAC.log lists " + UnitsText(units));
    }
  }
  if (file_state != LedgerFileState::kPresent && opened_before &&
      MacMovedOn(station.settings)) {
    shown.push_back("EEPROM.dat's current MAC address " +
                    station.settings.CurrentMac +
                    " lies past the initial one, " + InitialMac() +
                    ", so units were programmed");
  }
  if (shown.empty()) return std::nullopt;
  std::string evidence = shown[0];
  if (shown.size() > 1) evidence += ", and " + shown[1];
  return "The production ledger " + std::string(station_file::kLedger) +
         " in " + QuotedPath(folder) + " " + StateText(file_state) + ", but " +
         evidence +
         ". A ledger started afresh would not know the MAC addresses given "
         "before, so no unit is programmed here until it is rebuilt: with "
         "srom-tool closed, run \"" +
         kRebuildLedgerCommand +
         "\" in this station folder. It enters every unit of Serial-MAC.log "
         "into the ledger (with no log, it starts the ledger empty). If the "
         "ledger file was moved away, put it back instead.";
}

std::string LedgerGapRefusal() {
  return std::string(
             "The unit was not written: the production ledger lost its "
             "units, and no unit is programmed until it is rebuilt with \"") +
         kRebuildLedgerCommand +
         "\" in this station folder (with srom-tool closed).";
}

RebuildResult RebuildLedgerFromLog(Station& st, Ledger& ledger,
                                   Reporter& reporter) {
  RebuildResult result;
  const fs::path folder = st.folders.program_folder;
  const auto failed = [&result, &reporter](Outcome outcome,
                                           const std::string& message) {
    reporter.ShowMessage(message);
    result.outcome = outcome;
    return result;
  };
  const auto held = ledger.Units();
  if (!held.ok()) return failed(LedgerOutcome(held.fault), held.error);
  if (!held.value->empty()) {
    result.refused_not_empty = true;
    return failed(Outcome::kFailed,
                  "The production ledger in " + QuotedPath(folder) + " holds " +
                      UnitsText(held.value->size()) +
                      " already; only a ledger without units is rebuilt from "
                      "Serial-MAC.log. Nothing was changed.");
  }

  const fs::path log = LogOf(folder);
  std::vector<LoggedUnit> logged;
  if (MayExist(log)) {
    std::string why;
    const auto text = ReadRegularFile(log, kLogReadCap, &why);
    if (!text) {
      return failed(Outcome::kFileRejected,
                    ReadFailureText(log, why) + " Nothing was entered.");
    }
    logged = LoggedUnits(*text);
  }

  // Every line is checked before the first is entered, so that a log with a
  // damaged line leaves the ledger as empty as it was.
  std::vector<UnitDraft> drafts;
  std::map<std::string, int> seen;
  for (const LoggedUnit& unit : logged) {
    UnitDraft draft;
    draft.mac = unit.mac;
    draft.serial = unit.serial;
    draft.device_sel = unit.device_sel;
    draft.station = st.name;
    draft.time = unit.time;
    // A MAC address logged again was a rework of its unit.
    draft.reissue = seen[unit.mac]++ > 0;
    std::optional<std::string> fault;
    if (unit.device_sel < 0) {
      fault = "its device column names none of the four selections";
    } else if (auto rule = ledger_rules::DraftFault(draft)) {
      fault = "the ledger refuses " + *rule;
    }
    if (fault) {
      return failed(
          Outcome::kFileRejected,
          "Line " + std::to_string(unit.line) + " of Serial-MAC.log in " +
              QuotedPath(folder) +
              " cannot be entered into the production ledger: " + *fault +
              ". Correct or remove the line, then rebuild again; "
              "nothing was entered.");
    }
    drafts.push_back(std::move(draft));
  }

  const UnitRecord* highest = nullptr;
  std::vector<UnitRecord> entered;
  entered.reserve(drafts.size());
  for (const UnitDraft& draft : drafts) {
    const auto id = ledger.Reserve(draft);
    LedgerStatus closed = id.status();
    if (id.ok()) closed = ledger.MarkProgrammed(*id.value, draft.time);
    if (!closed.ok()) {
      return failed(LedgerOutcome(closed.fault),
                    "The production ledger could not take unit " +
                        std::to_string(result.entered + 1) +
                        " of Serial-MAC.log (MAC "
                        "address " +
                        draft.mac + "): " + closed.error + "\r\n" +
                        UnitsText(static_cast<std::size_t>(result.entered)) +
                        " were entered. Remove " +
                        std::string(station_file::kLedger) +
                        " and rebuild again once the cause is put right.");
    }
    ++result.entered;
    UnitRecord record;
    record.id = *id.value;
    record.mac = draft.mac;
    record.serial = draft.serial;
    record.device_sel = draft.device_sel;
    entered.push_back(std::move(record));
  }
  for (const UnitRecord& unit : entered) {
    if (highest == nullptr || MacValue(unit.mac) > MacValue(highest->mac)) {
      highest = &unit;
    }
  }

  // The counters move past every address the log gave, as the start-up
  // catch-up moves them past a unit whose save was lost.
  if (highest != nullptr &&
      (!HasHexDigits(st.settings.CurrentMac, kMacDigits) ||
       MacValue(st.settings.CurrentMac) <= MacValue(highest->mac))) {
    StepPastUnit(st, *highest);
    if (!SaveEepromDat(st.folders, st.settings, st.accepted, reporter)) {
      return failed(Outcome::kFileRejected,
                    UnitsText(static_cast<std::size_t>(result.entered)) +
                        " were entered into the production ledger, but "
                        "EEPROM.dat cannot be brought past them: the next "
                        "start catches its counters up.");
    }
  }
  // The settings stand past the latest unit now: the next start leaves them.
  if (!entered.empty()) {
    (void)ledger.MarkSettingsSaved(entered.back().id);
  }
  st.ledger_gap.clear();
  reporter.ShowMessage(
      entered.empty()
          ? "Serial-MAC.log lists no unit: the production ledger starts "
            "empty, and the next MAC address is " +
                st.settings.CurrentMac + "."
          : UnitsText(entered.size()) +
                " of Serial-MAC.log were entered into the production "
                "ledger as programmed; the next MAC address is " +
                st.settings.CurrentMac + ".");
  return result;
}

}  // namespace srom
