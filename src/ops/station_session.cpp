#include "ops/station_session.h"

#include <system_error>

#include "files/file_io.h"
#include "ops/ledger_outbox.h"
#include "ops/startup.h"
#include "ops/unit_ledger.h"
#include "ports/host_name.h"
#include "ports/safe_replace.h"

namespace srom {
namespace fs = std::filesystem;

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
  std::error_code ignored;
  const std::string path =
      fs::absolute(folder, ignored).lexically_normal().string();
  // On the line's server the folder alone could name two stations alike.
  station.name = !config.station.empty()          ? config.station
                 : IsServerLedgerUrl(config.ledger) ? HostName() + ":" + path
                                                    : path;
  station.pool = config.pool;
  if (!open_ledger) return true;
  auto opened = open_ledger(LedgerPlace{folder, config.ledger, station.name});
  if (!opened.ok()) {
    reporter.ShowMessage(opened.error);
    refusal = LedgerOutcome(opened.fault);
    return false;
  }
  ledger_ = std::move(*opened.value);
  // Closes kept while the server was away go before the units left
  // reserved are set aside. The station's pool is not looked at here: it is
  // read at every unit, and "pool create" may be about to make it.
  SendOutbox(folder, *ledger_, reporter);
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
