// What every operation works with: the station's state, the operator, the
// adapter's driver and the clock.
#pragma once

#include "device/device_operations.h"
#include "device/driver_port.h"
#include "ledger/ledger.h"
#include "ops/operator_panel.h"
#include "ops/outcome.h"
#include "ops/station.h"
#include "ports/clock.h"

namespace srom {

struct OpsContext {
  Station& station;
  OperatorPanel& panel;
  DriverPort& port;
  Clock& clock;
  // The production ledger; null where none is kept (a unit is then written
  // without a reservation).
  Ledger* ledger = nullptr;

  DeviceAccess Device() const { return DeviceAccess(port, panel); }
};

// The class of a device operation that failed: no adapter, or a request the
// driver refused.
inline Outcome DeviceOutcome(const DeviceAccess& device) {
  return device.last_failure() == DeviceFailure::kNotOpened
             ? Outcome::kDeviceAbsent
             : Outcome::kWriteFailed;
}

}  // namespace srom
