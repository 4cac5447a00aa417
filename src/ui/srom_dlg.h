// The main window's logic and state: the settings, the image buffers, the
// busy state, the jobs, and every handler. It sees the window only through
// the View, and is the OperatorPanel that the operations report to.
//
// Its handlers live in files named for what they do: srom_dlg.cpp (the
// exchange, the busy state, the jobs, the panel), srom_dlg_dispatch.cpp
// (what each event of a view runs, and the gate that keeps the operator out
// of a running unit), srom_dlg_editing.cpp (the boxes, lists, LED boxes and
// keys), srom_dlg_layout.cpp (the device selection, "Disable Setting",
// "Based On Mac Address", "Lock"), srom_dlg_startup.cpp (start-up and
// close), srom_dlg_files.cpp (the file buttons and the About box),
// srom_dlg_auto.cpp (automatic programming's watch and countdown) and
// srom_dlg_adapters.cpp ("Scan" and "MultiEnable").
//
// A field exit, hop by hop, where most of the window's work happens (the
// operator types into the MAC "Current" box and presses Tab):
//   1. The view reports the focus loss: OnOperator(FocusLoss) runs
//      OnKillFocus, unless the window is busy.
//   2. Exchange window to record (DoDataExchange(true)): every tied control
//      into SromSettings, in the fixed order, with the limits of the field
//      table (model/fields).
//   3. RefreshImage (ops/refresh): the device is opened once to update the
//      status label (DetectDevice); the boxes' texts are read (a second
//      exchange-like read, ShownBoxTexts); CheckDataCorrect validates the
//      settings (model/validation), reporting a failure through PutBack,
//      ShowMessage and FocusField.
//   4. Passing: the record is shown in the controls (exchange record to
//      window, the third exchange), the image is built into PrevData
//      (BuildSromImage, or BuildEfuseImage in an eFuse selection), and the
//      preview is shown in the output box (ShowImagePreview; twice when the
//      buffer was blank: once for the chip's default image, once built).
//   5. The string boxes are shown once more (the fourth exchange), since a
//      check may have replaced a blank string; a text that passed becomes
//      the box's LastAccepted entry, for a later failure to put back.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "device/driver_port.h"
#include "ops/adapter_loop.h"
#include "ops/multi_adapter.h"
#include "ops/operator_panel.h"
#include "ops/ops_context.h"
#include "ops/station.h"
#include "ops/station_session.h"
#include "ports/clock.h"
#include "ui/operator_event.h"
#include "ui/view.h"

namespace srom {

// Why a device selection is applied. Only an operator's pick of another entry
// puts the chip's default power values into the boxes; at start-up and after
// "Load EEPROM" the loaded values stay.
enum class SelectionCause { kStartup, kOperatorPick, kSettingsLoaded };

class CKM62058_SromDlg : public OperatorPanel {
 public:
  CKM62058_SromDlg(View& view, DriverPort& port, Clock& clock,
                   FileFolders folders);
  // Waits for a running job to end (serving the window thread meanwhile),
  // so that no job outlives the window or touches it afterwards.
  ~CKM62058_SromDlg() override;
  CKM62058_SromDlg(const CKM62058_SromDlg&) = delete;
  CKM62058_SromDlg& operator=(const CKM62058_SromDlg&) = delete;

  Station& station() { return station_; }
  // The system's network adapters, for programming several adapters; without
  // one a scan finds none.
  void set_network(NetworkPort* network);
  const AdapterTable& adapters() const { return adapters_; }
  // The station's production ledger, when the window did not open the
  // station itself.
  void set_ledger(Ledger* ledger) { ledger_ = ledger; }
  bool job_running() const { return job_running_; }
  // True from SaveAndDisableControls to RestoreControls, and while a scanned
  // unit is programmed on the window thread: nothing else may start then.
  bool busy() const { return busy_; }

  // Start-up: the window's initialisation, once, before it is first shown.
  // Locks the station folder, creates missing files, loads the settings and
  // opens the production ledger (`open_ledger`; null keeps none). False when
  // the window must close at once: the station is another program's, or it
  // cannot be used (the operator has been told why).
  bool OnInitDialog(const LedgerOpener& open_ledger);
  // The close request (close box, system menu, Alt+F4). Held while a job
  // runs, carried out after it.
  void OnClose();

  // The data exchange; on the window thread.
  bool DoDataExchange(bool to_record);

  // Busy state. SaveAndDisableControls is refused (false, nothing recorded)
  // while the window is busy already.
  bool SaveAndDisableControls();
  void RestoreControls();

  // Everything a view reports comes in here, and only here. While the window
  // is busy (a Program, Dump or Erase job, a scanned unit, Preview) nothing
  // that the operator does reaches the settings, the buffers or the image:
  // clicks, picks, edits and focus losses are ignored (their controls are
  // disabled; an edit that still arrives is taken by the first exchange after
  // the job), Enter and Escape are consumed and do nothing, a timer's tick
  // waits for the next one, About waits for the job to end, and a close is
  // held until then. True when a key was consumed.
  bool OnOperator(const OperatorEvent& event);

