// A station on a fresh folder, a simulated adapter, a recording operator and
// a clock that does not wait: the operations run here exactly as the window
// and srom-cli run them, on the test's own thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "device/sim/simulated_adapter.h"
#include "model/efuse_image.h"
#include "ops/ops_context.h"
#include "support/fake_clock.h"
#include "support/recording_panel.h"
#include "support/temp_folder.h"

namespace srom::test {

// The requests the adapter received, in order, in a form a table can hold:
// each EEPROM word read through the registers is one "word", the driver
// probe is "probe", and a run of equal entries is written once with its
// count ("word x128").
inline std::string RequestOrder(const std::vector<SimRequest>& log) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const SimRequest& r = log[i];
    std::string name;
    if (r.code == IOCTL_WRITE_REGISTER && r.head[0] == kRegEepromAddress) {
      name = "word";
      // The start, the busy polls and both data bytes belong to the word.
      while (i + 1 < log.size() && log[i + 1].head[0] != kRegEepromAddress &&
             (log[i + 1].code == IOCTL_WRITE_REGISTER ||
              log[i + 1].code == IOCTL_READ_REGISTER)) {
        ++i;
      }
    } else if (r.code == IOCTL_WRITE_EEPROM) {
      name = "write-eeprom";
    } else if (r.code == IOCTL_READ_EFUSE) {
      name = "read-efuse";
    } else if (r.code == IOCTL_WRITE_EFUSE) {
      name = "write-efuse";
    } else if (r.code == IOCTL_RELOAD_EEPROM) {
      name = "reload";
    } else {
      name = std::string(IoctlName(r.code));
    }
    if (!r.ok) name += "(failed)";
    names.push_back(name);
  }
  std::string order;
  for (std::size_t i = 0; i < names.size();) {
    std::size_t run = 1;
    while (i + run < names.size() && names[i + run] == names[i]) ++run;
    if (!order.empty()) order += ", ";
    order += names[i];
    if (run > 1) order += " x" + std::to_string(run);
    i += run;
  }
  return order;
}

class OpsTest : public ::testing::Test {
 public:
  Station& st() { return station_; }
  SimulatedAdapter& adapter() { return adapter_; }
  RecordingPanel& panel() { return panel_; }

  // The station in an eFuse selection, its image the chip's default.
  void SelectEfuse(int device_sel) {
    station_.settings.DeviceSel = device_sel;
    station_.image_size = kEfuseSize;
    ResetEfuseImageArea(station_.prev, device_sel);
  }

 protected:
  void SetUp() override {
    station_.folders = FileFolders{folder_.path(), folder_.path()};
    adapter_.set_logging(true);
    panel_.set_quiet(true);
  }

  OpsContext Context() {
    return OpsContext{station_, panel_, adapter_, clock_};
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(folder_ / name);
  }
  std::string Read(const std::string& name) const {
    return ReadBytes(folder_ / name);
  }

  TempFolder folder_;
  Station station_;
  SimulatedAdapter adapter_{256};
  RecordingPanel panel_{station_};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
};

}  // namespace srom::test
