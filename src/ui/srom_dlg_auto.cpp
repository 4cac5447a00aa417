#include <string>

#include "model/messages.h"
#include "ui/srom_dlg.h"

// Automatic programming: the device watch every half second, the countdown
// every second, and Program pressed by itself when it runs out.

namespace srom {
namespace {

constexpr int kWatchPeriodMs = 500;
constexpr int kCountdownPeriodMs = 1000;
constexpr int kCountdownPoints = 40;

}  // namespace

void CKM62058_SromDlg::ApplyAutoProgram() {
  SromSettings& s = station_.settings;
  s.AutoProgram = view_.Checked(ControlId::kAuto);
  if (!s.AutoProgram || !IsEepromSel(s.DeviceSel)) {
    view_.SetText(ControlId::kCountdownLabel, "");
    previous_count_ = kNoCountYet;
    view_.StopTimer(kWatchTimer);
    view_.StopTimer(kCountdownTimer);
    Enable(ControlId::kMultiEnable, true);
    Enable(ControlId::kScan, true);
    return;
  }
  view_.SetChecked(ControlId::kMultiEnable, false);
  OnMultiEnable();
  Enable(ControlId::kMultiEnable, false);
  Enable(ControlId::kScan, false);
  view_.StartTimer(kWatchTimer, kWatchPeriodMs);
}

int CKM62058_SromDlg::CountDevices() {
  device_count_ = 0;
  if (view_.Checked(ControlId::kMultiEnable)) {
    OnScan();
    for (int k = 0; k < kAdapterSlots; ++k) {
      if (!adapters_.entries[k].Present) continue;
      view_.SetChecked(AdapterBox(k), true);
      ++device_count_;
    }
  } else if (Context().Device().DetectDevice()) {
    device_count_ = 1;
  }
  return device_count_;
}

void CKM62058_SromDlg::CountdownStep() {
  view_.SetFontPoints(ControlId::kCountdownLabel, kCountdownPoints);
  view_.SetText(ControlId::kCountdownLabel, std::to_string(countdown_));
  --countdown_;
  if (countdown_ < 0) {
    view_.StopTimer(kCountdownTimer);
    OnProgram();
    view_.SetText(ControlId::kCountdownLabel, "");
    return;
  }
  if (CountDevices() == 0) {
    view_.StopTimer(kCountdownTimer);
    view_.SetResultPicture(ResultPicture::kFail);
    view_.SetText(ControlId::kCountdownLabel, "");
    view_.SetText(ControlId::kOutputBox, std::string(msg::kDeviceLost) + "\r\n");
    view_.MessageBox(msg::kDeviceLost);
    view_.StartTimer(kWatchTimer, kWatchPeriodMs);
  }
}

void CKM62058_SromDlg::OnTimer(int timer) {
  // A tick while the window is busy never gets here (OnOperator): it waits
  // for the next one, so a job started by hand is never joined by a second,
  // and the countdown holds meanwhile.
  if (timer == kCountdownTimer) {
    CountdownStep();
    return;
  }
  if (timer != kWatchTimer) return;
  const int n = CountDevices();
  if (n > previous_count_ && previous_count_ == 0) {
    view_.StopTimer(kWatchTimer);
    view_.SetResultPicture(ResultPicture::kBlank);
    view_.SetText(ControlId::kOutputBox, "");
    countdown_ = station_.settings.DelayTime;
    CountdownStep();
    if (countdown_ >= 0) view_.StartTimer(kCountdownTimer, kCountdownPeriodMs);
  }
  if (n < previous_count_) {
    view_.SetResultPicture(ResultPicture::kBlank);
    view_.SetText(ControlId::kOutputBox, "");
  }
  previous_count_ = n;
}

}  // namespace srom
