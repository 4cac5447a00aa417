// The device operations against the simulated adapter: the request sequence
// of an EEPROM read, every failure the operator can meet, the eFuse mark.
#include "device/device_operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "device/sim/simulated_adapter.h"
#include "device_test_support.h"
#include "model/image_buffer.h"
#include "model/settings.h"
#include "model/srom_image.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

using test::HookedPort;
using test::Req;
using test::Shown;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Every byte of the EEPROM different from its neighbours, so a word stored
// at the wrong place or in the wrong byte order shows.
std::vector<std::uint8_t> PatternEeprom(int size) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

class DeviceOperationsTest : public ::testing::Test {
 protected:
  DeviceOperationsTest() { buffer_.fill(0xEE); }

  SimulatedAdapter sim_{512};
  RecordingReporter reporter_;
  DeviceAccess device_{sim_, reporter_};
  ImageBuffer buffer_;
  int image_size_ = 0;
};

// The registers a word read goes through, in order, with k busy answers.
std::vector<SimRequest> WordRead(std::uint8_t w, int busy_polls) {
  std::vector<SimRequest> r = {Req(IOCTL_WRITE_REGISTER, 0x07, 0x01, w),
                               Req(IOCTL_WRITE_REGISTER, 0x0A, 0x01, 0x04)};
  for (int i = 0; i <= busy_polls; ++i) {
    r.push_back(Req(IOCTL_READ_REGISTER, 0x0A, 0x01, 0x10));
  }
  r.push_back(Req(IOCTL_READ_REGISTER, 0x08, 0x01, 0x00));
  r.push_back(Req(IOCTL_READ_REGISTER, 0x09, 0x01, 0x00));
  return r;
}

TEST_F(DeviceOperationsTest, ReadEepromWordGoesThroughTheRegistersInOrder) {
  sim_.set_busy_polls(2);
  sim_.set_eeprom(PatternEeprom(512));
  ASSERT_EQ(device_.ReadEeprom(buffer_, 0, image_size_), "Success");

  const auto log = sim_.log();
  ASSERT_EQ(log.size(), 128u * 7);
  const std::vector<SimRequest> first(log.begin(), log.begin() + 7);
  EXPECT_EQ(first, WordRead(0, 2));
  const std::vector<SimRequest> last(log.end() - 7, log.end());
  EXPECT_EQ(last, WordRead(127, 2));
}

struct ReadSizeCase {
  int srom_size;
  int bytes;
};

class ReadEepromSizeTest : public DeviceOperationsTest,
                           public ::testing::WithParamInterface<ReadSizeCase> {
};

TEST_P(ReadEepromSizeTest, ReadsEveryWordLowByteFirstAndNothingElse) {
  const auto [srom_size, bytes] = GetParam();
  const auto eeprom = PatternEeprom(512);
  sim_.set_eeprom(eeprom);

  ASSERT_EQ(device_.ReadEeprom(buffer_, srom_size, image_size_), "Success");

  EXPECT_EQ(image_size_, bytes);
  // The protocol minimum: five requests a word, the word index running
  // 0..words-1 in one byte.
  const auto log = sim_.log();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(bytes / 2 * 5));
  for (int w = 0; w < bytes / 2; ++w) {
    ASSERT_EQ(log[5 * w], Req(IOCTL_WRITE_REGISTER, 0x07, 0x01, w)) << w;
  }
  const auto image = ImageArea(buffer_);
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(image[i], i < bytes ? eeprom[i] : 0xEE) << "image offset " << i;
  }
  for (std::size_t i = 0; i < kHeaderSize; ++i) EXPECT_EQ(buffer_[i], 0xEE);
  EXPECT_THAT(reporter_.events(),
              ElementsAre("preview: " + FormatImagePreview(buffer_, bytes)));
  EXPECT_EQ(sim_.open_handles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadEepromSizeTest,
                         ::testing::Values(ReadSizeCase{0, 256},
                                           ReadSizeCase{1, 512}));

struct BusyCase {
  int busy_polls;
  bool succeeds;
};

