// The simulated adapter's own rules: the one-time eFuse, faulty cells, the
// bench of adapters and the state file between runs.
#include "device/sim/simulated_adapter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "device/device_operations.h"
#include "device/driver_contract.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_bench.h"
#include "device_test_support.h"
#include "model/image_buffer.h"
#include "model/settings.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

using test::EfuseTransfer;
using ::testing::ElementsAre;

std::array<std::uint8_t, 64> Fuses(std::uint8_t value) {
  std::array<std::uint8_t, 64> f;
  f.fill(value);
  return f;
}

bool WriteFuses(SimulatedAdapter& sim, const std::array<std::uint8_t, 64>& f) {
  const auto handle = sim.Open(kDevicePath);
  const auto transfer = EfuseTransfer(f);
  const bool ok = sim.Request(*handle, IOCTL_WRITE_EFUSE, transfer, {});
  sim.Close(*handle);
  return ok;
}

TEST(SimulatedEfuseTest, AWriteCanOnlyClearBits) {
  SimulatedAdapter sim;
  auto wanted = Fuses(0xFF);
  wanted[0] = 0xF1;
  wanted[1] = 0x0F;
  ASSERT_TRUE(WriteFuses(sim, wanted));
  wanted[0] = 0x1F;  // asks for bits 4..6 back: blown fuses stay blown
  wanted[1] = 0xFF;
  ASSERT_TRUE(WriteFuses(sim, wanted));

  const auto fuses = sim.efuse();
  EXPECT_EQ(fuses[0], 0x11);
  EXPECT_EQ(fuses[1], 0x0F);
  EXPECT_EQ(fuses[2], 0xFF);
}

TEST(SimulatedEfuseTest, WeakBitsNeedSeveralWrites) {
  SimulatedAdapter sim;
  sim.set_weak_efuse_bits(5, 0x0C, 3);
  auto wanted = Fuses(0xFF);
  wanted[5] = 0x00;

  std::vector<std::uint8_t> after;
  for (int write = 0; write < 4; ++write) {
    ASSERT_TRUE(WriteFuses(sim, wanted));
    after.push_back(sim.efuse()[5]);
  }
  // Strong bits blow at once, the weak ones on their third write.
  EXPECT_THAT(after, ElementsAre(0x0C, 0x0C, 0x00, 0x00));
}

TEST(SimulatedEepromTest, StuckCellIgnoresWrites) {
  SimulatedAdapter sim(256);
  sim.set_eeprom_cell_stuck(17);
  RecordingReporter reporter;
  DeviceAccess device(sim, reporter);
  ImageBuffer buffer = BlankBuffer();
  int image_size = 0;
  FillImageHeader(buffer, kChipAEeprom, 0, image_size);
  for (int i = 0; i < 256; ++i)
    ImageArea(buffer)[i] = static_cast<std::uint8_t>(i);

  ASSERT_TRUE(device.WriteImage(buffer, kChipAEeprom, image_size));

  const auto eeprom = sim.eeprom();
  EXPECT_EQ(eeprom[16], 16);
  EXPECT_EQ(eeprom[17], 0xFF);
  EXPECT_EQ(eeprom[255], 255);
}

TEST(SimulatedAdapterTest, UnpluggingEndsOpenHandles) {
  SimulatedAdapter sim;
  const auto handle = sim.Open(kDevicePath);
  ASSERT_TRUE(handle);
  const std::array<std::uint8_t, 3> request = {0x07, 0x01, 0x00};
  ASSERT_TRUE(sim.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));

  sim.set_plugged(false);
  EXPECT_FALSE(sim.Open(kDevicePath));
  sim.set_plugged(true);
  EXPECT_FALSE(sim.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));
  sim.Close(*handle);
  EXPECT_EQ(sim.open_handles(), 0);
  EXPECT_FALSE(sim.Open("\\\\.\\OTHER"));
}

// Faults armed on an adapter in use, as the simulator panel arms them, and
// "clear" taking each away again.
struct LiveFault {
  std::vector<std::string> words;
};
void PrintTo(const LiveFault& fault, std::ostream* os) {
  *os << JoinWords(fault.words);
}

