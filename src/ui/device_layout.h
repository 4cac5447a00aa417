// What each device selection shows, and what "Disable Setting" locks: the
// window's layout rules as data, so that a view and its tests read the same
// table the window logic applies.
#pragma once

#include <optional>
#include <span>

#include "ui/control_id.h"

namespace srom {

// Whether `id` is shown in device selection `device_sel` (0..3); nothing for
// a control whose visibility the selection does not decide (the device row,
// "Mac Address", the several-adapter and mode frames, the operation buttons,
// the outputs).
std::optional<bool> VisibleIn(ControlId id, int device_sel);

// Every control that VisibleIn decides.
std::span<const ControlId> SelectionDependentControls();

// "Disable Setting" locks these settings controls besides the MAC "Current"
// box (which a bar-code scanner keeps) and the edited power row: the device
// list, the MAC and serial ranges and lists, the IDs ...
std::span<const ControlId> DisableSettingRangeControls();
// ... and the configuration boxes, switches and file buttons.
std::span<const ControlId> DisableSettingOtherControls();

// The two boxes of the power row a chip edits in an EEPROM selection: Super
// Speed for chip A (selection 2), High Speed for chip B (selection 0).
ControlId EditedBusPowerBox(int device_sel);
ControlId EditedSelfPowerBox(int device_sel);

}  // namespace srom