class BusyPollTest : public DeviceOperationsTest,
                     public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyPollTest, BusyBitMustClearWithinAThousandPolls) {
  const auto [busy_polls, succeeds] = GetParam();
  sim_.set_busy_polls(busy_polls);
  const std::string result = device_.ReadEeprom(buffer_, 0, image_size_);
  const auto log = sim_.log();
  if (succeeds) {
    EXPECT_EQ(result, "Success");
    EXPECT_EQ(log.size(), 128u * (5 + busy_polls));
  } else {
    EXPECT_EQ(result, "IOCTL Read EEPROM failed!");
    // Two register writes, a thousand polls, then nothing more.
    EXPECT_EQ(log.size(), 2u + 1000u);
    EXPECT_EQ(log.back(), Req(IOCTL_READ_REGISTER, 0x0A, 0x01, 0x10));
  }
  EXPECT_EQ(sim_.open_handles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Polls, BusyPollTest,
                         ::testing::Values(BusyCase{0, true}, BusyCase{1, true},
                                           BusyCase{999, true},
                                           BusyCase{1000, false}));

TEST_F(DeviceOperationsTest, StuckBusyBitKeepsTheWordsReadSoFar) {
  const auto eeprom = PatternEeprom(512);
  sim_.set_eeprom(eeprom);
  // Words 0 and 1 read normally (five requests each); then the bit sticks.
  HookedPort port(sim_, 11, [&] { sim_.set_busy_stuck(true); });
  DeviceAccess device(port, reporter_);

  EXPECT_EQ(device.ReadEeprom(buffer_, 1, image_size_),
            "IOCTL Read EEPROM failed!");

  const auto log = sim_.log();
  EXPECT_EQ(log.size(), 10u + 2u + 1000u);
  const auto image = ImageArea(buffer_);
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(image[i], i < 4 ? eeprom[i] : 0xEE) << "image offset " << i;
  }
  EXPECT_TRUE(reporter_.events().empty());
  EXPECT_EQ(sim_.open_handles(), 0);
}

// One row per way an operation can end: what the operator sees, in order,
// and what the caller gets back.
struct OperationRow {
  const char* name;
  std::function<void(SimulatedAdapter&)> setup;
  std::function<std::string(DeviceAccess&, ImageBuffer&, int&)> run;
  std::vector<std::string> shown;
  std::string result;
  int header_sel = kChipAEeprom;  // the selection the buffer's header is for
};

void PrintTo(const OperationRow& row, std::ostream* os) { *os << row.name; }

std::string Flag(bool ok) { return ok ? "true" : "false"; }

auto Detect() {
  return [](DeviceAccess& d, ImageBuffer&, int&) {
    return Flag(d.DetectDevice());
  };
}
auto CheckDriver() {
  return [](DeviceAccess& d, ImageBuffer&, int&) {
    d.CheckTestDriver();
    return std::string("-");
  };
}
auto ReadEeprom512() {
  return [](DeviceAccess& d, ImageBuffer& b, int& size) {
    return d.ReadEeprom(b, 1, size);
  };
}
auto ReadEfuse() {
  return [](DeviceAccess& d, ImageBuffer& b, int& size) {
    return Flag(d.ReadEfuse(b, size));
  };
}
auto Write(int device_sel, int image_size) {
  return [=](DeviceAccess& d, ImageBuffer& b, int&) {
    return Flag(d.WriteImage(b, device_sel, image_size));
  };
}
auto Reload() {
  return [](DeviceAccess& d, ImageBuffer&, int&) {
    d.ReloadEeprom();
    return std::string("-");
  };
}
void Unplugged(SimulatedAdapter& sim) { sim.set_plugged(false); }
void Healthy(SimulatedAdapter&) {}
auto FailEvery(std::uint32_t code) {
  return [=](SimulatedAdapter& sim) { sim.FailEveryRequest(code); };
}

const char kUpgrade[] =
    "message: Please upgrade test driver to v1.104.12.0(x86)/v1.106.12.0(x64) "
    "or higher version.";

