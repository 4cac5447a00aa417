#include <filesystem>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "device/sim/sim_change.h"
#include "device/sim/sim_faults.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_bench.h"
#include "files/hex_file.h"
#include "model/messages.h"
#include "ports/station_lock.h"

namespace srom::cli {

namespace fs = std::filesystem;

void AddSimOptions(CLI::App& command, Options& o) {
  command.require_subcommand(1);
  const auto adapter_option = [&o](CLI::App* action) {
    action->add_option("--adapter", o.sim_adapter, "Which adapter of the bench")
        ->check(CLI::Range(1, SimulatedBench::kMaxAdapters))
        ->capture_default_str();
  };
  auto* create =
      command.add_subcommand("create", "A new blank adapter (plugged, no fault)");
  create->add_option("--size", o.sim_size, "EEPROM bytes")
      ->check(CLI::IsMember({256, 512}))
      ->capture_default_str();
  create->add_flag("--force", o.force, "Replace an existing adapter");
  adapter_option(create);
  auto* add = command.add_subcommand(
      "add", "Put one more blank adapter on the bench (at most six)");
  add->add_option("--description", o.sim_description,
                  "What the system calls it, e.g. \"VELK KM62057D USB 3.0 to "
                  "Gigabit Ethernet Adapter\"")
      ->required();
  add->add_option("--connection", o.sim_connection,
                  "The name of its network connection, e.g. \"Ethernet 2\"")
      ->required();
  add->add_option("--size", o.sim_size, "EEPROM bytes")
      ->check(CLI::IsMember({256, 512}))
      ->capture_default_str();
  adapter_option(
      command.add_subcommand("show", "Print its state and both memories"));
  adapter_option(command.add_subcommand("plug", "Plug it in"));
  adapter_option(command.add_subcommand("unplug", "Pull it out"));
  auto* fault =
      command.add_subcommand("fault",
                             "Make it misbehave on every later run, and on a "
                             "running one from its next look at the adapter");
  fault->add_option("fault", o.fault, "The fault and its arguments")
      ->required()
      ->expected(1, 4);
  adapter_option(fault);
  fault->footer("Faults:\n" + SimFaultHelp());
}

namespace {

void ShowSim(std::ostream& out, const SimAdapterFiles& adapter) {
  out << "adapter " << adapter.number << ": " << adapter.entry.description
      << "\n";
  out << "connection: " << adapter.entry.connection_name << "\n";
  out << "plugged: " << (adapter.setup.plugged ? "yes" : "no") << "\n";
  out << "faults:";
  if (adapter.setup.faults.empty()) out << " none";
  out << "\n";
  for (const auto& fault : adapter.setup.faults)
    out << "  " << JoinWords(fault) << "\n";
  const auto& eeprom = adapter.memories.eeprom;
  const auto& efuse = adapter.memories.efuse;
  out << "EEPROM, " << eeprom.size() << " bytes:\r\n"
      << FormatImageFile(eeprom) << "\r\n";
  out << "eFuse, " << efuse.size() << " bytes:\r\n"
      << FormatImageFile(efuse) << "\r\n";
}

ExitCode SimExitCode(SimFilesStatus status) {
  switch (status) {
    case SimFilesStatus::kDone:
      return ExitCode::kOk;
    case SimFilesStatus::kRefused:
      return ExitCode::kUsage;
    case SimFilesStatus::kBusy:
      return ExitCode::kStationBusy;
    case SimFilesStatus::kFileFailed:
      return ExitCode::kFileRejected;
  }
  return ExitCode::kFailed;
}

ExitCode SimCommand(const std::string& action, const Options& o,
                    std::ostream& out, std::ostream& err) {
  const auto say = [&err](const std::string& text) {
    err << OneLine(text) << '\n';
  };
  const fs::path dir(o.dir);
  const bool makes_adapter = action == "create" || action == "add";
  std::error_code error;
  if (makes_adapter) fs::create_directories(dir, error);
  if (!fs::is_directory(dir, error)) {
    say("The folder \"" + o.dir + "\" does not exist.");
    return ExitCode::kUsage;
  }
  // Every change but a new adapter on the bench may happen while a program
  // works on the station: it follows the adapter's files at its next open of
  // the control device. It reads the bench file only when it starts, so
  // adding an adapter needs the station itself.
  std::optional<StationLock> station_lock;
  if (action == "add") {
    std::string refusal;
    bool held_elsewhere = false;
    station_lock = StationLock::Acquire(dir, &refusal, &held_elsewhere);
    if (!station_lock) {
      say(refusal);
      return held_elsewhere ? ExitCode::kStationBusy : ExitCode::kFileRejected;
    }
  }

  SimFilesResult result;
  if (action == "add") {
    result = AddStationSimAdapter(dir, {o.sim_connection, o.sim_description},
                                  o.sim_size);
  } else if (action == "show") {
    result = ReadStationSimAdapter(dir, o.sim_adapter);
  } else {
    SimChange change(SimChangeKind::kFault, o.fault);
    if (action == "create") {
      change = SimChange(SimChangeKind::kCreate, o.sim_size, o.force);
    } else if (action == "plug") {
      change = SimChange(SimChangeKind::kPlug);
    } else if (action == "unplug") {
      change = SimChange(SimChangeKind::kUnplug);
    }
    result = ChangeStationSimAdapter(dir, o.sim_adapter, change);
  }
  if (result.status != SimFilesStatus::kDone) {
    say(result.message);
    return SimExitCode(result.status);
  }
  ShowSim(out, result.adapter);
  return ExitCode::kOk;
}

}  // namespace

ExitCode Sim(Run& run) {
  return SimCommand(run.options().action, run.options(), run.out(), run.err());
}

}  // namespace srom::cli
