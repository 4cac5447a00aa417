// The system's network reached through the Win32 API: GetAdaptersInfo for the
// adapter list, the registry for each adapter's connection name, and
// CreateProcessA for the command lines (netsh) that switch connections off
// and on. Windows only.
#pragma once

#include "device/network_port.h"

namespace srom {

class Win32NetworkPort : public NetworkPort {
 public:
  std::optional<std::vector<NetworkAdapter>> ListAdapters() override;
  std::variant<std::string, ConnectionNameFailure> ConnectionName(
      const std::string& adapter_name) override;
  // The command is looked up as CreateProcessA looks up a command line's
  // first word (the application's folder, the current folder, the system
  // folders, then PATH); it gets no window and runs at high priority.
  CommandEnd RunCommand(const std::string& command_line,
                        std::chrono::milliseconds wait) override;
  // The interface table (GetIfTable2): the row whose alias is the
  // connection's name, switched on by its administrator status.
  std::optional<bool> ConnectionEnabled(
      const std::string& connection_name) override;
  void StartCommand(const std::string& command_line) override;
};

}  // namespace srom
