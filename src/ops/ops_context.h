// What every operation works with: the station's state, the operator, the
// adapter's driver and the clock.
#pragma once

#include "device/device_operations.h"
#include "device/driver_port.h"
#include "ops/operator_panel.h"
#include "ops/station.h"
#include "ports/clock.h"

namespace srom {

struct OpsContext {
  Station& station;
  OperatorPanel& panel;
  DriverPort& port;
  Clock& clock;

  DeviceAccess Device() const { return DeviceAccess(port, panel); }
};

}  // namespace srom
