#include "ops/station_session.h"

#include <system_error>
#include <vector>

#include "files/file_io.h"
#include "ops/ledger_outbox.h"
#include "ops/ledger_rebuild.h"
#include "ops/startup.h"
#include "ops/unit_ledger.h"
#include "ports/file_kind.h"
#include "ports/host_name.h"
#include "ports/system_error_text.h"
#include "ports/temp_names.h"

// Last, so that its macros reach no header of ours.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace srom {
namespace fs = std::filesystem;

std::string StationFolderName(const fs::path& folder) {
  std::error_code error;
  fs::path path = fs::absolute(folder, error);
  if (!error) path = fs::weakly_canonical(path, error);
  if (error || path.empty()) path = folder.lexically_normal();
  // "P/" and "P" are one folder.
  while (path.has_relative_path() && path.filename().empty()) {
    path = path.parent_path();
  }
#ifdef _WIN32
  // "C:\Line\S3" and "c:\line\s3" are one folder too.
  std::wstring text = path.wstring();
  if (!text.empty()) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  }
  path = fs::path(text);
#endif
  return path.string();
}

std::string DefaultStationName(const fs::path& folder, bool line_server) {
  const std::string path = StationFolderName(folder);
  // On the line's server the folder alone could name two stations alike.
  return line_server ? HostName() + ":" + path : path;
}

// The outbox's name is the station's file list's own.
static_assert(kLedgerOutboxFileName == station_file::kLedgerOutbox);

namespace {

// Whether `ledger` holds any unit: the latest one programmed or set aside,
// else any row at all (a ledger of released units only is no empty one). A
// ledger that cannot be read counts as holding units; its fault shows at
// the next call.
bool HoldsUnits(Ledger& ledger) {
  const auto latest = ledger.LatestUsed();
  if (!latest.ok() || *latest.value) return true;
  const auto units = ledger.Units();
  return !units.ok() || !units.value->empty();
}

// The ledger, its write-ahead log and its shared memory file are SQLite's
// to open; a folder, a pipe or a device under one of their names is refused
// before SQLite meets it.
std::optional<std::string> NotPlainLedgerFile(const fs::path& ledger_file) {
  std::vector<fs::path> files = {ledger_file};
  for (const std::string_view companion : station_file::kLedgerCompanions) {
    fs::path name = ledger_file;
    name += std::string(companion);
    files.push_back(std::move(name));
  }
  for (const fs::path& file : files) {
    const FileKind kind = FileKindOf(file);
    if (kind != FileKind::kFolder && kind != FileKind::kOther) continue;
    const std::u8string name = file.filename().u8string();
    return "The production ledger " + QuotedPath(ledger_file) +
           " cannot be opened: " + std::string(name.begin(), name.end()) +
           (kind == FileKind::kFolder
                ? " is a folder"
                : " is not a plain file (a pipe or a device)") +
           ". Remove it; only SQLite's own files may stand under those "
           "names.";
  }
  return std::nullopt;
}

// A station file that is a symbolic link, named in the refusal: the station
// would read its counter from, or write a unit's line into, whatever the
// link leads to. Nothing when none is.
std::optional<std::string> LinkedStationFile(const fs::path& folder) {
  for (const std::string& name : StationFileNames()) {
    if (EntryKindOf(folder / name) != FileKind::kLink) continue;
    return "The station folder " + QuotedPath(folder) +
           " cannot be used: its \"" + name +
           "\" is a symbolic link. Remove the link; a station's files must be "
           "plain files in its folder, so that no link sends the MAC "
           "counter, a log line or the ledger into another file.";
  }
  return std::nullopt;
}

}  // namespace

std::optional<StationSession> StationSession::Lock(const fs::path& folder,
                                                   Reporter& reporter,
                                                   Outcome& refusal) {
  std::string error;
  bool held_elsewhere = false;
  // The lock file stays between runs: there before this opening, it says
  // that the station was opened before.
  const bool opened_before =
      EntryKindOf(folder / kStationLockFile) == FileKind::kRegular;
  auto lock = StationLock::Acquire(folder, &error, &held_elsewhere);
  if (!lock) {
    reporter.ShowMessage(error);
    refusal = held_elsewhere ? Outcome::kStationBusy : Outcome::kFileRejected;
    return std::nullopt;
  }
  // Only the temporary files of writers that have ended go: a sim command
  // beside a running station saves under the bench's lock alone.
  RemoveStaleTempFiles(folder);
  if (const auto linked = LinkedStationFile(folder)) {
    reporter.ShowMessage(*linked);
    refusal = Outcome::kFileRejected;
    return std::nullopt;
  }
  return StationSession(std::move(*lock), opened_before);
}