  // The handlers OnOperator runs, by control: a click on a button, check box
  // or radio button; an entry picked from a list; a timer's tick.
  void OnClicked(ControlId id);
  void OnPicked(ControlId id);
  void OnTimer(int timer);

  // Operation buttons.
  void OnProgram();
  void OnDump();
  void OnPreview();
  void OnErase();
  // File buttons and the About box.
  void OnSave();
  void OnLoadEeprom();
  void OnLoadSrom();
  void OnConvertToBin();
  void OnConvertToEfuse();
  void OnAbout();

  // Several adapters: "Scan" and "MultiEnable".
  void OnScan();
  void OnMultiEnable();

  // Automatic programming: "Auto" changed (or re-armed after a job), the
  // adapters counted, one second of the countdown.
  void ApplyAutoProgram();
  int CountDevices();
  void CountdownStep();
  static constexpr int kWatchTimer = 1;
  static constexpr int kCountdownTimer = 2;
  static constexpr int kNoCountYet = -1;

  // Device row and switches.
  void OnDeviceSelPicked();
  void OnLock();
  void OnBarCode();
  // "Based On Mac Address": the operator's click (`clicked`), or its rules
  // applied again after a load, a layout or "Disable Setting".
  void OnBasedOnMac(bool clicked = false);
  void ApplyDeviceSelection(SelectionCause cause);
  void ApplyDisableSetting();

  // Field editing.
  // Enter pressed with the focus in the MAC "Current" box.
  void OnEnterInCurrentMac();
  // The operator changed a box's text (or the program did, outside an
  // exchange): the box's rule runs.
  void OnTextChanged(ControlId id);
  // A box lost the input focus: the settings are checked and the image
  // rebuilt, and a box whose text passed is remembered as accepted, so that
  // a later failure puts it back.
  void OnKillFocus(ControlId id);
  // A new entry picked in the MAC or the serial "Increase by" list.
  void OnMacIncrementPicked();
  void OnSerialIncrementPicked();
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
  void ShowVerdict(const std::string& line, bool passed) override;
  int MacIncrementList() override;
  int SerialIncrementList() override;
  bool ConfirmReissue(const std::string& text) override;
  void RearmAutoProgram() override;

 private:
  OpsContext Context();
  // A control enabled or disabled by the logic. While the window is busy the
  // state is kept for RestoreControls instead: no step of a job (an eFuse
  // refresh enables the MAC boxes) hands a control back to the operator
  // before the job has ended.
  void Enable(ControlId id, bool enabled);
  // Starts `job` on a worker thread; it ends with RestoreControls.
  void StartJob(std::function<void()> job);
  void ClearPicturesForJob();
  // A close request held while the window was busy is carried out now.
  void CloseIfPending();
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
  // The controls the exchange leaves out, from the record: the device list,
  // both "Increase by" lists, "Auto" and "Lock".
  void ShowListsAndSwitches();
  // The EEPROM and eFuse branches of ApplyDeviceSelection.
  void ApplyEepromLayout(SelectionCause cause);
  void ApplyEfuseLayout();
  void ShowLayoutOf(int device_sel);
  // The settings file loaded into the window, as start-up and "Load
  // EEPROM" do it.
  void LoadEepromDatIntoWindow();
  // Start-up's part that reads and writes the station folder: the SROM.dat
  // test, the settings, the ledger. False when the window must close.
  bool OpenStationFolder(const LedgerOpener& open_ledger);
  // The open-file dialog for an image file; nothing when cancelled.
  std::optional<std::string> ChooseImageFile();

  View& view_;
  DriverPort& port_;
  Clock& clock_;
  Station station_;
  AdapterLoop* loop_ = nullptr;
  NetworkPort* network_ = nullptr;
  AdapterTable adapters_;
  std::unique_ptr<MultiAdapterLoop> multi_loop_;
  int device_count_ = 0;
  int previous_count_ = kNoCountYet;
  int countdown_ = 0;
  Ledger* ledger_ = nullptr;
  std::optional<StationSession> session_;

  std::array<bool, kControlCount> recorded_enabled_{};
  // Exchanges can nest (a message box's event loop serves a worker's
  // exchange): the controls' notifications are ignored until the outermost
  // one ends.
  int exchange_depth_ = 0;
  bool busy_ = false;
  // A scanned unit is being programmed: a question its sequence would ask is
  // never put to the scanner, whose next Enter would answer it.
  bool scanning_ = false;
  std::atomic<bool> job_running_{false};
  bool close_pending_ = false;
  bool destroying_ = false;
  std::thread job_;
};

}  // namespace srom
