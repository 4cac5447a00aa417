#include "cli/station_setup.h"

#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/image_files.h"
#include "model/efuse_image.h"
#include "model/led_rules.h"
#include "model/stepping.h"

namespace srom::cli {

bool OpenStation(const std::filesystem::path& folder, Station& station,
                 Reporter& reporter) {
  station = Station{};
  station.folders = FileFolders{folder, folder};
  SromSettings& s = station.settings;
  ApplyLedRules(s);

  if (MayExist(folder / "EEPROM.dat")) {
    const EepromLoadResult loaded =
        LoadEepromDat(station.folders, s, station.accepted, reporter);
    if (loaded.outcome != EepromDatLoad::kLoaded) return false;
    ApplyBasedOnMac(s, s.BasedOnMac);
    ApplyLedRules(s);
  }

  // The record side of applying the device selection, as the window does
  // right after loading the file.
  ApplyChipProductDefaults(s, s.DeviceSel);
  if (IsEepromSel(s.DeviceSel)) {
    ApplyBasedOnMac(s, s.BasedOnMac);
    // The window puts the chip's own values into the edited power row.
    if (ChipOf(s.DeviceSel) == Chip::kA) {
      s.SuperBusPower = "496";
      s.SuperSelfPower = "8";
    } else {
      s.HighBusPower = "248";
      s.HighSelfPower = "4";
    }
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
  return true;
}

bool LoadBaseImage(const std::filesystem::path& file, Station& station,
                   Reporter& reporter) {
  // Only the image is wanted: what loading would take into the settings is
  // thrown away, so that the settings still build the fields they own.
  SromSettings scratch = station.settings;
  const FileLoad loaded =
      IsEfuseSel(station.settings.DeviceSel)
          ? LoadEfuseDat(file, scratch, station.prev, station.image_size,
                         reporter)
          : LoadSrom(file, scratch, station.prev, station.image_size, reporter);
  return loaded == FileLoad::kLoaded;
}

}  // namespace srom::cli
