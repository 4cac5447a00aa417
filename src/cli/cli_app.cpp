#include "cli/cli_app.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "cli/ledger_report.h"
#include "device/sim/sim_change.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_adapter.h"
#include "device/sim/simulated_bench.h"
#include "device/sim/simulated_network.h"
#ifdef _WIN32
#include "device/win32/win32_network_port.h"
#endif
#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/hex_file.h"
#include "files/image_files.h"
#include "ledger/units_csv.h"
#include "model/messages.h"
#include "model/srom_image.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif
#include "files/station_config.h"
#include "ledger/ledger_rules.h"
#include "ops/ledger_outbox.h"
#include "ops/auto_program.h"
#include "ops/dump.h"
#include "ops/file_actions.h"
#include "ops/multi_adapter.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ops/startup.h"
#include "ops/unit_ledger.h"
#include "ops/station_session.h"
#include "ports/clock.h"
#include "ports/station_lock.h"
#ifdef _WIN32
#include "device/win32/win32_driver_port.h"
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
  std::string by;
  bool interrupted = false;

  // station.ini's settings, for this run.
  StationConfig station_config;
  std::string pool_name;
  std::string pool_first;
  std::string pool_last;
  int pool_increment = 1;

  bool multi = false;

  int sim_size = kSimDefaultEepromSize;
  int sim_adapter = 1;
  std::string sim_description;
  std::string sim_connection;
  bool force = false;
  std::vector<std::string> fault;
};

// The terminal reaches exactly one adapter: with "MultiEnable" set in the
// settings file the job runs the single unit, as the window does with one
// adapter box checked and one adapter found.
class OneAdapter : public AdapterLoop {
 public:
  Plan PlanRun() override { return Plan::kSingle; }
  Outcome RunLoop(Kind, const OpsContext& ctx, const Unit& unit) override {
    return unit(ctx);
  }
};

bool StopRequested();

// The station's production ledger: the SQLite file in its folder, or the
// line's server that station.ini (or --ledger) names. Its waits for the
// server end at a stop request (Ctrl-C in "auto").
LedgerOpener LedgerOfFolder() {
#ifdef SROM_HAVE_SQLITE_LEDGER
  return [](const LedgerPlace& place) {
    LedgerPlace stoppable = place;
    stoppable.stop_requested = StopRequested;
    return OpenStationLedger(stoppable);
  };
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
                                    LedgerOfFolder(), refusal,
                                    options_.station_config);
    if (!session_) return ExitCodeOf(refusal);
    return OpenDevice();
  }

  OpsContext Context() {
    return OpsContext{station_, panel_, *port_, clock_, session_->ledger()};
  }
  // The system's network adapters and connections, for the commands that
  // take several adapters in turn; null, after the message, where there is
  // none to offer.
  NetworkPort* Network() {
    if (network_) return network_.get();
    if (bench_ != nullptr) {
      network_ = std::make_unique<SimulatedNetwork>(*bench_);
      return network_.get();
    }
#ifdef _WIN32
    // The maker's driver: the system's own adapters, registry and netsh.
    network_ = std::make_unique<Win32NetworkPort>();
    return network_.get();
#else
    Say("The system's own network adapters are reachable on Windows only; "
        "without --device driver the station's simulated bench is scanned.");
    return nullptr;
#endif
  }
  Clock& clock() { return clock_; }
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
      driver_ = std::make_unique<Win32DriverPort>();
      port_ = driver_.get();
      return std::nullopt;
#else
      Say("The test driver is reachable on Windows only; without --device "
          "driver the folder's simulated adapter is used.");
      return ExitCode::kNoDriver;
#endif
    }
    std::string error;
    bench_ = OpenStationSimBench(folder_, error);
    if (!bench_) {
      Say(error);
      return ExitCode::kFileRejected;
    }
    port_ = bench_.get();
    return std::nullopt;
  }

  const Options& options_;
  std::ostream& out_;
  fs::path folder_;
  Station station_;
  ConsolePanel panel_;
  std::unique_ptr<SimulatedBench> bench_;
  std::unique_ptr<NetworkPort> network_;
  std::unique_ptr<DriverPort> driver_;
  DriverPort* port_ = nullptr;
  SystemClock clock_;
  std::optional<StationSession> session_;
};

