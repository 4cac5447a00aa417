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

std::vector<LoggedUnit> LoggedUnits(std::string_view log) {
  std::vector<LoggedUnit> units;
  std::size_t number = 0;
  for (std::size_t start = 0; start < log.size();) {
    std::size_t end = log.find('\n', start);
    if (end == std::string_view::npos) end = log.size();
    std::string_view line = log.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
      const std::size_t tab = line.find('\t', from);
      fields.push_back(line.substr(from, tab == std::string_view::npos
                                             ? std::string_view::npos
                                             : tab - from));
      if (tab == std::string_view::npos) break;
      from = tab + 1;
    }
    // The header's first field is "   Device"; a unit's names its device.
    if (fields.size() < 3 ||
        (fields[0].find("/EEPROM") == std::string_view::npos &&
         fields[0].find("/EFUSE") == std::string_view::npos)) {
      continue;
    }
    LoggedUnit unit;
    unit.line = number;
    unit.serial = std::string(fields[1]);
    unit.mac = std::string(fields[2]);
    for (int sel = 0; sel < static_cast<int>(kDeviceSelEntries.size()); ++sel) {
      if (DeviceColumn(sel) == fields[0]) unit.device_sel = sel;
    }
    // "YYYY/MM/DD" and "HH:MM:SS " as SerialMacLogLine writes them.
    if (fields.size() >= 5) {
      std::string date(fields[3]);
      std::string time(fields[4]);
      while (!time.empty() && time.back() == ' ') time.pop_back();
      for (char& c : date) c = c == '/' ? '-' : c;
      unit.time = date + " " + time;
    }
    units.push_back(std::move(unit));
  }
  return units;
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
  const auto path = folders.program_folder / station_file::kSerialMacLog;
  std::string text = MayExist(path) ? std::string() : SerialMacLogHeader();
  text += SerialMacLogLine(settings, clock.Now());
  std::string why;
  if (!AppendToFile(path, text, &why)) {
    reporter.ShowMessage(msg::kSerialMacLogFailed);
    reporter.ShowMessage(why);
    return false;
  }
  return true;
}

bool AppendRetryLog(const FileFolders& folders, const ImageBuffer& dump_data,
                    int index, const Clock& clock, Reporter& reporter) {
  const LocalTime now = clock.Now();
  std::string why;
  if (!AppendToFile(folders.program_folder / station_file::kRetryLog,
                    RetryLogEntry(dump_data, index, now), &why)) {
    reporter.ShowMessage(msg::kRetryLogFailed);
    reporter.ShowMessage(why);
    return false;
  }
  return true;
}

}  // namespace srom
