// A station folder opened for one program's run: locked against every other
// program for as long as the session lives, cleared of what an earlier crash
// left behind, its settings loaded, its production ledger opened and brought
// into step. The window holds one while it is open; srom-cli for one command.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "ledger/ledger.h"
#include "ops/outcome.h"
#include "ops/station.h"
#include "ports/clock.h"
#include "ports/reporter.h"
#include "ports/station_lock.h"

namespace srom {

// Opens the production ledger of a station folder.
using LedgerOpener = std::function<LedgerResult<std::unique_ptr<Ledger>>(
    const std::filesystem::path& folder)>;

class StationSession {
 public:
  // Opens `folder` as the station `station` works on (program and working
  // folder alike). Nothing, after the messages, when the station cannot be
  // used; `refusal` then says why (kStationBusy: another program has it).
  // A null `open_ledger` keeps no ledger.
  static std::optional<StationSession> Open(const std::filesystem::path& folder,
                                            Station& station,
                                            Reporter& reporter, Clock& clock,
                                            const LedgerOpener& open_ledger,
                                            Outcome& refusal);

  // The station's ledger; null when none is kept.
  Ledger* ledger() const { return ledger_.get(); }

 private:
  StationSession(StationLock lock, std::unique_ptr<Ledger> ledger)
      : lock_(std::move(lock)), ledger_(std::move(ledger)) {}

  StationLock lock_;
  std::unique_ptr<Ledger> ledger_;
};

}  // namespace srom
