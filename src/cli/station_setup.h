// One folder is one station: its EEPROM.dat gives the settings, and every
// file and log of a run goes back into it.
#pragma once

#include <filesystem>

#include "ops/station.h"
#include "ports/reporter.h"

namespace srom::cli {

// Fills `station` as the window stands once it has started in `folder`: the
// initial settings, replaced by the folder's EEPROM.dat when there is one,
// then brought into the file's device selection as the window does (chip
// product defaults, the edited power row back at the chip's values, "Based On
// Mac Address"; an eFuse selection starts from the chip's default eFuse image).
// Unlike the window, a missing EEPROM.dat is not created: only operations
// that write write. False, after the file's message, when EEPROM.dat is
// refused; the station is then unusable.
bool OpenStation(const std::filesystem::path& folder, Station& station,
                 Reporter& reporter);

// Puts the image of an SROM.dat (EEPROM selections) or EFUSE.dat (eFuse
// selections) text file under the station's image, so that the next refresh
// builds over it instead of over the chip's default image. The file gets the
// checks of loading it; false, after their message, when it is refused.
bool LoadBaseImage(const std::filesystem::path& file, Station& station,
                   Reporter& reporter);

}  // namespace srom::cli
