// What is written is what the operator set before the unit started: nothing
// the operator does while a unit runs (an edit in the retry wait of an eFuse,
// a second scan of the same label) reaches the unit, and the window says
// plainly how each unit ended.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/driver_contract.h"
#include "files/eeprom_dat.h"
#include "model/messages.h"
#include "fresh_window_fixture.h"

#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/station_ledger.h"
#endif

namespace srom::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

class JobIntegrityTest : public FreshWindowTest {
 protected:
  // A station on chip A with an eFuse whose low bits of byte 0 need three
  // writes: the unit waits between its rewrites.
  void StartOnAWeakEfuse() {
    SromSettings s;
    s.DeviceSel = kChipAEfuse;
    s.CurrentMac = "00E04C000010";
    s.MaximumMac = "00E04C0000FF";
    WriteSettings(s);
    ASSERT_TRUE(Start());
    adapter_.set_weak_efuse_bits(0, 0x0F, 3);
    view_.ClearEvents();
  }
  std::vector<std::uint8_t> EfuseMac() {
    const auto efuse = adapter_.efuse();
    return {efuse.begin(), efuse.begin() + 6};
  }
  int LogLines() {
    const std::string log = ReadFile("Serial-MAC.log");
    int lines = 0;
    for (char c : log) lines += c == '\n';
    return lines > 2 ? lines - 2 : 0;
  }
  std::vector<std::string> Events(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : view_.events()) {
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    }
    return out;
  }
};

// The operator types another address into "Current" and leaves the box while
// the eFuse unit waits to write again. The box is not the operator's then:
// the unit is written, logged and stepped with the address it started with.
TEST_F(JobIntegrityTest, AnEditDuringAnEfuseRetryNeverReachesTheUnit) {
  StartOnAWeakEfuse();
  std::atomic<bool> waiting{false};
  std::atomic<bool> go_on{false};
  clock_.during_sleep = [&](int) {
    waiting = true;
    view_.PostToWindowThread([] {});  // wakes the window thread's pump
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!go_on && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  dlg_->OnProgram();
  ASSERT_TRUE(view_.PumpUntil([&] { return waiting.load(); }));

  // In the retry wait, on the window thread, as the operator would.
  EXPECT_FALSE(State(ControlId::kCurrentMac).enabled);
  EXPECT_FALSE(State(ControlId::kMaximumMac).enabled);
  EXPECT_FALSE(State(ControlId::kMacIncrement).enabled);
  State(ControlId::kCurrentMac).text = "00E04C000AAA";
  dlg_->OnOperator(OperatorEvent::TextEdit(ControlId::kCurrentMac));
  dlg_->OnOperator(OperatorEvent::FocusLoss(ControlId::kCurrentMac));
  EXPECT_TRUE(dlg_->OnOperator(
      OperatorEvent::KeyPress(ControlId::kCurrentMac, Key::kEnter)));
  dlg_->OnOperator(OperatorEvent::Click(ControlId::kPreview));
  go_on = true;
  ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));

  EXPECT_EQ(EfuseMac(),
            (std::vector<std::uint8_t>{0x00, 0xE0, 0x4C, 0x00, 0x00, 0x10}));
  EXPECT_THAT(ReadFile("Serial-MAC.log"), HasSubstr("00E04C000010"));
  EXPECT_THAT(ReadFile("Serial-MAC.log"), Not(HasSubstr("00E04C000AAA")));
  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C000011");
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
  // The refresh inside the job enabled the MAC boxes; that waited for the
  // job's end.
  EXPECT_TRUE(State(ControlId::kCurrentMac).enabled);
  EXPECT_TRUE(State(ControlId::kMacIncrement).enabled);
}

