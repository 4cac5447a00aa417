#include "ui/srom_dlg.h"

#include <algorithm>
#include <utility>

#include "model/led_rules.h"
#include "model/messages.h"
#include "model/stepping.h"
#include "ops/dump.h"
#include "ops/program.h"
#include "ops/refresh.h"
#include "ui/data_exchange.h"

namespace srom {
CKM62058_SromDlg::CKM62058_SromDlg(View& view, DriverPort& port, Clock& clock,
                                   FileFolders folders)
    : view_(view), port_(port), clock_(clock) {
  station_.folders = std::move(folders);
}

CKM62058_SromDlg::~CKM62058_SromDlg() {
  if (job_.joinable()) job_.join();
}

OpsContext CKM62058_SromDlg::Context() {
  return OpsContext{station_, *this, port_, clock_, ledger_};
}

bool CKM62058_SromDlg::DoDataExchange(bool to_record) {
  exchanging_ = true;
  bool complete = true;
  if (to_record) {
    complete = ExchangeToRecord(view_, station_.settings);
  } else {
    ExchangeToWindow(view_, station_.settings);
  }
  exchanging_ = false;
  return complete;
}

void CKM62058_SromDlg::SaveAndDisableControls() {
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    if (id == ControlId::kDeviceSelLabel) continue;
    recorded_enabled_[i] = view_.Enabled(id);
    view_.SetEnabled(id, false);
  }
  view_.SetEnabled(ControlId::kLock, false);
  view_.SetEnabled(ControlId::kOutputBox, true);
}

void CKM62058_SromDlg::RestoreControls() {
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    if (id == ControlId::kDeviceSelLabel) continue;
    view_.SetEnabled(id, recorded_enabled_[i]);
  }
  view_.SetEnabled(ControlId::kLock, true);
  view_.SetEnabled(ControlId::kOutputBox, true);
}

bool CKM62058_SromDlg::StartJob(std::function<void()> job) {
  if (job_running_) return false;
  if (job_.joinable()) job_.join();
  job_running_ = true;
  job_ = std::thread([this, job = std::move(job)] {
    job();
    // The end of a job is one step on the window thread, so that a close
    // request sees either a running job (and is held) or a finished one.
    view_.RunOnWindowThread([this] {
      RestoreControls();
      job_running_ = false;
      if (close_pending_) {
        close_pending_ = false;
        view_.PostToWindowThread([this] { view_.CloseWindow(); });
      }
    });
  });
  return true;
}

void CKM62058_SromDlg::ClearPicturesForJob() {
  for (int i = 0; i < kAdapterSlots; ++i) {
    view_.SetAdapterPicture(i, AdapterPictureKind::kBlank);
  }
  view_.SetResultPicture(ResultPicture::kBlank);
  view_.SetProgress(0);
}

void CKM62058_SromDlg::OnProgram() {
  if (job_running_) return;
  SaveAndDisableControls();
  view_.SetResultPicture(ResultPicture::kNone);
  ClearPicturesForJob();
  StartJob([this] { RunProgramJob(Context(), loop_); });
}

void CKM62058_SromDlg::OnDump() {
  if (job_running_) return;
  SaveAndDisableControls();
  ClearPicturesForJob();
  DoDataExchange(true);
  view_.SetText(ControlId::kOutputBox, "");
  StartJob([this] { RunDumpJob(Context(), loop_); });
}

void CKM62058_SromDlg::OnPreview() {
  DoDataExchange(true);
  SaveAndDisableControls();
  view_.SetResultPicture(ResultPicture::kNone);
  RefreshImage();
  RestoreControls();
}

void CKM62058_SromDlg::OnErase() {
  if (job_running_) return;
  SaveAndDisableControls();
  EraseEeprom(Context(), loop_);
  RestoreControls();
}

void CKM62058_SromDlg::OnLock() {
  station_.settings.DeviceSelLock = view_.Checked(ControlId::kLock);
  view_.SetEnabled(ControlId::kDeviceSel, !station_.settings.DeviceSelLock);
}

void CKM62058_SromDlg::OnBarCode() { DoDataExchange(true); }

void CKM62058_SromDlg::OnEnterInCurrentMac() {
  DoDataExchange(true);
  if (!station_.settings.BarCode) return;
  // A scan while a job runs is refused: one sequence at a time.
  if (job_running_) return;
  RunSingleUnit(Context());
  view_.SelectAll(ControlId::kCurrentMac);
}

void CKM62058_SromDlg::OnClose() {
  if (job_running_) {
    close_pending_ = true;
    return;
  }
  view_.CloseWindow();
}

void CKM62058_SromDlg::PutText(ControlId id, const std::string& text) {
  view_.SetText(id, text);
  OnTextChanged(id);
}

