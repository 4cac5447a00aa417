// The operating system's network adapters and connections, as far as
// programming several adapters needs them: the adapter list, each adapter's
// connection name, and command lines that switch a connection off and on.
// On Windows the adapter list, the registry and netsh; elsewhere the
// simulated bench.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace srom {

struct NetworkAdapter {
  std::string name;         // the system's identifier string for it
  std::string description;  // what the vendor calls it
  bool operator==(const NetworkAdapter&) const = default;
};

// Why an adapter's connection name could not be read.
enum class ConnectionNameFailure {
  kKeyNotOpened,  // the connection's registry key
  kValueNotRead,  // its value "Name"
};

class NetworkPort {
 public:
  virtual ~NetworkPort() = default;

  // The adapters in the system's order; nothing when the list cannot be read.
  virtual std::optional<std::vector<NetworkAdapter>> ListAdapters() = 0;

  // The connection name of the adapter called `adapter_name`, as the
  // operator sees it in the system.
  virtual std::variant<std::string, ConnectionNameFailure> ConnectionName(
      const std::string& adapter_name) = 0;

  // Starts `command_line` hidden and waits for it, at most `wait`. Its
  // outcome is not examined.
  virtual void RunCommand(const std::string& command_line,
                          std::chrono::milliseconds wait) = 0;

  // Starts `command_line` hidden and returns at once (the window closing).
  virtual void StartCommand(const std::string& command_line) = 0;
};

}  // namespace srom
