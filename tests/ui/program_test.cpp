#include "ops/program.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/checksum.h"
#include "model/efuse_image.h"
#include "model/srom_image.h"
#include "window_fixture.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif

namespace srom::test {
namespace {

std::vector<std::uint8_t> Area(const ImageBuffer& b, int n) {
  const auto area = ImageArea(b);
  return std::vector<std::uint8_t>(area.begin(), area.begin() + n);
}

TEST_F(WindowTest, ChipAUnitIsWrittenVerifiedLoggedSteppedAndSaved) {
  const std::vector<bool> enabled_before = EnabledStates();

  Program();

  // Written once, read back equal.
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM).size(), 1u);
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM)[0].input.size(), 8u + 256u);
  std::vector<std::uint8_t> expected(DefaultSromImage(Chip::kA).begin(),
                                     DefaultSromImage(Chip::kA).begin() + 256);
  EXPECT_EQ(adapter_.eeprom(), expected);
  // One log line with the values programmed.
  EXPECT_EQ(LogLines(), 1);
  EXPECT_NE(ReadFile("Serial-MAC.log")
                .find(" 058/EEPROM\t00000000000001\t000000000001\t2019/04/24\t"
                      "09:05:07 \r\n"),
            std::string::npos)
      << ReadFile("Serial-MAC.log");
  // Stepped, shown, and saved for the next start.
  EXPECT_EQ(settings().CurrentMac, "000000000002");
  EXPECT_EQ(settings().CurrentSerial, "00000000000002");
  EXPECT_EQ(view_.State(ControlId::kCurrentMac).text, "000000000002");
  EXPECT_NE(ReadFile("EEPROM.dat").find("\"000000000002\""), std::string::npos);
  EXPECT_NE(ReadFile("EEPROM.dat").find("\"00000000000002\""),
            std::string::npos);
  // The image is ready for the next unit.
  const auto next = Area(station().prev, 256);
  EXPECT_EQ(next[5], 0x02);
  EXPECT_EQ(next[0x59], '2');
  // Pass, not busy, every control back as it was, no message.
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);
  EXPECT_FALSE(station().busy);
  EXPECT_EQ(EnabledStates(), enabled_before);
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
  EXPECT_EQ(view_.State(ControlId::kStatusLabel).text, "Device detected");
}

TEST_F(WindowTest, SecondUnitGetsTheSteppedAddress) {
  Program();
  Program();
  EXPECT_EQ(LogLines(), 2);
  EXPECT_EQ(adapter_.eeprom()[5], 0x02);
  EXPECT_EQ(adapter_.eeprom()[0x59], '2');
  EXPECT_EQ(settings().CurrentMac, "000000000003");
}

// After stepping, the current MAC address can pass the maximum; the refresh
// refuses it, and the previous unit's image must not be written again.
TEST_F(WindowTest, StepPastTheMaximumStopsTheNextUnitBeforeWriting) {
  Type(ControlId::kCurrentMac, "000000000010");
  Type(ControlId::kMaximumMac, "000000000011");
  view_.State(ControlId::kMacIncrement).list_index = 3;
  Program();
  ASSERT_EQ(settings().CurrentMac, "000000000013");
  view_.ClearEvents();

  Program();

  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM).size(), 1u);
  EXPECT_EQ(LogLines(), 1);
  EXPECT_FALSE(station().busy);
  const auto messages = view_.messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages[messages.size() - 2],
            "Current Mac Address Exceeded Maximum Mac Address");
  EXPECT_EQ(messages.back(), "CheckDataCorrect FAIL");
}

// Every way a unit fails is a row of the operations' own tests; the window
// adds only the exchange and the thread around them.

