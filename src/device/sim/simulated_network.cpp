#include "device/sim/simulated_network.h"

#include <string_view>

namespace srom {
namespace {

constexpr std::string_view kPrefix = "netsh interface set interface name=\"";

}  // namespace

std::string SimulatedAdapterName(int index) {
  return "{5A1B0000-0000-4000-8000-00000000000" + std::to_string(index) + "}";
}

void SimulatedNetwork::AddOtherAdapter(NetworkAdapter adapter,
                                       std::string connection_name) {
  std::lock_guard<std::mutex> lock(mutex_);
  others_.emplace_back(std::move(adapter), std::move(connection_name));
}

void SimulatedNetwork::FailConnectionName(std::string adapter_name,
                                          ConnectionNameFailure why) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.emplace_back(std::move(adapter_name), why);
}

std::optional<std::vector<NetworkAdapter>> SimulatedNetwork::ListAdapters() {
  std::vector<NetworkAdapter> list;
  const auto bench = bench_.Describe();
  for (std::size_t i = 0; i < bench.size(); ++i) {
    list.push_back({SimulatedAdapterName(static_cast<int>(i)),
                    bench[i].description});
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [adapter, connection] : others_) list.push_back(adapter);
  return list;
}

std::variant<std::string, ConnectionNameFailure>
SimulatedNetwork::ConnectionName(const std::string& adapter_name) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, why] : failures_) {
      if (name == adapter_name) return why;
    }
    for (const auto& [adapter, connection] : others_) {
      if (adapter.name == adapter_name) return connection;
    }
  }
  const auto bench = bench_.Describe();
  for (std::size_t i = 0; i < bench.size(); ++i) {
    if (SimulatedAdapterName(static_cast<int>(i)) == adapter_name) {
      return bench[i].connection_name;
    }
  }
  return ConnectionNameFailure::kKeyNotOpened;
}

bool SimulatedNetwork::CarryOut(const std::string& line) {
  // netsh interface set interface name="<name>" admin=DISABLED|ENABLE
  if (line.rfind(kPrefix, 0) != 0) return false;
  const std::size_t start = kPrefix.size();
  const std::size_t end = line.find('"', start);
  if (end == std::string::npos) return false;
  const std::string name = line.substr(start, end - start);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refused_.count(name) != 0) return false;
  }
  const std::string_view admin = std::string_view(line).substr(end + 1);
  if (admin == " admin=DISABLED") return bench_.DisableConnection(name);
  if (admin == " admin=ENABLE") return bench_.EnableConnection(name);
  return false;
}

CommandEnd SimulatedNetwork::RunCommand(const std::string& command_line,
                                        std::chrono::milliseconds) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back("run: " + command_line);
  }
  // netsh's exit code for a switch it could not make.
  return {true, true, CarryOut(command_line) ? 0ul : 1ul};
}

std::optional<bool> SimulatedNetwork::ConnectionEnabled(
    const std::string& connection_name) {
  for (const BenchAdapterInfo& adapter : bench_.Describe()) {
    if (adapter.connection_name == connection_name) return adapter.enabled;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [adapter, connection] : others_) {
    if (connection == connection_name) return true;
  }
  return false;
}

void SimulatedNetwork::RefuseSwitching(std::string connection_name) {
  std::lock_guard<std::mutex> lock(mutex_);
  refused_.insert(std::move(connection_name));
}

void SimulatedNetwork::StartCommand(const std::string& command_line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back("start: " + command_line);
  }
  CarryOut(command_line);
}

std::vector<std::string> SimulatedNetwork::commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

}  // namespace srom
