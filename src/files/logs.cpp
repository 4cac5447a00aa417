#include "files/logs.h"

#include <cstdio>
#include <optional>

#include "model/chip_traits.h"
#include "model/hex_text.h"
#include "model/messages.h"

namespace srom {
namespace {

// The fixed serial number of an eFuse unit whose serial is not its MAC.
constexpr const char* kFixedSerial = "00000000000001";

// " 058/EEPROM", " 057D/EFUSE" and so on; nothing for no selection.
std::optional<std::string> DeviceColumn(int device_sel) {
  if (!IsValidDeviceSel(device_sel)) return std::nullopt;
  return std::string(" ") + TraitsOfSel(device_sel).log_label +
         (IsEepromSel(device_sel) ? "/EEPROM" : "/EFUSE");
}

}  // namespace

std::string LoggedSerial(const SromSettings& settings) {
  if (!IsEfuseSel(settings.DeviceSel)) return settings.CurrentSerial;
  return settings.FixedSerial ? kFixedSerial : "00" + settings.CurrentMac;
}

std::string SerialMacLogHeader() {
  return "   Device\tSerial No.\tMAC Address\tDate\t\tTime   \r\n" +
         std::string(72, '=') + "\r\n";
}

std::string SerialMacLogLine(const SromSettings& settings,
                             const LocalTime& time) {
  const int sel = NormalizeDeviceSel(settings.DeviceSel);
  const auto device = DeviceColumn(sel);
  if (!device) return {};
  const std::string serial = LoggedSerial(settings);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%4d/%02d/%02d\t%02d:%02d:%02d \r\n",
                time.year, time.month, time.day, time.hour, time.minute,
                time.second);
  return *device + '\t' + serial + '\t' + settings.CurrentMac + '\t' + stamp;
}

std::string RetryLogEntry(const ImageBuffer& dump_data, int index,
                          const LocalTime& time) {
  char head[160];
  if (index <= 0) {
    std::snprintf(
        head, sizeof head,
        "\r\nTime:\t%02d/%02d %02d:%02d:%02d\r\nResult:\tCompare fail! "
        "Retry program\r\nFirst Program:\r\n",
        time.month, time.day, time.hour, time.minute, time.second);
  } else {
    std::snprintf(head, sizeof head, "Retry Times: %d\r\n", index);
  }
  return head +
         FormatHexListing(ImageArea(dump_data).first(kEfuseSize), "\r\n", true);
}

bool AppendSerialMacLog(const FileFolders& folders,
                        const SromSettings& settings, const Clock& clock,
                        Reporter& reporter) {
  const auto path = folders.program_folder / "Serial-MAC.log";
  std::string text = MayExist(path) ? std::string() : SerialMacLogHeader();
  text += SerialMacLogLine(settings, clock.Now());
  if (!AppendToFile(path, text)) {
    reporter.ShowMessage(msg::kSerialMacLogFailed);
    return false;
  }
  return true;
}

bool AppendRetryLog(const FileFolders& folders, const ImageBuffer& dump_data,
                    int index, const Clock& clock, Reporter& reporter) {
  const LocalTime now = clock.Now();
  if (!AppendToFile(folders.program_folder / "RetryLog.txt",
                    RetryLogEntry(dump_data, index, now))) {
    reporter.ShowMessage(msg::kRetryLogFailed);
    return false;
  }
  return true;
}

}  // namespace srom