const OperationRow kOperationRows[] = {
    {"DetectPresent", Healthy, Detect(), {"status: Device detected"}, "true"},
    {"DetectUnplugged",
     Unplugged,
     Detect(),
     {"status: Device Unplugged"},
     "false"},

    {"CheckDriverRecent", Healthy, CheckDriver(), {}, "-"},
    {"CheckDriverOpenFails",
     Unplugged,
     CheckDriver(),
     {"status: Device Unplugged", "message: Failed to open device!"},
     "-"},
    {"CheckDriverProbeFails",
     [](SimulatedAdapter& sim) { sim.set_driver_present(false); },
     CheckDriver(),
     {"message: Please install test driver."},
     "-"},
    {"CheckDriverOldAnswer",
     [](SimulatedAdapter& sim) {
       sim.set_driver_answer({'Y', 'e', 'S'});
     },
     CheckDriver(),
     {kUpgrade},
     "-"},
    {"CheckDriverQueryFails",
     FailEvery(IOCTL_QUERY_DRIVER),
     CheckDriver(),
     {kUpgrade},
     "-"},

    {"ReadEepromOk", Healthy, ReadEeprom512(), {"preview"}, "Success"},
    {"ReadEepromOpenFails",
     Unplugged,
     ReadEeprom512(),
     {"status: Device Unplugged"},
     "Failed to open device!"},
    {"ReadEepromRequestFails",
     [](SimulatedAdapter& sim) { sim.FailRequest(5 * 200 + 4); },
     ReadEeprom512(),
     {},
     "IOCTL Read EEPROM failed!"},
    {"ReadEepromBusyStuck",
     [](SimulatedAdapter& sim) { sim.set_busy_stuck(true); },
     ReadEeprom512(),
     {},
     "IOCTL Read EEPROM failed!"},
    {"ReadEepromUnpluggedMidway",
     [](SimulatedAdapter& sim) { sim.UnplugAfterRequests(300); },
     ReadEeprom512(),
     {},
     "IOCTL Read EEPROM failed!"},

    {"ReadEfuseOk", Healthy, ReadEfuse(), {"preview", "picture: pass"}, "true"},
    {"ReadEfuseOpenFails",
     Unplugged,
     ReadEfuse(),
     {"status: Device Unplugged", "message: Failed to open device!",
      "picture: fail"},
     "false"},
    {"ReadEfuseRequestFails",
     FailEvery(IOCTL_READ_EFUSE),
     ReadEfuse(),
     {"message: IOCTL Read Efuse failed!", "picture: fail"},
     "false"},

    {"WriteEepromOk", Healthy, Write(kChipAEeprom, 512), {}, "true"},
    {"WriteEepromOpenFails",
     Unplugged,
     Write(kChipAEeprom, 512),
     {"status: Device Unplugged", "message: Open Device fail"},
     "false"},
    {"WriteEepromRequestFails",
     FailEvery(IOCTL_WRITE_EEPROM),
     Write(kChipBEeprom, 256),
     {"message: IOCTL Write EEPROM fail"},
     "false"},
    {"WriteEfuseOk", Healthy, Write(kChipAEfuse, 64), {}, "true", kChipAEfuse},
    {"WriteEfuseOpenFails",
     Unplugged,
     Write(kChipBEfuse, 64),
     {"status: Device Unplugged", "message: Open Device fail"},
     "false",
     kChipBEfuse},
    {"WriteEfuseRequestFails",
     FailEvery(IOCTL_WRITE_EFUSE),
     Write(kChipAEfuse, 64),
     {"message: IOCTL Write EFUSE fail"},
     "false",
     kChipAEfuse},
    {"WriteWithoutSelection", Unplugged, Write(-1, 512), {}, "true"},

    {"ReloadOk", Healthy, Reload(), {}, "-"},
    {"ReloadOpenFails", Unplugged, Reload(), {"status: Device Unplugged"}, "-"},
};

class OperationTableTest : public DeviceOperationsTest,
                           public ::testing::WithParamInterface<OperationRow> {
};

TEST_P(OperationTableTest, ShowsAndReturns) {
  const OperationRow& row = GetParam();
  buffer_ = BlankBuffer();
  int ignored = 0;
  FillImageHeader(buffer_, row.header_sel, 1, ignored);
  row.setup(sim_);

  EXPECT_EQ(row.run(device_, buffer_, image_size_), row.result);
  EXPECT_THAT(Shown(reporter_), ElementsAreArray(row.shown));
  EXPECT_EQ(sim_.open_handles(), 0) << "a handle was left open";
}

