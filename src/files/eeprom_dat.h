// EEPROM.dat, the settings file: every setting of the window as a quoted value
// followed by a comment naming it, one per line. It also keeps the current MAC
// address and serial number of the production run between starts.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "files/file_io.h"
#include "model/settings.h"
#include "ports/reporter.h"

namespace srom {

inline constexpr std::size_t kEepromDatValues = 29;
// The fewest complete values a loadable file holds.
inline constexpr std::size_t kEepromDatMinValues = 21;
// The reading buffer: a longer file is refused (unread: kSettingsFileCap).
inline constexpr std::size_t kEepromDatMaxBytes = kSettingsFileCap;

// The whole text SaveEepromDat writes for `settings`: 29 lines, or 26 with
// device selection 0 (the three LED USB 3.0 lines left out).
std::string FormatEepromDat(const SromSettings& settings);

// Why `settings` cannot be written so that it loads back the same: a value
// holding a double quote, a list choice out of its range, or a text too long
// for the reading buffer. The message names the field.
std::optional<std::string> EepromDatRefusal(const SromSettings& settings);

// The quoted values of a settings file, in order; `count` of them complete.
struct EepromDatValues {
  std::array<std::string, kEepromDatValues> values;
  std::size_t count = 0;
};

// Splits a file's bytes into its quoted values. Nothing when the file is
// longer than the buffer, starts a 30th value, or ends with fewer than 21
// complete values or inside a value.
std::optional<EepromDatValues> ParseEepromDat(std::string_view file);

// Applies parsed values to a copy of `current` as loading does, the device
// selection first and every later value placed by it. Nothing when a list
// choice is out of its range (device selection 0..3, SROM size 0..1, the
// increments 0..9, delay time 0..15): the window could not show it.
std::optional<SromSettings> ApplyEepromDatValues(const EepromDatValues& values,
                                                 const SromSettings& current);

// The settings that loading `file` over `current` gives, or nothing when the
// file is refused.
std::optional<SromSettings> SettingsFromEepromDat(std::string_view file,
                                                  const SromSettings& current);

// Copies into `accepted` what a save or a load of the settings file makes the
// last accepted texts: MAC and serial ranges, strings, IDs, flag byte, and the
// bus and self power of the chip's edited speed (EEPROM selections only).
void AcceptSavedSettings(const SromSettings& settings, LastAccepted& accepted);

// Writes the settings to ProgramFolder + "EEPROM.dat", replacing the old file
// only once the new one is complete on the disk. On success `accepted` takes
// the saved texts. The result is the window's LastSaveOk.
bool SaveEepromDat(const FileFolders& folders, const SromSettings& settings,
                   LastAccepted& accepted, Reporter& reporter);

enum class EepromDatLoad {
  kLoaded,       // the settings were replaced from the file
  kCreated,      // there was no file: the current settings were saved instead
  kWrongFormat,  // refused; nothing changed
  kUnreadable,   // the file is there but could not be read; nothing changed
};

struct EepromLoadResult {
  EepromDatLoad outcome = EepromDatLoad::kWrongFormat;
  // With kCreated: the result of that save, the window's new LastSaveOk.
  bool save_ok = false;
};

// Loads "EEPROM.dat" from the working folder into `settings` and `accepted`.
// When the working folder has none but ProgramFolder has, that file is loaded
// rather than overwritten. Only when neither exists are the current settings
// saved as a new file. The window then shows the fields and re-runs its
// Disable Setting, Based On Mac Address and LED handling.
EepromLoadResult LoadEepromDat(const FileFolders& folders,
                               SromSettings& settings, LastAccepted& accepted,
                               Reporter& reporter);

}  // namespace srom
