#include "cli/exit_codes.h"

#include <algorithm>
#include <array>

namespace srom::cli {
namespace {

struct CodeRow {
  ExitCode code;
  std::string_view name;
  std::string_view meaning;
};

constexpr std::array<CodeRow, 17> kCodes = {{
    {ExitCode::kOk, "ok", "done; the last line says PASS"},
    {ExitCode::kFailed, "failed", "failed otherwise; the messages say why"},
    {ExitCode::kUsage, "usage",
     "wrong command line, or not for this selection"},
    {ExitCode::kSettingsRejected, "settings rejected",
     "a check refused the settings or their image"},
    {ExitCode::kDeviceAbsent, "device absent",
     "the adapter's control device does not open"},
    {ExitCode::kWriteFailed, "write failed",
     "a request to the adapter failed, or the eFuse is already programmed"},
    {ExitCode::kVerifyFailed, "verification failed",
     "the adapter reads back other bytes than written, or an invalid image"},
    {ExitCode::kFileRejected, "file rejected",
     "a file was refused, or one could not be written"},
    {ExitCode::kNotConfirmed, "not confirmed",
     "the operation asks a question: answer OK with --yes"},
    {ExitCode::kNoDriver, "driver not available",
     "--device driver on a system without the maker's driver"},
    {ExitCode::kStationBusy, "station in use",
     "another program holds the station folder, or another live station "
     "its name on the line"},
    {ExitCode::kMacUsed, "MAC address used",
     "the ledger holds the MAC address as given: --allow-reissue for a "
     "rework"},
    {ExitCode::kLedgerUnreachable, "ledger unreachable",
     "the line's ledger server does not answer: try again when it does"},
    {ExitCode::kLedgerRejected, "ledger settings rejected",
     "the line's ledger server refuses the settings (database, login, "
     "permissions, a newer tool's ledger): correct them"},
    {ExitCode::kInterrupted, "interrupted",
     "stopped by Ctrl-C or a termination request; the adapter in hand was "
     "finished"},
    {ExitCode::kCheckFailed, "check failed",
     "ledger --check: a unit's record and Serial-MAC.log disagree"},
    {ExitCode::kLedgerUnprotected, "ledger unprotected",
     "no synchronous standby acknowledges the line's ledger server's "
     "commits: require_standby=yes programs nothing until one does "
     "(ledger --health says why)"},
}};

}  // namespace

std::string_view ExitCodeName(ExitCode code) {
  for (const CodeRow& row : kCodes) {
    if (row.code == code) return row.name;
  }
  return "failed";
}

std::string ExitCodeTable() {
  std::string table = "Exit codes:\n";
  // The meanings in one column, two blanks past the longest name.
  std::size_t name_width = 0;
  for (const CodeRow& row : kCodes) {
    name_width = std::max(name_width, row.name.size());
  }
  for (const CodeRow& row : kCodes) {
    std::string number = std::to_string(ToInt(row.code));
    number.insert(0, 2 - std::min<std::size_t>(number.size(), 2), ' ');
    std::string line = "  " + number + "  ";
    line += row.name;
    line.resize(6 + name_width + 2, ' ');
    table += line;
    table += row.meaning;
    table += '\n';
  }
  return table;
}

ExitCode ExitCodeOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOk:
      return ExitCode::kOk;
    case Outcome::kFailed:
      return ExitCode::kFailed;
    case Outcome::kSettingsRejected:
      return ExitCode::kSettingsRejected;
    case Outcome::kDeviceAbsent:
      return ExitCode::kDeviceAbsent;
    case Outcome::kWriteFailed:
      return ExitCode::kWriteFailed;
    case Outcome::kVerifyFailed:
      return ExitCode::kVerifyFailed;
    case Outcome::kFileRejected:
      return ExitCode::kFileRejected;
    case Outcome::kNotConfirmed:
      return ExitCode::kNotConfirmed;
    case Outcome::kMacAlreadyUsed:
      return ExitCode::kMacUsed;
    case Outcome::kStationBusy:
      return ExitCode::kStationBusy;
    case Outcome::kLedgerUnreachable:
      return ExitCode::kLedgerUnreachable;
    case Outcome::kInterrupted:
      return ExitCode::kInterrupted;
    case Outcome::kLedgerRejected:
      return ExitCode::kLedgerRejected;
    case Outcome::kLedgerUnprotected:
      return ExitCode::kLedgerUnprotected;
  }
  return ExitCode::kFailed;
}

}  // namespace srom::cli
