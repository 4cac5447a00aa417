// Opening a station as the window does at start-up, and the record side of
// applying a device selection: what both front ends do before the first
// unit, written once.
#pragma once

#include <filesystem>

#include "ops/station.h"
#include "ports/reporter.h"

namespace srom {

// The record side of applying the settings' device selection: the chip's
// product defaults; in an EEPROM selection "Based On Mac Address", the derived
// power rows following the edited one, and its values accepted as loaded; in
// an eFuse selection no automatic programming and the chip's default eFuse
// image as the current image.
void ApplyDeviceSelectionToRecord(Station& station);

// The settings as start-up leaves them: the initial settings with their LED
// rules, replaced by the station's EEPROM.dat when there is one (with its
// "Based On Mac Address" and LED rules), then the device selection applied.
// A missing EEPROM.dat is not created: only operations that write write.
// False, after the file's message, when EEPROM.dat is refused; the station
// is then unusable.
bool LoadStationSettings(Station& station, Reporter& reporter);

// A fresh station on `folder` (program and working folder alike), its
// settings loaded.
bool OpenStation(const std::filesystem::path& folder, Station& station,
                 Reporter& reporter);

}  // namespace srom
