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
    case C::kMultiEnable:
      return OnMultiEnable();
    case C::kScan:
      return OnScan();
    case C::kAuto:
      return ApplyAutoProgram();
    default:
      // "Reload" and the adapter boxes are read where they are used.
      return;
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


}  // namespace srom
