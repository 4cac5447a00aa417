// One srom-cli run on the station in one folder: the settings, the operator
// on the terminal, the adapter, its network and the clock, and the small
// things every station command shares.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/cli_options.h"
#include "cli/console_panel.h"
#include "cli/exit_codes.h"
#include "device/station_device.h"
#include "ops/multi_adapter.h"
#include "ops/station_session.h"
#include "ports/clock.h"

namespace srom::cli {

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

class Run {
 public:
  Run(const Options& options, std::ostream& out, std::ostream& err);

  // Opens the station (locked for this run, its ledger brought into step)
  // and its device; a failure's exit code otherwise.
  std::optional<ExitCode> Open(LedgerCatchUp catch_up);

  OpsContext Context();
  // The system's network adapters and connections (or the simulated
  // bench's), for the commands that take several adapters in turn.
  NetworkPort& Network() { return device_->network(); }
  Clock& clock() { return clock_; }
  Ledger* ledger() { return session_->ledger(); }
  const std::filesystem::path& folder() const { return folder_; }
  Station& station() { return station_; }
  ConsolePanel& panel() { return panel_; }
  const Options& options() const { return options_; }
  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }

  // A message in our own voice, on the same stream as the system's.
  void Say(const std::string& text) { panel_.ShowMessage(text); }

  // The output box, as the window would show it now.
  void PrintOutputBox();

  // Refuses a command that the window offers in the other kind of selection.
  std::optional<ExitCode> RequireEeprom(const std::string& what);
  std::optional<ExitCode> RequireEfuse(const std::string& what);

 private:
  std::optional<ExitCode> CheckFolder();
  std::optional<ExitCode> OpenDevice();

  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  std::filesystem::path folder_;
  Station station_;
  ConsolePanel panel_;
  std::optional<StationDevice> device_;
  SystemClock clock_;
  std::optional<StationSession> session_;
};

// PASS, or FAIL: <class>, as a unit's result line says it.
std::string ResultText(Outcome outcome);

// Writes `bytes` over `path`; the message the window gives for that kind of
// file when it cannot.
bool WriteResultFile(Run& run, const std::string& path, std::string_view bytes,
                     const char* failure_message);

}  // namespace srom::cli
