// The main window's controls on Qt, built from the layout table: the widget
// of each kind, placed in pixels from the font's base units. Nothing here
// connects a widget to the logic; the view does that.
#pragma once

#include <array>

#include "ui/control_id.h"
#include "ui/layout.h"

class QStyle;
class QWidget;

namespace srom {

// Every control of the layout table as a child of `window`, frames first so
// that the controls drawn in them lie above, each named for its ControlId
// and in the template's starting state (hidden, disabled). The check boxes
// and radio buttons get `check_style`.
using QtControls = std::array<QWidget*, kControlCount>;
QtControls BuildControls(QWidget* window, BaseUnits base, QStyle* check_style);

}  // namespace srom
