// Opens a station's production ledger where its settings say it is kept.
#pragma once

#include <memory>

#include "ledger/ledger.h"
#include "ledger/ledger_place.h"

namespace srom {

// The station's own SQLite file in its folder, or the line's server, where
// the station holds its name for as long as the ledger is open. A server
// address in a build without the PostgreSQL client, or an address of
// neither kind, is refused: a station meant for the line never falls back
// to a ledger of its own.
LedgerResult<std::unique_ptr<Ledger>> OpenStationLedger(
    const LedgerPlace& place);

}  // namespace srom
