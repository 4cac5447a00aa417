#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_panel.h"
#include "cli/device_option.h"
#include "cli/exit_codes.h"
#include "cli/output_guard.h"
#include "cli/station_run.h"
#include "files/station_config.h"
#include "srom_version.h"

namespace srom::cli {
namespace {

// Every command, in the order the help lists them.
using enum Command::StationUse;
constexpr Command kCommands[] = {
    {"image", "Build the image from the settings and print its listing", kOpen,
     AddImageOptions, Image},
    {"program",
     "Program one unit: write, read back, compare, log, step and save",
     kOpenForUnit, AddProgramOptions, Program},
    {"dump", "Read the adapter's memory, keep it and save SROM.dat/EFUSE.dat",
     kOpen, AddDumpOptions, Dump},
    {"scan",
     "List the network adapters as \"Scan\" finds them, and which are in "
     "the loop of --multi",
     kOpen, nullptr, Scan},
    {"auto",
     "Automatic programming: each adapter plugged in is programmed after "
     "the settings' \"Delay time\" countdown, until Ctrl-C",
     kOpen, nullptr, Auto},
    {"erase", "Fill the adapter's EEPROM with 0xFF and dump it", kOpen, nullptr,
     Erase},
    {"load-srom", "Check an SROM file and print the settings it decodes to",
     kOpen, AddLoadSromOptions, LoadSrom},
    {"load-efuse", "Check an EFUSE file and print its listing", kOpen,
     AddLoadEfuseOptions, LoadEfuse},
    {"convert-bin", "Write an SROM text file's bytes to SROM.bin in the folder",
     kOpen, AddConvertBinOptions, ConvertBin},
    {"convert-efuse",
     "Derive the eFuse image from the settings' EEPROM image and write "
     "EFUSE.dat",
     kOpen, AddConvertEfuseOptions, ConvertEfuse},
    {"ledger",
     "List the units of the station's production ledger (or export them)",
     kOpen, AddLedgerOptions, LedgerUnits},
    {"pool", "Make and list the line pools on the line's ledger server", kOpen,
     AddPoolOptions, Pool},
    {"sim",
     "Create, show, plug, unplug and fault the folder's simulated adapters, "
     "and add adapters to its bench",
     kNone, AddSimOptions, Sim},
};

std::string MainHelpFooter() {
  return "\nEvery message goes to the error stream, one per line (line breaks "
         "inside a\nmessage written as \\r and \\n); results go to the "
         "output stream; the last\nline is PASS or FAIL: <class>.\n\n" +
         ExitCodeTable();
}

// Runs the command the command line chose, its station opened first when
// it needs one.
ExitCode RunCommand(const Command& command, const Options& o, std::ostream& out,
                    std::ostream& err) {
  // A file the command line names for an output is judged before the
  // station is opened, which may write files of its own.
  for (const auto& [file, what] :
       {std::pair{o.out_file, "the image"}, std::pair{o.bin_file, "the image"},
        std::pair{o.csv_file, "the units"}}) {
    if (file.empty()) continue;
    if (const auto refused = StationFileOutputRefusal(file, what)) {
      err << OneLine(*refused) << '\n';
      return ExitCode::kUsage;
    }
  }
  Run run(o, out, err);
  if (command.station != Command::StationUse::kNone) {
    const LedgerCatchUp catch_up = command.station == Command::StationUse::kOpen
                                       ? LedgerCatchUp::kAtOpening
                                       : LedgerCatchUp::kAtFirstUnit;
    if (const auto refused = run.Open(catch_up)) return *refused;
  }
  return command.run(run);
}

}  // namespace

int RunSromCli(int argc, const char* const* argv, std::ostream& out,
               std::ostream& err) {
  Options o;
  CLI::App app{
      "srom-cli: the srom-tool operations from a terminal. One folder is one "
      "station:\nits EEPROM.dat gives the settings, every file and log is "
      "written there, and\nso is the simulated adapter that stands in for the "
      "maker's driver.",
      "srom-cli"};
  app.footer(MainHelpFooter());
  app.set_version_flag("--version", std::string("srom-cli ") + kSromVersion,
                       "Print the program's version and exit");
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("-d,--dir", o.dir, "The station's folder")
      ->capture_default_str();
  AddDeviceOption(app, o.device);
  app.add_flag("-y,--yes", o.yes, "Answer OK to the operation's questions");
  app.add_flag("-v,--verbose", o.verbose,
               "Also show the status label and the result picture");
  app.add_option("--ledger", o.station_config.ledger,
                 "The production ledger for this run: sqlite (the station's "
                 "own file) or a postgresql:// address of the line's server "
                 "(default: station.ini's \"ledger\")");
  app.add_option("--station", o.station_config.station,
                 "The station's name on the line's ledger (default: "
                 "station.ini's \"station\", else the computer and folder)")
      ->check([](const std::string& name) {
        return StationNameFault(name).value_or(std::string());
      });
  app.add_option("--pool", o.station_config.pool,
                 "Take MAC addresses from this line pool (default: "
                 "station.ini's \"pool\")");

  std::vector<CLI::App*> command_apps;
  for (const Command& command : kCommands) {
    CLI::App* sub = app.add_subcommand(command.name, command.help);
    if (command.add_options != nullptr) command.add_options(*sub, o);
    command_apps.push_back(sub);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    if (code == 0) return 0;  // --help, --version
    err << "FAIL: " << ExitCodeName(ExitCode::kUsage) << '\n';
    return ToInt(ExitCode::kUsage);
  }

  // require_subcommand(1): exactly one command was parsed.
  ExitCode result = ExitCode::kUsage;
  for (std::size_t i = 0; i < command_apps.size(); ++i) {
    if (!command_apps[i]->parsed()) continue;
    const auto actions = command_apps[i]->get_subcommands();
    if (!actions.empty()) o.action = actions.front()->get_name();
    result = RunCommand(kCommands[i], o, out, err);
  }
  out << std::flush;
  if (result == ExitCode::kOk) {
    err << "PASS\n";
  } else {
    err << "FAIL: " << ExitCodeName(result) << '\n';
  }
  err << std::flush;
  return ToInt(result);
}

}  // namespace srom::cli
