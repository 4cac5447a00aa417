#include "ops/station_session.h"

#include <system_error>

#include "files/file_io.h"
#include "ops/startup.h"
#include "ops/unit_ledger.h"
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
                                bool had_settings, Outcome& refusal) {
  std::error_code ignored;
  station.name = fs::absolute(folder, ignored).lexically_normal().string();
  if (!open_ledger) return true;
  auto opened = open_ledger(folder);
  if (!opened.ok()) {
    reporter.ShowMessage(opened.error);
    refusal = Outcome::kFileRejected;
    return false;
  }
  ledger_ = std::move(*opened.value);
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
  if (!ReconcileWithLedger(station, *ledger_, clock, reporter)) {
    refusal = Outcome::kFileRejected;
    return false;
  }
  return true;
}

std::optional<StationSession> StationSession::Open(
    const fs::path& folder, Station& station, Reporter& reporter, Clock& clock,
    const LedgerOpener& open_ledger, Outcome& refusal) {
  auto session = Lock(folder, reporter, refusal);
  if (!session) return std::nullopt;
  const bool had_settings = MayExist(folder / "EEPROM.dat");
  if (!OpenStation(folder, station, reporter)) {
    refusal = Outcome::kFileRejected;
    return std::nullopt;
  }
  if (!session->OpenLedger(folder, station, reporter, clock, open_ledger,
                           had_settings, refusal)) {
    return std::nullopt;
  }
  return session;
}

}  // namespace srom