// An eFuse unit can spend seconds in its rewrites: the bar says how far it
// is, and the pass picture shows only once the unit has passed.
TEST_F(JobIntegrityTest, AnEfuseUnitShowsItsProgressAndPassesOnlyAtItsEnd) {
  StartOnAWeakEfuse();
  dlg_->OnProgram();
  ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));

  EXPECT_THAT(Events("progress"),
              ::testing::ElementsAre("progress: 0", "progress: 10",
                                     "progress: 25", "progress: 40",
                                     "progress: 55", "progress: 85",
                                     "progress: 100"));
  const std::vector<std::string> results = Events("result");
  ASSERT_FALSE(results.empty());
  EXPECT_EQ(results.back(), "result: pass");
  EXPECT_EQ(std::count(results.begin(), results.end(), "result: pass"), 1);
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "PASS 00E04C000010");
  EXPECT_TRUE(State(ControlId::kProgressBar).visible);
}

TEST_F(JobIntegrityTest, AFailedUnitSaysWhichAddressFailed) {
  ASSERT_TRUE(Start());
  adapter_.set_eeprom_cell_stuck(0x20);
  const std::string mac = State(ControlId::kCurrentMac).text;
  dlg_->OnProgram();
  ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "FAIL " + mac);
  EXPECT_THAT(view_.events(), Contains("verdict: FAIL " + mac + " (fail)"));
  // The next unit clears it as it starts.
  adapter_.ClearFaults();
  view_.ClearEvents();
  dlg_->OnProgram();
  ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  EXPECT_EQ(Events("verdict").front(), "verdict: none");
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "PASS " + mac);
}

// The buffer held the eFuse image; back on an EEPROM selection the image is
// built from the settings again, and Program works at once.
TEST_F(JobIntegrityTest, AnEepromSelectionAfterAnEfuseOneProgramsAtOnce) {
  ASSERT_TRUE(Start());
  Pick(kChipAEfuse);
  Pick(kChipAEeprom);
  view_.ClearEvents();
  dlg_->OnProgram();
  ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  EXPECT_THAT(view_.messages(), Not(Contains(msg::kEepromDataWrong)));
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);
  EXPECT_EQ(LogLines(), 1);
}

#ifdef SROM_HAVE_SQLITE_LEDGER
// A scanner that reads the same label twice: the second scan is refused on
// the spot, where the operator sees it, with no question that the next
// scan's Enter would answer; the next label then programs as usual.
TEST_F(JobIntegrityTest, ARepeatedScanIsRefusedAndTheNextScanPrograms) {
  SromSettings s;
  s.BarCode = true;
  WriteSettings(s);
  ASSERT_TRUE(Start(OpenStationLedger));
  const auto scan = [this](const std::string& mac) {
    State(ControlId::kCurrentMac).text = mac;
    dlg_->OnOperator(OperatorEvent::TextEdit(ControlId::kCurrentMac));
    EXPECT_TRUE(dlg_->OnOperator(
        OperatorEvent::KeyPress(ControlId::kCurrentMac, Key::kEnter)));
  };
  scan("00E04C000701");
  view_.ClearEvents();
  scan("00E04C000701");

  EXPECT_THAT(Events("ask"), ::testing::IsEmpty());
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
  EXPECT_EQ(view_.result_picture(), ResultPicture::kFail);
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "FAIL 00E04C000701");
  EXPECT_THAT(State(ControlId::kOutputBox).text,
              HasSubstr("MAC address 00E04C000701 was given to a unit before"));
  EXPECT_EQ(view_.events().back(), "select all: kCurrentMac");
  EXPECT_TRUE(State(ControlId::kCurrentMac).enabled);

  scan("00E04C000702");
  EXPECT_EQ(LogLines(), 2);
  const std::string log = ReadFile("Serial-MAC.log");
  EXPECT_EQ(log.find("00E04C000701"), log.rfind("00E04C000701"));
  EXPECT_THAT(log, HasSubstr("00E04C000702"));
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "PASS 00E04C000702");
}
#endif

}  // namespace
}  // namespace srom::test
