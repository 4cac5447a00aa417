#include "model/led_rules.h"
#include "ui/srom_dlg.h"

// Which handler each control's click or pick runs, so that a view reports
// only the control and never decides what it means.

namespace srom {

void CKM62058_SromDlg::OnClicked(ControlId id) {
  using C = ControlId;
  for (int led = 0; led < kLedCount; ++led) {
    if (id == LedUsb3Box(led)) return OnLedUsb3Clicked(led);
    for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
      if (id == LedBitBox(led, bit)) return OnLedBoxClicked(led, bit);
    }
  }
  switch (id) {
    case C::kProgram:
      return OnProgram();
    case C::kDump:
      return OnDump();
    case C::kPreview:
      return OnPreview();
    case C::kErase:
      return OnErase();
    case C::kSave:
      return OnSave();
    case C::kLoadEeprom:
      return OnLoadEeprom();
    case C::kLoadSrom:
      return OnLoadSrom();
    case C::kConvertToBin:
      return OnConvertToBin();
    case C::kConvertToEfuse:
      return OnConvertToEfuse();
    case C::kLock:
      return OnLock();
    case C::kBarCode:
      return OnBarCode();
    case C::kBasedOnMac:
      return OnBasedOnMac();
    case C::kSromSize256:
    case C::kSromSize512:
      return OnSromSizeClicked();
    default:
      // "Reload" is read where it is used; the several-adapter and
      // automatic-programming controls answer through the hooks.
      return hooks_->OnClicked(id);
  }
}

void CKM62058_SromDlg::OnPicked(ControlId id) {
  switch (id) {
    case ControlId::kDeviceSel:
      return OnDeviceSelPicked();
    case ControlId::kMacIncrement:
      return OnMacIncrementPicked();
    case ControlId::kSerialIncrement:
      return OnSerialIncrementPicked();
    default:
      return;
  }
}

void CKM62058_SromDlg::OnTimer(int timer) { hooks_->OnTimer(timer); }

}  // namespace srom
