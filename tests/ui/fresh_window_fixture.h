// A window as the framework creates it, before start-up has run: for the
// tests of start-up, the device layouts and the file buttons.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "device/sim/simulated_adapter.h"
#include "device/sim/simulated_bench.h"
#include "device/sim/simulated_network.h"
#include "files/eeprom_dat.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/temp_folder.h"
#include "ui/layout.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

namespace srom::test {

class FreshWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The controls as the resource template creates them.
    view_.SetTitle(kInitialTitle);
    view_.State(ControlId::kStatusLabel).text = "Device Unplugged";
    view_.State(ControlId::kCountdownLabel).text = kCountdownInitialText;
    for (int i = 0; i < kControlCount; ++i) {
      const auto id = static_cast<ControlId>(i);
      view_.State(id).visible = !StartsHidden(id);
      view_.State(id).enabled = !StartsDisabled(id);
    }
    dlg_ = std::make_unique<CKM62058_SromDlg>(view_, bench_, clock_,
                                              FileFolders{dir_, dir_});
    dlg_->set_network(&network_);
  }

  void TearDown() override {
    dlg_.reset();
  }

  bool Start(const LedgerOpener& open_ledger = nullptr) {
    return dlg_->OnInitDialog(open_ledger);
  }
  void WriteSettings(const SromSettings& s) {
    WriteFile("EEPROM.dat", FormatEepromDat(s));
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    test::WriteBytes(dir_ / name, bytes);
  }
  std::string ReadFile(const std::string& name) const {
    return test::ReadBytes(dir_ / name);
  }
  bool FileExists(const std::string& name) const {
    return std::filesystem::exists(dir_ / name);
  }
  SromSettings& settings() { return dlg_->station().settings; }
  Station& station() { return dlg_->station(); }
  FakeView::ControlState& State(ControlId id) { return view_.State(id); }
  // The operator picks an entry of the device list.
  void Pick(int device_sel) {
    State(ControlId::kDeviceSel).list_index = device_sel;
    dlg_->OnDeviceSelPicked();
  }
  // The operator types `text` into a box (its rule runs) and leaves it.
  void TypeAndLeave(ControlId id, const std::string& text) {
    State(id).text = text;
    dlg_->OnTextChanged(id);
    dlg_->OnKillFocus(id);
  }
  void Click(ControlId id, bool checked) { State(id).checked = checked; }

  test::TempFolder folder_;
  const std::filesystem::path dir_ = folder_.path();
  FakeView view_;
  // A bench of one chip A adapter on the connection "Ethernet"; tests add
  // more.
  SimulatedBench bench_;
  SimulatedAdapter& adapter_ =
      *bench_.AddAdapter("VELK KM62058 USB 3.0 to Gigabit Ethernet",
                         "Ethernet", 256);
  SimulatedNetwork network_{bench_};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
  std::unique_ptr<CKM62058_SromDlg> dlg_;
};

}  // namespace srom::test
