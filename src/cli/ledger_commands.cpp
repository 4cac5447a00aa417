#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/ledger_report.h"
#include "files/file_io.h"
#include "ledger/ledger_rules.h"
#include "ledger/units_csv.h"
#include "ops/unit_ledger.h"
#include "ports/safe_replace.h"

namespace srom::cli {

namespace fs = std::filesystem;

void AddLedgerOptions(CLI::App& command, Options& o) {
  command.add_option("--csv", o.csv_file, "Write them to this CSV file");
  command
      .add_option("--by", o.by,
                  "Count the units per station, per pool or per hour")
      ->check(CLI::IsMember({"station", "pool", "hour"}));
  command.add_flag("--interrupted", o.interrupted,
                   "List only the units that were interrupted while being "
                   "written");
  command.add_flag("--check", o.check_log,
                   "Check them against Serial-MAC.log: every programmed unit "
                   "is logged, once, and no unit that did not pass is "
                   "(exit 15 when not)");
}

void AddPoolOptions(CLI::App& command, Options& o) {
  command.require_subcommand(1);
  auto* create = command.add_subcommand(
      "create", "A new pool of MAC addresses for the stations of the line");
  create->add_option("name", o.pool_name, "The pool's name")->required();
  create->add_option("--first", o.pool_first, "Its first MAC address")
      ->required();
  create->add_option("--last", o.pool_last, "Its last MAC address")
      ->required();
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
  if (ledger == nullptr) {
    run.Say("This build keeps no production ledger.");
    return ExitCode::kFailed;
  }
  const auto units = ledger->Units();
  if (!units.ok()) {
    run.Say(units.error);
    return ExitCodeOf(LedgerOutcome(units.fault));
  }
  const Options& o = run.options();
  if (!o.csv_file.empty()) {
    if (IsStationFile(run.folder(), o.csv_file)) {
      run.Say("\"" + o.csv_file +
              "\" is one of the station's own files; the units are written "
              "to another file.");
      return ExitCode::kUsage;
    }
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
    if (!ledger->LineWide() || unit.station == run.station().name) {
      own.push_back(unit);
    }
  }
  // No log yet: every programmed unit is missing from it. A pipe or a
  // folder under its name is refused, never waited on.
  const fs::path log = run.station().folders.program_folder / "Serial-MAC.log";
  std::optional<std::string> logged = std::string();
  if (MayExist(log)) logged = ReadRegularFile(log);
  if (!logged) {
    run.Say("Serial-MAC.log in " + QuotedPath(log.parent_path()) +
            " cannot be read, so the units cannot be checked against it.");
    return ExitCode::kFileRejected;
  }
  const LogCheck check = CheckAgainstLog(own, *logged);
  for (const std::string& line : check.findings) run.Say(line);
  return check.consistent ? ExitCode::kOk : ExitCode::kCheckFailed;
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
      for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
  for (const PoolState& p : *pools.value) width = std::max(width, p.name.size());
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
    const bool used_up =
        ledger_rules::MacValue(p.next) > ledger_rules::MacValue(p.last);
    run.out() << row(p.name, p.first, p.last, std::to_string(p.increment),
                     used_up ? "used up" : p.next);
  }
  return ExitCode::kOk;
}

}  // namespace srom::cli
