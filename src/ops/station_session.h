// A station folder opened for one program's run: locked against every other
// program for as long as the session lives, cleared of what an earlier crash
// left behind, its settings loaded, its production ledger opened and brought
// into step. The window holds one while it is open; srom-cli for one command.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "files/station_config.h"
#include "ledger/ledger.h"
#include "ledger/ledger_place.h"
#include "ops/outcome.h"
#include "ops/station.h"
#include "ports/clock.h"
#include "ports/reporter.h"
#include "ports/station_lock.h"

namespace srom {

// The station folder as the station's default name has it: the folder the
// system resolves `folder` to (relative to the current folder, through
// links, without a separator at its end; case-folded on Windows), so that
// every spelling of one folder names one station.
std::string StationFolderName(const std::filesystem::path& folder);

// The name a station goes by when its settings give none: its folder, and
// on the line's server (`line_server`) this computer's name before it,
// "<computer>:<folder>".
std::string DefaultStationName(const std::filesystem::path& folder,
                               bool line_server);

// Opens the production ledger of a station where its settings say it is.
using LedgerOpener =
    std::function<LedgerResult<std::unique_ptr<Ledger>>(const LedgerPlace&)>;

// What opening does with a station whose own ledger lost its units while its
// log or settings show some (LedgerGap): say so and let no unit be
// programmed, or open the ledger as it is, for its rebuild from the log.
enum class LostLedger { kRefuseUnits, kOpenForRebuild };

// When the station catches up with its ledger (sends the closes its outbox
// kept, sets aside the units left reserved): at opening, so that the window
// shows a server away as it starts; or at the first unit, for a command that
// programs one at once and would otherwise try, and say, the same twice.
enum class LedgerCatchUp { kAtOpening, kAtFirstUnit };

class StationSession {
 public:
  // Opens `folder` as the station `station` works on (program and working
  // folder alike): Lock, the settings loaded, then OpenLedger. Nothing, after
  // the messages, when the station cannot be used; `refusal` then says why
  // (kStationBusy: another program has it). A null `open_ledger` keeps no
  // ledger.
  // `overrides` puts a command line's ledger, station name and pool over
  // station.ini's.
  static std::optional<StationSession> Open(
      const std::filesystem::path& folder, Station& station, Reporter& reporter,
      Clock& clock, const LedgerOpener& open_ledger, Outcome& refusal,
      const StationConfig& overrides = {},
      LostLedger lost_ledger = LostLedger::kRefuseUnits,
      LedgerCatchUp catch_up = LedgerCatchUp::kAtOpening);

  // The first step of opening, before anything in `folder` is written: the
  // station is locked against every other program and cleared of the
  // temporary files that writers which have ended left. Nothing, after the
  // message, when it cannot be locked, or when one of the station's files
  // (StationFileNames) is a symbolic link: the station would read or write
  // another file through it.
  static std::optional<StationSession> Lock(const std::filesystem::path& folder,
                                            Reporter& reporter,
                                            Outcome& refusal);

  // The last step, once the station's settings are loaded: reads
  // station.ini, names the station, opens its ledger (on the line's server
  // the station holds its name from here on: another live station under it
  // refuses this one, kStationBusy), sends the closes its outbox kept and
  // brings the settings into step with the ledger. `had_settings` says
  // whether EEPROM.dat was there before this start. False, after the
  // message, when the station cannot be used (kLedgerRejected: the server
  // refuses the ledger's settings).
  // The station's own ledger file, missing or empty, is not created while
  // the station shows units it does not hold (LedgerGap): the station opens
  // without a ledger, says so, and station.ledger_gap refuses every unit; an
  // opened ledger that holds no unit while the log lists some does the same.
  bool OpenLedger(const std::filesystem::path& folder, Station& station,
                  Reporter& reporter, Clock& clock,
                  const LedgerOpener& open_ledger, bool had_settings,
                  Outcome& refusal, const StationConfig& overrides = {},
                  LostLedger lost_ledger = LostLedger::kRefuseUnits,
                  LedgerCatchUp catch_up = LedgerCatchUp::kAtOpening);

  // The station's ledger; null when none is kept.
  Ledger* ledger() const { return ledger_.get(); }

 private:
  StationSession(StationLock lock, bool opened_before)
      : lock_(std::move(lock)), opened_before_(opened_before) {}

  StationLock lock_;
  // station.lock was there before this opening: the station has been opened
  // before, and every opening leaves its own ledger file behind.
  bool opened_before_ = false;
  std::unique_ptr<Ledger> ledger_;
};

}  // namespace srom