// True when an EEPROM image and then an eFuse image each write and read back
// as written.
bool WritesAndReadsBack(SimulatedAdapter& sim) {
  RecordingReporter reporter;
  DeviceAccess device(sim, reporter);
  ImageBuffer wanted = BlankBuffer();
  int size = 0;
  FillImageHeader(wanted, kChipAEeprom, 0, size);
  for (int i = 0; i < size; ++i)
    ImageArea(wanted)[i] = static_cast<std::uint8_t>(i);
  ImageBuffer read = BlankBuffer();
  int read_size = 0;
  if (!device.WriteImage(wanted, kChipAEeprom, size) ||
      device.ReadEeprom(read, 0, read_size) != "Success" ||
      !std::equal(ImageArea(wanted).begin(), ImageArea(wanted).begin() + size,
                  ImageArea(read).begin())) {
    return false;
  }
  FillImageHeader(wanted, kChipAEfuse, 0, size);
  std::fill_n(ImageArea(wanted).begin(), size, 0x00);
  if (!device.WriteImage(wanted, kChipAEfuse, size) ||
      !device.ReadEfuse(read, read_size)) {
    return false;
  }
  return std::equal(ImageArea(wanted).begin(), ImageArea(wanted).begin() + size,
                    ImageArea(read).begin());
}

class LiveFaultTest : public ::testing::TestWithParam<LiveFault> {};

TEST_P(LiveFaultTest, BitesUntilCleared) {
  SimulatedAdapter faulty(256);
  ASSERT_EQ(ArmSimFault(GetParam().words, faulty), std::nullopt);
  EXPECT_FALSE(WritesAndReadsBack(faulty));

  SimulatedAdapter cleared(256);
  ASSERT_EQ(ArmSimFault(GetParam().words, cleared), std::nullopt);
  ASSERT_EQ(ArmSimFault({"clear"}, cleared), std::nullopt);
  EXPECT_TRUE(WritesAndReadsBack(cleared));
  EXPECT_TRUE(cleared.plugged());
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, LiveFaultTest,
    ::testing::Values(LiveFault{{"stuck-cell", "5"}},
                      LiveFault{{"fail-request", "2"}},
                      LiveFault{{"fail-code", "IOCTL_READ_EFUSE"}},
                      LiveFault{{"busy-stuck"}},
                      LiveFault{{"unplug-after", "3"}},
                      LiveFault{{"weak-efuse", "0x3F", "0xFF", "2"}},
                      LiveFault{{"no-driver"}}));

TEST(LiveFaultRefusalTest, ABadFaultArmsNothing) {
  SimulatedAdapter sim(256);
  EXPECT_EQ(ArmSimFault({"fail-request", "0"}, sim),
            "Usage: fault fail-request N");
  EXPECT_EQ(ArmSimFault({"fail-request", "2", "3"}, sim),
            "Usage: fault fail-request N");
  EXPECT_THAT(ArmSimFault({"melt"}, sim),
              ::testing::Optional(::testing::HasSubstr("Unknown fault")));
  EXPECT_TRUE(WritesAndReadsBack(sim));
}

// The bench: the control device follows the enabled network connection.
class SimulatedBenchTest : public ::testing::Test {
 protected:
  SimulatedBenchTest() {
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i + 1);
      adapters_[i] =
          bench_.AddAdapter("KM62058 USB 3.0 adapter #" + n, "Ethernet " + n);
      auto fuses = Fuses(0xFF);
      fuses[0] = static_cast<std::uint8_t>(0xA0 + i);
      adapters_[i]->set_efuse(fuses);
    }
  }

  // The first eFuse byte of whichever adapter the control device reaches.
  int ReachedAdapter() {
    ImageBuffer buffer = BlankBuffer();
    int size = 0;
    reporter_.clear();
    if (!device_.ReadEfuse(buffer, size)) return -1;
    return ImageArea(buffer)[0] - 0xA0;
  }

  SimulatedBench bench_;
  SimulatedAdapter* adapters_[3] = {};
  RecordingReporter reporter_;
  DeviceAccess device_{bench_, reporter_};
};

