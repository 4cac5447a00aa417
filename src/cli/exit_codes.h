// What srom-cli's exit code tells a line controller, and how the messages an
// operation showed map onto it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
};

// The code as a number, for returning from main().
constexpr int ToInt(ExitCode code) { return static_cast<int>(code); }

// The short name of a class as the last line of a run shows it after "FAIL: ".
std::string_view ExitCodeName(ExitCode code);

// The table of every code with its meaning, as --help shows it.
std::string ExitCodeTable();

// The class a message of the operations stands for, or nothing for messages
// that only inform (stepping notices, msg::kBinWritten).
std::optional<ExitCode> ClassifyMessage(std::string_view message);

// The class of the first message that has one: the first failure met is the
// cause, the later ones follow from it.
std::optional<ExitCode> FirstFailure(const std::vector<std::string>& messages);

}  // namespace srom::cli
