#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/ledger_report.h"
#include "files/file_io.h"
#include "ledger/ledger_health.h"
#include "ledger/ledger_rules.h"
#include "ledger/units_csv.h"
#include "ops/ledger_rebuild.h"
#include "ops/unit_ledger.h"
#include "ports/safe_replace.h"
#include "ports/station_files.h"

namespace srom::cli {

namespace fs = std::filesystem;

void AddLedgerOptions(CLI::App& command, Options& o) {
  auto* csv =
      command.add_option("--csv", o.csv_file, "Write them to this CSV file");
  auto* by =
      command
          .add_option("--by", o.by,
                      "Count the units per station, per pool or per hour")
          ->check(CLI::IsMember({"station", "pool", "hour"}));
  auto* interrupted =
      command.add_flag("--interrupted", o.interrupted,
                       "List only the units that were interrupted while being "
                       "written");
  auto* check = command.add_flag(
      "--check", o.check_log,
      "Check them against Serial-MAC.log: every programmed unit is logged, "
      "once, and no unit that did not pass is (exit 15 when not)");
  auto* health =
      command
          .add_flag("--health", o.health,
                    "Show the line's ledger server the station is on, its "
                    "standbys and their lag, and whether a synchronous standby "
                    "acknowledges its commits (exit 16 when none does)")
          ->excludes(check)
          ->excludes(csv)
          ->excludes(by)
          ->excludes(interrupted);
  command
      .add_flag("--rebuild-from-log", o.rebuild_from_log,
                "Enter every unit of Serial-MAC.log into a ledger that holds "
                "none (a lost or emptied ledger file) and move the counters "
                "past them (exit 2 when the ledger holds units)")
      ->excludes(check)
      ->excludes(csv)
      ->excludes(by)
      ->excludes(interrupted)
      ->excludes(health);
}

namespace {

// An empty ledger of the station's own filled from its Serial-MAC.log, or
// refused: 2 when the ledger holds units already or is the line's server.
ExitCode RebuildLedger(Run& run, Ledger& ledger) {
  if (ledger.LineWide()) {
    run.Say(
        "The line's ledger server keeps every station's units; only a "
        "station's own ledger file is rebuilt from its Serial-MAC.log.");
    return ExitCode::kUsage;
  }
  const RebuildResult rebuilt =
      RebuildLedgerFromLog(run.station(), ledger, run.panel());
  if (rebuilt.refused_not_empty) return ExitCode::kUsage;
  return ExitCodeOf(rebuilt.outcome);
}

// The line's server's standbys and whether one acknowledges its commits:
// 0 when a synchronous standby does, 16 when none does.
ExitCode ShowHealth(Run& run, Ledger* ledger) {
  const auto health = ledger != nullptr
                          ? ledger->Health()
                          : LedgerResult<LedgerHealth>(NoStandbys());
  if (!health.ok()) {
    run.Say(health.error);
    return health.fault == LedgerFault::kRejected
               ? ExitCode::kUsage
               : ExitCodeOf(LedgerOutcome(health.fault));
  }
  run.out() << HealthReport(*health.value);
  return UnprotectedReason(*health.value) ? ExitCode::kLedgerUnprotected
                                          : ExitCode::kOk;
}

}  // namespace

void AddPoolOptions(CLI::App& command, Options& o) {
  command.require_subcommand(1);
  auto* create = command.add_subcommand(
      "create", "A new pool of MAC addresses for the stations of the line");
  create->add_option("name", o.pool_name, "The pool's name")->required();
  create->add_option("--first", o.pool_first, "Its first MAC address")
      ->required();
  create->add_option("--last", o.pool_last, "Its last MAC address")->required();
  create
      ->add_option("--increment", o.pool_increment,
                   "The step from one unit's MAC address to the next")
      ->capture_default_str();
  command.add_subcommand("list", "Every pool with its next MAC address");
}

// The ledger's units: listed, counted, exported, checked against
// Serial-MAC.log.
ExitCode LedgerUnits(Run& run) {
  Ledger* ledger = run.ledger();
  // A station whose ledger lost its units opens without one when its file
  // is missing or empty: it holds no unit, and said so at opening.
  const std::string& gap = run.station().ledger_gap;
  if (ledger == nullptr && gap.empty()) {
    run.Say("This build keeps no production ledger.");
    return ExitCode::kFailed;
  }
  const Options& o = run.options();
  if (o.health) return ShowHealth(run, ledger);
  if (o.rebuild_from_log) return RebuildLedger(run, *ledger);
  LedgerResult<std::vector<UnitRecord>> units(std::vector<UnitRecord>{});
  if (ledger != nullptr) units = ledger->Units();
  if (!units.ok()) {
    run.Say(units.error);
    return ExitCodeOf(LedgerOutcome(units.fault));
  }
  if (!o.csv_file.empty()) {
    std::string error;
    if (!ReplaceFileSafely(fs::path(o.csv_file), UnitsCsv(*units.value),
                           &error)) {
      run.Say("The units cannot be written to \"" + o.csv_file +
              "\": " + error + ".");
      return ExitCode::kFileRejected;
    }
  } else if (o.by == "station") {
    run.out() << UnitsPerStation(*units.value);
  } else if (o.by == "pool") {
    run.out() << UnitsPerPool(*units.value);
  } else if (o.by == "hour") {
    run.out() << UnitsPerHour(*units.value);
  } else if (o.interrupted) {
    run.out() << InterruptedUnits(*units.value);
  } else {
    run.out() << UnitsTable(*units.value);
  }
  if (!o.check_log) return ExitCode::kOk;
  // The log is this station's: on the line's ledger only its own units
  // belong in it.
  std::vector<UnitRecord> own;
  for (const UnitRecord& unit : *units.value) {
    if (ledger == nullptr || !ledger->LineWide() ||
        unit.station == run.station().name) {
      own.push_back(unit);
    }
  }
  // No log yet: every programmed unit is missing from it. A pipe, a folder
  // or a log past its cap under its name is refused, never waited on.
  const fs::path log =
      run.station().folders.program_folder / station_file::kSerialMacLog;
  std::optional<std::string> logged = std::string();
  std::string why;
  if (MayExist(log)) logged = ReadRegularFile(log, kLogReadCap, &why);
  if (!logged) {
    run.Say(ReadFailureText(log, why) +
            " The units cannot be checked against it.");
    return ExitCode::kFileRejected;
  }
  const LogCheck check = CheckAgainstLog(own, *logged);
  for (const std::string& line : check.findings) run.Say(line);
  // A ledger that lost its units agrees with no log that lists some.
  return check.consistent && gap.empty() ? ExitCode::kOk
                                         : ExitCode::kCheckFailed;
}

// The line pools on the line's ledger server: made and listed.
ExitCode Pool(Run& run) {
  const std::string& action = run.options().action;
  Ledger* ledger = run.ledger();
  if (ledger == nullptr) {
    run.Say("This build keeps no production ledger.");
    return ExitCode::kFailed;
  }
  const auto failed = [&run](const LedgerStatus& status) {
    run.Say(status.error);
    // A pool the ledger refuses is a wrong command line.
    return status.fault == LedgerFault::kRejected
               ? ExitCode::kUsage
               : ExitCodeOf(LedgerOutcome(status.fault));
  };
  const Options& o = run.options();
  if (action == "create") {
    const auto upper = [](std::string mac) {
      for (char& c : mac)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return mac;
    };
    const PoolState pool{o.pool_name, upper(o.pool_first), upper(o.pool_last),
                         o.pool_increment, upper(o.pool_first)};
    const LedgerStatus created = ledger->CreatePool(pool);
    if (!created.ok()) return failed(created);
    run.out() << "Pool " << pool.name << ": " << pool.first << " to "
              << pool.last << " in steps of " << pool.increment << ".\n";
    return ExitCode::kOk;
  }
  const auto pools = ledger->Pools();
  if (!pools.ok()) return failed(pools.status());
  if (pools.value->empty()) {
    run.out() << "No pool is kept.\n";
    return ExitCode::kOk;
  }
  std::size_t width = 4;
  for (const PoolState& p : *pools.value)
    width = std::max(width, p.name.size());
  const auto row = [width](std::string name, const std::string& first,
                           const std::string& last, const std::string& step,
                           const std::string& next) {
    name.resize(width, ' ');
    std::string step_column = step;
    step_column.resize(9, ' ');
    return name + "  " + first + "  " + last + "  " + step_column + "  " +
           next + "\n";
  };
  run.out() << row("pool", "first       ", "last        ", "increment", "next");
  for (const PoolState& p : *pools.value) {
    const bool used_up = ledger_rules::PoolUsedUp(p);
    run.out() << row(p.name, p.first, p.last, std::to_string(p.increment),
                     used_up ? "used up" : p.next);
  }
  return ExitCode::kOk;
}

}  // namespace srom::cli
