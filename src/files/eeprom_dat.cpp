#include "files/eeprom_dat.h"
#include "model/messages.h"

#include <climits>
#include <cstdio>
#include <string>

namespace srom {
namespace fs = std::filesystem;

namespace {

// The line of each value: its comment as written and the field's name for
// messages. The comments are part of the file format, spelling included.
struct LineSpec {
  const char* comment;
  const char* name;
};

constexpr std::array<LineSpec, kEepromDatValues> kLines = {{
    {" // Device Select\r\n", "Device Select"},
    {" // SROM Size\r\n", "SROM Size"},
    {" // Disable Setting\r\n", "Disable Setting"},
    {" // Current MAC address\r\n", "Current MAC address"},
    {" // Maximum MAC address\r\n", "Maximum MAC address"},
    {" // MAC addrese increases by\r\n", "MAC address Increase by"},
    {" // Current serial number\r\n", "Current serial number"},
    {" // Maximum serial number\r\n", "Maximum serial number"},
    {" // Serial number increases by\r\n", "Serial number Increase by"},
    {" // Manufacture String \r\n", "Manufacture String"},
    {" // Product String\r\n", "Product String"},
    {" // Vendor ID\r\n", "Vendor ID"},
    {" // Product ID\r\n", "Product ID"},
    {" // Bus power\r\n", "Bus power"},
    {" // Self power\r\n", "Self power"},
    {" // Flag byte\r\n", "Flag byte"},
    {" // Bar-Code\r\n", "Bar-Code"},
    {" // LED 0 Setting\r\n", "LED 0 Setting"},
    {" // LED 1 Setting\r\n", "LED 1 Setting"},
    {" // LED 2 Setting\r\n", "LED 2 Setting"},
    {" // LED 0 USB 3.0\r\n", "LED 0 USB 3.0"},
    {" // LED 1 USB 3.0\r\n", "LED 1 USB 3.0"},
    {" // LED 2 USB 3.0\r\n", "LED 2 USB 3.0"},
    {" // SW Field\r\n", "SW Field"},
    {" // Based On Mac Address\r\n", "Based On Mac Address"},
    {" // Multi Enable\r\n", "Multi Enable"},
    {" // Auot Program\r\n", "Auto Program"},
    {" // Delay time\r\n", "Delay time"},
    {" // Device Sel Lock\r\n", "Device Sel Lock"},
}};

// Value and spaces together fill this many characters before the comment.
constexpr std::size_t kValueColumn = 34;
// Selection 0 leaves out the three LED USB 3.0 lines.
constexpr std::size_t kFirstUsb3Line = 20;
constexpr std::size_t kUsb3Lines = 3;

const char* const kWrongFormat = msg::kEepromDatWrongFormat;

// A list choice the window can show, and the range each one must lie in.
struct ChoiceRange {
  std::size_t line;
  int low;
  int high;
};
constexpr std::array<ChoiceRange, 5> kChoiceRanges = {{
    {0, kChipBEeprom, kChipAEfuse},  // device selection
    {1, 0, 1},                       // SROM size
    {5, 0, 9},                       // MAC "Increase by"
    {8, 0, 9},                       // serial "Increase by"
    {27, 0, 15},                     // delay time
}};

bool WritesUsb3Lines(int device_sel) { return device_sel != kChipBEeprom; }

std::string Flag(bool value) { return value ? "1" : "0"; }

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

// The 29 values of the table, as SaveEepromDat writes them.
std::array<std::string, kEepromDatValues> LineValues(const SromSettings& s) {
  const bool chip_a_eeprom = s.DeviceSel == kChipAEeprom;
  const bool chip_b_eeprom = s.DeviceSel == kChipBEeprom;
  const bool efuse = IsEfuseSel(s.DeviceSel);
  std::string bus_power;
  std::string self_power;
  if (chip_a_eeprom) {
    bus_power = s.SuperBusPower;
    self_power = s.SuperSelfPower;
  } else if (chip_b_eeprom) {
    bus_power = s.HighBusPower;
    self_power = s.HighSelfPower;
  }
  std::array<std::string, kEepromDatValues> v;
  v[0] = std::to_string(s.DeviceSel);
  v[1] = std::to_string(s.SromSize);
  v[2] = Flag(s.DisableSetting);
  v[3] = s.CurrentMac;
  v[4] = s.MaximumMac;
  v[5] = std::to_string(s.MacIncrement);
  v[6] = s.CurrentSerial;
  v[7] = s.MaximumSerial;
  v[8] = std::to_string(s.SerialIncrement);
  v[9] = s.Manufacturer;
  v[10] = s.Product;
  v[11] = s.VendorId;
  v[12] = s.ProductId;
  v[13] = bus_power;
  v[14] = self_power;
  v[15] = s.FlagByte;
  v[16] = Flag(s.BarCode);
  for (int led = 0; led < kLedCount; ++led) {
    v[17 + led] = std::to_string(s.LedSetting[led]);
    v[kFirstUsb3Line + led] = chip_a_eeprom ? Flag(s.LedUsb3[led]) : "";
  }
  v[23] = s.SwField;
  // In the eFuse selections the box's state lives in the fixed-serial flag.
  v[24] = Flag(efuse ? !s.FixedSerial : s.BasedOnMac);
  v[25] = Flag(s.MultiEnable);
  v[26] = Flag(s.AutoProgram);
  v[27] = std::to_string(s.DelayTime);
  v[28] = Flag(s.DeviceSelLock);
  return v;
}

int ChoiceValue(const SromSettings& s, std::size_t line) {
  switch (line) {
    case 0:
      return s.DeviceSel;
    case 1:
      return s.SromSize;
    case 5:
      return s.MacIncrement;
    case 8:
      return s.SerialIncrement;
    default:
      return s.DelayTime;
  }
}

}  // namespace

std::string FormatEepromDat(const SromSettings& settings) {
  const auto values = LineValues(settings);
  const bool usb3 = WritesUsb3Lines(settings.DeviceSel);
  std::string text;
  text.reserve(1700);
  for (std::size_t line = 0; line < kEepromDatValues; ++line) {
    if (!usb3 && line >= kFirstUsb3Line && line < kFirstUsb3Line + kUsb3Lines) {
      continue;
    }
    const std::string& value = values[line];
    text += '"';
    text += value;
    text += '"';
    if (value.size() < kValueColumn)
      text.append(kValueColumn - value.size(), ' ');
    text += kLines[line].comment;
  }
  return text;
}

std::optional<std::string> EepromDatRefusal(const SromSettings& settings) {
  for (const ChoiceRange& range : kChoiceRanges) {
    const int value = ChoiceValue(settings, range.line);
    if (value < range.low || value > range.high) {
      return std::string("Can't save EEPROM.dat: the ") +
             kLines[range.line].name + " value " + std::to_string(value) +
             " is out of range.\r\n";
    }
  }
  const auto values = LineValues(settings);
  for (std::size_t line = 0; line < kEepromDatValues; ++line) {
    if (values[line].find('"') != std::string::npos) {
      return std::string("Can't save EEPROM.dat: the ") + kLines[line].name +
             " contains a double quote (\"), which the file cannot hold.\r\n";
    }
  }
  if (FormatEepromDat(settings).size() > kEepromDatMaxBytes) {
    return std::string(
        "Can't save EEPROM.dat: the settings are too long for the file.\r\n");
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
  const auto& v = parsed.values;
  for (const ChoiceRange& range : kChoiceRanges) {
    // The delay time's line depends on the selection; it is checked below.
    if (range.line == 27) continue;
    const int value = DecimalValue(v[range.line]);
    if (value < range.low || value > range.high) return std::nullopt;
  }
  SromSettings s = current;
  s.DeviceSel = DecimalValue(v[0]);
  s.SromSize = DecimalValue(v[1]);
  s.DisableSetting = DecimalValue(v[2]) != 0;
  s.CurrentMac = v[3];
  s.MaximumMac = v[4];
  s.MacIncrement = DecimalValue(v[5]);
  s.CurrentSerial = v[6];
  s.MaximumSerial = v[7];
  s.SerialIncrement = DecimalValue(v[8]);
  s.Manufacturer = v[9];
  s.Product = v[10];
  s.VendorId = v[11];
  s.ProductId = v[12];
  if (s.DeviceSel == kChipAEeprom) {
    s.SuperBusPower = v[13];
    s.HighBusPower = s.FullBusPower = std::to_string(DecimalValue(v[13]) / 2);
    s.SuperSelfPower = v[14];
    s.HighSelfPower = s.FullSelfPower = std::to_string(DecimalValue(v[14]) / 2);
  } else if (s.DeviceSel == kChipBEeprom) {
    s.HighBusPower = s.FullBusPower = v[13];
    s.HighSelfPower = s.FullSelfPower = v[14];
  }
  s.FlagByte = v[15];
  s.BarCode = DecimalValue(v[16]) != 0;
  for (int led = 0; led < kLedCount; ++led) {
    s.LedSetting[led] =
        static_cast<std::uint8_t>(DecimalValue(v[17 + led]) & 0xFF);
    if (s.DeviceSel == kChipAEeprom) {
      s.LedUsb3[led] = DecimalValue(v[kFirstUsb3Line + led]) != 0;
    }
  }
  // The last six values sit where the save put them: three lines earlier
  // when selection 0 left out the LED USB 3.0 lines.
  const std::size_t last = WritesUsb3Lines(s.DeviceSel) ? 23 : 20;
  s.SwField = v[last];
  s.BasedOnMac = DecimalValue(v[last + 1]) != 0;
  s.MultiEnable = DecimalValue(v[last + 2]) != 0;
  s.AutoProgram = DecimalValue(v[last + 3]) != 0;
  s.DelayTime = DecimalValue(v[last + 4]);
  s.DeviceSelLock = DecimalValue(v[last + 5]) != 0;
  if (s.DelayTime < 0 || s.DelayTime > 15) return std::nullopt;
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
  if (s.DeviceSel == kChipAEeprom) {
    accepted.BusPower = s.SuperBusPower;
    accepted.SelfPower = s.SuperSelfPower;
  } else if (s.DeviceSel == kChipBEeprom) {
    accepted.BusPower = s.HighBusPower;
    accepted.SelfPower = s.HighSelfPower;
  }
  accepted.FlagByte = s.FlagByte;
}

bool SaveEepromDat(const FileFolders& folders, const SromSettings& settings,
                   LastAccepted& accepted, Reporter& reporter) {
  if (const auto refusal = EepromDatRefusal(settings)) {
    reporter.ShowMessage(*refusal);
    return false;
  }
  if (!ReplaceFile(folders.program_folder / "EEPROM.dat",
                   FormatEepromDat(settings))) {
    reporter.ShowMessage(msg::kEepromDatOpenFailed);
    return false;
  }
  AcceptSavedSettings(settings, accepted);
  return true;
}

EepromLoadResult LoadEepromDat(const FileFolders& folders,
                               SromSettings& settings, LastAccepted& accepted,
                               Reporter& reporter) {
  fs::path path = folders.working_folder / "EEPROM.dat";
  if (!MayExist(path)) {
    // Saving goes to ProgramFolder: a file there holds the run's MAC counter
    // and must be loaded, never replaced by the defaults.
    const fs::path own = folders.program_folder / "EEPROM.dat";
    if (!MayExist(own)) {
      reporter.ShowMessage(
          "Does not exist EEPROM setting file.\r\nCreate a default EEPROM "
          "setting file.\r\n");
      return {EepromDatLoad::kCreated,
              SaveEepromDat(folders, settings, accepted, reporter)};
    }
    path = own;
  }

  std::string bytes;
  bool read_ok = false;
  if (std::FILE* file = OpenFile(path, "rb")) {
    // One byte more than the buffer holds tells a file that is too long.
    std::array<char, 4096> block;
    std::size_t got = 0;
    while (bytes.size() <= kEepromDatMaxBytes &&
           (got = std::fread(block.data(), 1, block.size(), file)) > 0) {
      bytes.append(block.data(), got);
    }
    read_ok = std::ferror(file) == 0;
    std::fclose(file);
  }
  if (!read_ok) {
    reporter.ShowMessage(msg::kEepromDatReadFailed);
    return {EepromDatLoad::kUnreadable, false};
  }

  const auto loaded = SettingsFromEepromDat(bytes, settings);
  if (!loaded) {
    reporter.ShowMessage(kWrongFormat);
    return {EepromDatLoad::kWrongFormat, false};
  }
  settings = *loaded;
  AcceptSavedSettings(settings, accepted);
  return {EepromDatLoad::kLoaded, false};
}

}  // namespace srom
