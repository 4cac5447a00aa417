#include "ops/multi_adapter.h"

#include <variant>

#include "model/messages.h"
#include "ops/forwarding_panel.h"
#include "ops/program.h"
#include "ops/refresh.h"

namespace srom {
namespace {

constexpr char kCommandStart[] = "netsh interface set interface name=\"";

std::string AdapterCaption(int index) {
  return "Adapter" + std::to_string(index + 1);
}

// The panel one adapter's unit reports to: each message names the adapter,
// so that the operator knows which of the units failed; the loop keeps the
// progress bar for itself, and takes the unit's verdict for its log (the big
// line shows it until the loop's own verdict replaces it).
class AdapterPanel final : public ForwardingPanel {
 public:
  AdapterPanel(OperatorPanel& inner, std::string adapter)
      : ForwardingPanel(inner), adapter_(std::move(adapter)) {}

  void ShowMessage(const std::string& text) override {
    ForwardingPanel::ShowMessage(adapter_ + ": " + text);
  }
  void SetProgress(int) override {}
  void ShowVerdict(const std::string& line, bool passed) override {
    verdict_ = line;
    ForwardingPanel::ShowVerdict(line, passed);
  }
  const std::string& verdict() const { return verdict_; }

 private:
  std::string adapter_;
  std::string verdict_;
};

// The loop's verdict: every adapter passed, or which did not.
std::string LoopVerdict(int passed, const std::vector<int>& failed) {
  if (failed.empty()) {
    return "PASS " + std::to_string(passed) +
           (passed == 1 ? " adapter" : " adapters");
  }
  std::string line = failed.size() == 1 ? "FAIL Adapter " : "FAIL Adapters ";
  for (std::size_t i = 0; i < failed.size(); ++i) {
    if (i > 0) line += ", ";
    line += std::to_string(failed[i]);
  }
  return line;
}

}  // namespace

std::string AdapterName(int index, const AdapterSlot& slot) {
  return "Adapter " + std::to_string(index + 1) + " (" + slot.ConnectionName +
         ")";
}

std::string DisableCommand(const std::string& connection_name) {
  return kCommandStart + connection_name + "\" admin=DISABLED";
}

std::string EnableCommand(const std::string& connection_name) {
  return kCommandStart + connection_name + "\" admin=ENABLE";
}

std::optional<std::string> UnswitchableReason(
    const std::string& connection_name) {
  if (connection_name.find('"') != std::string::npos ||
      (!connection_name.empty() && connection_name.back() == '\\')) {
    return "The network connection \"" + connection_name +
           "\" has a double quote in its name, or a backslash at its end, "
           "which cannot be passed to netsh safely: rename the connection to "
           "program that adapter.";
  }
  if (DisableCommand(connection_name).size() > kMaxCommandChars) {
    return "The network connection \"" + connection_name +
           "\" has too long a name for the netsh command line: rename the "
           "connection to program that adapter.";
  }
  return std::nullopt;
}

ScanResult ScanAdapters(NetworkPort& network, AdapterTable& table,
                        std::string_view device_entry) {
  ScanResult result;
  for (int k = 0; k < kAdapterSlots; ++k) {
    table.entries[k] = AdapterSlot{};
    result.boxes[k] = AdapterBoxState{AdapterCaption(k), false, false};
  }
  const auto adapters = network.ListAdapters();
  if (!adapters) return result;
  int filled = 0;
  for (const NetworkAdapter& adapter : *adapters) {
    if (adapter.description.find(kSupportedAdapterMark) == std::string::npos) {
      continue;
    }
    if (filled == kAdapterSlots) {
      result.output_note = msg::kSeventhAdapterIgnored;
      break;
    }
    const auto name = network.ConnectionName(adapter.name);
    if (const auto* failure = std::get_if<ConnectionNameFailure>(&name)) {
      result.messages.push_back(*failure == ConnectionNameFailure::kKeyNotOpened
                                    ? "RegOpenKeyEx failed"
                                    : "RegQueryValueEx failed");
      break;
    }
    AdapterSlot& slot = table.entries[filled];
    slot.ConnectionName = std::get<std::string>(name);
    slot.ChipLabel = adapter.description.size() > 5
                         ? adapter.description.substr(5, 8)
                         : std::string();
    slot.Present = true;
    table.FoundCount = filled + 1;
    AdapterBoxState& box = result.boxes[filled];
    box.caption = slot.ChipLabel + "(" + slot.ConnectionName + ")";
    const bool same_chip = device_entry.find(slot.ChipLabel) != std::string::npos;
    const auto unswitchable = UnswitchableReason(slot.ConnectionName);
    if (unswitchable) result.messages.push_back(*unswitchable);
    box.enabled = box.ticked = same_chip && !unswitchable;
    ++filled;
  }
  return result;
}

void ConnectionSwitch::DisableConnection(const std::string& name,
                                         int pause_ms) {
  if (UnswitchableReason(name)) return;
  Remember(name, network_.RunCommand(DisableCommand(name), kCommandWait));
  clock_.SleepMs(pause_ms);
}

void ConnectionSwitch::EnableConnection(const std::string& name,
                                        int pause_ms) {
  if (UnswitchableReason(name)) return;
  clock_.SleepMs(pause_ms);
  Remember(name, network_.RunCommand(EnableCommand(name), kCommandWait));
}

void ConnectionSwitch::Remember(const std::string& name,
                                const CommandEnd& end) {
  std::erase_if(failed_, [&name](const auto& f) { return f.first == name; });
  if (!end.ok()) failed_.emplace_back(name, end);
}

std::string ConnectionSwitch::FailedCommandNote(
    const std::string& name) const {
  for (const auto& [connection, end] : failed_) {
    if (connection != name) continue;
    if (!end.started) return " (netsh did not start)";
    if (!end.ended) return " (netsh did not end within 15 seconds)";
    return " (netsh ended with exit code " + std::to_string(end.exit_code) +
           "; switching a connection needs administrator rights)";
  }
  return "";
}

std::optional<std::string> ConnectionSwitch::WhyNotOnlyEnabled(
    const AdapterTable& table, int index) {
  for (int j = 0; j < kAdapterSlots; ++j) {
    const AdapterSlot& slot = table.entries[j];
    if (!slot.Present || UnswitchableReason(slot.ConnectionName)) continue;
    const std::string quoted = "\"" + slot.ConnectionName + "\"";
    const auto enabled = network_.ConnectionEnabled(slot.ConnectionName);
    if (!enabled) {
      return "the system cannot tell whether the network connection " +
             quoted + " is switched on, so the adapter the control device "
             "reaches is not known";
    }
    if (j == index && !*enabled) {
      return "its network connection " + quoted +
             " could not be switched on" + FailedCommandNote(slot.ConnectionName);
    }
    if (j != index && *enabled) {
      return "the network connection " + quoted +
             " of another adapter is still switched on" +
             FailedCommandNote(slot.ConnectionName) +
             ", so the control device could reach that adapter instead";
    }
  }
  return std::nullopt;
}

void ConnectionSwitch::DisableAllConnections(const AdapterTable& table,
                                             int pause_ms) {
  for (const AdapterSlot& slot : table.entries) {
    if (!slot.Present) continue;
    DisableConnection(slot.ConnectionName, pause_ms);
    clock_.SleepMs(pause_ms);
  }
}

void ConnectionSwitch::EnableAllConnections(const AdapterTable& table,
                                            int pause_ms) {
  for (const AdapterSlot& slot : table.entries) {
    if (slot.Present) EnableConnection(slot.ConnectionName, pause_ms);
  }
}

void ConnectionSwitch::EnableAllConnectionsAtExit(const AdapterTable& table) {
  for (const AdapterSlot& slot : table.entries) {
    if (slot.Present && !UnswitchableReason(slot.ConnectionName)) {
      network_.StartCommand(EnableCommand(slot.ConnectionName));
    }
  }
}

AdapterLoop::Plan MultiAdapterLoop::PlanRun() {
  selected_ = 0;
  for (int k = 0; k < kAdapterSlots; ++k) selected_ += ticked_(k) ? 1 : 0;
  if (selected_ == 0) return Plan::kNothing;
  if (selected_ == 1 && table_.FoundCount == 1) return Plan::kSingle;
  return Plan::kLoop;
}

Outcome MultiAdapterLoop::RunLoop(Kind kind, const OpsContext& ctx,
                                  const Unit& unit) {
  OperatorPanel& panel = ctx.panel;
  panel.SetProgress(1);
  switch_.DisableAllConnections(table_, 50);
  std::string log = kLoopSeparator;
  Outcome first_failure = Outcome::kOk;
  int done = 0;
  std::vector<int> failed;
  bool stopped = false;
  for (int k = 0; k < kAdapterSlots; ++k) {
    const AdapterSlot& slot = table_.entries[k];
    if (!slot.Present || !ticked_(k)) continue;
    if (stop_ && stop_()) {
      stopped = true;
      break;
    }
    if (kind == Kind::kDump) panel.SetOutputText("");
    panel.SetAdapterPicture(k, AdapterPictureKind::kBusy);
    switch_.EnableConnection(slot.ConnectionName, 100);
    // Only this adapter's connection may be on: otherwise the unit could be
    // written to another adapter than the one the operator sees.
    if (const auto wrong = switch_.WhyNotOnlyEnabled(table_, k)) {
      panel.SetAdapterPicture(k, AdapterPictureKind::kFail);
      panel.ShowMessage(AdapterName(k, slot) + ": " + *wrong +
                        ". The loop stops here: no further adapter is "
                        "written.");
      failed.push_back(k + 1);
      first_failure = FirstFailure(first_failure, Outcome::kFailed);
      break;
    }
    AdapterPanel adapter_panel(panel, AdapterName(k, slot));
    const OpsContext unit_ctx = ctx.WithPanel(adapter_panel);
    std::string unit_text;
    Outcome outcome;
    if (kind == Kind::kProgram) {
      RefreshImage(unit_ctx);
      unit_text = panel.OutputText();
      outcome = unit(unit_ctx);
      if (!adapter_panel.verdict().empty()) {
        unit_text += adapter_panel.verdict() + "\r\n";
      }
    } else {
      clock_.SleepMs(200);
      outcome = unit(unit_ctx);
      panel.SetAdapterPicture(k, AdapterPictureKind::kBlank);
      unit_text = panel.OutputText();
    }
    switch_.DisableConnection(slot.ConnectionName, 50);
    const bool passed = outcome == Outcome::kOk;
    if (kind == Kind::kProgram) {
      panel.SetAdapterPicture(
          k, passed ? AdapterPictureKind::kPass : AdapterPictureKind::kFail);
    }
    if (kind == Kind::kDump || passed) {
      ++done;
      panel.SetProgress(done * 100 / selected_);
    }
    if (!passed) failed.push_back(k + 1);
    first_failure = FirstFailure(first_failure, outcome);
    log += slot.ChipLabel + "(" + slot.ConnectionName + ")\r\n" + unit_text +
           kLoopSeparator;
  }
  panel.SetOutputText(log);
  switch_.EnableAllConnections(table_, 50);
  if (kind == Kind::kProgram) {
    // The big picture and line speak for the whole loop, not for the last
    // adapter: one failed unit is a failed loop.
    panel.SetResultPicture(failed.empty() ? ResultPicture::kPass
                                          : ResultPicture::kFail);
    panel.ShowVerdict(LoopVerdict(done, failed), failed.empty());
  }
  return stopped ? Outcome::kInterrupted : first_failure;
}

}  // namespace srom
