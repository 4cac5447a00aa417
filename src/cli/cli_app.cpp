#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/ledger_report.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_adapter.h"
#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/hex_file.h"
#include "files/image_files.h"
#include "ledger/units_csv.h"
#include "model/srom_image.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#endif
#include "ops/dump.h"
#include "ops/file_actions.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ops/startup.h"
#include "ops/station_session.h"
#include "ports/clock.h"
#include "ports/station_lock.h"
#ifdef _WIN32
#include "device/win32/win32_driver_port.h"
#include "model/messages.h"
#endif

namespace srom::cli {
namespace {

namespace fs = std::filesystem;

// The window's "Save" questions, asked before the settings files are
// overwritten.

struct Options {
  std::string dir = ".";
  std::string device = "sim";
  bool yes = false;
  bool verbose = false;

  std::string base;
  std::string out_file;
  std::string bin_file;
  std::string file;
  bool save = false;
  bool reload = false;
  bool allow_reissue = false;
  std::string serial_type;
  std::string csv_file;
  bool check_log = false;

  int sim_size = kSimDefaultEepromSize;
  bool force = false;
  std::vector<std::string> fault;
};

// The terminal reaches exactly one adapter: with "MultiEnable" set in the
// settings file the job runs the single unit, as the window does with one
// adapter box checked and one adapter found.
class OneAdapter : public AdapterLoop {
 public:
  Plan PlanRun() override { return Plan::kSingle; }
  Outcome RunLoop(Kind, const OpsContext&,
                  const std::function<Outcome()>& unit) override {
    return unit();
  }
};

// The station's production ledger: the SQLite file in its folder.
LedgerOpener LedgerOfFolder() {
#ifdef SROM_HAVE_SQLITE_LEDGER
  return OpenStationLedger;
#else
  return nullptr;
#endif
}

// A run on the station in one folder: the settings, the operator on the
// terminal, the adapter and the clock.
class Run {
 public:
  Run(const Options& options, std::ostream& out, std::ostream& err)
      : options_(options),
        out_(out),
        folder_(options.dir),
        panel_(station_.settings, err, options.yes, options.verbose,
               options.allow_reissue) {}

  // Opens the station (locked for this run, its ledger brought into step)
  // and its adapter; a failure's exit code otherwise.
  std::optional<ExitCode> Open() {
    if (const auto refused = CheckFolder()) return refused;
    Outcome refusal = Outcome::kFailed;
    session_ = StationSession::Open(folder_, station_, panel_, clock_,
                                    LedgerOfFolder(), refusal);
    if (!session_) return ExitCodeOf(refusal);
    return OpenDevice();
  }

  OpsContext Context() {
    return OpsContext{station_, panel_, *port_, clock_, session_->ledger()};
  }
  Ledger* ledger() { return session_->ledger(); }
  const fs::path& folder() const { return folder_; }
  Station& station() { return station_; }
  ConsolePanel& panel() { return panel_; }
  const Options& options() const { return options_; }
  std::ostream& out() { return out_; }

  // A message in our own voice, on the same stream as the system's.
  void Say(const std::string& text) { panel_.ShowMessage(text); }

  // The output box, as the window would show it now.
  void PrintOutputBox() {
    const std::string text = panel_.OutputText();
    out_ << text;
    if (!text.empty() && text.back() != '\n') out_ << "\r\n";
  }

  // Refuses a command that the window offers in the other kind of selection.
  std::optional<ExitCode> RequireEeprom(const std::string& what) {
    if (IsEepromSel(station_.settings.DeviceSel)) return std::nullopt;
    Say(what + " is for the EEPROM selections only; nothing was changed.");
    return ExitCode::kUsage;
  }
  std::optional<ExitCode> RequireEfuse(const std::string& what) {
    if (IsEfuseSel(station_.settings.DeviceSel)) return std::nullopt;
    Say(what + " is for the eFuse selections only; nothing was changed.");
    return ExitCode::kUsage;
  }

 private:
  std::optional<ExitCode> CheckFolder() {
    std::error_code error;
    if (fs::is_directory(folder_, error)) return std::nullopt;
    Say("The folder \"" + options_.dir + "\" does not exist.");
    return ExitCode::kUsage;
  }

