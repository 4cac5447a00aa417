// The whole window without a display: the window logic on a FakeView, a
// simulated adapter, a fake clock and a fresh folder for the files.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "device/sim/simulated_adapter.h"
#include "model/efuse_image.h"
#include "ports/clock.h"
#include "support/fake_view.h"
#include "support/temp_folder.h"
#include "ui/srom_dlg.h"
#include "support/fake_clock.h"

namespace srom::test {

// Forwards to the adapter and keeps every request's whole input; can corrupt
// what an eFuse read returns, as a failing fuse would.
class RecordingPort : public DriverPort {
 public:
  explicit RecordingPort(DriverPort& inner) : inner_(inner) {}

  std::optional<DeviceHandle> Open(std::string_view path) override {
    return inner_.Open(path);
  }
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override {
    std::vector<std::uint8_t> copy(input.begin(), input.end());
    const bool ok = inner_.Request(handle, code, input, output);
    if (ok && code == IOCTL_READ_EFUSE && corrupt_efuse_read) {
      corrupt_efuse_read(output);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back({code, std::move(copy)});
    }
    return ok;
  }
  void Close(DeviceHandle handle) override { inner_.Close(handle); }

  struct Sent {
    std::uint32_t code;
    std::vector<std::uint8_t> input;
  };
  std::vector<Sent> Requests(std::uint32_t code) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Sent> out;
    for (const Sent& s : requests_) {
      if (s.code == code) out.push_back(s);
    }
    return out;
  }
  std::function<void(std::span<std::uint8_t>)> corrupt_efuse_read;

 private:
  DriverPort& inner_;
  mutable std::mutex mutex_;
  std::vector<Sent> requests_;
};

class WindowTest : public ::testing::Test {
 public:
  // For the setup functions of table rows.
  SimulatedAdapter& adapter() { return adapter_; }
  FakeView& view() { return view_; }
  RecordingPort& port() { return port_; }
  void Efuse(int device_sel) { SelectEfuse(device_sel); }
  void TypeText(ControlId id, const std::string& text) { Type(id, text); }
  Station& st() { return station(); }

 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("srom-window-" +
         std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    dlg_ = std::make_unique<CKM62058_SromDlg>(view_, port_, clock_,
                                              FileFolders{dir_, dir_});
    // The window as start-up leaves it, chip A with a 256-byte EEPROM.
    view_.State(ControlId::kMacIncrement).list_index = 1;
    view_.State(ControlId::kSerialIncrement).list_index = 1;
    view_.State(ControlId::kDeviceSel).list_index = kChipAEeprom;
    view_.State(ControlId::kStatusLabel).text = "Device Unplugged";
    view_.State(ControlId::kFullBusPower).enabled = false;
    view_.State(ControlId::kFullSelfPower).enabled = false;
    view_.State(ControlId::kDisableSetting).visible = false;
    Show();
  }

  void TearDown() override {
    dlg_.reset();
    std::filesystem::remove_all(dir_);
  }

  SromSettings& settings() { return dlg_->station().settings; }
  Station& station() { return dlg_->station(); }
  void Show() { dlg_->DoDataExchange(false); }
  void Type(ControlId id, const std::string& text) {
    view_.State(id).text = text;
  }
  void SelectEfuse(int device_sel) {
    settings().DeviceSel = device_sel;
    view_.State(ControlId::kDeviceSel).list_index = device_sel;
    ResetEfuseImageArea(station().prev, device_sel);
  }

  // Presses "Program" and serves the window thread until the job is over.
  void Program() {
    dlg_->OnProgram();
    ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  }
  void Dump() {
    dlg_->OnDump();
    ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  }

  std::string ReadFile(const std::string& name) const {
    return test::ReadBytes(dir_ / name);
  }
  bool FileExists(const std::string& name) const {
    return std::filesystem::exists(dir_ / name);
  }
  int LogLines() const {
    const std::string log = ReadFile("Serial-MAC.log");
    int lines = 0;
    for (char c : log) lines += c == '\n';
    return lines > 2 ? lines - 2 : 0;  // two header lines
  }
  std::vector<bool> EnabledStates() {
    std::vector<bool> states;
    for (int i = 0; i < kControlCount; ++i) {
      states.push_back(view_.State(static_cast<ControlId>(i)).enabled);
    }
    return states;
  }

  std::filesystem::path dir_;
  FakeView view_;
  SimulatedAdapter adapter_{256};
  RecordingPort port_{adapter_};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
  std::unique_ptr<CKM62058_SromDlg> dlg_;
};

}  // namespace srom::test
