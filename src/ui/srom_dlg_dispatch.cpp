#include "model/led_rules.h"
#include "ui/srom_dlg.h"

// What each event of a view runs, and the one gate that keeps the operator's
// hands off while the window is busy; a view reports only the control and
// never decides what it means.

namespace srom {

bool CKM62058_SromDlg::OnOperator(const OperatorEvent& event) {
  using K = OperatorEvent::Kind;
  if (event.kind == K::kClose) {
    OnClose();  // held while busy, carried out when the job ends
    return true;
  }
  if (busy_) {
    // A unit is being written from the settings and the image: nothing the
    // operator does may change them now. Enter presses no button and Escape
    // closes nothing here either.
    return event.kind == K::kKey && event.key != Key::kOther;
  }
  switch (event.kind) {
    case K::kClick:
      OnClicked(*event.control);
      return false;
    case K::kPick:
      OnPicked(*event.control);
      return false;
    case K::kTextEdit:
      OnTextChanged(*event.control);
      return false;
    case K::kFocusLoss:
      OnKillFocus(*event.control);
      return false;
    case K::kKey:
      return OnKey(event.control, event.key);
    case K::kTimer:
      OnTimer(event.timer);
      return false;
    case K::kAbout:
      OnAbout();
      return true;
    case K::kClose:
      break;
  }
  return false;
}

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
      return OnBasedOnMac(/*clicked=*/true);
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