INSTANTIATE_TEST_SUITE_P(Rows, OperationTableTest,
                         ::testing::ValuesIn(kOperationRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DeviceOperationsTest, FailedEfuseReadKeepsTheDataBytes) {
  sim_.FailEveryRequest(IOCTL_READ_EFUSE);
  EXPECT_FALSE(device_.ReadEfuse(buffer_, image_size_));
  EXPECT_EQ(image_size_, 64);
  // The header asks for 0x24 words; the data bytes are as they were.
  EXPECT_THAT(std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + 8),
              ElementsAre('V', 'E', 'L', 'K', 0x00, 0x00, 0x24, 0x00));
  for (std::size_t i = 8; i < buffer_.size(); ++i) EXPECT_EQ(buffer_[i], 0xEE);
}

TEST_F(DeviceOperationsTest, EfuseReadFillsTheImageAndTheListing) {
  std::array<std::uint8_t, 64> fuses;
  for (int i = 0; i < 64; ++i) fuses[i] = static_cast<std::uint8_t>(0xC0 + i);
  sim_.set_efuse(fuses);
  ASSERT_TRUE(device_.ReadEfuse(buffer_, image_size_));
  const auto image = ImageArea(buffer_);
  EXPECT_TRUE(std::equal(fuses.begin(), fuses.end(), image.begin()));
  EXPECT_EQ(image[64], 0xEE);
  EXPECT_EQ(reporter_.events().front(),
            "preview: " + FormatImagePreview(buffer_, 64));
}

// The eFuse mark in image byte 63 says how the write went.
struct EfuseMarkCase {
  bool request_fails;
  std::uint8_t mark;
};

class EfuseMarkTest : public DeviceOperationsTest,
                      public ::testing::WithParamInterface<EfuseMarkCase> {};

TEST_P(EfuseMarkTest, Byte71AfterTheWrite) {
  const auto [request_fails, mark] = GetParam();
  if (request_fails) sim_.FailEveryRequest(IOCTL_WRITE_EFUSE);
  buffer_ = BlankBuffer();
  FillImageHeader(buffer_, kChipAEfuse, 0, image_size_);
  ImageArea(buffer_)[0] = 0x12;

  EXPECT_EQ(device_.WriteImage(buffer_, kChipAEfuse, image_size_),
            !request_fails);

  EXPECT_EQ(buffer_[71], mark);
  const auto fuses = sim_.efuse();
  EXPECT_EQ(fuses[0], request_fails ? 0xFF : 0x12);
  EXPECT_EQ(fuses[63], request_fails ? 0xFF : 0xF1);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, EfuseMarkTest,
                         ::testing::Values(EfuseMarkCase{false, 0xF1},
                                           EfuseMarkCase{true, 0x01}));

// How much of the buffer a write sends, by selection and image size.
struct WriteSizeCase {
  int device_sel;
  int image_size;
  bool ok;
  std::uint32_t code;  // 0: no request at all
  std::size_t input_size;
};

class WriteSizeTest : public DeviceOperationsTest,
                      public ::testing::WithParamInterface<WriteSizeCase> {};

TEST_P(WriteSizeTest, SendsHeaderAndImage) {
  const WriteSizeCase& c = GetParam();
  buffer_ = BlankBuffer();
  int header_size = 0;
  FillImageHeader(buffer_, c.device_sel, c.image_size == 512 ? 1 : 0,
                  header_size);

  EXPECT_EQ(device_.WriteImage(buffer_, c.device_sel, c.image_size), c.ok);

  const auto log = sim_.log();
  if (c.code == 0) {
    EXPECT_TRUE(log.empty());
  } else {
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, c.code);
    EXPECT_EQ(log[0].input_size, c.input_size);
  }
  EXPECT_EQ(sim_.open_handles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WriteSizeTest,
    ::testing::Values(
        WriteSizeCase{kChipAEeprom, 256, true, IOCTL_WRITE_EEPROM, 264},
        WriteSizeCase{kChipBEeprom, 512, true, IOCTL_WRITE_EEPROM, 520},
        // The eFuse transfer is 72 bytes whatever size the caller holds.
        WriteSizeCase{kChipBEfuse, 64, true, IOCTL_WRITE_EFUSE, 72},
        WriteSizeCase{kChipAEfuse, 512, true, IOCTL_WRITE_EFUSE, 72},
        // An EEPROM size that is no EEPROM's is refused, not sent.
        WriteSizeCase{kChipAEeprom, 64, false, 0, 0},
        WriteSizeCase{kChipAEeprom, 1024, false, 0, 0},
        WriteSizeCase{7, 512, true, 0, 0}));

}  // namespace
}  // namespace srom