  std::optional<ExitCode> OpenDevice() {
    if (options_.device == "driver") {
#ifdef _WIN32
      port_ = std::make_unique<Win32DriverPort>();
      return std::nullopt;
#else
      Say("The test driver is reachable on Windows only; without --device "
          "driver the folder's simulated adapter is used.");
      return ExitCode::kNoDriver;
#endif
    }
    std::string error;
    auto adapter = OpenStationSimAdapter(folder_, error);
    if (!adapter) {
      Say(error);
      return ExitCode::kFileRejected;
    }
    port_ = std::move(adapter);
    return std::nullopt;
  }

  const Options& options_;
  std::ostream& out_;
  fs::path folder_;
  Station station_;
  ConsolePanel panel_;
  std::unique_ptr<DriverPort> port_;
  SystemClock clock_;
  std::optional<StationSession> session_;
};

// A file a command writes on request must not be one the station keeps.
bool IsStationFile(const fs::path& folder, const fs::path& file) {
  const std::string ledger(kLedgerFileName);
  const std::string own[] = {
      "EEPROM.dat",     "Serial-MAC.log", "RetryLog.txt",
      ledger,           ledger + "-wal",  ledger + "-shm",
      kStationLockFile, kSimStateFile,    kSimSetupFile};
  std::error_code error;
  const fs::path target = fs::weakly_canonical(file, error);
  for (const std::string& name : own) {
    std::error_code ignored;
    if (!error && target == fs::weakly_canonical(folder / name, ignored)) {
      return true;
    }
  }
  return false;
}

// Writes `bytes` over `path`; the message the window gives for that kind of
// file when it cannot.
bool WriteResultFile(Run& run, const std::string& path, std::string_view bytes,
                     const char* failure_message) {
  std::string why;
  if (SaveFile(fs::path(path), bytes, &why)) return true;
  run.Say(failure_message);
  run.Say(why);
  return false;
}

ExitCode Image(Run& run) {
  Station& st = run.station();
  const Options& o = run.options();
  for (const std::string& file : {o.out_file, o.bin_file}) {
    if (!file.empty() && IsStationFile(run.folder(), file)) {
      run.Say("\"" + file +
              "\" is one of the station's own files; the image is written "
              "to another file.");
      return ExitCode::kUsage;
    }
  }
  if (!o.base.empty() && !LoadBaseImage(o.base, st, run.panel())) {
    return ExitCode::kFileRejected;
  }
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  run.PrintOutputBox();
  const auto image =
      ImageArea(st.prev).first(static_cast<std::size_t>(st.image_size));
  const bool efuse = IsEfuseSel(st.settings.DeviceSel);
  if (!o.out_file.empty() &&
      !WriteResultFile(
          run, o.out_file, FormatImageFile(image),
          efuse ? msg::kCannotWriteEfuse : msg::kCannotWriteSrom)) {
    return ExitCode::kFileRejected;
  }
  if (!o.bin_file.empty() &&
      !WriteResultFile(
          run, o.bin_file,
          std::string_view(reinterpret_cast<const char*>(image.data()),
                           image.size()),
          msg::kCannotWriteBin)) {
    return ExitCode::kFileRejected;
  }
  return ExitCode::kOk;
}

ExitCode Program(Run& run) {
  Station& st = run.station();
  if (!run.options().base.empty() &&
      !LoadBaseImage(run.options().base, st, run.panel())) {
    return ExitCode::kFileRejected;
  }
  // "Reload" is a box of the window that the settings file does not keep.
  st.settings.Reload = run.options().reload;
  // The window has refreshed the image since the last edit; settings it
  // refuses never reach the adapter.
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  OneAdapter adapter;
  const Outcome outcome = RunProgramJob(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

ExitCode Dump(Run& run) {
  OneAdapter adapter;
  run.panel().SetOutputText("");
  const Outcome outcome = RunDumpJob(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

ExitCode Erase(Run& run) {
  if (const auto refused = run.RequireEeprom("Erase")) return *refused;
  OneAdapter adapter;
  const Outcome outcome = EraseEeprom(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

// The window's "Save" after a load: its question, then the files.
ExitCode SaveAsTheWindowDoes(Run& run) {
  return ExitCodeOf(SaveSettingsFiles(run.station(), run.panel()));
}

ExitCode LoadSromCommand(Run& run) {
  if (const auto refused = run.RequireEeprom("Load SROM")) return *refused;
  Station& st = run.station();
  const OpsContext ctx = run.Context();
  ctx.Device().DetectDevice();
  if (LoadSromFile(fs::path(run.options().file), st, run.panel()) !=
      FileLoad::kLoaded) {
    return ExitCode::kFileRejected;
  }
  run.out() << FormatEepromDat(st.settings);
  if (!RefreshImage(ctx)) return ExitCode::kSettingsRejected;
  return run.options().save ? SaveAsTheWindowDoes(run) : ExitCode::kOk;
}

ExitCode LoadEfuseCommand(Run& run) {
  if (const auto refused = run.RequireEfuse("Load Efuse")) return *refused;
  Station& st = run.station();
  if (LoadEfuseDat(fs::path(run.options().file), st.settings, st.prev,
                   st.image_size, run.panel()) != FileLoad::kLoaded) {
    return ExitCode::kFileRejected;
  }
  run.PrintOutputBox();
  return run.options().save ? SaveAsTheWindowDoes(run) : ExitCode::kOk;
}

ExitCode ConvertBinCommand(Run& run) {
  if (const auto refused = run.RequireEeprom("Convert to Bin")) return *refused;
  Station& st = run.station();
  run.Context().Device().DetectDevice();
  return ConvertToBin(st.folders, fs::path(run.options().file),
                      st.settings.SromSize, run.panel())
             ? ExitCode::kOk
             : ExitCode::kFileRejected;
}

// The ledger's units: listed, exported, checked against Serial-MAC.log.
ExitCode LedgerCommand(Run& run) {
  Ledger* ledger = run.ledger();
  if (ledger == nullptr) {
    run.Say("This build keeps no production ledger.");
    return ExitCode::kFailed;
  }
  const auto units = ledger->Units();
  if (!units.ok()) {
    run.Say(units.error);
    return ExitCode::kFileRejected;
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
  } else {
    run.out() << UnitsTable(*units.value);
  }
  if (!o.check_log) return ExitCode::kOk;
  const LogCheck check = CheckAgainstLog(
      *units.value, run.station().folders.program_folder / "Serial-MAC.log");
  for (const std::string& line : check.findings) run.Say(line);
  return check.consistent ? ExitCode::kOk : ExitCode::kFailed;
}

ExitCode ConvertEfuseCommand(Run& run) {
  if (const auto refused = run.RequireEeprom("Convert to EFuse")) {
    return *refused;
  }
  Station& st = run.station();
  // The window converts whatever image it last built; here there is none
  // before this refresh, so refused settings stop the conversion.
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  if (!CheckEfuseConversion(st.prev, run.panel())) {
    return ExitCode::kSettingsRejected;
  }
  const int type =
      run.options().serial_type == "fixed" ? kSerialFixed : kSerialFromMac;
  const bool saved =
      ConvertToEfuse(st.folders, st.settings, st.prev, st.image_size,
                     st.accepted, type, run.panel());
  run.PrintOutputBox();
  return saved ? ExitCode::kOk : ExitCode::kFileRejected;
}

// The simulated adapter of the folder, for the sim commands.

struct SimFiles {
  fs::path state;
  fs::path setup;
};

SimFiles SimFilesIn(const Options& o) {
  return {fs::path(o.dir) / kSimStateFile, fs::path(o.dir) / kSimSetupFile};
}

void ShowSim(std::ostream& out, const SimulatedAdapter& adapter,
             const SimSetup& setup) {
  out << "plugged: " << (setup.plugged ? "yes" : "no") << "\n";
  out << "faults:";
  if (setup.faults.empty()) out << " none";
  out << "\n";
  for (const auto& fault : setup.faults)
    out << "  " << JoinWords(fault) << "\n";
  const auto eeprom = adapter.eeprom();
  const auto efuse = adapter.efuse();
  out << "EEPROM, " << eeprom.size() << " bytes:\r\n"
      << FormatImageFile(eeprom) << "\r\n";
  out << "eFuse, " << efuse.size() << " bytes:\r\n"
      << FormatImageFile(efuse) << "\r\n";
}

ExitCode SimCommand(const std::string& action, const Options& o,
                    std::ostream& out, std::ostream& err) {
  const auto say = [&err](const std::string& text) {
    err << OneLine(text) << '\n';
  };
  const SimFiles files = SimFilesIn(o);
  std::error_code error;
  if (action == "create") fs::create_directories(o.dir, error);
  // The simulator's files belong to the station: no other program may be
  // using them meanwhile.
  std::optional<StationLock> lock;
  if (fs::is_directory(o.dir, error)) {
    std::string refusal;
    bool held_elsewhere = false;
    lock = StationLock::Acquire(o.dir, &refusal, &held_elsewhere);
    if (!lock) {
      say(refusal);
      return held_elsewhere ? ExitCode::kStationBusy : ExitCode::kFileRejected;
    }
  }
  if (action == "create") {
    if (MayExist(files.state) && !o.force) {
      say("The folder already has a simulated adapter; give --force to "
          "replace it with a blank one.");
      return ExitCode::kUsage;
    }
    const SimulatedAdapter adapter(o.sim_size);
    if (!adapter.SaveState(files.state) || !SaveSimSetup(files.setup, {})) {
      say("The simulated adapter's files cannot be written in \"" + o.dir +
          "\".");
      return ExitCode::kFileRejected;
    }
    ShowSim(out, adapter, {});
    return ExitCode::kOk;
  }

  if (!fs::is_directory(o.dir, error)) {
    say("The folder \"" + o.dir + "\" does not exist.");
    return ExitCode::kUsage;
  }
  SimulatedAdapter adapter(kSimDefaultEepromSize);
  auto setup = LoadSimSetup(files.setup);
  if (MayExist(files.state) && !adapter.LoadState(files.state)) setup.reset();
  if (!setup) {
    say("The simulated adapter's files in \"" + o.dir + "\" cannot be read.");
    return ExitCode::kFileRejected;
  }
  if (action == "plug" || action == "unplug") {
    setup->plugged = action == "plug";
  } else if (action == "fault") {
    if (o.fault.size() == 1 && o.fault[0] == "clear") {
      setup->faults.clear();
    } else if (const auto refusal = CheckSimFault(o.fault)) {
      say(*refusal);
      return ExitCode::kUsage;
    } else {
      setup->faults.push_back(o.fault);
    }
  }
  if (action != "show" && !SaveSimSetup(files.setup, *setup)) {
    say("The simulated adapter's files cannot be written in \"" + o.dir +
        "\".");
    return ExitCode::kFileRejected;
  }
  ShowSim(out, adapter, *setup);
  return ExitCode::kOk;
}

std::string MainHelpFooter() {
  return "\nEvery message goes to the error stream, one per line (line breaks "
         "inside a\nmessage written as \\r and \\n); results go to the "
         "output stream; the last\nline is PASS or FAIL: <class>.\n\n" +
         ExitCodeTable();
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
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("-d,--dir", o.dir, "The station's folder")
      ->capture_default_str();
  app.add_option("--device", o.device,
                 "sim: the folder's simulated adapter; driver: the maker's "
                 "test driver (Windows)")
      ->check(CLI::IsMember({"sim", "driver"}))
      ->capture_default_str();
  app.add_flag("-y,--yes", o.yes, "Answer OK to the operation's questions");
  app.add_flag("-v,--verbose", o.verbose,
               "Also show the status label and the result picture");

  auto* image = app.add_subcommand(
      "image", "Build the image from the settings and print its listing");
  image
      ->add_option("--base", o.base,
                   "Build over this SROM.dat / EFUSE.dat instead of the "
                   "chip's default image")
      ->check(CLI::ExistingFile);
  image->add_option("--out", o.out_file,
                    "Also write it as SROM.dat/EFUSE.dat text");
  image->add_option("--bin", o.bin_file, "Also write it as raw bytes");

  auto* program = app.add_subcommand(
      "program",
      "Program one unit: write, read back, compare, log, step and save");
  program
      ->add_option("--base", o.base,
                   "Build over this SROM.dat / EFUSE.dat instead of the "
                   "chip's default image")
      ->check(CLI::ExistingFile);
  program->add_flag("--allow-reissue", o.allow_reissue,
                    "Program a MAC address the ledger holds as given once "
                    "again, on purpose (a rework)");
  program->add_flag("--reload", o.reload,
                    "Check \"Reload\": the adapter reloads its configuration "
                    "after the unit (asks: --yes)");

  app.add_subcommand("dump",
                     "Read the adapter's memory, keep it and save "
                     "SROM.dat/EFUSE.dat");
  app.add_subcommand("erase",
                     "Fill the adapter's EEPROM with 0xFF and dump it");

  auto* load_srom = app.add_subcommand(
      "load-srom", "Check an SROM file and print the settings it decodes to");
  load_srom->add_option("file", o.file, "The SROM.dat text file")->required();
  load_srom->add_flag("--save", o.save,
                      "Then save EEPROM.dat and SROM.dat, as \"Save\" does "
                      "(asks: --yes)");

  auto* load_efuse = app.add_subcommand(
      "load-efuse", "Check an EFUSE file and print its listing");
  load_efuse->add_option("file", o.file, "The EFUSE.dat text file")->required();
  load_efuse->add_flag("--save", o.save,
                       "Then save it as EFUSE.dat, as \"Save Efuse\" does "
                       "(asks: --yes)");

  auto* convert_bin = app.add_subcommand(
      "convert-bin",
      "Write an SROM text file's bytes to SROM.bin in the folder");
  convert_bin->add_option("file", o.file, "The SROM.dat text file")->required();

  auto* convert_efuse = app.add_subcommand(
      "convert-efuse",
      "Derive the eFuse image from the settings' EEPROM image "
      "and write EFUSE.dat");
  convert_efuse
      ->add_option("--serial-type", o.serial_type,
                   "mac: \"Use Mac Address as Serial No.\"; fixed: \"Fixed to "
                   "00000000000001\"")
      ->check(CLI::IsMember({"mac", "fixed"}))
      ->required();

  auto* ledger = app.add_subcommand(
      "ledger",
      "List the units of the station's production ledger (or export them)");
  ledger->add_option("--csv", o.csv_file, "Write them to this CSV file");
  ledger->add_flag("--check", o.check_log,
                   "Check them against Serial-MAC.log: every programmed unit "
                   "is logged");

  auto* sim = app.add_subcommand(
      "sim",
      "Create, show, plug, unplug and fault the folder's simulated adapter");
  sim->require_subcommand(1);
  auto* sim_create =
      sim->add_subcommand("create", "A new blank adapter (plugged, no fault)");
  sim_create->add_option("--size", o.sim_size, "EEPROM bytes")
      ->check(CLI::IsMember({256, 512}))
      ->capture_default_str();
  sim_create->add_flag("--force", o.force, "Replace an existing adapter");
  sim->add_subcommand("show", "Print its state and both memories");
  sim->add_subcommand("plug", "Plug it in");
  sim->add_subcommand("unplug", "Pull it out");
  auto* sim_fault =
      sim->add_subcommand("fault", "Make it misbehave on every later run");
  sim_fault->add_option("fault", o.fault, "The fault and its arguments")
      ->required()
      ->expected(1, 4);
  sim_fault->footer("Faults:\n" + SimFaultHelp());

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    if (code == 0) return 0;  // --help
    err << "FAIL: " << ExitCodeName(ExitCode::kUsage) << '\n';
    return ToInt(ExitCode::kUsage);
  }

  ExitCode result = ExitCode::kFailed;
  if (sim->parsed()) {
    result = SimCommand(sim->get_subcommands().at(0)->get_name(), o, out, err);
  } else {
    Run run(o, out, err);
    if (const auto refused = run.Open()) {
      result = *refused;
    } else {
      const std::string name = app.get_subcommands().at(0)->get_name();
      const std::pair<const char*, ExitCode (*)(Run&)> commands[] = {
          {"image", Image},
          {"program", Program},
          {"dump", Dump},
          {"erase", Erase},
          {"load-srom", LoadSromCommand},
          {"load-efuse", LoadEfuseCommand},
          {"convert-bin", ConvertBinCommand},
          {"convert-efuse", ConvertEfuseCommand},
          {"ledger", LedgerCommand},
      };
      for (const auto& [command_name, handler] : commands) {
        if (name == command_name) result = handler(run);
      }
    }
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