TEST_F(SimulatedBenchTest, EnablingOneConnectionRoutesTheControlDevice) {
  for (const char* name : {"Ethernet 1", "Ethernet 2", "Ethernet 3"}) {
    ASSERT_TRUE(bench_.DisableConnection(name));
  }
  EXPECT_EQ(ReachedAdapter(), -1);
  EXPECT_THAT(reporter_.messages(), ElementsAre("Failed to open device!"));

  for (int i : {1, 2, 0}) {
    const std::string name = "Ethernet " + std::to_string(i + 1);
    ASSERT_TRUE(bench_.EnableConnection(name));
    EXPECT_EQ(ReachedAdapter(), i);
    ASSERT_TRUE(bench_.DisableConnection(name));
  }
  EXPECT_FALSE(bench_.EnableConnection("Ethernet 9"));
}

TEST_F(SimulatedBenchTest, DisablingTheConnectionEndsItsHandle) {
  bench_.DisableConnection("Ethernet 1");
  bench_.DisableConnection("Ethernet 3");
  const auto handle = bench_.Open(kDevicePath);
  ASSERT_TRUE(handle);
  const std::array<std::uint8_t, 3> request = {0x07, 0x01, 0x00};
  EXPECT_TRUE(bench_.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));

  bench_.DisableConnection("Ethernet 2");
  EXPECT_FALSE(bench_.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));
  bench_.Close(*handle);
  EXPECT_EQ(adapters_[1]->open_handles(), 0);
}

TEST_F(SimulatedBenchTest, HoldsSixAdaptersWithDistinctConnections) {
  EXPECT_EQ(bench_.AddAdapter("dup", "Ethernet 2"), nullptr);
  EXPECT_NE(bench_.AddAdapter("d4", "Ethernet 4"), nullptr);
  EXPECT_NE(bench_.AddAdapter("d5", "Ethernet 5"), nullptr);
  EXPECT_NE(bench_.AddAdapter("d6", "Ethernet 6"), nullptr);
  EXPECT_EQ(bench_.AddAdapter("d7", "Ethernet 7"), nullptr);

  bench_.DisableConnection("Ethernet 5");
  const auto described = bench_.Describe();
  ASSERT_EQ(described.size(), 6u);
  EXPECT_EQ(described[0], (BenchAdapterInfo{"KM62058 USB 3.0 adapter #1",
                                            "Ethernet 1", true}));
  EXPECT_EQ(described[4], (BenchAdapterInfo{"d5", "Ethernet 5", false}));
}

