#include "cli/exit_codes.h"

#include <array>
#include <utility>

#include "device/device_operations.h"
#include "ops/refresh.h"
#include "model/messages.h"

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
    {msg::kSelectionIsChipA, ExitCode::kSettingsRejected},
    {msg::kSelectionIsChipB, ExitCode::kSettingsRejected},
    {msg::kCheckDataCorrectFail, ExitCode::kSettingsRejected},
    {msg::kEfuseFormatError, ExitCode::kSettingsRejected},
    {msg::kEepromDataWrong, ExitCode::kSettingsRejected},
    {msg::kMacAtMaximum, ExitCode::kSettingsRejected},
    {msg::kSerialAtMaximum,
     ExitCode::kSettingsRejected},

    {msg::kDeviceNotFound, ExitCode::kDeviceAbsent},
    {msg::kFailedToOpenDevice, ExitCode::kDeviceAbsent},
    {msg::kOpenDeviceFail, ExitCode::kDeviceAbsent},

    {msg::kProgramFail, ExitCode::kWriteFailed},
    {msg::kWriteEepromFailed, ExitCode::kWriteFailed},
    {msg::kWriteEfuseFailed, ExitCode::kWriteFailed},
    {msg::kReadEepromFailed, ExitCode::kWriteFailed},
    {msg::kReadEfuseFailed, ExitCode::kWriteFailed},
    {msg::kEfuseProgrammed, ExitCode::kWriteFailed},

    {msg::kEepromProgramIncomplete, ExitCode::kVerifyFailed},
    {msg::kEfuseProgramIncomplete, ExitCode::kVerifyFailed},
    {msg::kFinalCheckFail, ExitCode::kVerifyFailed},
    {msg::kDumpInvalid, ExitCode::kVerifyFailed},

    {msg::kEepromDatOpenFailed, ExitCode::kFileRejected},
    {msg::kEepromDatReadFailed, ExitCode::kFileRejected},
    {msg::kEepromDatWrongFormat, ExitCode::kFileRejected},
    {msg::kSerialMacLogFailed, ExitCode::kFileRejected},
    {msg::kRetryLogFailed, ExitCode::kFileRejected},
    {msg::kNoContentToSave, ExitCode::kFileRejected},
    {msg::kCannotWriteSrom, ExitCode::kFileRejected},
    {msg::kCannotWriteEfuse, ExitCode::kFileRejected},
    {msg::kCannotWriteBin, ExitCode::kFileRejected},
    {msg::kSaveSromDatFail, ExitCode::kFileRejected},
    {msg::kSaveEfuseDatFail, ExitCode::kFileRejected},
    {msg::kFileCannotBeOpened, ExitCode::kFileRejected},
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
