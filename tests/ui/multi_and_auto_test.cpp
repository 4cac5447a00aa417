// Several adapters in turn and automatic programming, on a simulated bench:
// the scan and its boxes, the loop's pictures, progress, log and the exact
// order of its connection commands and pauses; the watch, the countdown and
// "Device lost!" driven tick by tick.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "model/messages.h"
#include "ops/multi_adapter.h"
#include "fresh_window_fixture.h"

namespace srom::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

// Unit lines of Serial-MAC.log, below its two header lines.
int LogLinesIn(const std::string& log) {
  int lines = 0;
  for (char c : log) lines += c == '\n' ? 1 : 0;
  return lines > 2 ? lines - 2 : 0;
}

// One sequence of what the loop does to the system: each command it runs
// and each pause it takes, in order.
class Sequence {
 public:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

class SequenceClock : public FakeClock {
 public:
  explicit SequenceClock(Sequence& sequence)
      : FakeClock(LocalTime{2019, 4, 24, 9, 5, 7}), sequence_(sequence) {}
  void SleepMs(int milliseconds) override {
    FakeClock::SleepMs(milliseconds);
    sequence_.Add("pause " + std::to_string(milliseconds));
  }

 private:
  Sequence& sequence_;
};

class SequenceNetwork : public SimulatedNetwork {
 public:
  SequenceNetwork(SimulatedBench& bench, Sequence& sequence)
      : SimulatedNetwork(bench), sequence_(sequence) {}
  CommandEnd RunCommand(const std::string& line,
                        std::chrono::milliseconds wait) override {
    sequence_.Add(line.substr(line.find("name=")));
    return SimulatedNetwork::RunCommand(line, wait);
  }

 private:
  Sequence& sequence_;
};

class MultiAdapterTest : public FreshWindowTest {
 protected:
  void SetUp() override {
    FreshWindowTest::SetUp();
    dlg_ = std::make_unique<CKM62058_SromDlg>(view_, bench_, clock_seq_,
                                              FileFolders{dir_, dir_});
    dlg_->set_network(&seq_network_);
  }
  SimulatedAdapter& Add(const std::string& description,
                        const std::string& connection) {
    return *bench_.AddAdapter(description, connection, 256);
  }
  void TickMultiEnable() {
    Click(ControlId::kMultiEnable, true);
    dlg_->OnClicked(ControlId::kMultiEnable);
  }
  void Program() {
    dlg_->OnProgram();
    ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  }
  std::vector<std::string> EventsStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : view_.events()) {
      if (e.rfind(prefix, 0) == 0) out.push_back(e);
    }
    return out;
  }

  Sequence sequence_;
  SequenceClock clock_seq_{sequence_};
  SequenceNetwork seq_network_{bench_, sequence_};
};

TEST_F(MultiAdapterTest, ALoopOverThreeWhoseSecondFails) {
  Add("VELK KM62058 USB 3.0 to Gigabit Ethernet", "Ethernet 2")
      .set_eeprom_cell_stuck(0x20);
  Add("VELK KM62058 USB 3.0 to Gigabit Ethernet", "Ethernet 3");
  ASSERT_TRUE(Start());
  TickMultiEnable();
  ASSERT_EQ(dlg_->adapters().FoundCount, 3);
  EXPECT_EQ(State(AdapterBox(1)).text, "KM62058 (Ethernet 2)");
  EXPECT_FALSE(State(ControlId::kBarCode).visible);
  view_.ClearEvents();
  sequence_.Clear();

  Program();

  EXPECT_THAT(EventsStartingWith("progress"),
              ElementsAre("progress: 0", "progress: 1", "progress: 33",
                          "progress: 66"));
  EXPECT_THAT(EventsStartingWith("adapter"),
              Contains("adapter 1: fail"));
  // Each adapter's last picture.
  std::vector<std::string> last(kAdapterSlots);
  for (const std::string& e : EventsStartingWith("adapter ")) {
    last[static_cast<std::size_t>(e[8] - '0')] = e;
  }
  EXPECT_THAT(std::vector<std::string>(last.begin(), last.begin() + 3),
              ElementsAre("adapter 0: pass", "adapter 1: fail",
                          "adapter 2: pass"));
  // The failure names its adapter, and the loop's verdict is the big
  // picture and line: one failed adapter fails the loop.
  EXPECT_THAT(view_.messages(),
              Contains("Adapter 2 (Ethernet 2): " +
                       std::string(msg::kEepromProgramIncomplete)));
  EXPECT_EQ(view_.result_picture(), ResultPicture::kFail);
  EXPECT_EQ(State(ControlId::kVerdictLabel).text, "FAIL Adapter 2");

  // The log: each adapter's caption and the image written to it, between
  // separators; the second unit failed, so the third got its address.
  const std::string log = State(ControlId::kOutputBox).text;
  std::vector<std::string> blocks;
  for (std::size_t at = 0; at < log.size();) {
    ASSERT_EQ(log.compare(at, std::string(kLoopSeparator).size(),
                          kLoopSeparator),
              0)
        << log;
    at += std::string(kLoopSeparator).size();
    if (at == log.size()) break;
    const std::size_t next = log.find(kLoopSeparator, at);
    blocks.push_back(log.substr(at, next - at));
    at = next;
  }
  ASSERT_EQ(blocks.size(), 3u);
  const char* expected[] = {"KM62058 (Ethernet)\r\n00 00 00 00 00 01",
                            "KM62058 (Ethernet 2)\r\n00 00 00 00 00 02",
                            "KM62058 (Ethernet 3)\r\n00 00 00 00 00 02"};
  const char* verdicts[] = {"PASS 000000000001\r\n",
                            "FAIL 000000000002\r\n",
                            "PASS 000000000002\r\n"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(blocks[i].rfind(expected[i], 0), 0u) << blocks[i];
    EXPECT_TRUE(blocks[i].ends_with(verdicts[i])) << blocks[i];
  }

  // Every connection off, then each on alone for its unit, then all on.
  std::vector<std::string> want;
  for (const char* name : {"Ethernet", "Ethernet 2", "Ethernet 3"}) {
    want.push_back(std::string("name=\"") + name + "\" admin=DISABLED");
    want.push_back("pause 50");
    want.push_back("pause 50");
  }
  for (const char* name : {"Ethernet", "Ethernet 2", "Ethernet 3"}) {
    want.push_back("pause 100");
    want.push_back(std::string("name=\"") + name + "\" admin=ENABLE");
    want.push_back(std::string("name=\"") + name + "\" admin=DISABLED");
    want.push_back("pause 50");
  }
  for (const char* name : {"Ethernet", "Ethernet 2", "Ethernet 3"}) {
    want.push_back("pause 50");
    want.push_back(std::string("name=\"") + name + "\" admin=ENABLE");
  }
  EXPECT_THAT(sequence_.entries(), ElementsAreArray(want));
}