// The state file keeps an adapter's memories between runs.
class StateFileTest : public ::testing::Test {
 protected:
  StateFileTest() {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("srom-sim-" +
         std::string(
             ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    file_ = dir_ / "adapter.txt";
  }
  ~StateFileTest() override { std::filesystem::remove_all(dir_); }

  void WriteText(const std::string& text) {
    std::ofstream(file_, std::ios::binary) << text;
  }
  std::string ReadText() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path dir_;
  std::filesystem::path file_;
};

TEST_F(StateFileTest, ALaterRunMeetsTheSameAdapter) {
  std::vector<std::uint8_t> eeprom(256);
  for (int i = 0; i < 256; ++i) eeprom[i] = static_cast<std::uint8_t>(255 - i);
  auto fuses = Fuses(0xFF);
  fuses[63] = 0x01;
  {
    SimulatedAdapter first(512);
    ASSERT_TRUE(first.UseStateFile(file_));
    first.set_eeprom_size(256);
    first.set_eeprom(eeprom);
    // A write through the driver is saved as well.
    ASSERT_TRUE(WriteFuses(first, fuses));
  }
  SimulatedAdapter second(512);
  ASSERT_TRUE(second.UseStateFile(file_));
  EXPECT_EQ(second.eeprom(), eeprom);
  EXPECT_EQ(second.efuse(), fuses);
  EXPECT_FALSE(std::filesystem::exists(file_.string() + ".tmp"));
}

// Commands that only read (detect, dump, the verify after a write) once
// rewrote the file on every start; only a write that changes a memory may
// touch it. A file in another form than the adapter's own (lower-case
// digits here) is no reason to rewrite it either.
TEST_F(StateFileTest, ReadingLeavesTheFileAloneAndAChangingWriteReplacesIt) {
  std::vector<std::uint8_t> eeprom(256);
  for (int i = 0; i < 256; ++i) eeprom[i] = static_cast<std::uint8_t>(i);
  {
    SimulatedAdapter maker(256);
    maker.set_eeprom(eeprom);
    ASSERT_TRUE(maker.SaveState(file_));
  }
  std::string text = ReadText();
  for (std::size_t at = text.find('\n'); at < text.size(); ++at) {
    text[at] = static_cast<char>(std::tolower(text[at]));
  }
  WriteText(text);
  const auto old_time =
      std::filesystem::last_write_time(file_) - std::chrono::hours(1);
  std::filesystem::last_write_time(file_, old_time);

  SimulatedAdapter sim(512);
  ASSERT_TRUE(sim.UseStateFile(file_));
  RecordingReporter reporter;
  DeviceAccess device(sim, reporter);
  ImageBuffer buffer = BlankBuffer();
  int image_size = 0;
  ASSERT_EQ(device.ReadEeprom(buffer, 0, image_size), "Success");
  // Writing back the bytes it holds changes no memory.
  ASSERT_TRUE(FillImageHeader(buffer, kChipAEeprom, 0, image_size));
  ASSERT_TRUE(device.WriteImage(buffer, kChipAEeprom, image_size));
  ASSERT_TRUE(device.ReadEfuse(buffer, image_size));
  EXPECT_EQ(ReadText(), text);
  EXPECT_EQ(std::filesystem::last_write_time(file_), old_time);

  auto fuses = Fuses(0xFF);
  fuses[0] = 0x00;
  ASSERT_TRUE(WriteFuses(sim, fuses));
  EXPECT_NE(std::filesystem::last_write_time(file_), old_time);
  SimulatedAdapter later(512);
  ASSERT_TRUE(later.LoadState(file_));
  EXPECT_EQ(later.eeprom(), eeprom);
  EXPECT_EQ(later.efuse(), fuses);
}

// A missing file means a blank adapter: reading it makes no file, the first
// write that changes a memory does.
TEST_F(StateFileTest, AMissingFileIsMadeByTheFirstChangingWriteOnly) {
  SimulatedAdapter sim(256);
  ASSERT_TRUE(sim.UseStateFile(file_));
  RecordingReporter reporter;
  DeviceAccess device(sim, reporter);
  ImageBuffer buffer = BlankBuffer();
  int image_size = 0;
  ASSERT_EQ(device.ReadEeprom(buffer, 0, image_size), "Success");
  ASSERT_TRUE(device.ReadEfuse(buffer, image_size));
  EXPECT_FALSE(std::filesystem::exists(file_));

  sim.set_eeprom(std::vector<std::uint8_t>{0x00});
  SimulatedAdapter later(512);
  ASSERT_TRUE(later.LoadState(file_));
  EXPECT_EQ(later.eeprom_size(), 256);
  EXPECT_EQ(later.eeprom()[0], 0x00);
}

TEST_F(StateFileTest, MalformedFilesAreRefusedAndChangeNothing) {
  SimulatedAdapter source(256);
  ASSERT_TRUE(source.SaveState(file_));
  std::string good;
  {
    std::ifstream in(file_, std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  const auto replace = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string bad[] = {
      replace("state 1", "state 2"),
      replace("eeprom 256", "eeprom 300"),
      replace("efuse 64", "efuse 65"),
      replace("FF FF", "FF GG"),
      replace("FF FF", "FFF"),
      good.substr(0, good.size() - 10),  // fuse bytes missing
      good + "FF\n",                     // more than the memories
  };
  for (const std::string& text : bad) {
    WriteText(text);
    SimulatedAdapter sim(512);
    sim.set_eeprom(std::vector<std::uint8_t>(512, 0x5A));
    EXPECT_FALSE(sim.LoadState(file_)) << text;
    EXPECT_FALSE(sim.UseStateFile(file_));
    EXPECT_EQ(sim.eeprom_size(), 512);
    EXPECT_EQ(sim.eeprom()[0], 0x5A);
  }
  WriteText(good);
  SimulatedAdapter sim(512);
  EXPECT_TRUE(sim.LoadState(file_));
  EXPECT_EQ(sim.eeprom_size(), 256);
}

}  // namespace
}  // namespace srom
