// The computer's name, as the line's ledger shows which station did what.
#pragma once

#include <string>

namespace srom {

// The network name of this computer; "this-computer" when it has none.
std::string HostName();

}  // namespace srom
