#include "files/eeprom_dat.h"

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "model/messages.h"

namespace srom {
namespace fs = std::filesystem;

namespace {

// atoi(): leading white space, a sign, then the leading digits; 0 without
// digits. Saturates instead of overflowing.
int DecimalValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1)
      value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

std::string Flag(bool value) { return value ? "1" : "0"; }
bool IsSet(const std::string& text) { return DecimalValue(text) != 0; }

bool IsChipAEeprom(const SromSettings& s) {
  return s.DeviceSel == kChipAEeprom;
}

// One line of the file: its comment as written (part of the format, spelling
// included), the field's name for messages, how the value is written from the
// settings and read back into them, and for a list choice the range the
// window can show (low > high: not a choice). The device selection is read
// first, so every later line may depend on it.
struct LineRow {
  const char* comment;
  const char* name;
  std::string (*get)(const SromSettings&);
  void (*set)(SromSettings&, const std::string&);
  int low = 1;
  int high = 0;
  // Left out by selection 0 (chip B with EEPROM has no USB 3.0 LED boxes).
  bool usb3_line = false;

  bool is_choice() const { return low <= high; }
};

template <int Led>
LineRow LedSettingRow(const char* comment, const char* name) {
  return {
      comment, name,
      [](const SromSettings& s) { return std::to_string(s.LedSetting[Led]); },
      [](SromSettings& s, const std::string& v) {
        s.LedSetting[Led] = static_cast<std::uint8_t>(DecimalValue(v) & 0xFF);
      }};
}

template <int Led>
LineRow LedUsb3Row(const char* comment, const char* name) {
  return {comment,
          name,
          [](const SromSettings& s) {
            return IsChipAEeprom(s) ? Flag(s.LedUsb3[Led]) : std::string();
          },
          [](SromSettings& s, const std::string& v) {
            if (IsChipAEeprom(s)) s.LedUsb3[Led] = IsSet(v);
          },
          1,
          0,
          true};
}

const std::array<LineRow, kEepromDatValues>& Rows() {
  static const std::array<LineRow, kEepromDatValues> rows = {{
      {" // Device Select\r\n", "Device Select",
       [](const SromSettings& s) { return std::to_string(s.DeviceSel); },
       [](SromSettings& s, const std::string& v) {
         s.DeviceSel = DecimalValue(v);
       },
       kChipBEeprom, kChipAEfuse},
      {" // SROM Size\r\n", "SROM Size",
       [](const SromSettings& s) { return std::to_string(s.SromSize); },
       [](SromSettings& s, const std::string& v) {
         s.SromSize = DecimalValue(v);
       },
       0, 1},
      {" // Disable Setting\r\n", "Disable Setting",
       [](const SromSettings& s) { return Flag(s.DisableSetting); },
       [](SromSettings& s, const std::string& v) {
         s.DisableSetting = IsSet(v);
       }},
      {" // Current MAC address\r\n", "Current MAC address",
       [](const SromSettings& s) { return s.CurrentMac; },
       [](SromSettings& s, const std::string& v) { s.CurrentMac = v; }},
      {" // Maximum MAC address\r\n", "Maximum MAC address",
       [](const SromSettings& s) { return s.MaximumMac; },
       [](SromSettings& s, const std::string& v) { s.MaximumMac = v; }},
      {" // MAC addrese increases by\r\n", "MAC address Increase by",
       [](const SromSettings& s) { return std::to_string(s.MacIncrement); },
       [](SromSettings& s, const std::string& v) {
         s.MacIncrement = DecimalValue(v);
       },
       0, 9},
      {" // Current serial number\r\n", "Current serial number",
       [](const SromSettings& s) { return s.CurrentSerial; },
       [](SromSettings& s, const std::string& v) { s.CurrentSerial = v; }},
      {" // Maximum serial number\r\n", "Maximum serial number",
       [](const SromSettings& s) { return s.MaximumSerial; },
       [](SromSettings& s, const std::string& v) { s.MaximumSerial = v; }},
      {" // Serial number increases by\r\n", "Serial number Increase by",
       [](const SromSettings& s) { return std::to_string(s.SerialIncrement); },
       [](SromSettings& s, const std::string& v) {
         s.SerialIncrement = DecimalValue(v);
       },
       0, 9},
      {" // Manufacture String \r\n", "Manufacture String",
       [](const SromSettings& s) { return s.Manufacturer; },
       [](SromSettings& s, const std::string& v) { s.Manufacturer = v; }},
      {" // Product String\r\n", "Product String",
       [](const SromSettings& s) { return s.Product; },
       [](SromSettings& s, const std::string& v) { s.Product = v; }},
      {" // Vendor ID\r\n", "Vendor ID",
       [](const SromSettings& s) { return s.VendorId; },
       [](SromSettings& s, const std::string& v) { s.VendorId = v; }},
      {" // Product ID\r\n", "Product ID",
       [](const SromSettings& s) { return s.ProductId; },
       [](SromSettings& s, const std::string& v) { s.ProductId = v; }},
      // The power lines hold the row the chip edits; the eFuse selections
      // keep none.
      {" // Bus power\r\n", "Bus power",
       [](const SromSettings& s) {
         return IsEepromSel(s.DeviceSel) ? EditedBusPower(s) : std::string();
       },
       [](SromSettings& s, const std::string& v) {
         if (!IsEepromSel(s.DeviceSel)) return;
         EditedBusPower(s) = v;
         DerivePowerRows(s);
       }},
      {" // Self power\r\n", "Self power",
       [](const SromSettings& s) {
         return IsEepromSel(s.DeviceSel) ? EditedSelfPower(s) : std::string();
       },
       [](SromSettings& s, const std::string& v) {
         if (!IsEepromSel(s.DeviceSel)) return;
         EditedSelfPower(s) = v;
         DerivePowerRows(s);
       }},
      {" // Flag byte\r\n", "Flag byte",
       [](const SromSettings& s) { return s.FlagByte; },
       [](SromSettings& s, const std::string& v) { s.FlagByte = v; }},
      {" // Bar-Code\r\n", "Bar-Code",
       [](const SromSettings& s) { return Flag(s.BarCode); },
       [](SromSettings& s, const std::string& v) { s.BarCode = IsSet(v); }},
      LedSettingRow<0>(" // LED 0 Setting\r\n", "LED 0 Setting"),
      LedSettingRow<1>(" // LED 1 Setting\r\n", "LED 1 Setting"),
      LedSettingRow<2>(" // LED 2 Setting\r\n", "LED 2 Setting"),
      LedUsb3Row<0>(" // LED 0 USB 3.0\r\n", "LED 0 USB 3.0"),
      LedUsb3Row<1>(" // LED 1 USB 3.0\r\n", "LED 1 USB 3.0"),
      LedUsb3Row<2>(" // LED 2 USB 3.0\r\n", "LED 2 USB 3.0"),
      {" // SW Field\r\n", "SW Field",
       [](const SromSettings& s) { return s.SwField; },
       [](SromSettings& s, const std::string& v) { s.SwField = v; }},
      // In the eFuse selections the box's state lives in the fixed-serial
      // flag.
      {" // Based On Mac Address\r\n", "Based On Mac Address",
       [](const SromSettings& s) {
         return Flag(IsEfuseSel(s.DeviceSel) ? !s.FixedSerial : s.BasedOnMac);
       },
       [](SromSettings& s, const std::string& v) { s.BasedOnMac = IsSet(v); }},
      {" // Multi Enable\r\n", "Multi Enable",
       [](const SromSettings& s) { return Flag(s.MultiEnable); },
       [](SromSettings& s, const std::string& v) { s.MultiEnable = IsSet(v); }},
      // Deliberate spelling: "Auot" is how every settings file says it.
      {" // Auot Program\r\n", "Auto Program",
       [](const SromSettings& s) { return Flag(s.AutoProgram); },
       [](SromSettings& s, const std::string& v) { s.AutoProgram = IsSet(v); }},
      {" // Delay time\r\n", "Delay time",
       [](const SromSettings& s) { return std::to_string(s.DelayTime); },
       [](SromSettings& s, const std::string& v) {
         s.DelayTime = DecimalValue(v);
       },
       0, 15},
      {" // Device Sel Lock\r\n", "Device Sel Lock",
       [](const SromSettings& s) { return Flag(s.DeviceSelLock); },
       [](SromSettings& s, const std::string& v) {
         s.DeviceSelLock = IsSet(v);
       }},
  }};
  return rows;
}

// Value and spaces together fill this many characters before the comment.
constexpr std::size_t kValueColumn = 34;

// The rows a file of this selection holds, in file order.
std::vector<const LineRow*> RowsInFile(int device_sel) {
  std::vector<const LineRow*> rows;
  for (const LineRow& row : Rows()) {
    if (row.usb3_line && device_sel == kChipBEeprom) continue;
    rows.push_back(&row);
  }
  return rows;
}

}  // namespace