void CKM62058_SromDlg::OnTextChanged(ControlId id) {
  if (exchanging_) return;
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

bool CKM62058_SromDlg::RefreshImage() { return srom::RefreshImage(Context()); }

void CKM62058_SromDlg::LoadDefaultImage() { srom::LoadDefaultImage(Context()); }

void CKM62058_SromDlg::SetLedBox(int led, int bit, bool checked, bool enabled) {
  const ControlId box = bit < 0 ? LedUsb3Box(led) : LedBitBox(led, bit);
  view_.SetChecked(box, checked);
  view_.SetEnabled(box, enabled);
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
    view_.SetEnabled(LedBitBox(led, kLedDuplexBit), true);
  } else {
    for (int bit = -1; bit <= kLedDuplexBit; ++bit) {
      view_.SetEnabled(bit < 0 ? LedUsb3Box(led) : LedBitBox(led, bit), true);
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
      view_.SetEnabled(LedBitBox(led, bit), true);
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
  if (!station_.settings.BasedOnMac) return;
  view_.SetListIndex(ControlId::kSerialIncrement,
                     view_.ListIndex(ControlId::kMacIncrement));
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

// OperatorPanel on the view.

void CKM62058_SromDlg::ShowMessage(const std::string& text) {
  view_.MessageBox(text);
}
void CKM62058_SromDlg::SetStatus(const std::string& text) {
  view_.SetText(ControlId::kStatusLabel, text);
}
void CKM62058_SromDlg::SetResultPicture(ResultPicture picture) {
  view_.SetResultPicture(picture);
}
void CKM62058_SromDlg::ShowPreview(const std::string& listing) {
  view_.SetText(ControlId::kOutputBox, listing);
}
bool CKM62058_SromDlg::AskOkCancel(const std::string& caption,
                                   const std::string& text) {
  return view_.AskOkCancel(caption, text, BoxIcon::kWarning);
}
std::string CKM62058_SromDlg::OutputText() {
  return view_.Text(ControlId::kOutputBox);
}
void CKM62058_SromDlg::SetOutputText(const std::string& text) {
  view_.SetText(ControlId::kOutputBox, text);
}
void CKM62058_SromDlg::SetProgress(int percent) { view_.SetProgress(percent); }
void CKM62058_SromDlg::SetAdapterPicture(int index,
                                         AdapterPictureKind picture) {
  view_.SetAdapterPicture(index, picture);
}

// WM_UPDATE_DATA: served by the window thread while the sender waits.
void CKM62058_SromDlg::UpdateData(bool to_record) {
  view_.RunOnWindowThread([this, to_record] { DoDataExchange(to_record); });
}

BoxTexts CKM62058_SromDlg::ShownBoxTexts() {
  BoxTexts boxes;
  view_.RunOnWindowThread([this, &boxes] {
    boxes.VendorId = view_.Text(ControlId::kVendorId);
    boxes.ProductId = view_.Text(ControlId::kProductId);
    boxes.CurrentMac = view_.Text(ControlId::kCurrentMac);
    boxes.MaximumMac = view_.Text(ControlId::kMaximumMac);
    boxes.CurrentSerial = view_.Text(ControlId::kCurrentSerial);
    boxes.MaximumSerial = view_.Text(ControlId::kMaximumSerial);
  });
  return boxes;
}

void CKM62058_SromDlg::PutBack(Field field, const std::string& text) {
  const ControlId id = ControlOf(field);
  view_.RunOnWindowThread([this, id, &text] { PutText(id, text); });
}

void CKM62058_SromDlg::FocusField(Field field) {
  view_.Focus(ControlOf(field));
}

void CKM62058_SromDlg::EnableMacControls() {
  view_.SetEnabled(ControlId::kCurrentMac, true);
  view_.SetEnabled(ControlId::kMaximumMac, true);
  view_.SetEnabled(ControlId::kMacIncrement, true);
}

int CKM62058_SromDlg::MacIncrementList() {
  return std::max(0, view_.ListIndex(ControlId::kMacIncrement));
}
int CKM62058_SromDlg::SerialIncrementList() {
  return std::max(0, view_.ListIndex(ControlId::kSerialIncrement));
}

bool CKM62058_SromDlg::ConfirmReissue(const std::string& text) {
  return view_.AskOkCancel(
      "Reissue MAC Address",
      text +
          "\n\nClick 'OK' to program it again on purpose (a rework).\n"
          "Click 'Cancel' to stop: set the next free MAC address first.",
      BoxIcon::kWarning);
}

// Automatic programming arrives with its own handler; until then there is
// nothing to re-arm.
void CKM62058_SromDlg::RearmAutoProgram() {}

}  // namespace srom
