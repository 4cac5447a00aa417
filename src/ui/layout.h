// Where every control of the main window sits, what it is and what it says,
// without a toolkit: one table that the Qt and the Win32 views both build
// their window from.
//
// Positions and sizes are dialog units (DLU) of the window's font, 9-point
// "Courier New": a character is 4 DLU wide and 8 DLU high. A view turns them
// into pixels with the font's base units (DluToPixelsX/Y). With Liberation
// Mono at 12 pixels, Courier New's metric twin, the base units are 7 x 14
// and the 485 x 370 DLU client area is 849 x 648 pixels.
//
// Sketch of the EEPROM layouts (the eFuse layouts hide the frames marked *,
// show the caution picture over their place and move "Preview" to where
// "Load SROM" is):
//
//   Device Sel. [list    ] [ ]Lock   | +-----------------------------+
//   +Mac Address------------------+  | | output box (hex listing)    |
//   | Current [    ] Maximum [    ]|  | |                             |
//   | Increase by [ ]              |  | +-----------------------------+
//   +Serial Number*----------------+  | +Result-+ [Convert to Bin     ]
//   +String*-----------+ +ID*------+  | |       | [Convert to EFuse   ]
//   +Bus Power*+ +Characteristics*-+  | |picture| [Program ] [Dump    ]
//   |          | +SROM Size*-------+  | |       | [Save    ] [Load EEP]
//   +----------+ +-----------------+  | |       | [Load SRO] [Erase   ]
//   +LED Setting*------------------+  | |PASS ..| [Preview ]
//   +Auto Progam*------------------+  | +-------+
//   | [ ]Auto Delay time [ ]   15  |  | +Multi EEPROM Program---------+
//   +------------------------------+  | | adapters in three rows of 2 |
//   [progress bar                  ]  | +-----------------------------+
//   Device Unplugged                  | +Reload+ +Bar Code+
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "model/device_sel.h"
#include "ui/control_id.h"

namespace srom {

enum class ControlKind {
  kFrame,         // a group box with its caption
  kLabel,         // static text
  kEditBox,       // a one-line box the operator types into
  kOutputBox,     // multi-line, read-only, with a vertical scroll bar
  kDropDownList,  // a list that shows one entry and takes no typing
  kCheckBox,
  kRadioButton,
  kPushButton,
  kProgressBar,
  kPicture,  // shows one of the pictures of ui/picture_ids.h
};

// A rectangle in dialog units inside the client area. A list's rectangle is
// its closed height; a Win32 combo box is given the open list's height too.
struct DluRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  constexpr int right() const { return x + width; }
  constexpr int bottom() const { return y + height; }
  friend constexpr bool operator==(const DluRect&, const DluRect&) = default;
};

struct DluPoint {
  int x = 0;
  int y = 0;
  friend constexpr bool operator==(const DluPoint&, const DluPoint&) = default;
};

struct PixelSize {
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const PixelSize&,
                                   const PixelSize&) = default;
};

struct ControlLayout {
  ControlId id;
  ControlKind kind;
  // The text a control shows when the window opens: a frame's, label's,
  // button's or box's caption. Empty for boxes, lists and pictures.
  std::string_view caption;
  DluRect rect;
  // The group box the control is drawn in, if any.
  std::optional<ControlId> frame;
  // A list's entries, in order; empty for every other kind.
  std::span<const std::string_view> entries;
  // A picture control's size in pixels, which no font changes; its rect
  // covers that size at the reference base units. Zero for other kinds.
  PixelSize picture_pixels;
};

// The client area and its font.
inline constexpr int kClientWidthDlu = 485;
inline constexpr int kClientHeightDlu = 370;
inline constexpr std::string_view kWindowFont = "Courier New";
inline constexpr int kWindowFontPoints = 9;
// The verdict line below the result picture: bold, in the window's font.
inline constexpr int kVerdictPoints = 12;
// A caption that does not fit its control at its size (an adapter box's
// "KM62058 (Local Area Connection 12)", a long verdict) is shown a point
// smaller, and smaller again, down to this size.
inline constexpr int kSmallestFittedPoints = 6;

// The largest size from `points` down to kSmallestFittedPoints at which
// `width_at(size)` (the text's width in pixels) is at most `room` pixels;
// kSmallestFittedPoints when none is.
template <typename WidthAt>
int FittedPoints(int points, int room, WidthAt width_at) {
  while (points > kSmallestFittedPoints && width_at(points) > room) --points;
  return points;
}
// The controls whose captions are fitted so: the adapter boxes, whose
// captions a scan sets, and the verdict line.
constexpr bool HasFittedCaption(ControlId id) {
  return id == ControlId::kVerdictLabel ||
         (id >= ControlId::kAdapter1 && id <= ControlId::kAdapter6);
}

// "Device Sel." entries: kDeviceSelEntries of model/device_sel.h.

// The entries of both "Increase by" lists.
inline constexpr std::array<std::string_view, 10> kIncrementEntries = {
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

// "Preview" has a place of its own in the EEPROM layouts; the eFuse layouts
// hide "Load SROM" and move "Preview" into its place.
inline constexpr DluPoint kPreviewEepromPosition = {365, 225};
inline constexpr DluPoint kPreviewEfusePosition = {365, 207};

// The control's entry; every ControlId below kCount has one.
const ControlLayout& LayoutOf(ControlId id);

// The window as its template creates it, before start-up: "Disable
// Setting", "Default" and the caution picture hidden; the derived power
// boxes and the adapter boxes disabled. Every other control is shown and
// enabled.
bool StartsHidden(ControlId id);
bool StartsDisabled(ControlId id);

// Every entry, in ControlId order.
std::span<const ControlLayout> AllLayouts();

// The font's average character width and height in pixels, as the dialog
// manager measures them.
struct BaseUnits {
  int horizontal = 0;
  int vertical = 0;
};

inline constexpr BaseUnits kReferenceBaseUnits = {7, 14};

// The letters whose width gives the horizontal base unit.
inline constexpr std::string_view kBaseUnitLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The base units as the dialog manager measures them: the average width of
// kBaseUnitLetters (`letters_width` pixels for all 52), rounded up to whole
// pixels, and the font's height.
constexpr BaseUnits BaseUnitsOf(int letters_width, int font_height) {
  return {(letters_width / 26 + 1) / 2, font_height};
}

// number * numerator / denominator, rounded to the nearest whole number,
// halves away from zero, as the Win32 dialog manager rounds; -1 for a zero
// denominator.
constexpr int MulDivRounded(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  long long product = static_cast<long long>(number) * numerator;
  long long divisor = denominator;
  if (divisor < 0) {
    product = -product;
    divisor = -divisor;
  }
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor
                                       : -((-product + half) / divisor));
}

constexpr int DluToPixelsX(int x, BaseUnits base) {
  return MulDivRounded(x, base.horizontal, 4);
}
constexpr int DluToPixelsY(int y, BaseUnits base) {
  return MulDivRounded(y, base.vertical, 8);
}

// Each of x, y, width and height converted on its own, as the dialog
// manager places a control.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const PixelRect&,
                                   const PixelRect&) = default;
};

constexpr PixelRect DluToPixels(const DluRect& rect, BaseUnits base) {
  return {DluToPixelsX(rect.x, base), DluToPixelsY(rect.y, base),
          DluToPixelsX(rect.width, base), DluToPixelsY(rect.height, base)};
}

}  // namespace srom