TEST_F(WindowTest, EfuseCleanWriteMarksTheUnitFinal) {
  SelectEfuse(kChipAEfuse);
  Program();

  const auto writes = port_.Requests(IOCTL_WRITE_EFUSE);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].input.size(), 72u);
  EXPECT_EQ(writes[0].input[71], 0xF1) << "content written with 0xF1";
  EXPECT_EQ(writes[1].input[71], 0x01) << "then the final mark";
  EXPECT_EQ(adapter_.efuse()[63], 0x01);
  EXPECT_EQ(adapter_.efuse()[5], 0x01);
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);
  EXPECT_EQ(clock_.slept_ms(), 0);
  EXPECT_FALSE(FileExists("RetryLog.txt"));
  // The next unit: MAC stepped, serial never stepped, both files saved.
  EXPECT_EQ(settings().CurrentMac, "000000000002");
  EXPECT_EQ(settings().CurrentSerial, "00000000000001");
  EXPECT_EQ(ImageArea(station().prev)[5], 0x02);
  EXPECT_EQ(ImageArea(station().prev)[63], 0x01);
  EXPECT_EQ(ImageArea(station().prev)[0x32],
            EfuseChecksum(ImageArea(station().prev).first(64)));
  EXPECT_TRUE(FileExists("EFUSE.dat"));
  EXPECT_TRUE(FileExists("EEPROM.dat"));
}

struct WeakFuseCase {
  int writes_needed;
  std::int64_t slept_ms;
  int retry_entries;  // "Retry Times:" lines
};

class WeakFuseTest : public WindowTest,
                     public ::testing::WithParamInterface<WeakFuseCase> {};

TEST_P(WeakFuseTest, WeakBitsAreFixedByRetriesWithGrowingWaits) {
  const WeakFuseCase& c = GetParam();
  SelectEfuse(kChipAEfuse);
  adapter_.set_weak_efuse_bits(0x05, 0x02, c.writes_needed);
  Program();
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);
  EXPECT_EQ(clock_.slept_ms(), c.slept_ms);
  const std::string log = ReadFile("RetryLog.txt");
  EXPECT_EQ(log.rfind("\r\nTime:\t04/24 09:05:07\r\n", 0), 0u) << log;
  int entries = 0;
  for (std::size_t at = log.find("Retry Times: "); at != std::string::npos;
       at = log.find("Retry Times: ", at + 1)) {
    ++entries;
  }
  EXPECT_EQ(entries, c.retry_entries);
}

INSTANTIATE_TEST_SUITE_P(Retries, WeakFuseTest,
                         ::testing::Values(WeakFuseCase{2, 1000, 1},
                                           WeakFuseCase{3, 4000, 2},
                                           WeakFuseCase{4, 9000, 3}));

TEST_F(WindowTest, FuseReadingZeroWhereOneIsWantedFailsBeforeAnyWait) {
  SelectEfuse(kChipAEfuse);
  int reads = 0;
  port_.corrupt_efuse_read = [&reads](std::span<std::uint8_t> out) {
    // The blank check reads clean; the read-back loses a wanted bit.
    if (++reads == 2) out[8 + 0x2C] = 0x00;
  };
  Program();
  EXPECT_EQ(view_.messages(),
            std::vector<std::string>{"EFUSE Program un-Complete!"});
  EXPECT_EQ(clock_.slept_ms(), 0);
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EFUSE).size(), 1u);
  EXPECT_EQ(ImageArea(station().prev)[63], 0x01);
}

TEST_F(WindowTest, ThreeFailedRetriesLeaveTheirCountInTheOutputBox) {
  SelectEfuse(kChipAEfuse);
  adapter_.set_weak_efuse_bits(0x05, 0x02, 10);
  Program();
  EXPECT_EQ(view_.State(ControlId::kOutputBox).text, "Compare fail, retry : 3");
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EFUSE).size(), 4u);
  EXPECT_EQ(clock_.slept_ms(), 9000);
}

struct ReloadCase {
  const char* name;
  std::function<void(SimulatedAdapter&)> fault;
  int reloads;
};