TEST_F(MultiAdapterTest, OnlyAdaptersOfTheSelectedChipAreTicked) {
  Add("VELK KM62057D USB 3.0 to Gigabit Ethernet", "Ethernet 2");
  ASSERT_TRUE(Start());
  TickMultiEnable();
  EXPECT_TRUE(State(AdapterBox(0)).checked);
  EXPECT_FALSE(State(AdapterBox(1)).checked);
  EXPECT_FALSE(State(AdapterBox(1)).enabled);
  EXPECT_EQ(State(AdapterBox(1)).text, "KM62057D(Ethernet 2)");
  Pick(kChipBEeprom);  // rescans
  EXPECT_FALSE(State(AdapterBox(0)).checked);
  EXPECT_TRUE(State(AdapterBox(1)).checked);
}

TEST_F(MultiAdapterTest, ARegistryFailureOnTheThirdKeepsTheFirstTwo) {
  Add("VELK KM62058 USB 3.0 to Gigabit Ethernet", "Ethernet 2");
  Add("VELK KM62058 USB 3.0 to Gigabit Ethernet", "Ethernet 3");
  seq_network_.FailConnectionName(SimulatedAdapterName(2),
                                  ConnectionNameFailure::kKeyNotOpened);
  ASSERT_TRUE(Start());
  view_.ClearEvents();
  TickMultiEnable();
  EXPECT_THAT(view_.messages(), Contains("RegOpenKeyEx failed"));
  EXPECT_EQ(dlg_->adapters().FoundCount, 2);
  EXPECT_TRUE(State(AdapterBox(1)).checked);
  EXPECT_EQ(State(AdapterBox(2)).text, "Adapter3");
}

// A name that would end netsh's quoted argument early: a quote, or a
// backslash that escapes the closing quote.
class UnsafeConnectionName
    : public MultiAdapterTest,
      public ::testing::WithParamInterface<const char*> {};

TEST_P(UnsafeConnectionName, IsNeverPassedToNetsh) {
  Add("VELK KM62058 USB 3.0 to Gigabit Ethernet", GetParam());
  ASSERT_TRUE(Start());
  view_.ClearEvents();
  TickMultiEnable();
  EXPECT_FALSE(State(AdapterBox(1)).checked);
  EXPECT_FALSE(State(AdapterBox(1)).enabled);
  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_THAT(view_.messages()[0], ::testing::HasSubstr("netsh safely"));
  sequence_.Clear();
  dlg_->OnClose();
  for (const std::string& c : seq_network_.commands()) {
    EXPECT_THAT(c, Not(::testing::HasSubstr("Lab"))) << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeConnectionName,
                         ::testing::Values("Lab\" admin=DISABLED & x",
                                           "Lab 7\\"),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "Quote"
                                                              : "Backslash");
                         });

