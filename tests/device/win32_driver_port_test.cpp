// Win32DriverPort against a real Win32 API: a control device that does not
// exist, and a handle that is no driver's.
#include "device/win32/win32_driver_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "device/device_operations.h"
#include "device/driver_contract.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

using ::testing::ElementsAre;

TEST(Win32DriverPortTest, MissingControlDeviceDoesNotOpen) {
  Win32DriverPort port;
  EXPECT_FALSE(port.Open(kDevicePath));
}

TEST(Win32DriverPortTest, OperationsReportTheMissingDevice) {
  Win32DriverPort port;
  RecordingReporter reporter;
  DeviceAccess device(port, reporter);

  EXPECT_FALSE(device.DetectDevice());
  EXPECT_THAT(reporter.events(), ElementsAre("status: Device Unplugged"));

  reporter.clear();
  device.CheckTestDriver();
  EXPECT_THAT(reporter.events(),
              ElementsAre("status: Device Unplugged",
                          "message: Failed to open device!"));
}

TEST(Win32DriverPortTest, ARequestTheHandleCannotServeFails) {
  // A plain file opens with the same flags, but knows none of the driver's
  // requests: the failure must come back as false, and the handle close.
  const auto file =
      std::filesystem::temp_directory_path() / "srom-win32-port-test.bin";
  std::ofstream(file, std::ios::binary) << "x";
  Win32DriverPort port;
  const auto handle = port.Open(file.string());
  ASSERT_TRUE(handle);

  std::array<std::uint8_t, 3> bytes = {0x00, 0x00, 0x00};
  EXPECT_FALSE(port.Request(*handle, IOCTL_QUERY_DRIVER, bytes, bytes));
  EXPECT_FALSE(port.Request(*handle, IOCTL_RELOAD_EEPROM, {}, {}));
  port.Close(*handle);
  // Closed, the file can go.
  EXPECT_TRUE(std::filesystem::remove(file));
}

}  // namespace
}  // namespace srom