std::string FormatEepromDat(const SromSettings& settings) {
  std::string text;
  text.reserve(1700);
  for (const LineRow* row : RowsInFile(settings.DeviceSel)) {
    const std::string value = row->get(settings);
    text += '"';
    text += value;
    text += '"';
    if (value.size() < kValueColumn)
      text.append(kValueColumn - value.size(), ' ');
    text += row->comment;
  }
  return text;
}

std::optional<std::string> EepromDatRefusal(const SromSettings& settings) {
  for (const LineRow& row : Rows()) {
    if (!row.is_choice()) continue;
    const int value = DecimalValue(row.get(settings));
    if (value < row.low || value > row.high) {
      return msg::EepromDatOutOfRange(row.name, value);
    }
  }
  for (const LineRow& row : Rows()) {
    if (row.get(settings).find('"') != std::string::npos) {
      return msg::EepromDatDoubleQuote(row.name);
    }
  }
  if (FormatEepromDat(settings).size() > kEepromDatMaxBytes) {
    return std::string(msg::kEepromDatTooLong);
  }
  return std::nullopt;
}

std::optional<EepromDatValues> ParseEepromDat(std::string_view file) {
  if (file.size() > kEepromDatMaxBytes) return std::nullopt;
  EepromDatValues parsed;
  bool inside = false;
  for (const char c : file) {
    if (c == '"') {
      if (inside) {
        ++parsed.count;
        inside = false;
      } else {
        if (parsed.count == kEepromDatValues) return std::nullopt;
        inside = true;
      }
    } else if (inside) {
      parsed.values[parsed.count] += c;
    }
  }
  // Made at the end of every file, whatever its last byte: a file cut short
  // right after a quote (or an empty one) is refused like any other.
  if (inside || parsed.count < kEepromDatMinValues) return std::nullopt;
  return parsed;
}

