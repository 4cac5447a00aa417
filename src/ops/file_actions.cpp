#include "ops/file_actions.h"

#include "files/eeprom_dat.h"
#include "model/led_rules.h"
#include "model/messages.h"

namespace srom {

Outcome SaveSettingsFiles(Station& st, OperatorPanel& panel) {
  const bool efuse = IsEfuseSel(st.settings.DeviceSel);
  if (!panel.AskOkCancel(msg::kSaveCaption, efuse ? msg::kSaveEfuseQuestion
                                                  : msg::kSaveEepromQuestion)) {
    return Outcome::kNotConfirmed;
  }
  if (efuse) {
    st.last_save_ok = SaveEfuseDat(st.folders, st.prev, panel.OutputText(),
                                   st.settings.CurrentMac, st.accepted, panel);
  } else {
    const bool settings_saved =
        SaveEepromDat(st.folders, st.settings, st.accepted, panel);
    st.last_save_ok = SaveSromDat(st.folders, st.prev, st.settings.SromSize,
                                  panel.OutputText(), panel) &&
                      settings_saved;
  }
  panel.SetResultPicture(st.last_save_ok ? ResultPicture::kPass
                                         : ResultPicture::kFail);
  return st.last_save_ok ? Outcome::kOk : Outcome::kFileRejected;
}

FileLoad LoadSromFile(const ChosenFile& chosen, Station& st,
                      Reporter& reporter) {
  const FileLoad loaded =
      LoadSrom(chosen, st.settings, st.prev, st.image_size, reporter);
  if (loaded != FileLoad::kLoaded) return loaded;
  st.settings.LedUsb3 = {false, false, false};
  ApplyLedRules(st.settings);
  return loaded;
}

bool LoadBaseImage(const std::filesystem::path& file, Station& st,
                   Reporter& reporter) {
  // Only the image is wanted: what loading would take into the settings is
  // thrown away.
  SromSettings scratch = st.settings;
  const FileLoad loaded =
      IsEfuseSel(st.settings.DeviceSel)
          ? LoadEfuseDat(file, scratch, st.prev, st.image_size, reporter)
          : LoadSrom(file, scratch, st.prev, st.image_size, reporter);
  return loaded == FileLoad::kLoaded;
}

}  // namespace srom