TEST_F(MultiAdapterTest, NoTickedAdapterIsSaidNotSkippedInSilence) {
  adapter_.set_plugged(true);
  ASSERT_TRUE(Start());
  TickMultiEnable();
  Click(AdapterBox(0), false);
  view_.ClearEvents();
  Program();
  EXPECT_THAT(view_.messages(), ElementsAre(msg::kNoAdapterTicked));
}

// ---- Automatic programming ---------------------------------------------------

class AutoProgramTest : public FreshWindowTest {
 protected:
  void StartWithAuto(int delay) {
    SromSettings s;
    s.AutoProgram = true;
    s.DelayTime = delay;
    WriteSettings(s);
    ASSERT_TRUE(Start());
    view_.ClearEvents();
  }
  // The ticks as the view reports them.
  void Watch() {
    dlg_->OnOperator(OperatorEvent::Tick(CKM62058_SromDlg::kWatchTimer));
  }
  void Count() {
    dlg_->OnOperator(OperatorEvent::Tick(CKM62058_SromDlg::kCountdownTimer));
  }
  std::string Label() { return State(ControlId::kCountdownLabel).text; }
  void FinishJob() {
    ASSERT_TRUE(view_.PumpUntil([this] { return !dlg_->job_running(); }));
  }
};

TEST_F(AutoProgramTest, PluggingInCountsDownThenPrograms) {
  adapter_.set_plugged(false);
  StartWithAuto(3);
  Watch();  // nothing attached: the first count
  adapter_.set_plugged(true);
  Watch();
  EXPECT_EQ(Label(), "3");
  EXPECT_EQ(State(ControlId::kCountdownLabel).font_points, 40);
  EXPECT_EQ(State(ControlId::kStatusLabel).text, "Device detected");
  EXPECT_THAT(view_.events(), Contains("timer 2 start 1000"));
  Count();
  EXPECT_EQ(Label(), "2");
  Count();
  EXPECT_EQ(Label(), "1");
  EXPECT_FALSE(dlg_->job_running());
  view_.ClearEvents();
  Count();
  EXPECT_EQ(Label(), "");
  FinishJob();
  EXPECT_EQ(adapter_.eeprom()[5], 0x01) << "programmed";
  // The watch starts again for the next adapter.
  EXPECT_THAT(view_.events(), Contains("timer 1 start 500"));
}

TEST_F(AutoProgramTest, DelayZeroProgramsOnTheTickThatSeesTheAdapter) {
  adapter_.set_plugged(false);
  StartWithAuto(0);
  Watch();
  adapter_.set_plugged(true);
  Watch();
  EXPECT_TRUE(dlg_->job_running() || adapter_.eeprom()[5] == 0x01);
  FinishJob();
  EXPECT_EQ(adapter_.eeprom()[5], 0x01);
}

TEST_F(AutoProgramTest, AnAdapterAttachedBeforeAutoIsLeftAlone) {
  StartWithAuto(0);
  Watch();
  Watch();
  Watch();
  EXPECT_FALSE(dlg_->job_running());
  EXPECT_EQ(adapter_.eeprom()[0], 0xFF);
}

TEST_F(AutoProgramTest, PullingTheAdapterDuringTheCountdownIsDeviceLost) {
  adapter_.set_plugged(false);
  StartWithAuto(3);
  Watch();
  adapter_.set_plugged(true);
  Watch();
  adapter_.set_plugged(false);
  Count();
  EXPECT_THAT(view_.messages(), ElementsAre(msg::kDeviceLost));
  EXPECT_EQ(view_.result_picture(), ResultPicture::kFail);
  EXPECT_EQ(State(ControlId::kOutputBox).text, "Device lost!\r\n");
  EXPECT_EQ(Label(), "");
  EXPECT_EQ(view_.events().back(), "timer 1 start 500");
  // The next watch tick sees the count fall: blank picture, empty output.
  Watch();
  EXPECT_EQ(view_.result_picture(), ResultPicture::kBlank);
  EXPECT_EQ(State(ControlId::kOutputBox).text, "");
}

TEST_F(AutoProgramTest, UncheckingAutoMidCountdownStopsIt) {
  adapter_.set_plugged(false);
  StartWithAuto(3);
  Watch();
  adapter_.set_plugged(true);
  Watch();
  Click(ControlId::kAuto, false);
  dlg_->OnClicked(ControlId::kAuto);
  EXPECT_EQ(Label(), "");
  EXPECT_THAT(view_.events(), Contains("timer 2 stop"));
  EXPECT_TRUE(State(ControlId::kMultiEnable).enabled);
}

TEST_F(AutoProgramTest, ATickDuringAJobWaitsForItsEnd) {
  adapter_.set_plugged(false);
  StartWithAuto(0);
  Watch();
  adapter_.set_plugged(true);
  adapter_.set_latency(std::chrono::microseconds(200));
  dlg_->OnProgram();  // by hand, just before the watch sees the adapter
  Watch();
  Count();
  FinishJob();
  EXPECT_EQ(LogLinesIn(ReadFile("Serial-MAC.log")), 1);
}

}  // namespace
}  // namespace srom::test
