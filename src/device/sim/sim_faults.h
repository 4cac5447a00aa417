// The faults a simulated adapter can be told to show, as `srom-cli sim
// fault`, the setup files and the simulator's panel name them: one table
// row per fault with its words, the values its arguments take, what it
// means, and how it is armed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device/sim/simulated_adapter.h"

namespace srom {

// The faults, one line each, for help.
std::string SimFaultHelp();

// Why `words` is not a fault the adapter knows, or nothing when it is.
std::optional<std::string> CheckSimFault(const std::vector<std::string>& words);

// Arms the fault `words` name on an adapter already in use, its request
// numbers counted from this call; "clear" takes every fault away, an absent
// driver included, as `sim fault clear` does for the next run. CheckSimFault's
// refusal, and nothing armed, when the words name no fault.
std::optional<std::string> ArmSimFault(const std::vector<std::string>& words,
                                       SimulatedAdapter& adapter);

}  // namespace srom
