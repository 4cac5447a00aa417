// Where several adapters and automatic programming plug into the window:
// start-up, the device selection and the close request call these at their
// places. With nothing behind them they do nothing and say nothing.
#pragma once

#include "ui/control_id.h"

namespace srom {

class WindowHooks {
 public:
  virtual ~WindowHooks() = default;
  // "Scan": find the adapters and show them in the adapter boxes.
  virtual void Scan() {}
  // The "MultiEnable" handling after a device selection is applied.
  virtual void ApplyMultiEnable() {}
  // Start-up with "Auto" checked: no device count seen yet, then the watch.
  virtual void StartAutoProgram() {}
  // "Auto" changed: the device watch starts or stops with the box.
  virtual void ApplyAutoProgram() {}
  // A Program job with "Auto" checked has ended: watch for the next adapter.
  virtual void RearmAutoProgram() {}
  // A click on a control of theirs: "MultiEnable", "Scan", the adapter
  // boxes, "Auto".
  virtual void OnClicked(ControlId /*id*/) {}
  // One of the window's timers ticked.
  virtual void OnTimer(int /*timer*/) {}
  // Closing: the network connections a scan switched off are enabled again.
  virtual void EnableAllConnectionsAtExit() {}
};

}  // namespace srom