class ReloadTest : public WindowTest,
                   public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(ReloadTest, ReloadFollowsASuccessAndAFailedWriteButNotAFailedCheck) {
  view_.State(ControlId::kReload).checked = true;
  GetParam().fault(adapter_);
  Program();
  EXPECT_EQ(adapter_.reload_count(), GetParam().reloads);
  EXPECT_THAT(view_.events(),
              ::testing::Contains("ask: Reload EEPROM Warning"));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ReloadTest,
    ::testing::Values(ReloadCase{"Verified", [](SimulatedAdapter&) {}, 1},
                      ReloadCase{"WriteFailed",
                                 [](SimulatedAdapter& a) {
                                   a.FailEveryRequest(IOCTL_WRITE_EEPROM);
                                 },
                                 1},
                      ReloadCase{"VerificationFailed",
                                 [](SimulatedAdapter& a) {
                                   a.set_eeprom_cell_stuck(0x30);
                                 },
                                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, JobReportsFromItsOwnThreadAndWaitsForTheWindow) {
  adapter_.set_eeprom_cell_stuck(0x20);
  Program();
  EXPECT_EQ(view_.messages_off_window_thread(), 1);
  EXPECT_EQ(view_.messages(),
            std::vector<std::string>{"EEPROM Program un-Complete!"});
}

TEST_F(WindowTest, BarCodeScanProgramsOnTheWindowThread) {
  view_.State(ControlId::kBarCode).checked = true;
  Type(ControlId::kCurrentMac, "00AABBCCDD00");
  dlg_->OnEnterInCurrentMac();
  EXPECT_EQ(adapter_.eeprom()[1], 0xAA);
  EXPECT_EQ(settings().CurrentMac, "00AABBCCDD01");
  EXPECT_EQ(view_.events().back(), "select all: kCurrentMac");

  view_.State(ControlId::kBarCode).checked = false;
  Type(ControlId::kCurrentMac, "00AABBCCDD10");
  dlg_->OnEnterInCurrentMac();
  EXPECT_EQ(settings().CurrentMac, "00AABBCCDD10") << "only the exchange";
  EXPECT_EQ(LogLines(), 1);
}

TEST_F(WindowTest, CloseDuringAJobWaitsForItsEnd) {
  adapter_.set_latency(std::chrono::microseconds(200));
  dlg_->OnProgram();
  dlg_->OnClose();
  EXPECT_FALSE(view_.closed());
  dlg_->OnProgram();  // refused while the first runs
  ASSERT_TRUE(view_.PumpUntil([this] { return view_.closed(); }));
  EXPECT_FALSE(dlg_->job_running());
  EXPECT_EQ(LogLines(), 1);
}

#ifdef SROM_HAVE_SQLITE_LEDGER
// The window asks before it programs an address the ledger holds, and the
// operator's Cancel leaves the adapter alone.
TEST_F(WindowTest, AReissueIsAskedForInABoxAndCancelWritesNothing) {
  auto opened = SqliteLedger::Open(dir_ / std::string(kLedgerFileName));
  ASSERT_TRUE(opened.ok()) << opened.error;
  const std::unique_ptr<SqliteLedger> ledger = std::move(*opened.value);
  dlg_->set_ledger(ledger.get());
  Program();
  ASSERT_EQ(LogLines(), 1);
  ASSERT_EQ(ledger->Units().value->size(), 1u);
  // The operator types the first address again, as for a rework.
  Type(ControlId::kCurrentMac, "000000000001");
  dlg_->OnTextChanged(ControlId::kCurrentMac);
  view_.ok_cancel_answers.push_back(false);
  view_.ClearEvents();

  Program();

  EXPECT_THAT(view_.events(), ::testing::Contains("ask: Reissue MAC Address"));
  EXPECT_EQ(port_.Requests(IOCTL_WRITE_EEPROM).size(), 1u);
  EXPECT_EQ(LogLines(), 1);
  EXPECT_EQ(view_.result_picture(), ResultPicture::kFail);
  dlg_->set_ledger(nullptr);
}
#endif

}  // namespace
}  // namespace srom::test
