#include "refresh_harness.h"

#include <algorithm>

#include "device/sim/simulated_adapter.h"
#include "fake_clock.h"
#include "ops/refresh.h"
#include "recording_panel.h"

namespace srom {

RefreshRun RefreshWithoutWindow(ImageBuffer& prev, SromSettings& settings,
                                const LastAccepted& accepted,
                                NumericValues& values, int& image_size) {
  Station station;
  station.settings = settings;
  station.accepted = accepted;
  station.values = values;
  station.prev = prev;
  station.image_size = image_size;
  SimulatedAdapter adapter;
  RecordingPanel panel(station);
  FakeClock clock;

  RefreshRun run;
  run.built = RefreshImage(OpsContext{station, panel, adapter, clock});
  const auto& events = panel.events();
  const auto previews = std::count(events.begin(), events.end(), "preview");
  // The EEPROM path clears the result picture as it loads the default image;
  // the eFuse path shows the image once more.
  run.loaded_default =
      std::count(events.begin(), events.end(), "picture: none") > 0 ||
      (IsEfuseSel(settings.DeviceSel) && previews > 1);
  if (!run.built && !panel.messages().empty()) {
    run.failure = RefreshFailure{panel.messages().front()};
  }
  settings = station.settings;
  values = station.values;
  prev = station.prev;
  image_size = station.image_size;
  return run;
}

}  // namespace srom
