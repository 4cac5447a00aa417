#include <algorithm>

#include "model/led_rules.h"
#include "model/stepping.h"
#include "ui/data_exchange.h"
#include "ui/srom_dlg.h"

// The rules that run while the operator edits the window: on every change of
// a box's text, when a box loses the focus, for the lists, the size buttons,
// the LED boxes and the keys.

namespace srom {

void CKM62058_SromDlg::PutText(ControlId id, const std::string& text) {
  view_.SetText(id, text);
  OnTextChanged(id);
}

void CKM62058_SromDlg::OnTextChanged(ControlId id) {
  if (exchange_depth_ > 0) return;
  SromSettings& s = station_.settings;
  // A power box keeps its digits; the rows derived from it follow.
  const auto power_box = [this, &s](std::string& text) {
    DoDataExchange(true);
    text = PowerDigits(text);
    DerivePowerRows(s);
  };
  switch (id) {
    case ControlId::kSuperBusPower:
      power_box(s.SuperBusPower);
      break;
    case ControlId::kSuperSelfPower:
      power_box(s.SuperSelfPower);
      break;
    case ControlId::kHighBusPower:
      power_box(s.HighBusPower);
      break;
    case ControlId::kHighSelfPower:
      power_box(s.HighSelfPower);
      break;
    case ControlId::kCurrentMac:
      DoDataExchange(true);
      if (s.BasedOnMac) {
        s.CurrentSerial = SerialFromMac(s.CurrentSerial, s.CurrentMac);
      }
      break;
    case ControlId::kMaximumMac:
      DoDataExchange(true);
      if (s.BasedOnMac) s.MaximumSerial = MaximumSerialFromMac(s.MaximumMac);
      break;
    case ControlId::kProductId: {
      DoDataExchange(true);
      if (s.ProductId.size() < kIdDigits) return;
      if (const auto message = CorrectProductIdForChip(s)) {
        view_.MessageBox(*message);
      }
      break;
    }
    case ControlId::kCurrentSerial:
    case ControlId::kMaximumSerial:
      DoDataExchange(true);
      break;
    case ControlId::kDelayTime:
      DoDataExchange(true);
      s.DelayTime = std::clamp(s.DelayTime, kMinDelayTime, kMaxDelayTime);
      break;
    default:
      return;
  }
  DoDataExchange(false);
}

void CKM62058_SromDlg::SetLedBox(int led, int bit, bool checked, bool enabled) {
  const ControlId box = bit < 0 ? LedUsb3Box(led) : LedBitBox(led, bit);
  view_.SetChecked(box, checked);
  Enable(box, enabled);
}

void CKM62058_SromDlg::SetLedValue(int led, std::uint8_t value) {
  SromSettings& s = station_.settings;
  s.LedSetting[led] = value;
  s.LedWord = ReplaceLedBits(s.LedWord, led, value);
}

void CKM62058_SromDlg::ApplyDuplexBox(int led) {
  const bool duplex = view_.Checked(LedBitBox(led, kLedDuplexBit));
  SetLedValue(led, LedValueAfterBoxClick(station_.settings.LedSetting[led],
                                         kLedDuplexBit, duplex));
  if (duplex) {
    // "Duplex" stands alone: every other box of the LED is cleared and
    // locked until it is unchecked.
    for (int bit = -1; bit < kLedDuplexBit; ++bit) {
      SetLedBox(led, bit, false, false);
    }
    Enable(LedBitBox(led, kLedDuplexBit), true);
  } else {
    for (int bit = -1; bit <= kLedDuplexBit; ++bit) {
      Enable(bit < 0 ? LedUsb3Box(led) : LedBitBox(led, bit), true);
    }
  }
}

void CKM62058_SromDlg::ApplyCheckedUsb3(int led) {
  SetLedValue(led,
              LedValueAfterUsb3Click(station_.settings.LedSetting[led], true));
  for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
    SetLedBox(led, bit, false, false);
  }
}

void CKM62058_SromDlg::ApplyLedBits() {
  SromSettings& s = station_.settings;
  for (int led = 0; led < kLedCount; ++led) {
    for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
      if ((s.LedSetting[led] >> bit) & 1) {
        view_.SetChecked(LedBitBox(led, bit), true);
      }
    }
  }
  s.LedWord = MergeLedSettings(s.LedWord, s.LedSetting);
  for (int led = 0; led < kLedCount; ++led) {
    UpdateData(true);
    ApplyDuplexBox(led);
    RefreshImage();
  }
  for (int led = 0; led < kLedCount; ++led) {
    if (!s.LedUsb3[led]) continue;
    ApplyCheckedUsb3(led);
    RefreshImage();
  }
}

void CKM62058_SromDlg::OnLedBoxClicked(int led, int bit) {
  DoDataExchange(true);
  if (bit == kLedDuplexBit) {
    ApplyDuplexBox(led);
  } else {
    SetLedValue(led,
                LedValueAfterBoxClick(station_.settings.LedSetting[led], bit,
                                      view_.Checked(LedBitBox(led, bit))));
  }
  RefreshImage();
}

void CKM62058_SromDlg::OnLedUsb3Clicked(int led) {
  DoDataExchange(true);
  if (station_.settings.LedUsb3[led]) {
    ApplyCheckedUsb3(led);
  } else {
    for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
      Enable(LedBitBox(led, bit), true);
    }
  }
  RefreshImage();
}

void CKM62058_SromDlg::OnKillFocus(ControlId id) {
  const Field field = FieldOf(id);
  if (field == Field::kNone) return;  // "Delay time" and the rest: no rule
  DoDataExchange(true);
  const bool accepted = RefreshImage();
  // The check may have replaced a blank string by its accepted text.
  if (field == Field::kManufacturer || field == Field::kProduct) {
    DoDataExchange(false);
  }
  // Only a text that passed becomes the one a later failure puts back; a
  // rejected one would otherwise be put back as if it had been accepted.
  if (accepted) {
    RememberAccepted(station_.accepted, station_.settings, field);
  }
}

void CKM62058_SromDlg::OnMacIncrementPicked() {
  SromSettings& s = station_.settings;
  s.MacIncrement = view_.ListIndex(ControlId::kMacIncrement);
  if (!s.BasedOnMac) return;
  s.SerialIncrement = s.MacIncrement;
  view_.SetListIndex(ControlId::kSerialIncrement, s.SerialIncrement);
}

// The lists are not part of the exchange; the record follows each pick, so
// that the settings file keeps what the lists show.
void CKM62058_SromDlg::OnSerialIncrementPicked() {
  station_.settings.SerialIncrement =
      view_.ListIndex(ControlId::kSerialIncrement);
}

void CKM62058_SromDlg::OnSromSizeClicked() {
  DoDataExchange(true);
  RefreshImage();
}

bool CKM62058_SromDlg::OnKey(std::optional<ControlId> focus, Key key) {
  switch (key) {
    case Key::kEscape:
      return true;  // the window never closes by Escape
    case Key::kEnter:
      // A scanner types the MAC address and Enter: one scan, one unit.
      if (focus == ControlId::kCurrentMac) OnEnterInCurrentMac();
      return true;  // no default button is pressed by Enter
    case Key::kOther:
      break;
  }
  return false;
}

}  // namespace srom
