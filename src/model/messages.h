// Every message the tool shows the operator, defined once. The texts are the
// tool's own and operators and line scripts know them by heart: they stay
// exactly as they are, spelling included. Where a text is misspelt or says
// something odd, that is deliberate and marked so; do not "fix" it.
//
// The quoted "\r\n" and "\n" inside some texts are part of them: the message
// boxes show the line breaks, srom-cli writes them as \r and \n.
#pragma once

#include <string>

namespace srom::msg {

// The settings checks of the EEPROM selections.
inline constexpr char kBusPowerBelow8[] = "Bus Power Can not be less than 8";
inline constexpr char kSelfPowerBelow8[] = "Self Power Can not be less than 8";
inline constexpr char kBusPowerBelow4[] = "Bus Power Can not be less than 4";
inline constexpr char kSelfPowerBelow4[] = "Self Power Can not be less than 4";
inline constexpr char kVendorIdLength[] = "Wrong Vendor ID Length";
inline constexpr char kProductIdLength[] = "Wrong Product ID Length";
inline constexpr char kVendorIdFormat[] = "Vendor ID Got The Wrong Format";
inline constexpr char kProductIdFormat[] = "Product ID Got The Wrong Format";
inline constexpr char kCurrentMacLength[] = "Wrong Current Mac Address Length";
inline constexpr char kCurrentMacFormat[] =
    "Current Mac Address Got The Wrong Format";
inline constexpr char kMaximumMacLength[] = "Wrong Maximum Mac Address Length";
inline constexpr char kMaximumMacFormat[] =
    "Maximum Mac Address Got The Wrong Format";
// Deliberate: the SW field was once called the AutoDetach field.
inline constexpr char kSwFieldLength[] = "Wrong AutoDetach Field Length";
// Deliberate spelling: "Filed".
inline constexpr char kSwFieldFormat[] = "SW Filed Got The Wrong Format";
inline constexpr char kMacMulticast[] =
    "The bit 0 of the first Mac Address can't be 1";
inline constexpr char kMacAboveMaximum[] =
    "Current Mac Address Exceeded Maximum Mac Address";
inline constexpr char kCurrentSerialLength[] =
    "Wrong Current Serial Number Length";
inline constexpr char kMaximumSerialLength[] =
    "Wrong Maximum Serial Number Length";
inline constexpr char kCurrentSerialFormat[] =
    "Current Serial Number Got The Wrong Format";
inline constexpr char kMaximumSerialFormat[] =
    "Maximum Serial Number Got The Wrong Format";
inline constexpr char kSerialAboveMaximum[] =
    "Current Serial Number Exceeded Maximum Serial Number";
inline constexpr char kFlagBit3[] = "For EEPROM Flag Byte, Bit 3 should be 0";
inline constexpr char kFlagFormat[] = "Flag Field Got The Wrong Format";
inline constexpr char kFlagLength[] = "Wrong Flag Field Length";
// The strings, checked for the EEPROM and the eFuse selections alike: at most
// as long as their boxes, printable ASCII without the double quote that the
// settings file cannot hold. "Manufacture" as the tool spells it elsewhere.
inline constexpr char kManufacturerLength[] = "Wrong Manufacture String Length";
inline constexpr char kManufacturerFormat[] =
    "Manufacture String Got The Wrong Format";
inline constexpr char kProductStringLength[] = "Wrong Product String Length";
inline constexpr char kProductStringFormat[] =
    "Product String Got The Wrong Format";
inline constexpr char kCheckDataCorrectFail[] = "CheckDataCorrect FAIL";

// The MAC check of the eFuse selections.
inline constexpr char kEfuseMacAboveMaximum[] =
    "Current efuse Mac Address Exceeded Maximum Mac Address";

// The size checks of the eFuse conversion. Deliberate: "Manufacture".
inline constexpr char kEfuseProductTooLong[] =
    "Product String is over 12 bytes";
inline constexpr char kEfuseManufacturerTooLong[] =
    "Manufacture String is over 10 bytes";
inline constexpr char kEfuseSelfPowerTooHigh[] =
    "Maximum Self Power is over 120mA";

// Stepping after a unit, and the guard before one.
inline constexpr char kMacIncreasingError[] = "Mac Address Increasing Error!";
inline constexpr char kMacReachedMaximum[] = "Reach to Maximum MAC Address!";
inline constexpr char kSerialIncreasingError[] =
    "Serial Number Increasing Error!";
inline constexpr char kSerialReachedMaximum[] =
    "Reach to Maximum Serial Number!";
inline constexpr char kMacAtMaximum[] =
    "MAC Address Reach to Maximum MAC Address!";
// Deliberate: the serial guard names the MAC address.
inline constexpr char kSerialAtMaximum[] =
    "Serial Number Reach to Maximum MAC Address!";

// The device.
inline constexpr char kStatusDetected[] = "Device detected";
inline constexpr char kStatusUnplugged[] = "Device Unplugged";
// The adapter was pulled while automatic programming counted down.
inline constexpr char kDeviceLost[] = "Device lost!";
inline constexpr char kReadSuccess[] = "Success";
inline constexpr char kDeviceNotFound[] = "Device not found!";
inline constexpr char kFailedToOpenDevice[] = "Failed to open device!";
inline constexpr char kReadEepromFailed[] = "IOCTL Read EEPROM failed!";
inline constexpr char kReadEfuseFailed[] = "IOCTL Read Efuse failed!";
inline constexpr char kWriteEepromFailed[] = "IOCTL Write EEPROM fail";
inline constexpr char kWriteEfuseFailed[] = "IOCTL Write EFUSE fail";
inline constexpr char kOpenDeviceFail[] = "Open Device fail";
inline constexpr char kInstallDriver[] = "Please install test driver.";
inline constexpr char kUpgradeDriver[] =
    "Please upgrade test driver to v1.104.12.0(x86)/v1.106.12.0(x64) or "
    "higher version.";

// Program.
inline constexpr char kSelectionIsChipA[] =
    "Current Device Selection is KM62058";
inline constexpr char kSelectionIsChipB[] =
    "Current Device Selection is KM62057D";
inline constexpr char kProgramFail[] = "Program fail";
// Deliberate: "un-Complete".
inline constexpr char kEepromProgramIncomplete[] =
    "EEPROM Program un-Complete!";
inline constexpr char kEfuseProgramIncomplete[] = "EFUSE Program un-Complete!";
inline constexpr char kFinalCheckFail[] = "Final check fail!";
inline constexpr char kEfuseFormatError[] =
    "EFuse data format error please reload it";
// Deliberate spelling: "Programed".
inline constexpr char kEfuseProgrammed[] = "EFuse has been Programed!";
// Deliberate: ".!".
inline constexpr char kEepromDataWrong[] =
    "EEPROM data got wrong, please reload it.!";
inline constexpr char kCompareFailRetry[] = "Compare fail, retry : ";
inline constexpr char kReloadCaption[] = "Reload EEPROM Warning";
inline constexpr char kReloadWarning[] =
    "Reload EEPROM Warning !\n\nIf you change the Vendor ID or Product ID "
    "fields, the test driver might not be worked any more after reloading "
    "EEPROM.\nPlease reload the test driver by modifying the inf file of the "
    "test driver to add the new Vendor and Product ID.\n\nIf you need continue "
    "running this tool.\nClick 'OK' to continue programming eeprom.\nClick "
    "'CANCEL' to abort programming eeprom.\n";

// Dump.
inline constexpr char kDumpInvalid[] =
    "Dump data are invalid, won't keep this value";
inline constexpr char kSaveSromDatFail[] = "Save SROM.dat fail!";
inline constexpr char kSaveEfuseDatFail[] = "Save Efuse.dat fail!";

// The settings file.
inline constexpr char kEepromDatOpenFailed[] =
    "Failed to open file EEPROM.dat! \r\n";
inline constexpr char kEepromDatReadFailed[] =
    "Failed to read file EEPROM.dat! \r\n";
inline constexpr char kEepromDatWrongFormat[] =
    "Loaded a Wrong EEPROM.dat file format!";
inline constexpr char kEepromDatCreated[] =
    "Does not exist EEPROM setting file.\r\nCreate a default EEPROM setting "
    "file.\r\n";

// The image files.
inline constexpr char kFileCannotBeOpened[] = "File can't be opened.";
inline constexpr char kNoContentToSave[] = "No Content can be Saved";
inline constexpr char kCannotWriteSrom[] = "Can't write SROM file\n";
inline constexpr char kCannotWriteEfuse[] = "Can't write EFUSE file\n";
inline constexpr char kCannotWriteBin[] = "Can't write BIN file\n";
inline constexpr char kBinWritten[] = "Write SROM.bin successfully!\n";
// "Convert to Bin" on a file that holds fewer hex values than the image.
// The settings file refuses what it could not load back the same.
inline std::string EepromDatOutOfRange(const std::string& field, int value) {
  return "Can't save EEPROM.dat: the " + field + " value " +
         std::to_string(value) + " is out of range.\r\n";
}
inline std::string EepromDatDoubleQuote(const std::string& field) {
  return "Can't save EEPROM.dat: the " + field +
         " contains a double quote (\"), which the file cannot hold.\r\n";
}
inline constexpr char kEepromDatTooLong[] =
    "Can't save EEPROM.dat: the settings are too long for the file.\r\n";

inline std::string BinNeedsHexValues(int count) {
  return "Wrong SROM file format: SROM.bin needs " + std::to_string(count) +
         " hex values";
}
inline constexpr char kSromWrongFirstByte[] =
    "Wrong First Byte Data Format in SROM.dat";
inline constexpr char kSromWrongDevice[] =
    "The SROM file does not match the 'Device Sel.'";
inline constexpr char kSromWrongChecksum[] =
    "Wrong SROM file with Checksum data!";
inline constexpr char kSromWrongFile[] = "Loaded a Wrong SROM file!";
inline constexpr char kSromSerialLayout[] =
    "Serial Number Length or Offset data error!";
inline constexpr char kSromProductFormat[] =
    "Wrong SROM Product String format file!";
inline constexpr char kSromManufacturerFormat[] =
    "Wrong SROM Manufacture String format file!";
inline constexpr char kSromFileError[] = "Error SROM file";
inline constexpr char kSromFileSize[] = "Incorrect SROM file size";
// Deliberate spelling: "exsit".
inline constexpr char kSromDatCreated[] =
    "Does not exsit SROM file.\r\nCreate a new SROM file.\r\n";
inline constexpr char kEfuseWrongFirstByte[] =
    "Wrong First Byte Data Format in EFUSE.dat";
// Deliberate spelling: "FEUSE".
inline constexpr char kEfuseWrongFile[] = "Loaded a Wrong FEUSE file!";
inline constexpr char kEfuseFileError[] = "Error EFUSE file";
inline constexpr char kEfuseDatCreated[] =
    "Does not exist EFUSE file.\r\nCreate a default EFUSE file.\r\n";

// The logs.
inline constexpr char kSerialMacLogFailed[] =
    "Write 'Serial-MAC.log' file failed.";
inline constexpr char kRetryLogFailed[] = "Open Log file fail!";

// "Save": the questions before the settings files are overwritten.
inline constexpr char kSaveCaption[] = "Warning";
inline constexpr char kSaveEepromQuestion[] =
    "This step will overwrite the SROM.DAT and EEPROM.DAT files, save setting "
    "data ?\n\nClick 'OK' to continue saving setting data.\n\nClick 'Cancel' "
    "to abort saving setting data.\n";
inline constexpr char kSaveEfuseQuestion[] =
    "This step will overwrite the EFUSE.DAT files, save setting data "
    "?\n\nClick "
    "'OK' to continue saving EFUSE data.\n\nClick 'Cancel' to abort saving "
    "EFUSE data.\n";

// "MultiEnable" checked with no adapter box ticked: Program and Dump say so
// rather than doing nothing.
inline constexpr char kNoAdapterTicked[] =
    "No adapter is ticked in \"Multi EEPROM Program\": press \"Scan\" to "
    "find the adapters, or untick \"MultiEnable\" to program the one "
    "attached.";
// A scan met more supported adapters than the six boxes hold.
inline constexpr char kSeventhAdapterIgnored[] =
    "More than six supported adapters are attached: only the first six are "
    "listed; the others take no part.\r\n";

}  // namespace srom::msg
