// The network side of a simulated bench: its adapters as the system would
// list them, their connection names, and the netsh command lines that switch
// a connection, carried out on the bench. It keeps every command line it was
// given, in order, for the tests.
#pragma once

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/network_port.h"
#include "device/sim/simulated_bench.h"

namespace srom {

class SimulatedNetwork : public NetworkPort {
 public:
  explicit SimulatedNetwork(SimulatedBench& bench) : bench_(bench) {}

  // Other adapters of the system, listed after the bench's (a network card
  // that is not ours, say).
  void AddOtherAdapter(NetworkAdapter adapter, std::string connection_name);
  // The connection names of these adapters cannot be read.
  void FailConnectionName(std::string adapter_name, ConnectionNameFailure why);
  // netsh cannot switch this connection (no administrator rights): its
  // commands end with exit code 1 and change nothing.
  void RefuseSwitching(std::string connection_name);

  std::optional<std::vector<NetworkAdapter>> ListAdapters() override;
  std::variant<std::string, ConnectionNameFailure> ConnectionName(
      const std::string& adapter_name) override;
  CommandEnd RunCommand(const std::string& command_line,
                        std::chrono::milliseconds wait) override;
  std::optional<bool> ConnectionEnabled(
      const std::string& connection_name) override;
  void StartCommand(const std::string& command_line) override;

  // "run: <line>" and "start: <line>", in order.
  std::vector<std::string> commands() const;

 private:
  // False when the line switches nothing.
  bool CarryOut(const std::string& command_line);

  SimulatedBench& bench_;
  mutable std::mutex mutex_;
  std::vector<std::pair<NetworkAdapter, std::string>> others_;
  std::vector<std::pair<std::string, ConnectionNameFailure>> failures_;
  std::vector<std::string> commands_;
  std::set<std::string> refused_;
};

// The name the bench's adapter number `index` (0..5) has in the system's
// list.
std::string SimulatedAdapterName(int index);

}  // namespace srom
