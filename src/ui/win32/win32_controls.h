// The main window's controls on Win32, built from the layout table: the
// window's dialog template, the standard control class and styles of each
// kind, the font's base units and every control placed in pixels. Nothing
// here routes a message; the view subclasses the boxes it needs to hear.
#pragma once

#include <array>
#include <optional>

#include "ui/control_id.h"
#include "ui/layout.h"
#include "ui/win32/win32_dialogs.h"
#include "ui/win32/windows_api.h"

namespace srom {

// The window's first template, without controls: the main window and an
// empty dialog to compare it with are made from the same one.
DialogTemplate MainWindowTemplate();

// A control's dialog item number, for GetDlgItem, and the control of an
// item number (none for the dialog manager's IDOK and IDCANCEL, or any
// number that is no control's).
int ItemIdOf(ControlId id);
std::optional<ControlId> ControlOfItem(int item);

// The base units of the dialog's font as the dialog manager measures them:
// the average width of the letters, rounded up to whole pixels, and the
// font's height. The reference units when the font cannot be measured.
BaseUnits MeasureBaseUnits(HWND dialog);

// Sizes the dialog so that its client area is the layout's in `base`, and
// centres it on the screen.
void FitToLayout(HWND dialog, BaseUnits base);

// Every control of the layout table as a child of `dialog`, frames first so
// that the controls drawn in them lie above, each in the template's starting
// state (hidden, disabled). A control the system refused is null.
using Win32Controls = std::array<HWND, kControlCount>;
Win32Controls BuildControls(HWND dialog, BaseUnits base);

}  // namespace srom
