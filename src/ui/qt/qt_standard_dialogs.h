// Qt's own message boxes and file dialog as the window opens them, each
// modal over `parent` until the operator answers it. The window keeps count
// of what it has open; these only show them.
#pragma once

#include <optional>
#include <string>

#include "ui/view.h"

class QWidget;

namespace srom {

// A warning with an OK button, titled kMessageBoxTitle.
void RunWarningBox(QWidget* parent, const std::string& text);

// A question with OK and Cancel, Cancel the default (Enter answers it); true
// for OK.
bool RunOkCancelBox(QWidget* parent, const std::string& caption,
                    const std::string& text, BoxIcon icon);

// The file to open, read-only, starting in `folder`; none when the operator
// cancels. `filter` is "display|pattern|...".
std::optional<std::string> RunOpenFileDialog(QWidget* parent,
                                             const std::string& filter,
                                             const std::string& folder);

}  // namespace srom