std::optional<SromSettings> ApplyEepromDatValues(const EepromDatValues& parsed,
                                                 const SromSettings& current) {
  SromSettings s = current;
  // The device selection decides which lines the file holds and what the
  // later lines mean.
  const LineRow& selection = Rows().front();
  const int device_sel = DecimalValue(parsed.values[0]);
  if (device_sel < selection.low || device_sel > selection.high) {
    return std::nullopt;
  }
  selection.set(s, parsed.values[0]);
  const auto rows = RowsInFile(device_sel);
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const LineRow& row = *rows[k];
    const std::string& value = parsed.values[k];
    if (row.is_choice()) {
      const int choice = DecimalValue(value);
      if (choice < row.low || choice > row.high) return std::nullopt;
    }
    row.set(s, value);
  }
  return s;
}

std::optional<SromSettings> SettingsFromEepromDat(std::string_view file,
                                                  const SromSettings& current) {
  const auto parsed = ParseEepromDat(file);
  if (!parsed) return std::nullopt;
  return ApplyEepromDatValues(*parsed, current);
}

void AcceptSavedSettings(const SromSettings& s, LastAccepted& accepted) {
  accepted.CurrentMac = s.CurrentMac;
  accepted.MaximumMac = s.MaximumMac;
  accepted.CurrentSerial = s.CurrentSerial;
  accepted.MaximumSerial = s.MaximumSerial;
  accepted.Manufacturer = s.Manufacturer;
  accepted.Product = s.Product;
  accepted.ProductId = s.ProductId;
  accepted.VendorId = s.VendorId;
  if (IsEepromSel(s.DeviceSel)) {
    accepted.BusPower = EditedBusPower(s);
    accepted.SelfPower = EditedSelfPower(s);
  }
  accepted.FlagByte = s.FlagByte;
}

bool SaveEepromDat(const FileFolders& folders, const SromSettings& settings,
                   LastAccepted& accepted, Reporter& reporter) {
  if (const auto refusal = EepromDatRefusal(settings)) {
    reporter.ShowMessage(*refusal);
    return false;
  }
  std::string why;
  if (!SaveFile(folders.program_folder / station_file::kSettings,
                FormatEepromDat(settings), &why)) {
    reporter.ShowMessage(msg::kEepromDatOpenFailed);
    reporter.ShowMessage(why);
    return false;
  }
  AcceptSavedSettings(settings, accepted);
  return true;
}

EepromLoadResult LoadEepromDat(const FileFolders& folders,
                               SromSettings& settings, LastAccepted& accepted,
                               Reporter& reporter) {
  fs::path path = folders.working_folder / station_file::kSettings;
  if (!MayExist(path)) {
    // Saving goes to ProgramFolder: a file there holds the run's MAC counter
    // and must be loaded, never replaced by the defaults.
    const fs::path own = folders.program_folder / station_file::kSettings;
    if (!MayExist(own)) {
      reporter.ShowMessage(msg::kEepromDatCreated);
      return {EepromDatLoad::kCreated,
              SaveEepromDat(folders, settings, accepted, reporter)};
    }
    path = own;
  }

  // Only a regular file is opened: a pipe under the name would block the
  // start-up for good. A file longer than the reading buffer is no settings
  // file, and is not read at all.
  const FileRead read =
      ReadPlainFile(path, kSettingsFileCap, LinkRule::kRefuse);
  if (read.fault == ReadFault::kTooLarge) {
    reporter.ShowMessage(msg::kEepromDatWrongFormat);
    reporter.ShowMessage(ReadFailureText(path, ReadFaultText(read)));
    return {EepromDatLoad::kWrongFormat, false};
  }
  if (!read.ok()) {
    reporter.ShowMessage(msg::kEepromDatReadFailed);
    reporter.ShowMessage(ReadFailureText(path, ReadFaultText(read)));
    return {EepromDatLoad::kUnreadable, false};
  }

  const std::string& bytes = read.bytes;
  const auto loaded = SettingsFromEepromDat(bytes, settings);
  if (!loaded) {
    reporter.ShowMessage(msg::kEepromDatWrongFormat);
    return {EepromDatLoad::kWrongFormat, false};
  }
  settings = *loaded;
  AcceptSavedSettings(settings, accepted);
  return {EepromDatLoad::kLoaded, false};
}

}  // namespace srom
