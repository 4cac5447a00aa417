// srom-cli: the window's operations from a terminal, for line automation.
// Results go to `out`, every message and the closing PASS or FAIL line to
// `err`; the return value is the exit code (cli/exit_codes.h).
#pragma once

#include <ostream>

namespace srom::cli {

int RunSromCli(int argc, const char* const* argv, std::ostream& out,
               std::ostream& err);

}  // namespace srom::cli
