// What each edit box of the main window does with a typed or pasted
// character. A view asks these before it lets a character into a box, so
// every toolkit filters and shows alike.
#pragma once

#include <string>

#include "ui/control_id.h"

namespace srom {

// The backspace character, which the hex boxes let through for editing.
inline constexpr char kBackspace = 8;

// True for the seven hex boxes: the MAC and serial "Current" and "Maximum",
// "Vendor", ID "Product" and "Flag".
bool IsHexBox(ControlId id);

// True when a character typed into `id` reaches the box. The hex boxes take
// hex digits of either case and backspace and discard everything else,
// control characters included, so Ctrl+V does nothing in them. Every other
// box takes every character: the power boxes and "Delay time" are cleaned
// up by their rules on change.
bool BoxTakes(ControlId id, char typed);

// The character a box shows for one that reached it, typed or pasted: the
// hex boxes and "SW Field" show letters in upper case.
char ShownAs(ControlId id, char c);

// The text a box shows for text pasted into it or put there by the program.
// Such text is not filtered, only shown as ShownAs says.
std::string ShownText(ControlId id, const std::string& text);

}  // namespace srom
