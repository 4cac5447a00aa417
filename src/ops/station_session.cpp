#include "ops/station_session.h"

#include <system_error>

#include "files/file_io.h"
#include "ops/ledger_outbox.h"
#include "ops/startup.h"
#include "ops/unit_ledger.h"
#include "ports/host_name.h"
#include "ports/safe_replace.h"

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

std::optional<StationSession> StationSession::Lock(const fs::path& folder,
                                                   Reporter& reporter,
                                                   Outcome& refusal) {
  std::string error;
  bool held_elsewhere = false;
  auto lock = StationLock::Acquire(folder, &error, &held_elsewhere);
  if (!lock) {
    reporter.ShowMessage(error);
    refusal = held_elsewhere ? Outcome::kStationBusy : Outcome::kFileRejected;
    return std::nullopt;
  }
  // Under the lock no other program is midway through a save here: every
  // temporary file left is an earlier crash's.
  RemoveStaleTempFiles(folder);
  return StationSession(std::move(*lock));
}

bool StationSession::OpenLedger(const fs::path& folder, Station& station,
                                Reporter& reporter, Clock& clock,
                                const LedgerOpener& open_ledger,
                                bool had_settings, Outcome& refusal,
                                const StationConfig& overrides) {
  std::string error;
  const auto loaded = LoadStationConfig(folder, &error);
  if (!loaded) {
    reporter.ShowMessage(error);
    refusal = Outcome::kFileRejected;
    return false;
  }
  const StationConfig config = Overridden(*loaded, overrides);
  station.name = !config.station.empty()
                     ? config.station
                     : DefaultStationName(folder,
                                          IsServerLedgerUrl(config.ledger));
  station.pool = config.pool;
  if (!open_ledger) return true;
  LedgerPlace place{folder, config.ledger, station.name};
  place.computer = HostName();
  auto opened = open_ledger(place);
  if (!opened.ok()) {
    reporter.ShowMessage(opened.error);
    refusal = LedgerOutcome(opened.fault);
    return false;
  }
  ledger_ = std::move(*opened.value);
  // Closes kept while the server was away go before the units left
  // reserved are set aside. The station's pool is not looked at here: it is
  // read at every unit, and "pool create" may be about to make it. A server
  // away is said by the catch-up below.
  if (const LedgerStatus sent = SendOutbox(station, *ledger_, reporter);
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
    const StationConfig& overrides) {
  auto session = Lock(folder, reporter, refusal);
  if (!session) return std::nullopt;
  const bool had_settings = MayExist(folder / "EEPROM.dat");
  if (!OpenStation(folder, station, reporter)) {
    refusal = Outcome::kFileRejected;
    return std::nullopt;
  }
  if (!session->OpenLedger(folder, station, reporter, clock, open_ledger,
                           had_settings, refusal, overrides)) {
    return std::nullopt;
  }
  return session;
}

}  // namespace srom
