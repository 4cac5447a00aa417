#include "cli/exit_codes.h"

#include <array>
#include <utility>

#include "device/device_operations.h"
#include "ops/refresh.h"

namespace srom::cli {
namespace {

struct CodeRow {
  ExitCode code;
  std::string_view name;
  std::string_view meaning;
};

constexpr std::array<CodeRow, 10> kCodes = {{
    {ExitCode::kOk, "ok", "done; the last line says PASS"},
    {ExitCode::kFailed, "failed", "failed otherwise; the messages say why"},
    {ExitCode::kUsage, "usage", "wrong command line, or not for this selection"},
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
}};

// The messages of the operations that end a unit, by what went wrong.
// Messages not listed only inform and leave the outcome to the result.
constexpr std::pair<std::string_view, ExitCode> kMessageClasses[] = {
    {"Current Device Selection is KM62058", ExitCode::kSettingsRejected},
    {"Current Device Selection is KM62057D", ExitCode::kSettingsRejected},
    {kCheckDataCorrectFail, ExitCode::kSettingsRejected},
    {"EFuse data format error please reload it", ExitCode::kSettingsRejected},
    {"EEPROM data got wrong, please reload it.!", ExitCode::kSettingsRejected},
    {"MAC Address Reach to Maximum MAC Address!", ExitCode::kSettingsRejected},
    {"Serial Number Reach to Maximum MAC Address!",
     ExitCode::kSettingsRejected},

    {"Device not found!", ExitCode::kDeviceAbsent},
    {kFailedToOpenDevice, ExitCode::kDeviceAbsent},
    {kOpenDeviceFail, ExitCode::kDeviceAbsent},

    {"Program fail", ExitCode::kWriteFailed},
    {kWriteEepromFailed, ExitCode::kWriteFailed},
    {kWriteEfuseFailed, ExitCode::kWriteFailed},
    {kReadEepromFailed, ExitCode::kWriteFailed},
    {kReadEfuseFailed, ExitCode::kWriteFailed},
    {"EFuse has been Programed!", ExitCode::kWriteFailed},

    {"EEPROM Program un-Complete!", ExitCode::kVerifyFailed},
    {"EFUSE Program un-Complete!", ExitCode::kVerifyFailed},
    {"Final check fail!", ExitCode::kVerifyFailed},
    {"Dump data are invalid, won't keep this value", ExitCode::kVerifyFailed},

    {"Failed to open file EEPROM.dat! \r\n", ExitCode::kFileRejected},
    {"Failed to read file EEPROM.dat! \r\n", ExitCode::kFileRejected},
    {"Loaded a Wrong EEPROM.dat file format!", ExitCode::kFileRejected},
    {"Write 'Serial-MAC.log' file failed.", ExitCode::kFileRejected},
    {"Open Log file fail!", ExitCode::kFileRejected},
    {"No Content can be Saved", ExitCode::kFileRejected},
    {"Can't write SROM file\n", ExitCode::kFileRejected},
    {"Can't write EFUSE file\n", ExitCode::kFileRejected},
    {"Can't write BIN file\n", ExitCode::kFileRejected},
    {"Save SROM.dat fail!", ExitCode::kFileRejected},
    {"Save Efuse.dat fail!", ExitCode::kFileRejected},
    {"File can't be opened.", ExitCode::kFileRejected},
};

}  // namespace

std::string_view ExitCodeName(ExitCode code) {
  for (const CodeRow& row : kCodes) {
    if (row.code == code) return row.name;
  }
  return "failed";
}

std::string ExitCodeTable() {
  std::string table = "Exit codes:\n";
  for (const CodeRow& row : kCodes) {
    std::string line = "  " + std::to_string(ToInt(row.code)) + "  ";
    line += row.name;
    line.resize(26, ' ');
    table += line;
    table += row.meaning;
    table += '\n';
  }
  return table;
}

std::optional<ExitCode> ClassifyMessage(std::string_view message) {
  for (const auto& [text, code] : kMessageClasses) {
    if (message == text) return code;
  }
  return std::nullopt;
}

std::optional<ExitCode> FirstFailure(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) {
    if (const auto code = ClassifyMessage(message)) return code;
  }
  return std::nullopt;
}

}  // namespace srom::cli
