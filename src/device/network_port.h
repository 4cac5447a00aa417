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

// How a command that was waited for ended.
struct CommandEnd {
  bool started = false;  // the program was found and started
  bool ended = false;    // it ended within the wait
  unsigned long exit_code = 0;

  bool ok() const { return started && ended && exit_code == 0; }
  bool operator==(const CommandEnd&) const = default;
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

  // Starts `command_line` hidden and waits for it, at most `wait`.
  virtual CommandEnd RunCommand(const std::string& command_line,
                                std::chrono::milliseconds wait) = 0;

  // Whether the connection called `connection_name` is switched on now: a
  // connection switched off, or one the system no longer lists, is not.
  // Nothing when the system cannot tell.
  virtual std::optional<bool> ConnectionEnabled(
      const std::string& connection_name) = 0;

  // Starts `command_line` hidden and returns at once (the window closing).
  virtual void StartCommand(const std::string& command_line) = 0;
};

}  // namespace srom
