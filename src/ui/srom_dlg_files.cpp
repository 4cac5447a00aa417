#include <filesystem>
#include <string>

#include "files/image_files.h"
#include "model/device_sel.h"
#include "model/led_rules.h"
#include "ops/file_actions.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

// The file buttons and the About box. Each runs the same file operation that
// srom-cli runs; the window adds only its dialogs and controls.

namespace srom {

std::optional<std::string> CKM62058_SromDlg::ChooseImageFile() {
  const std::u8string folder = station_.folders.working_folder.u8string();
  return view_.OpenFileDialog(kAllFilesFilter,
                              std::string(folder.begin(), folder.end()));
}

namespace {

// The view hands over paths in UTF-8.
ChosenFile PathOf(const std::optional<std::string>& chosen) {
  if (!chosen) return std::nullopt;
  return std::filesystem::path(
      std::u8string(chosen->begin(), chosen->end()));
}

}  // namespace

void CKM62058_SromDlg::OnSave() {
  if (busy_) return;
  DoDataExchange(true);
  SaveSettingsFiles(station_, *this);
}

void CKM62058_SromDlg::OnLoadEeprom() {
  if (busy_) return;
  SromSettings& s = station_.settings;
  DoDataExchange(true);
  view_.SetResultPicture(ResultPicture::kNone);
  Context().Device().DetectDevice();
  const int shown_sel = s.DeviceSel;
  if (IsEepromSel(s.DeviceSel)) {
    LoadEepromDatIntoWindow();
    RefreshImage();
  } else {
    station_.image_size = kEfuseSize;
    LoadEfuseDat(PathOf(ChooseImageFile()), s, station_.prev,
                 station_.image_size, *this);
    DoDataExchange(false);
  }
  // A settings file may name an eFuse selection: the window then takes that
  // layout too, caution picture included, rather than keep showing an
  // EEPROM layout over a one-time memory.
  if (IsEepromSel(s.DeviceSel) || s.DeviceSel != shown_sel) {
    ApplyDeviceSelection(SelectionCause::kSettingsLoaded);
  }
  if (view_.Checked(ControlId::kAuto)) ApplyAutoProgram();
}

void CKM62058_SromDlg::OnLoadSrom() {
  if (busy_) return;
  DoDataExchange(true);
  Context().Device().DetectDevice();
  if (LoadSromFile(PathOf(ChooseImageFile()), station_, *this) !=
      FileLoad::kLoaded) {
    return;
  }
  // The decoded values into the boxes; the LED boxes start from none checked
  // and take the decoded values through their rules.
  DoDataExchange(false);
  for (int led = 0; led < kLedCount; ++led) {
    view_.SetChecked(LedUsb3Box(led), false);
    for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
      view_.SetChecked(LedBitBox(led, bit), false);
    }
  }
  ApplyLedBits();
  DoDataExchange(false);
}

void CKM62058_SromDlg::OnConvertToBin() {
  if (busy_) return;
  DoDataExchange(true);
  Context().Device().DetectDevice();
  ConvertToBin(station_.folders, PathOf(ChooseImageFile()),
               station_.settings.SromSize, *this);
}

void CKM62058_SromDlg::OnConvertToEfuse() {
  if (busy_) return;
  SromSettings& s = station_.settings;
  DoDataExchange(true);
  // The conversion works on the image as it stands, even when the refresh
  // refused the settings.
  RefreshImage();
  if (!CheckEfuseConversion(station_.prev, *this)) return;
  const int serial_no_type = view_.SerialNoTypeDialog();
  // The list shows the eFuse entry of the same chip while the eFuse image is
  // written; the window's layout stays.
  const int eeprom_sel = s.DeviceSel;
  view_.SetListIndex(ControlId::kDeviceSel,
                     eeprom_sel == kChipAEeprom ? kChipAEfuse : kChipBEfuse);
  ConvertToEfuse(station_.folders, s, station_.prev, station_.image_size,
                 station_.accepted, serial_no_type, *this);
  view_.SetListIndex(ControlId::kDeviceSel, eeprom_sel);
}

void CKM62058_SromDlg::OnAbout() { view_.AboutBox(); }

}  // namespace srom
