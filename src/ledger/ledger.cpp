#include "ledger/ledger.h"

namespace srom {
namespace {

LedgerStatus NoPools() {
  return LedgerStatus::Failed(
      LedgerFault::kRejected,
      "This station's own production ledger keeps no line pools: point the "
      "station at the line's ledger server (\"ledger=\" in station.ini, or "
      "--ledger).");
}

}  // namespace

LedgerResult<PoolState> Ledger::Pool(const std::string&) { return NoPools(); }

LedgerResult<std::vector<PoolState>> Ledger::Pools() { return NoPools(); }

LedgerStatus Ledger::CreatePool(const PoolState&) { return NoPools(); }

}  // namespace srom