bool StationSession::OpenLedger(const fs::path& folder, Station& station,
                                Reporter& reporter, Clock& clock,
                                const LedgerOpener& open_ledger,
                                bool had_settings, Outcome& refusal,
                                const StationConfig& overrides,
                                LostLedger lost_ledger,
                                LedgerCatchUp catch_up) {
  std::string error;
  const auto loaded = LoadStationConfig(folder, &error);
  if (!loaded) {
    reporter.ShowMessage(error);
    refusal = Outcome::kFileRejected;
    return false;
  }
  const StationConfig config = Overridden(*loaded, overrides);
  station.name =
      !config.station.empty()
          ? config.station
          : DefaultStationName(folder, IsServerLedgerUrl(config.ledger));
  station.pool = config.pool;
  station.require_standby = config.require_standby;
  station.ledger_gap.clear();
  if (!open_ledger) return true;
  // Only the station's own file can lose its units unseen; the line's
  // server keeps every station's.
  const bool own_file = IsLocalLedgerUrl(config.ledger) &&
                        lost_ledger == LostLedger::kRefuseUnits;
  const fs::path ledger_file = folder / std::string(station_file::kLedger);
  if (IsLocalLedgerUrl(config.ledger)) {
    if (auto refused = NotPlainLedgerFile(ledger_file)) {
      reporter.ShowMessage(*refused);
      refusal = Outcome::kFileRejected;
      return false;
    }
  }
  const LedgerFileState file_state = LedgerFileStateOf(ledger_file);
  if (own_file && file_state != LedgerFileState::kPresent) {
    // The file is not created: a new empty one would make the next start
    // take it for a new station's.
    if (auto gap =
            LedgerGap(folder, station, file_state, opened_before_, false)) {
      reporter.ShowMessage(*gap);
      station.ledger_gap = std::move(*gap);
      return true;
    }
  }
  LedgerPlace place{folder, config.ledger, station.name};
  place.computer = HostName();
  place.require_standby = config.require_standby;
  auto opened = open_ledger(place);
  if (!opened.ok()) {
    reporter.ShowMessage(opened.error);
    refusal = LedgerOutcome(opened.fault);
    return false;
  }
  ledger_ = std::move(*opened.value);
  if (own_file && file_state == LedgerFileState::kPresent) {
    if (auto gap = LedgerGap(folder, station, file_state, opened_before_,
                             HoldsUnits(*ledger_))) {
      reporter.ShowMessage(*gap);
      station.ledger_gap = std::move(*gap);
      return true;
    }
  }
  const bool now = catch_up == LedgerCatchUp::kAtOpening;
  // A station that requires a standby and finds none (or no server) opens,
  // says so, and catches up before its first unit, when that unit finds one.
  if (const Outcome unprotected =
          now ? CheckStandby(station, *ledger_, reporter) : Outcome::kOk;
      unprotected == Outcome::kLedgerUnprotected ||
      unprotected == Outcome::kLedgerUnreachable) {
    station.ledger_out_of_step = true;
    return true;
  } else if (unprotected != Outcome::kOk) {
    refusal = unprotected;
    ledger_.reset();
    return false;
  }
  // Closes kept while the server was away go before the units left
  // reserved are set aside. The station's pool is not looked at here: it is
  // read at every unit, and "pool create" may be about to make it. A server
  // away is said by the catch-up below.
  if (const LedgerStatus sent =
          now ? SendOutbox(station, *ledger_, reporter) : LedgerStatus{};
      !sent.ok() && sent.fault != LedgerFault::kUnreachable) {
    reporter.ShowMessage(sent.error);
    refusal = LedgerOutcome(sent.fault);
    ledger_.reset();
    return false;
  }
  if (!had_settings) {
    const auto latest = ledger_->LatestUsed();
    if (latest.ok() && *latest.value) {
      reporter.ShowMessage(
          "EEPROM.dat is missing from " + QuotedPath(folder) +
          ", but the production ledger there lists units, the last with "
          "MAC address " +
          (*latest.value)->mac +
          ". The settings start from their initial values; Program "
          "refuses every MAC address the ledger holds. Restore EEPROM.dat "
          "to go on where the station stopped.");
    }
  }
  if (!now) {
    station.ledger_out_of_step = true;
    return true;
  }
  const Outcome reconciled =
      ReconcileWithLedger(station, *ledger_, clock, reporter);
  if (reconciled == Outcome::kLedgerUnreachable) {
    // The station opens, as the message said; it is brought into step with
    // the server before its first unit, and every unit waits until it
    // answers.
    station.ledger_out_of_step = true;
    return true;
  }
  if (reconciled != Outcome::kOk) {
    refusal = reconciled;
    return false;
  }
  return true;
}

std::optional<StationSession> StationSession::Open(
    const fs::path& folder, Station& station, Reporter& reporter, Clock& clock,
    const LedgerOpener& open_ledger, Outcome& refusal,
    const StationConfig& overrides, LostLedger lost_ledger,
    LedgerCatchUp catch_up) {
  auto session = Lock(folder, reporter, refusal);
  if (!session) return std::nullopt;
  const bool had_settings = MayExist(folder / station_file::kSettings);
  if (!OpenStation(folder, station, reporter)) {
    refusal = Outcome::kFileRejected;
    return std::nullopt;
  }
  if (!session->OpenLedger(folder, station, reporter, clock, open_ledger,
                           had_settings, refusal, overrides, lost_ledger,
                           catch_up)) {
    return std::nullopt;
  }
  return session;
}

}  // namespace srom
