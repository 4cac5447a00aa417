#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/image_files.h"
#include "model/led_rules.h"
#include "ops/multi_adapter.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

// Start-up, in the order that decides what the operator finds on the screen,
// and the close request.

namespace srom {

bool CKM62058_SromDlg::OnInitDialog(const LedgerOpener& open_ledger) {
  SromSettings& s = station_.settings;
  // The window's controls show the initial settings; the view has filled the
  // lists and built the system menu's About entry and the icon.
  DoDataExchange(false);
  station_.accepted = LastAccepted{};
  view_.LoadPictures();
  s.DeviceSel = kChipAEeprom;
  station_.values = NumericValues{};
  s.MacIncrement = 1;
  s.SerialIncrement = 1;
  ShowListsAndSwitches();
  s.LedWord = SromSettings{}.LedWord;
  s.LedSetting = SromSettings{}.LedSetting;
  s.SerialNoType = kSerialFromMac;
  station_.image_size = kSromSize512;
  station_.busy = false;
  ApplyLedBits();
  RefreshImage();
  view_.Focus(ControlId::kOutputBox);

  if (!OpenStationFolder(open_ledger)) return false;

  ApplyDeviceSelection(SelectionCause::kStartup);
  ApplyDisableSetting();
  view_.SetProgress(0);
  if (s.MultiEnable) OnScan();
  view_.SetText(ControlId::kCountdownLabel, "");
  if (view_.Checked(ControlId::kAuto)) {
    previous_count_ = kNoCountYet;
    ApplyAutoProgram();
  }
  Enable(ControlId::kDeviceSel, !view_.Checked(ControlId::kLock));
  Context().Device().CheckTestDriver();
  return true;
}

bool CKM62058_SromDlg::OpenStationFolder(const LedgerOpener& open_ledger) {
  const FileFolders& folders = station_.folders;
  // Nothing in the folder is written before it is ours: two programs on one
  // station would hand out the same MAC addresses.
  Outcome refusal = Outcome::kOk;
  session_ = StationSession::Lock(folders.program_folder, *this, refusal);
  if (!session_) return false;
  const bool had_settings = MayExist(folders.working_folder / "EEPROM.dat") ||
                            MayExist(folders.program_folder / "EEPROM.dat");

  if (const auto saved = CreateMissingSromDat(
          folders, station_.prev, station_.settings.SromSize, OutputText(),
          *this)) {
    station_.last_save_ok = *saved;
  }
  LoadEepromDatIntoWindow();

  if (!session_->OpenLedger(folders.program_folder, station_, *this, clock_,
                            open_ledger, had_settings, refusal)) {
    session_.reset();
    return false;
  }
  ledger_ = session_->ledger();
  // Catching up with the ledger may have moved the counters on.
  DoDataExchange(false);
  return true;
}

void CKM62058_SromDlg::LoadEepromDatIntoWindow() {
  SromSettings& s = station_.settings;
  const EepromLoadResult loaded =
      LoadEepromDat(station_.folders, s, station_.accepted, *this);
  if (loaded.outcome == EepromDatLoad::kCreated) {
    station_.last_save_ok = loaded.save_ok;
  }
  if (loaded.outcome != EepromDatLoad::kLoaded) return;
  ShowListsAndSwitches();
  if (s.DeviceSel == kChipBEeprom) {
    view_.SetVisible(ControlId::kSuperBusPower, false);
    view_.SetVisible(ControlId::kSuperSelfPower, false);
  }
  DoDataExchange(false);
  ApplyDisableSetting();
  OnBasedOnMac();
  // The bit boxes are set again from the loaded values; the "USB3.0" boxes
  // keep showing the loaded selections, which their rules then apply.
  for (int led = 0; led < kLedCount; ++led) {
    for (int bit = 0; bit <= kLedDuplexBit; ++bit) {
      view_.SetChecked(LedBitBox(led, bit), false);
    }
  }
  ApplyLedBits();
}

void CKM62058_SromDlg::OnClose() {
  // Held while anything runs; carried out when it has ended.
  if (busy_ || job_running_) {
    close_pending_ = true;
    return;
  }
  if (network_ != nullptr) {
    ConnectionSwitch(*network_, clock_).EnableAllConnectionsAtExit(adapters_);
  }
  view_.CloseWindow();
}

}  // namespace srom
