// The main window as the window logic sees it: controls addressed by
// ControlId, the operator outputs, the dialogs and the two timers. The logic
// owns every rule and all state; a view only shows and reports.
//
// Every call may come from a worker thread. A view then carries it out on
// the window thread and returns only when it is done (a message box returns
// once the operator has closed it).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ops/operator_panel.h"
#include "ports/reporter.h"
#include "ui/control_id.h"

namespace srom {

enum class BoxIcon { kNone, kWarning, kInformation };

class View {
 public:
  virtual ~View() = default;

  // Controls.
  virtual std::string Text(ControlId id) = 0;
  virtual void SetText(ControlId id, const std::string& text) = 0;
  virtual bool Checked(ControlId id) = 0;
  virtual void SetChecked(ControlId id, bool checked) = 0;
  virtual bool Enabled(ControlId id) = 0;
  virtual void SetEnabled(ControlId id, bool enabled) = 0;
  virtual bool Visible(ControlId id) = 0;
  virtual void SetVisible(ControlId id, bool visible) = 0;
  virtual int ListIndex(ControlId id) = 0;  // -1: no entry selected
  virtual void SetListIndex(ControlId id, int index) = 0;
  virtual void SetLimit(ControlId id, int characters) = 0;
  // Moves `id` to where `place` stands in the window's layout (its own
  // place when the two are the same); its size does not change.
  virtual void PlaceAt(ControlId id, ControlId place) = 0;
  virtual void Focus(ControlId id) = 0;
  virtual void SelectAll(ControlId id) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // The control's text in the window's font at `points` points.
  virtual void SetFontPoints(ControlId id, int points) = 0;

  // Operator outputs.
  virtual void MessageBox(const std::string& text) = 0;
  // True for OK. Cancel is the default button: an Enter typed by a
  // bar-code scanner, or by a hand that meant another box, never confirms.
  virtual bool AskOkCancel(const std::string& caption, const std::string& text,
                           BoxIcon icon) = 0;
  virtual void SetResultPicture(ResultPicture picture) = 0;
  virtual void SetAdapterPicture(int index, AdapterPictureKind picture) = 0;
  virtual void SetProgress(int percent) = 0;
  // The verdict line below the result picture, in large bold letters, green
  // for a pass and red for a failure; empty clears it.
  virtual void ShowVerdict(const std::string& text, bool passed) = 0;

  // Dialogs: a path, or nothing when cancelled, chosen starting in `folder`
  // (UTF-8, the station's); the "Serial No. Type" choice (0 or 1); the About
  // box.
  virtual std::optional<std::string> OpenFileDialog(
      const std::string& filter, const std::string& folder) = 0;
  virtual int SerialNoTypeDialog() = 0;
  virtual void AboutBox() = 0;

  // Loads the window's eight pictures once, each with its top-left colour
  // made the window colour (all but the small fail picture), and puts the
  // caution picture into its control.
  virtual void LoadPictures() = 0;

  // Timers 1 (500 ms) and 2 (1000 ms); the view calls OnTimer back.
  virtual void StartTimer(int timer, int milliseconds) = 0;
  virtual void StopTimer(int timer) = 0;

  // Runs `task` on the window thread and waits for it; runs it at once when
  // called there. The window logic's data exchange goes through it.
  virtual void RunOnWindowThread(const std::function<void()>& task) = 0;
  // On the window thread: serves the window's events and the calls of other
  // threads until `done` holds. The window thread waits for a worker only
  // this way, since the worker may be waiting for it.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;
  // Queues `task` for the window thread and returns at once.
  virtual void PostToWindowThread(std::function<void()> task) = 0;
  // Closes the window; the view then ends the run.
  virtual void CloseWindow() = 0;
};

}  // namespace srom