// A file a command writes on request must not be one the station keeps.
bool IsStationFile(const fs::path& folder, const fs::path& file) {
  const std::string ledger(kLedgerFileName);
  std::vector<std::string> own = {
      "EEPROM.dat",     "Serial-MAC.log", "RetryLog.txt",
      ledger,           ledger + "-wal",  ledger + "-shm",
      kStationLockFile, kSimBenchFile,    kSimLockFile,
      std::string(kStationConfigFileName),
      std::string(kLedgerOutboxFileName)};
  for (int number = 1; number <= SimulatedBench::kMaxAdapters; ++number) {
    own.push_back(SimStateFileName(number));
    own.push_back(SimSetupFileName(number));
  }
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

// Several adapters in turn: the station's network scanned as "Scan" does,
// and the loop over the adapters it ticks.

struct NetworkScan {
  AdapterTable table;
  ScanResult result;
};

// Scans the network for the adapters of the settings' device selection, as
// "Scan" does: the scan's messages are shown, its note goes to the output
// box. The network scanned; null, after the message, where there is none.
NetworkPort* ScanNetwork(Run& run, NetworkScan& scan) {
  NetworkPort* network = run.Network();
  if (network == nullptr) return nullptr;
  const int sel = NormalizeDeviceSel(run.station().settings.DeviceSel);
  scan.result = ScanAdapters(*network, scan.table, DeviceSelEntry(sel));
  for (const std::string& message : scan.result.messages) run.Say(message);
  if (!scan.result.output_note.empty()) {
    run.panel().SetOutputText(run.panel().OutputText() +
                              scan.result.output_note);
  }
  return network;
}

// "Adapter<n> <caption>": how a result line names adapter box k.
std::string AdapterLine(const NetworkScan& scan, int k) {
  return "Adapter" + std::to_string(k + 1) + " " +
         scan.result.boxes[static_cast<std::size_t>(k)].caption;
}

std::string ResultText(Outcome outcome) {
  return outcome == Outcome::kOk
             ? std::string("PASS")
             : "FAIL: " + std::string(ExitCodeName(ExitCodeOf(outcome)));
}

// Ctrl-C, Ctrl-Break or a termination request only raises this flag; `auto`
// and the adapter loop look at it between units, and every wait looks at it
// too (for the next adapter, or for a line's ledger server that does not
// answer), so a unit that has begun always finishes with its files and its
// ledger record, kept in the station's outbox when the server is the wait.
volatile std::sig_atomic_t g_stop_requested = 0;

void RequestStop(int) { g_stop_requested = 1; }

bool StopRequested() { return g_stop_requested != 0; }

class StopOnSignal {
 public:
  StopOnSignal() {
    g_stop_requested = 0;
    previous_int_ = std::signal(SIGINT, RequestStop);
#ifdef SIGTERM
    previous_term_ = std::signal(SIGTERM, RequestStop);
#endif
#ifdef SIGBREAK
    previous_break_ = std::signal(SIGBREAK, RequestStop);
#endif
  }
  ~StopOnSignal() {
    std::signal(SIGINT, previous_int_);
#ifdef SIGTERM
    std::signal(SIGTERM, previous_term_);
#endif
#ifdef SIGBREAK
    std::signal(SIGBREAK, previous_break_);
#endif
  }
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

  static bool requested() { return g_stop_requested != 0; }

 private:
  using Handler = void (*)(int);
  Handler previous_int_ = SIG_DFL;
  Handler previous_term_ = SIG_DFL;
  Handler previous_break_ = SIG_DFL;
};

// The loop over the ticked adapters, keeping each unit's adapter,
// the MAC address it was given and its outcome for the result lines.
class ReportingLoop : public AdapterLoop {
 public:
  struct UnitResult {
    int adapter = -1;
    std::string mac;
    Outcome outcome = Outcome::kFailed;
  };

  ReportingLoop(Run& run, NetworkScan& scan, NetworkPort& network)
      : run_(run), inner_(scan.table, network, run.clock(), [&scan](int k) {
          return scan.result.boxes[static_cast<std::size_t>(k)].ticked;
        }) {}

  Plan PlanRun() override { return plan_ = inner_.PlanRun(); }
  Outcome RunLoop(Kind kind, const OpsContext& ctx, const Unit& unit) override {
    return inner_.RunLoop(kind, ctx, [&](const OpsContext& unit_ctx) {
      UnitResult result;
      result.adapter = run_.panel().busy_adapter();
      result.mac = unit_ctx.station.settings.CurrentMac;
      run_.panel().ShowVerdict("", false);
      result.outcome = unit(unit_ctx);
      if (!run_.panel().last_unit_mac().empty()) {
        result.mac = run_.panel().last_unit_mac();
      }
      results_.push_back(result);
      return result.outcome;
    });
  }

  void set_stop(std::function<bool()> stop) { inner_.set_stop(std::move(stop)); }
  Plan plan() const { return plan_; }
  const std::vector<UnitResult>& results() const { return results_; }

 private:
  Run& run_;
  MultiAdapterLoop inner_;
  Plan plan_ = Plan::kNothing;
  std::vector<UnitResult> results_;
};

// Program or Dump on every ticked adapter; the output box (the
// loop's log), then one line per adapter: PASS (and the MAC address a
// programmed unit got) or FAIL: <class>.
ExitCode MultiJob(Run& run, AdapterLoop::Kind kind) {
  NetworkScan scan;
  NetworkPort* network = ScanNetwork(run, scan);
  if (network == nullptr) return ExitCode::kNoDriver;
  Station& st = run.station();
  // "MultiEnable" ticked, as the window has it for the loop.
  st.settings.MultiEnable = true;
  ReportingLoop loop(run, scan, *network);
  // Ctrl-C between adapters ends the loop as its end would: the adapter in
  // hand is finished, every connection enabled again.
  const StopOnSignal stop;
  loop.set_stop(&StopOnSignal::requested);
  const std::string first_mac = st.settings.CurrentMac;
  const bool program = kind == AdapterLoop::Kind::kProgram;
  const Outcome outcome = program ? RunProgramJob(run.Context(), &loop)
                                  : RunDumpJob(run.Context(), &loop);
  run.PrintOutputBox();
  std::vector<ReportingLoop::UnitResult> results = loop.results();
  if (loop.plan() == AdapterLoop::Plan::kSingle) {
    // One adapter found and ticked: the plain unit ran without the loop.
    for (int k = 0; k < kAdapterSlots; ++k) {
      if (scan.result.boxes[static_cast<std::size_t>(k)].ticked) {
        results.push_back({k, first_mac, outcome});
      }
    }
  }
  for (const auto& result : results) {
    run.out() << AdapterLine(scan, result.adapter) << ": "
              << ResultText(result.outcome);
    if (program && result.outcome == Outcome::kOk) {
      run.out() << " " << result.mac;
    }
    run.out() << "\n";
  }
  if (outcome == Outcome::kInterrupted) {
    // The ticked adapters the loop did not reach.
    for (int k = static_cast<int>(results.empty() ? 0 : results.back().adapter + 1);
         k < kAdapterSlots; ++k) {
      if (!scan.result.boxes[static_cast<std::size_t>(k)].ticked) continue;
      run.out() << AdapterLine(scan, k) << ": not run: interrupted\n";
    }
  }
  return ExitCodeOf(outcome);
}

// The adapters a scan finds, each with its caption and whether it is in
// the loop of `program --multi` and `dump --multi`: the box "Scan" ticks.
ExitCode Scan(Run& run) {
  NetworkScan scan;
  if (ScanNetwork(run, scan) == nullptr) return ExitCode::kNoDriver;
  bool any = false;
  for (int k = 0; k < scan.table.FoundCount; ++k) {
    const bool ticked = scan.result.boxes[static_cast<std::size_t>(k)].ticked;
    any = any || ticked;
    run.out() << AdapterLine(scan, k) << ": "
              << (ticked ? "in the loop" : "left out") << "\n";
  }
  const std::string note = run.panel().OutputText();
  if (!note.empty()) run.out() << note;
  if (any) return ExitCode::kOk;
  run.Say(
      "No adapter is in the loop: none of the selected chip with a "
      "connection that can be switched.");
  return ExitCode::kDeviceAbsent;
}

// Waits `ms` on the clock in short steps; false when a stop was requested.
bool WaitUnlessStopped(Clock& clock, int ms) {
  constexpr int kStepMs = 50;
  for (int waited = 0; waited < ms; waited += kStepMs) {
    if (StopOnSignal::requested()) return false;
    clock.SleepMs(std::min(kStepMs, ms - waited));
  }
  return !StopOnSignal::requested();
}

ExitCode Auto(Run& run) {
  if (const auto refused = run.RequireEeprom("Automatic programming")) {
    return *refused;
  }
  Station& st = run.station();
  const StopOnSignal stop;
  AutoProgramWatch watch(st.settings.DelayTime);
  const OpsContext ctx = run.Context();
  int attached = 0;
  const auto count = [&ctx, &attached] {
    attached = ctx.Device().DetectDevice() ? 1 : 0;
    return attached;
  };
  int units = 0;
  int passed = 0;
  bool first_tick = true;
  do {
    const AutoProgramWatch::Step step = watch.Tick(count);
    if (first_tick) {
      first_tick = false;
      run.Say(attached != 0
                  ? "Automatic programming: an adapter is attached already; "
                    "it is programmed once it has been unplugged and plugged "
                    "in again. Ctrl-C ends."
                  : "Automatic programming: waiting for an adapter to be "
                    "plugged in. Ctrl-C ends.");
    } else if (step.cleared && !step.shown) {
      run.Say("The adapter was unplugged: waiting for the next one.");
    }
    if (step.shown) run.out() << *step.shown << "\n" << std::flush;
    if (step.device_lost) run.Say(msg::kDeviceLost);
    if (step.program) {
      const std::string mac = st.settings.CurrentMac;
      OneAdapter one;
      const Outcome outcome = RunProgramJob(ctx, &one);
      ++units;
      passed += outcome == Outcome::kOk ? 1 : 0;
      run.out() << "Unit " << units << ": " << ResultText(outcome);
      if (outcome == Outcome::kOk) run.out() << " " << mac;
      run.out() << "\n" << std::flush;
    }
  } while (WaitUnlessStopped(run.clock(), watch.period_ms()));
  run.Say("Automatic programming ended: " + std::to_string(units) +
          (units == 1 ? " unit, " : " units, ") + std::to_string(passed) +
          " passed.");
  return ExitCode::kOk;
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
  if (run.options().multi) return MultiJob(run, AdapterLoop::Kind::kProgram);
  OneAdapter adapter;
  const Outcome outcome = RunProgramJob(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

ExitCode Dump(Run& run) {
  if (run.options().multi) return MultiJob(run, AdapterLoop::Kind::kDump);
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

// The ledger's units: listed, counted, exported, checked against
// Serial-MAC.log.
ExitCode LedgerCommand(Run& run) {
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
ExitCode PoolCommand(Run& run, const std::string& action) {
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
    const bool used_up = ledger_rules::PoolUsedUp(p);
    run.out() << row(p.name, p.first, p.last, std::to_string(p.increment),
                     used_up ? "used up" : p.next);
  }
  return ExitCode::kOk;
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

// The simulated bench of the folder, for the sim commands.

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
  auto* reload =
      program->add_flag("--reload", o.reload,
                        "Check \"Reload\": the adapter reloads its "
                        "configuration after the unit (asks: --yes)");
  program
      ->add_flag("--multi", o.multi,
                 "Program every adapter a scan puts in the loop, in "
                 "turn (\"MultiEnable\"); one result line each")
      ->excludes(reload);

  auto* dump = app.add_subcommand("dump",
                                  "Read the adapter's memory, keep it and "
                                  "save SROM.dat/EFUSE.dat");
  dump->add_flag("--multi", o.multi,
                 "Dump every adapter a scan puts in the loop, in turn "
                 "(\"MultiEnable\"); one result line each");

  app.add_subcommand(
      "scan",
      "List the network adapters as \"Scan\" finds them, and which are in "
      "the loop of --multi");
  app.add_subcommand(
      "auto",
      "Automatic programming: each adapter plugged in is programmed after "
      "the settings' \"Delay time\" countdown, until Ctrl-C");
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
  ledger
      ->add_option("--by", o.by,
                   "Count the units per station, per pool or per hour")
      ->check(CLI::IsMember({"station", "pool", "hour"}));
  ledger->add_flag("--interrupted", o.interrupted,
                   "List only the units that were interrupted while being "
                   "written");
  ledger->add_flag("--check", o.check_log,
                   "Check them against Serial-MAC.log: every programmed unit "
                   "is logged, once, and no unit that did not pass is "
                   "(exit 15 when not)");

  auto* pool = app.add_subcommand(
      "pool", "Make and list the line pools on the line's ledger server");
  pool->require_subcommand(1);
  auto* pool_create = pool->add_subcommand(
      "create", "A new pool of MAC addresses for the stations of the line");
  pool_create->add_option("name", o.pool_name, "The pool's name")->required();
  pool_create->add_option("--first", o.pool_first, "Its first MAC address")
      ->required();
  pool_create->add_option("--last", o.pool_last, "Its last MAC address")
      ->required();
  pool_create
      ->add_option("--increment", o.pool_increment,
                   "The step from one unit's MAC address to the next")
      ->capture_default_str();
  pool->add_subcommand("list", "Every pool with its next MAC address");

  auto* sim = app.add_subcommand(
      "sim",
      "Create, show, plug, unplug and fault the folder's simulated adapters, "
      "and add adapters to its bench");
  sim->require_subcommand(1);
  const auto adapter_option = [&o](CLI::App* action) {
    action->add_option("--adapter", o.sim_adapter, "Which adapter of the bench")
        ->check(CLI::Range(1, SimulatedBench::kMaxAdapters))
        ->capture_default_str();
  };
  auto* sim_create =
      sim->add_subcommand("create", "A new blank adapter (plugged, no fault)");
  sim_create->add_option("--size", o.sim_size, "EEPROM bytes")
      ->check(CLI::IsMember({256, 512}))
      ->capture_default_str();
  sim_create->add_flag("--force", o.force, "Replace an existing adapter");
  adapter_option(sim_create);
  auto* sim_add = sim->add_subcommand(
      "add", "Put one more blank adapter on the bench (at most six)");
  sim_add
      ->add_option("--description", o.sim_description,
                   "What the system calls it, e.g. \"VELK KM62057D USB 3.0 to "
                   "Gigabit Ethernet Adapter\"")
      ->required();
  sim_add
      ->add_option("--connection", o.sim_connection,
                   "The name of its network connection, e.g. \"Ethernet 2\"")
      ->required();
  sim_add->add_option("--size", o.sim_size, "EEPROM bytes")
      ->check(CLI::IsMember({256, 512}))
      ->capture_default_str();
  adapter_option(
      sim->add_subcommand("show", "Print its state and both memories"));
  adapter_option(sim->add_subcommand("plug", "Plug it in"));
  adapter_option(sim->add_subcommand("unplug", "Pull it out"));
  auto* sim_fault =
      sim->add_subcommand("fault",
                          "Make it misbehave on every later run, and on a "
                          "running one from its next look at the adapter");
  sim_fault->add_option("fault", o.fault, "The fault and its arguments")
      ->required()
      ->expected(1, 4);
  adapter_option(sim_fault);
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
      if (name == "pool") {
        result = PoolCommand(run, pool->get_subcommands().at(0)->get_name());
      }
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
          {"scan", Scan},
          {"auto", Auto},
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
