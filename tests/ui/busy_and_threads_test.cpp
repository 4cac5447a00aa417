// One thing at a time: the busy state every starter checks, a message box's
// own event loop that must not start a second job, a bar-code run, and a
// window closed or destroyed while its job runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "window_fixture.h"

namespace srom::test {
namespace {

TEST_F(WindowTest, ThreeScannedAddressesProgramThreeUnits) {
  view_.State(ControlId::kBarCode).checked = true;
  const std::vector<std::string> scans = {"00E04C000010", "00E04C000020",
                                          "00E04C000030"};
  for (const std::string& mac : scans) {
    // A scanner types the code into the selected box, then Enter.
    Type(ControlId::kCurrentMac, mac);
    dlg_->OnTextChanged(ControlId::kCurrentMac);
    EXPECT_TRUE(dlg_->OnKey(ControlId::kCurrentMac, Key::kEnter));
    EXPECT_EQ(view_.events().back(), "select all: kCurrentMac");
  }
  EXPECT_EQ(LogLines(), 3);
  const std::string log = ReadFile("Serial-MAC.log");
  for (const std::string& mac : scans) {
    EXPECT_THAT(log, ::testing::HasSubstr(mac));
  }
  EXPECT_EQ(adapter_.eeprom()[5], 0x30);
  EXPECT_EQ(settings().CurrentMac, "00E04C000031");
}

// Whatever a message box's event loop delivers while it is open (a click, a
// scan, a timer), nothing else starts and the recorded states stay.
struct NestedStart {
  const char* name;
  void (*start)(CKM62058_SromDlg&);
};

class NestedStartTest : public WindowTest,
                        public ::testing::WithParamInterface<NestedStart> {};

TEST_P(NestedStartTest, NothingStartsWhilePreviewShowsAMessage) {
  view_.State(ControlId::kConvertToBin).enabled = false;
  const std::vector<bool> before = EnabledStates();
  view_.State(ControlId::kBarCode).checked = true;
  settings().BarCode = true;
  Type(ControlId::kVendorId, "4C1");
  view_.while_message_box_open = [this](const std::string&) {
    GetParam().start(*dlg_);
  };

  dlg_->OnPreview();
  view_.while_message_box_open = nullptr;

  EXPECT_FALSE(dlg_->job_running());
  EXPECT_TRUE(port_.Requests(IOCTL_WRITE_EEPROM).empty());
  EXPECT_EQ(LogLines(), 0);
  std::vector<bool> want = before;
  EXPECT_EQ(EnabledStates(), want);
  EXPECT_FALSE(dlg_->busy());
}

INSTANTIATE_TEST_SUITE_P(
    Starters, NestedStartTest,
    ::testing::Values(
        NestedStart{"Program", [](CKM62058_SromDlg& d) { d.OnProgram(); }},
        NestedStart{"Dump", [](CKM62058_SromDlg& d) { d.OnDump(); }},
        NestedStart{"Erase", [](CKM62058_SromDlg& d) { d.OnErase(); }},
        NestedStart{"Preview", [](CKM62058_SromDlg& d) { d.OnPreview(); }},
        NestedStart{"Scan", [](CKM62058_SromDlg& d) {
                      d.OnKey(ControlId::kCurrentMac, Key::kEnter);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, ASecondScanDuringAScannedUnitsMessageIsIgnored) {
  view_.State(ControlId::kBarCode).checked = true;
  adapter_.set_eeprom_cell_stuck(0x20);  // the unit fails with a message
  int nested = 0;
  view_.while_message_box_open = [this, &nested](const std::string&) {
    ++nested;
    dlg_->OnKey(ControlId::kCurrentMac, Key::kEnter);
  };
  dlg_->OnKey(ControlId::kCurrentMac, Key::kEnter);
  EXPECT_GE(nested, 1);
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM).size(), 1u);
}

TEST_F(WindowTest, AnExchangeNestedInAnotherKeepsTheRulesQuiet) {
  // The outer exchange stops at a too-long product string with a message;
  // while that box is open a worker's exchange runs and ends. The outer one
  // is still running: a text change must not run its box's rule yet.
  Type(ControlId::kProduct, std::string(30, 'P'));
  bool once = false;
  view_.while_message_box_open = [this, &once](const std::string&) {
    if (once) return;
    once = true;
    dlg_->DoDataExchange(false);
    Type(ControlId::kSuperBusPower, "4x6");
    dlg_->OnTextChanged(ControlId::kSuperBusPower);
  };
  dlg_->DoDataExchange(true);
  EXPECT_TRUE(once);
  EXPECT_EQ(view_.State(ControlId::kSuperBusPower).text, "4x6");
}

TEST_F(WindowTest, DestroyingTheWindowDuringAJobLetsTheJobFinishFirst) {
  adapter_.set_latency(std::chrono::microseconds(200));
  dlg_->OnProgram();
  ASSERT_TRUE(dlg_->job_running());
  dlg_.reset();  // serves the job's calls until it has ended
  EXPECT_EQ(LogLines(), 1);
  EXPECT_FALSE(view_.closed());
}

}  // namespace
}  // namespace srom::test
