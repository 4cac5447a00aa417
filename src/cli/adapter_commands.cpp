// Several adapters in turn: the station's network scanned as "Scan" does,
// and the loop over the adapters it ticks.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/stop_signal.h"
#include "ops/dump.h"
#include "ops/program.h"

namespace srom::cli {
namespace {

struct NetworkScan {
  AdapterTable table;
  ScanResult result;
};

// Scans the network for the adapters of the settings' device selection, as
// "Scan" does: the scan's messages are shown, its note goes to the output
// box. The network scanned.
NetworkPort& ScanNetwork(Run& run, NetworkScan& scan) {
  NetworkPort& network = run.Network();
  const int sel = NormalizeDeviceSel(run.station().settings.DeviceSel);
  scan.result = ScanAdapters(network, scan.table, DeviceSelEntry(sel));
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

}  // namespace

// Program or Dump on every ticked adapter; the output box (the
// loop's log), then one line per adapter: PASS (and the MAC address a
// programmed unit got) or FAIL: <class>.
ExitCode MultiJob(Run& run, AdapterLoop::Kind kind) {
  NetworkScan scan;
  NetworkPort& network = ScanNetwork(run, scan);
  Station& st = run.station();
  // "MultiEnable" ticked, as the window has it for the loop.
  st.settings.MultiEnable = true;
  ReportingLoop loop(run, scan, network);
  // Ctrl-C between adapters ends the loop as its end would: the adapter in
  // hand is finished, every connection enabled again.
  const StopOnSignal stop;
  loop.set_stop(&StopRequested);
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
  ScanNetwork(run, scan);
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

}  // namespace srom::cli
