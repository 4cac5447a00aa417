// The main window's logic and state: the settings, the image buffers, the
// busy state, the jobs, and every handler. It sees the window only through
// the View, and is the OperatorPanel that the operations report to.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "device/driver_port.h"
#include "ops/adapter_loop.h"
#include "ops/operator_panel.h"
#include "ops/ops_context.h"
#include "ops/station.h"
#include "ports/clock.h"
#include "ui/view.h"

namespace srom {

// The keys the window's key filter looks at; every other key is kOther.
enum class Key { kEscape, kEnter, kOther };

class CKM62058_SromDlg : public OperatorPanel {
 public:
  CKM62058_SromDlg(View& view, DriverPort& port, Clock& clock,
                   FileFolders folders);
  ~CKM62058_SromDlg() override;
  CKM62058_SromDlg(const CKM62058_SromDlg&) = delete;
  CKM62058_SromDlg& operator=(const CKM62058_SromDlg&) = delete;

  Station& station() { return station_; }
  void set_adapter_loop(AdapterLoop* loop) { loop_ = loop; }
  bool job_running() const { return job_running_; }

  // The data exchange; on the window thread.
  bool DoDataExchange(bool to_record);

  // Busy state.
  void SaveAndDisableControls();
  void RestoreControls();

  // Buttons and boxes.
  void OnProgram();
  void OnDump();
  void OnPreview();
  void OnErase();
  void OnLock();
  void OnBarCode();
  // Enter pressed with the focus in the MAC "Current" box.
  void OnEnterInCurrentMac();
  // The operator changed a box's text (or the program did, outside an
  // exchange): the box's rule runs.
  void OnTextChanged(ControlId id);
  // A box lost the input focus: the settings are checked and the image
  // rebuilt, and a box whose text passed is remembered as accepted, so that
  // a later failure puts it back.
  void OnKillFocus(ControlId id);
  // A new entry picked in the MAC "Increase by" list.
  void OnMacIncrementPicked();
  // "256" or "512" clicked.
  void OnSromSizeClicked();
  // An LED's "Active", "10Mbps", "100Mbps", "Giga" (bits 0-3) or "Duplex"
  // (bit 4) box clicked, and its "USB3.0" box clicked.
  void OnLedBoxClicked(int led, int bit);
  void OnLedUsb3Clicked(int led);
  // Every key meant for the window or one of its controls, before the
  // control sees it; `focus` is the control that has the focus, if any.
  // True when the key is consumed here and must go no further.
  bool OnKey(std::optional<ControlId> focus, Key key);
  // The window's close box. Held while a job runs, carried out after it.
  void OnClose();

  // The shared routines of the window.
  bool RefreshImage();
  void LoadDefaultImage();
  void ApplyLedBits();

  // OperatorPanel.
  void ShowMessage(const std::string& text) override;
  void SetStatus(const std::string& text) override;
  void SetResultPicture(ResultPicture picture) override;
  void ShowPreview(const std::string& listing) override;
  bool AskOkCancel(const std::string& caption,
                   const std::string& text) override;
  std::string OutputText() override;
  void SetOutputText(const std::string& text) override;
  void SetProgress(int percent) override;
  void SetAdapterPicture(int index, AdapterPictureKind picture) override;
  void UpdateData(bool to_record) override;
  BoxTexts ShownBoxTexts() override;
  void PutBack(Field field, const std::string& text) override;
  void FocusField(Field field) override;
  void EnableMacControls() override;
  int MacIncrementList() override;
  int SerialIncrementList() override;
  bool ConfirmReissue(const std::string& text) override;
  void RearmAutoProgram() override;

  // The station's production ledger, kept by whoever opened the station.
  void set_ledger(Ledger* ledger) { ledger_ = ledger; }

 private:
  OpsContext Context();
  // Starts `job` on a worker thread; it ends with RestoreControls. Refused
  // while another job runs.
  bool StartJob(std::function<void()> job);
  void ClearPicturesForJob();
  // Puts text into a box outside an exchange: the box's rule runs as if the
  // operator had typed it.
  void PutText(ControlId id, const std::string& text);
  void SetLedBox(int led, int bit, bool checked, bool enabled);
  // The LED's value becomes `value`, in LedSetting and in its LedWord bits.
  void SetLedValue(int led, std::uint8_t value);
  // The boxes and value of an LED as its "Duplex" box now stands, and as a
  // checked "USB3.0" box leaves them.
  void ApplyDuplexBox(int led);
  void ApplyCheckedUsb3(int led);

  View& view_;
  DriverPort& port_;
  Clock& clock_;
  Station station_;
  AdapterLoop* loop_ = nullptr;
  Ledger* ledger_ = nullptr;

  std::array<bool, kControlCount> recorded_enabled_{};
  bool exchanging_ = false;
  std::atomic<bool> job_running_{false};
  bool close_pending_ = false;
  std::thread job_;
};

}  // namespace srom
