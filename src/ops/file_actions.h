// The file buttons' work on a station, shared by the window and srom-cli:
// "Save", "Load SROM" with what follows it, and an image file put under the
// settings.
#pragma once

#include <filesystem>

#include "files/image_files.h"
#include "ops/operator_panel.h"
#include "ops/outcome.h"
#include "ops/station.h"

namespace srom {

// "Save": asks before overwriting, then writes EEPROM.dat and SROM.dat (the
// EEPROM selections) or EFUSE.dat (the eFuse selections) and shows the pass
// or fail picture. kNotConfirmed when the operator cancels.
Outcome SaveSettingsFiles(Station& station, OperatorPanel& panel);

// "Load SROM" once the file is chosen: the file's checks, its image taken and
// decoded into the settings, then the LED boxes cleared and their rules
// applied to the decoded values. The caller refreshes the image after it.
FileLoad LoadSromFile(const ChosenFile& chosen, Station& station,
                      Reporter& reporter);

// Puts the image of an SROM.dat (EEPROM selections) or EFUSE.dat (eFuse
// selections) text file under the station's image, so that the next refresh
// builds over it instead of over the chip's default image. The settings are
// left alone: they still build the fields they own. The file gets the checks
// of loading it; false, after their message, when it is refused.
bool LoadBaseImage(const std::filesystem::path& file, Station& station,
                   Reporter& reporter);

}  // namespace srom
