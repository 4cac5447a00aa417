#include <utility>

#include "files/image_files.h"
#include "model/chip_traits.h"
#include "model/srom_image.h"
#include "model/stepping.h"
#include "ui/device_layout.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

// The device selection's layouts, "Disable Setting", "Based On Mac Address"
// and "Lock".

namespace srom {

void CKM62058_SromDlg::ShowListsAndSwitches() {
  const SromSettings& s = station_.settings;
  view_.SetListIndex(ControlId::kDeviceSel, s.DeviceSel);
  view_.SetListIndex(ControlId::kMacIncrement, s.MacIncrement);
  view_.SetListIndex(ControlId::kSerialIncrement, s.SerialIncrement);
  view_.SetChecked(ControlId::kAuto, s.AutoProgram);
  view_.SetChecked(ControlId::kLock, s.DeviceSelLock);
}

void CKM62058_SromDlg::OnDeviceSelPicked() {
  if (busy_) return;
  const int picked = view_.ListIndex(ControlId::kDeviceSel);
  // Picking the entry that is selected already changes nothing, so the
  // operator's power values stay.
  ApplyDeviceSelection(picked == station_.settings.DeviceSel
                           ? SelectionCause::kSettingsLoaded
                           : SelectionCause::kOperatorPick);
}

void CKM62058_SromDlg::OnLock() {
  station_.settings.DeviceSelLock = view_.Checked(ControlId::kLock);
  Enable(ControlId::kDeviceSel, !station_.settings.DeviceSelLock);
}

void CKM62058_SromDlg::OnBasedOnMac(bool clicked) {
  DoDataExchange(true);
  SromSettings& s = station_.settings;
  const int mac_list = view_.ListIndex(ControlId::kMacIncrement);
  if (mac_list >= 0) s.MacIncrement = mac_list;
  if (clicked) {
    ClickBasedOnMac(s, s.BasedOnMac);
  } else {
    ApplyBasedOnMac(s, s.BasedOnMac);
  }
  if (s.BasedOnMac) {
    view_.SetListIndex(ControlId::kSerialIncrement, s.SerialIncrement);
  }
  for (ControlId id : {ControlId::kCurrentSerial, ControlId::kMaximumSerial,
                       ControlId::kSerialIncrement}) {
    Enable(id, !s.BasedOnMac);
  }
  DoDataExchange(false);
  RefreshImage();
}

void CKM62058_SromDlg::ShowLayoutOf(int device_sel) {
  for (ControlId id : SelectionDependentControls()) {
    view_.SetVisible(id, *VisibleIn(id, device_sel));
  }
}

void CKM62058_SromDlg::ApplyDeviceSelection(SelectionCause cause) {
  SromSettings& s = station_.settings;
  const std::string mac_before = s.CurrentMac;
  DoDataExchange(true);
  view_.SetResultPicture(ResultPicture::kNone);

  const bool from_efuse = IsEfuseSel(s.DeviceSel);
  s.DeviceSel = view_.ListIndex(ControlId::kDeviceSel);
  // The buffer holds an eFuse image: an EEPROM image is built anew from the
  // chip's default and the settings, not over the fuse bytes.
  if (from_efuse && IsEepromSel(s.DeviceSel)) {
    LoadDefaultImageArea(station_.prev, s.DeviceSel, s.SromSize,
                         station_.image_size);
  }
  ApplyChipProductDefaults(s, s.DeviceSel);
  DoDataExchange(false);
  const std::string title = WindowTitle(s.DeviceSel);

  if (IsEepromSel(s.DeviceSel)) {
    ApplyEepromLayout(cause);
  } else if (IsEfuseSel(s.DeviceSel)) {
    ApplyEfuseLayout();
  }

  view_.SetTitle(title);
  s.CurrentMac = mac_before;
  OnMultiEnable();
  RefreshImage();
}

void CKM62058_SromDlg::ApplyEepromLayout(SelectionCause cause) {
  SromSettings& s = station_.settings;
  const int sel = s.DeviceSel;
  EnableMacControls();
  ShowLayoutOf(sel);
  const bool high_speed_edited = sel == kChipBEeprom;
  Enable(ControlId::kHighBusPower, high_speed_edited);
  Enable(ControlId::kHighSelfPower, high_speed_edited);
  view_.PlaceAt(ControlId::kPreview, ControlId::kPreview);
  view_.SetText(ControlId::kSave, SaveButtonCaption(sel));
  view_.SetText(ControlId::kLoadEeprom, LoadButtonCaption(sel));
  OnBasedOnMac();
  view_.SetText(ControlId::kOutputBox, "");
  // Another chip picked by the operator gets its own power values; at
  // start-up and after a load the loaded ones stay. Either way the derived
  // rows follow through the boxes' rules.
  const ChipTraits& chip = TraitsOfSel(sel);
  const bool picked = cause == SelectionCause::kOperatorPick;
  PutText(EditedBusPowerBox(sel),
          picked ? chip.bus_power_default : EditedBusPower(std::as_const(s)));
  PutText(EditedSelfPowerBox(sel), picked ? chip.self_power_default
                                          : EditedSelfPower(std::as_const(s)));
  station_.accepted.BusPower = EditedBusPower(std::as_const(s));
  station_.accepted.SelfPower = EditedSelfPower(std::as_const(s));
  DoDataExchange(false);
}

void CKM62058_SromDlg::ApplyEfuseLayout() {
  SromSettings& s = station_.settings;
  ShowLayoutOf(s.DeviceSel);
  // No automatic programming of a one-time memory.
  view_.SetChecked(ControlId::kAuto, false);
  s.AutoProgram = false;
  ApplyAutoProgram();
  view_.PlaceAt(ControlId::kPreview, ControlId::kLoadSrom);
  view_.SetText(ControlId::kSave, SaveButtonCaption(s.DeviceSel));
  view_.SetText(ControlId::kLoadEeprom, LoadButtonCaption(s.DeviceSel));
  view_.SetText(ControlId::kOutputBox, "");
  Context().Device().DetectDevice();
  DoDataExchange(true);
  if (const auto saved =
          ResetEfuseImage(station_.folders, s, station_.prev,
                          station_.image_size, station_.accepted, *this)) {
    station_.last_save_ok = *saved;
  }
  DoDataExchange(false);
  OnBasedOnMac();
}

void CKM62058_SromDlg::ApplyDisableSetting() {
  DoDataExchange(true);
  const SromSettings& s = station_.settings;
  const bool enable = !s.DisableSetting;
  // A bar-code scanner types into the MAC "Current" box either way.
  if (!s.BarCode) Enable(ControlId::kCurrentMac, enable);
  for (ControlId id : DisableSettingRangeControls()) {
    Enable(id, enable);
  }
  if (IsEepromSel(s.DeviceSel)) {
    Enable(EditedBusPowerBox(s.DeviceSel), enable);
    Enable(EditedSelfPowerBox(s.DeviceSel), enable);
  }
  for (ControlId id : DisableSettingOtherControls()) {
    Enable(id, enable);
  }
  if (!enable) return;  // no refresh
  // The LED and serial rules lock again what their boxes block.
  ApplyLedBits();
  OnBasedOnMac();
}

}  // namespace srom
