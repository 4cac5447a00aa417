#include "ops/startup.h"

#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "model/efuse_image.h"
#include "model/led_rules.h"
#include "model/stepping.h"

namespace srom {

void ApplyDeviceSelectionToRecord(Station& station) {
  SromSettings& s = station.settings;
  ApplyChipProductDefaults(s, s.DeviceSel);
  if (IsEepromSel(s.DeviceSel)) {
    ApplyBasedOnMac(s, s.BasedOnMac);
    // The loaded power values stay: only an operator who picks another entry
    // of the device list gets the chip's defaults.
    DerivePowerRows(s);
    station.accepted.BusPower = EditedBusPower(s);
    station.accepted.SelfPower = EditedSelfPower(s);
  } else if (IsEfuseSel(s.DeviceSel)) {
    // No automatic programming in an eFuse selection.
    s.AutoProgram = false;
    station.image_size = kEfuseSize;
    ResetEfuseImageArea(station.prev, s.DeviceSel);
    ApplyBasedOnMac(s, s.BasedOnMac);
  }
}

bool LoadStationSettings(Station& station, Reporter& reporter) {
  SromSettings& s = station.settings;
  ApplyLedRules(s);
  const FileFolders& folders = station.folders;
  if (MayExist(folders.working_folder / station_file::kSettings) ||
      MayExist(folders.program_folder / station_file::kSettings)) {
    const EepromLoadResult loaded =
        LoadEepromDat(folders, s, station.accepted, reporter);
    if (loaded.outcome != EepromDatLoad::kLoaded) return false;
    ApplyBasedOnMac(s, s.BasedOnMac);
    ApplyLedRules(s);
  }
  ApplyDeviceSelectionToRecord(station);
  return true;
}

bool OpenStation(const std::filesystem::path& folder, Station& station,
                 Reporter& reporter) {
  station = Station{};
  station.folders = FileFolders{folder, folder};
  return LoadStationSettings(station, reporter);
}

}  // namespace srom
