// A keyboard-wedge bar-code scanner at the real srom-tool on a real X server:
// the scanner types a MAC address and Enter into the focused box, as xdotool
// does here through the X server's keyboard. With "Bar Code" checked, each
// scan programs one unit and leaves the box's text selected, so that the next
// scan replaces it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/sim_setup.h"
#include "device/sim/simulated_adapter.h"
#include "files/eeprom_dat.h"
#include "model/device_sel.h"
#include "model/settings.h"
#include "support/spawned_process.h"
#include "support/temp_folder.h"
#include "ui/control_id.h"
#include "ui/layout.h"

#ifndef SROM_TOOL_PATH
#error "SROM_TOOL_PATH names the srom-tool executable"
#endif

namespace srom::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::SpawnedProcess;
using test::SpawnOptions;

// The unit lines of Serial-MAC.log: every line but its two header lines.
std::vector<std::string> UnitLines(const fs::path& log) {
  std::vector<std::string> units;
  std::istringstream text(test::ReadBytes(log));
  std::string line;
  while (std::getline(text, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.starts_with("   Device") ||
        line.starts_with("=")) {
      continue;
    }
    units.push_back(line);
  }
  return units;
}

// "Position: 10,20 (screen: 0)" and "Geometry: 849x600" of
// `xdotool getwindowgeometry`.
struct WindowGeometry {
  int x = 0, y = 0, width = 0, height = 0;
};

std::optional<WindowGeometry> ParseGeometry(const std::string& text) {
  WindowGeometry g;
  const auto position = text.find("Position:");
  const auto geometry = text.find("Geometry:");
  if (position == std::string::npos || geometry == std::string::npos) {
    return std::nullopt;
  }
  if (std::sscanf(text.c_str() + position, "Position: %d,%d", &g.x, &g.y) !=
          2 ||
      std::sscanf(text.c_str() + geometry, "Geometry: %dx%d", &g.width,
                  &g.height) != 2) {
    return std::nullopt;
  }
  return g;
}

class ScannerOnXServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FindOnPath("Xvfb")) {
      GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    }
    if (!test::FindOnPath("xdotool")) {
      GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    }
    PrepareStation();
    StartXServer();
  }

  // A station the window opens without a message box: the settings file
  // with "Bar Code" checked on a chip-A EEPROM selection, and an SROM.dat.
  void PrepareStation() {
    SromSettings settings;
    settings.DeviceSel = kChipAEeprom;
    settings.BarCode = true;
    test::WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(settings));
    test::WriteBytes(station_ / "SROM.dat", "FF FF FF FF\r\n");
  }

  void StartXServer() {
    SpawnOptions options;
    options.err = test::Stream::kNull;
    // The server writes its display number to its standard output once it
    // takes connections.
    xvfb_.emplace(SpawnedProcess::Start(
        "Xvfb",
        {"-displayfd", "1", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"},
        options));
    const auto number = xvfb_->ReadLine(20s);
    ASSERT_TRUE(number && !number->empty()) << "Xvfb gave no display number";
    display_ = ":" + *number;
  }

  void TearDown() override {
    if (tool_) tool_->Stop(5s);
    if (xvfb_) xvfb_->Stop(5s);
  }

  SpawnOptions OnDisplay() const {
    SpawnOptions options;
    options.set_env = {"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb"};
    options.unset_env = {"WAYLAND_DISPLAY"};
    return options;
  }

  void StartTool() {
    SpawnOptions options = OnDisplay();
    options.out = test::Stream::kParent;
    tool_.emplace(SpawnedProcess::Start(
        SROM_TOOL_PATH, {"--dir", station_.path().string()}, options));
  }

  // xdotool's output on the test's display; nothing when it fails or takes
  // longer than `timeout`.
  std::optional<std::string> Xdotool(const std::vector<std::string>& args,
                                     std::chrono::milliseconds timeout = 10s) {
    const auto run = test::RunToEnd("xdotool", args, OnDisplay(), timeout);
    if (run.timed_out || run.end.exit_code() != 0) return std::nullopt;
    return run.output;
  }

  // Waits until Serial-MAC.log holds `count` unit lines.
  bool WaitForUnits(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (UnitLines(station_ / "Serial-MAC.log").size() < count) {
      if (std::chrono::steady_clock::now() > deadline || tool_->HasEnded()) {
        return false;
      }
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  test::TempFolder station_;
  std::optional<SpawnedProcess> xvfb_;
  std::optional<SpawnedProcess> tool_;
  std::string display_;

  // Starts srom-tool and clicks into the MAC "Current" box, whose first text
  // the operator then selects; every later scan finds the stepped address
  // selected by the window itself.
  void StartAndClickIntoTheMacBox() {
    StartTool();
    const auto found = Xdotool(
        {"search", "--sync", "--onlyvisible", "--name", "VELK KM62058"}, 30s);
    ASSERT_TRUE(found) << "the window did not appear"
                       << (tool_->HasEnded() ? " (srom-tool ended)" : "");
    const std::string window = found->substr(0, found->find('\n'));
    const auto geometry_text = Xdotool({"getwindowgeometry", window});
    ASSERT_TRUE(geometry_text);
    const auto geometry = ParseGeometry(*geometry_text);
    ASSERT_TRUE(geometry) << *geometry_text;

    // The middle of the MAC "Current" box. The layout is in dialog units; a
    // font other than the reference one scales the whole window alike.
    const PixelRect box = DluToPixels(LayoutOf(ControlId::kCurrentMac).rect,
                                      kReferenceBaseUnits);
    const int reference_width =
        DluToPixelsX(kClientWidthDlu, kReferenceBaseUnits);
    const int reference_height =
        DluToPixelsY(kClientHeightDlu, kReferenceBaseUnits);
    const int x = geometry->x +
                  (box.x + box.width / 2) * geometry->width / reference_width;
    const int y = geometry->y + (box.y + box.height / 2) * geometry->height /
                                    reference_height;
    ASSERT_TRUE(Xdotool({"mousemove", "--sync", std::to_string(x),
                         std::to_string(y), "click", "1"}));
    ASSERT_TRUE(Xdotool({"key", "--delay", "15", "End", "shift+Home"}));
  }

  // The scanner types the label's code and Enter.
  void Scan(const std::string& mac) {
    ASSERT_TRUE(Xdotool({"type", "--delay", "15", mac}));
    ASSERT_TRUE(Xdotool({"key", "Return"}));
  }

  // Whether a window named `name` shows up within `timeout`.
  bool WindowAppears(const std::string& name,
                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Xdotool({"search", "--onlyvisible", "--name", name}, 5s)) {
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

  // The MAC address in each unit line of Serial-MAC.log, in order.
  std::vector<std::string> LoggedMacs(const std::vector<std::string>& macs) {
    std::vector<std::string> logged;
    for (const std::string& line : UnitLines(station_ / "Serial-MAC.log")) {
      for (const std::string& mac : macs) {
        if (line.find('\t' + mac + '\t') != std::string::npos) {
          logged.push_back(mac);
        }
      }
    }
    return logged;
  }
};

TEST_F(ScannerOnXServerTest, EachScanProgramsOneUnitAndTheNextScanReplacesIt) {
  StartAndClickIntoTheMacBox();
  const std::vector<std::string> macs = {"00E04C000010", "00E04C000020",
                                         "00E04C000030"};
  for (std::size_t i = 0; i < macs.size(); ++i) {
    Scan(macs[i]);
    ASSERT_TRUE(WaitForUnits(i + 1, 15s))
        << "scan " << i + 1 << " programmed no unit"
        << (tool_->HasEnded() ? " (srom-tool ended)" : "");
  }

  EXPECT_EQ(LoggedMacs(macs), macs);
  EXPECT_FALSE(tool_->HasEnded());

  SimulatedAdapter adapter;
  ASSERT_TRUE(adapter.LoadState(station_ / kSimStateFile));
  const std::vector<std::uint8_t> eeprom = adapter.eeprom();
  const std::vector<std::uint8_t> mac(eeprom.begin(), eeprom.begin() + 6);
  EXPECT_EQ(mac,
            (std::vector<std::uint8_t>{0x00, 0xE0, 0x4C, 0x00, 0x00, 0x30}));
}

// The same label scanned twice, then the next one: the repeat is refused on
// the spot with no question box (the next scan's Enter would answer it and
// give the address to a second unit), and the next label is programmed.
TEST_F(ScannerOnXServerTest, ARepeatedScanIsRefusedAndTheNextLabelProgrammed) {
  StartAndClickIntoTheMacBox();
  Scan("00E04C000701");
  ASSERT_TRUE(WaitForUnits(1, 15s));
  Scan("00E04C000701");
  EXPECT_FALSE(WindowAppears("Reissue MAC Address", 1500ms))
      << "a scan must never meet a question";
  Scan("00E04C000702");
  ASSERT_TRUE(WaitForUnits(2, 15s))
      << "the label after the repeat was not programmed"
      << (tool_->HasEnded() ? " (srom-tool ended)" : "");
  std::this_thread::sleep_for(300ms);  // a third unit would be logged by now

  EXPECT_EQ(LoggedMacs({"00E04C000701", "00E04C000702"}),
            (std::vector<std::string>{"00E04C000701", "00E04C000702"}));
  EXPECT_FALSE(tool_->HasEnded());
}

}  // namespace
}  // namespace srom::test
