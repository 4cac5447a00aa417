// What a view reports to the window logic: the operator's clicks, picks,
// edits, focus losses and keys, the close and About requests, and the ticks
// of the window's timers. A view reports nothing else and decides nothing:
// what an event means, and whether it may act now, is the logic's.
#pragma once

#include <optional>

#include "ui/control_id.h"

namespace srom {

// The keys the window's key filter looks at; every other key is kOther.
enum class Key { kEscape, kEnter, kOther };

struct OperatorEvent {
  enum class Kind {
    kClick,      // a button, check box or radio button
    kPick,       // an entry picked from a list
    kTextEdit,   // the operator changed a box's text
    kFocusLoss,  // a box lost the input focus
    kKey,        // Escape, Enter or another key, before the control sees it
    kTimer,      // timer 1 or 2 ticked
    kClose,      // the close box, the system menu's Close, Alt+F4
    kAbout,      // the About entry or F1
  };
  Kind kind = Kind::kClick;
  // The control clicked, picked, edited or left; for a key, the control that
  // has the focus, if any.
  std::optional<ControlId> control;
  Key key = Key::kOther;
  int timer = 0;

  static OperatorEvent Click(ControlId id) { return {Kind::kClick, id}; }
  static OperatorEvent Pick(ControlId id) { return {Kind::kPick, id}; }
  static OperatorEvent TextEdit(ControlId id) { return {Kind::kTextEdit, id}; }
  static OperatorEvent FocusLoss(ControlId id) {
    return {Kind::kFocusLoss, id};
  }
  static OperatorEvent KeyPress(std::optional<ControlId> focus, Key key) {
    return {Kind::kKey, focus, key};
  }
  static OperatorEvent Tick(int timer) {
    return {Kind::kTimer, std::nullopt, Key::kOther, timer};
  }
  static OperatorEvent Close() { return {Kind::kClose, std::nullopt}; }
  static OperatorEvent About() { return {Kind::kAbout, std::nullopt}; }
};

}  // namespace srom
