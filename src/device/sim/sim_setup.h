// The station's simulated adapter between runs: its memories in the adapter's
// own state file, and beside it what the adapter's memories cannot say: plugged
// in or not, and the faults it has been told to show.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/sim/simulated_adapter.h"

namespace srom {

inline constexpr char kSimStateFile[] = "simulated-adapter.txt";
inline constexpr char kSimSetupFile[] = "simulated-adapter-setup.txt";

// A new simulated adapter's EEPROM, as the window's training adapter has.
inline constexpr int kSimDefaultEepromSize = 512;

struct SimSetup {
  bool plugged = true;
  // Each fault as its words: a kind and its numbers or request name.
  std::vector<std::vector<std::string>> faults;

  bool operator==(const SimSetup&) const = default;
};

// The faults a simulated adapter can be told to show, one line each, for help.
std::string SimFaultHelp();

// Why `words` is not a fault the adapter knows, or nothing when it is.
std::optional<std::string> CheckSimFault(const std::vector<std::string>& words);

// Arms the fault `words` name on an adapter already in use, its request
// numbers counted from this call; "clear" takes every fault away, an absent
// driver included, as `sim fault clear` does for the next run. CheckSimFault's
// refusal, and nothing armed, when the words name no fault.
std::optional<std::string> ArmSimFault(const std::vector<std::string>& words,
                                       SimulatedAdapter& adapter);

// Plugs the adapter in or out and arms every fault; call on a new adapter,
// before its first request, so that request numbers count from the run's start.
void ApplySimSetup(const SimSetup& setup, SimulatedAdapter& adapter);

// The setup of `file`; the default (plugged, no fault) when there is no file.
// Nothing when the file is there but cannot be read or is not a setup.
std::optional<SimSetup> LoadSimSetup(const std::filesystem::path& file);
bool SaveSimSetup(const std::filesystem::path& file, const SimSetup& setup);

// The simulated adapter of the station in `folder`, as every front end opens
// it: its memories kept in the folder's state file, plugged in or out and
// with its faults armed as the setup file says. Nothing, with `error` saying
// which file, when one of them cannot be read.
std::unique_ptr<SimulatedAdapter> OpenStationSimAdapter(
    const std::filesystem::path& folder, std::string& error);

// A fault's words joined by spaces, as `sim show` and the setup file write it.
std::string JoinWords(const std::vector<std::string>& words);

}  // namespace srom
