// Several adapters on one workstation: the six slots a scan fills, the netsh
// command lines that switch a connection, the switching with its pauses, and
// the loop that runs Program or Dump on each ticked adapter in turn with its
// connection the only one enabled.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/network_port.h"
#include "model/settings.h"
#include "ops/adapter_loop.h"
#include "ports/clock.h"

namespace srom {

// A description holding this names a supported adapter.
inline constexpr std::string_view kSupportedAdapterMark = "6205";
// A command line is built in a buffer of 260 bytes.
inline constexpr std::size_t kMaxCommandChars = 259;
// A netsh process is waited for at most this long.
inline constexpr std::chrono::milliseconds kCommandWait{15000};

struct AdapterSlot {
  std::string ConnectionName;
  std::string ChipLabel;  // characters 6 to 13 of the description
  bool Present = false;
};

struct AdapterTable {
  std::array<AdapterSlot, kAdapterSlots> entries;
  int FoundCount = 0;
};

// The netsh command lines for a connection.
std::string DisableCommand(const std::string& connection_name);
std::string EnableCommand(const std::string& connection_name);
// Why a connection cannot be switched: a double quote in its name would end
// the quoted name and pass the rest to netsh as arguments, and so would a
// backslash at its end (it escapes the closing quote); a name too long would
// be cut. Nothing when it can.
std::optional<std::string> UnswitchableReason(
    const std::string& connection_name);

// An adapter box after a scan.
struct AdapterBoxState {
  std::string caption;
  bool enabled = false;
  bool ticked = false;
};

struct ScanResult {
  std::array<AdapterBoxState, kAdapterSlots> boxes;
  // Message boxes to show, in order.
  std::vector<std::string> messages;
  // Text for the output box.
  std::string output_note;
};

// Empties the six slots, then fills them with the supported adapters in the
// system's order. An adapter takes part only when its chip label is found in
// `device_entry` (the device list's entry text) and its connection can be
// switched. A connection name that cannot be read ends the scan there.
ScanResult ScanAdapters(NetworkPort& network, AdapterTable& table,
                        std::string_view device_entry);

// Switching connections, with the pauses that let the system settle.
class ConnectionSwitch {
 public:
  ConnectionSwitch(NetworkPort& network, Clock& clock)
      : network_(network), clock_(clock) {}
  void DisableConnection(const std::string& name, int pause_ms);
  void EnableConnection(const std::string& name, int pause_ms);
  // Why the control device may reach another adapter than slot `index`:
  // its connection is not switched on, another one is, or the system
  // cannot tell. Nothing when slot `index`'s connection is the only one
  // of the table switched on.
  std::optional<std::string> WhyNotOnlyEnabled(const AdapterTable& table,
                                               int index);
  void DisableAllConnections(const AdapterTable& table, int pause_ms);
  void EnableAllConnections(const AdapterTable& table, int pause_ms);
  // The window closing: every listed connection enabled, nothing waited for.
  void EnableAllConnectionsAtExit(const AdapterTable& table);

 private:
  // netsh's last exit code for each connection, where it failed.
  void Remember(const std::string& name, const CommandEnd& end);
  std::string FailedCommandNote(const std::string& name) const;

  NetworkPort& network_;
  Clock& clock_;
  std::vector<std::pair<std::string, CommandEnd>> failed_;
};

// The loop over the ticked adapters of a scan.
class MultiAdapterLoop : public AdapterLoop {
 public:
  // `ticked(k)` says whether adapter box k (0..5) is ticked now.
  MultiAdapterLoop(AdapterTable& table, NetworkPort& network, Clock& clock,
                   std::function<bool(int)> ticked)
      : table_(table),
        switch_(network, clock),
        clock_(clock),
        ticked_(std::move(ticked)) {}

  // Looked at before each adapter: once it says stop, the loop takes no
  // further adapter, ends as it always does (the log, every connection
  // enabled again) and comes to kInterrupted. The unit in hand finishes.
  void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }

  Plan PlanRun() override;
  Outcome RunLoop(Kind kind, const OpsContext& ctx, const Unit& unit) override;

 private:
  AdapterTable& table_;
  ConnectionSwitch switch_;
  Clock& clock_;
  std::function<bool(int)> ticked_;
  std::function<bool()> stop_;
  int selected_ = 0;
};

// How the operator knows adapter `index` (0..5) of a scan in messages:
// "Adapter 2 (Ethernet 2)".
std::string AdapterName(int index, const AdapterSlot& slot);

inline constexpr char kLoopSeparator[] =
    "-----------------------------------------------\r\n";

}  // namespace srom
