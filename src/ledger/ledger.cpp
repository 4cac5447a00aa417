#include "ledger/ledger.h"

namespace srom {
LedgerStatus NoLinePools() {
  return LedgerStatus::Failed(
      LedgerFault::kRejected,
      "This station's own production ledger keeps no line pools: point the "
      "station at the line's ledger server (\"ledger=\" in station.ini, or "
      "--ledger).");
}

LedgerResult<PoolState> Ledger::Pool(const std::string&) {
  return NoLinePools();
}

LedgerResult<std::vector<PoolState>> Ledger::Pools() { return NoLinePools(); }

LedgerStatus Ledger::CreatePool(const PoolState&) { return NoLinePools(); }

LedgerResult<LedgerHealth> Ledger::Health() { return NoStandbys(); }

LedgerStatus NoStandbys() {
  return LedgerStatus::Failed(
      LedgerFault::kRejected,
      "This station keeps its own production ledger file, on this computer "
      "alone: only the line's ledger server has a standby to look at.");
}

LedgerResult<std::optional<UnitRecord>> Ledger::Unit(std::int64_t id) {
  auto units = Units();
  if (!units.ok()) return units.status();
  for (UnitRecord& unit : *units.value) {
    if (unit.id == id) return std::optional<UnitRecord>(std::move(unit));
  }
  return std::optional<UnitRecord>();
}

}  // namespace srom
