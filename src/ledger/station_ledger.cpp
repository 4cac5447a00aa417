#include "ledger/station_ledger.h"

#include <utility>

#include "ledger/ledger_address.h"
#include "ledger/sqlite_ledger.h"
#ifdef SROM_HAVE_PG_LEDGER
#include "ledger/pg_ledger.h"
#endif

namespace srom {

LedgerResult<std::unique_ptr<Ledger>> OpenStationLedger(
    const LedgerPlace& place) {
  if (IsLocalLedgerUrl(place.url)) {
    if (place.require_standby) {
      return LedgerStatus::Failed(
          LedgerFault::kSettingsRejected,
          "station.ini asks for a synchronous standby of the line's ledger "
          "server (require_standby=yes), but the station keeps its own "
          "production ledger file, which has none: no unit is programmed. "
          "Point \"ledger=\" at the line's server, or remove "
          "require_standby.");
    }
    auto opened =
        SqliteLedger::Open(place.folder / std::string(kLedgerFileName));
    if (!opened.ok()) return opened.status();
    return std::unique_ptr<Ledger>(std::move(*opened.value));
  }
  if (IsServerLedgerUrl(place.url)) {
#ifdef SROM_HAVE_PG_LEDGER
    PgLedgerOptions options;
    options.hold_station_name = true;
    options.computer = place.computer;
    options.stop_requested = place.stop_requested;
    options.require_standby = place.require_standby;
    auto opened = PgLedger::Open(place.url, place.station, std::move(options));
    if (!opened.ok()) return opened.status();
    return std::unique_ptr<Ledger>(std::move(*opened.value));
#else
    return LedgerStatus::Failed(
        LedgerFault::kStorage,
        "This build of srom-tool has no PostgreSQL client, so it cannot keep "
        "the line's production ledger on a server; no unit is programmed "
        "here.");
#endif
  }
  return LedgerStatus::Failed(
      LedgerFault::kStorage,
      "The production ledger \"" + RedactedLedgerAddress(place.url) +
          "\" is neither \"sqlite\" (the station's own file) nor a "
          "postgresql:// address or libpq connection string of the line's "
          "server.");
}

}  // namespace srom
