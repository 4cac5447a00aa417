// What srom-cli's exit code tells a line controller, and how an operation's
// outcome maps onto it.
#pragma once

#include <string>
#include <string_view>

#include "ops/outcome.h"

namespace srom::cli {

// One code per class of failure. A script may rely on these numbers: they
// never change meaning, new classes get new numbers.
enum class ExitCode : int {
  kOk = 0,
  kFailed = 1,            // failed for a reason outside the classes below
  kUsage = 2,             // the command line was wrong
  kSettingsRejected = 3,  // the settings or the image built from them refused
  kDeviceAbsent = 4,      // the adapter's control device does not open
  kWriteFailed = 5,       // a request to the adapter failed; nothing verified
  kVerifyFailed = 6,      // the adapter's memory is not what it should hold
  kFileRejected = 7,      // a file was refused, or could not be written
  kNotConfirmed = 8,      // a question needed --yes
  kNoDriver = 9,          // the maker's driver is not available on this system
  kStationBusy = 10,      // another program holds the station folder, or
                          // another station its name on the line
  kMacUsed = 11,          // the MAC address was given to a unit before
  kLedgerUnreachable = 12,  // the line's ledger server does not answer
  kLedgerRejected = 13,     // the line's ledger server refuses the settings
  kInterrupted = 14,        // stopped by Ctrl-C or a termination request
  kCheckFailed = 15,        // ledger --check: the ledger and the log disagree
  kLedgerUnprotected = 16,  // no synchronous standby acknowledges the line's
                            // ledger server's commits, and the station
                            // requires one (or ledger --health found none)
};

// The code as a number, for returning from main().
constexpr int ToInt(ExitCode code) { return static_cast<int>(code); }

// The short name of a class as the last line of a run shows it after "FAIL: ".
std::string_view ExitCodeName(ExitCode code);

// The table of every code with its meaning, as --help shows it.
std::string ExitCodeTable();

// The exit code of an operation's outcome.
ExitCode ExitCodeOf(Outcome outcome);

}  // namespace srom::cli
