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
  // The unit's MAC address was scanned from its label: nobody stands at the
  // keyboard to answer a question, and the scanner's next Enter would answer
  // it. A MAC address the ledger holds is then refused outright.
  bool scanned = false;

  DeviceAccess Device() const { return DeviceAccess(port, panel); }
  // The same context reporting to `other`.
  OpsContext WithPanel(OperatorPanel& other) const {
    OpsContext copy{station, other, port, clock, ledger};
    copy.scanned = scanned;
    return copy;
  }
};

// The class of a device operation that failed: no adapter, or a request the
// driver refused.
inline Outcome DeviceOutcome(const DeviceAccess& device) {
  return device.last_failure() == DeviceFailure::kNotOpened
             ? Outcome::kDeviceAbsent
             : Outcome::kWriteFailed;
}

}  // namespace srom
