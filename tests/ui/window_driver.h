// What an operator does at a real window and what the operator sees there,
// the same for the Qt window and the Win32 one: boxes typed into, buttons
// clicked, list entries picked, the controls and message boxes read. Every
// message box that opens is read and answered OK. The window runs on a
// simulated adapter, a fake clock and a fresh station folder, which a test
// reaches through the driver.
#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "device/sim/simulated_adapter.h"
#include "support/fake_clock.h"
#include "ui/control_id.h"

namespace srom::test {

// A message box as the operator saw it before answering it.
struct ShownBox {
  std::string title;
  std::string text;
  bool operator==(const ShownBox&) const = default;
};
inline void PrintTo(const ShownBox& box, std::ostream* out) {
  *out << '"' << box.title << "\": \"" << box.text << '"';
}

class WindowDriver {
 public:
  virtual ~WindowDriver() = default;

  // Opens the window, shown and idle; fails the test when it cannot.
  virtual void Start() = 0;

  // Puts the focus into the box and types `keys` over its whole text.
  virtual void Type(ControlId box, const std::string& keys) = 0;
  // Moves the focus out of the box to the next control, as Tab does.
  virtual void LeaveBox(ControlId box) = 0;
  virtual void Click(ControlId button) = 0;
  // Picks the list's entry and waits until the window is idle.
  virtual void Pick(ControlId list, int index) = 0;
  // Closes the window as its title bar's close box does.
  virtual void CloseWindow() = 0;

  // The control's text: a box's, a button's caption, a label's.
  virtual std::string Text(ControlId id) = 0;
  virtual std::string Title() = 0;
  virtual bool Enabled(ControlId id) = 0;
  virtual bool Visible(ControlId id) = 0;
  // Width and height of the picture the control shows; zero for none.
  virtual std::pair<int, int> PictureSize(ControlId id) = 0;
  // The window is on the screen.
  virtual bool Shown() = 0;
  // The window has closed and its run has ended.
  virtual bool Closed() = 0;
  // Titles of the dialogs and boxes open besides the window.
  virtual std::vector<std::string> OpenDialogs() = 0;
  virtual bool JobRunning() = 0;

  // Destroys the window logic on the window thread, as the program's end
  // does; whether a job was running when that began.
  virtual bool DestroyLogic() = 0;

  // Waits until the window has handled everything it was given so far and
  // no box is open.
  virtual void Settle() = 0;
  // Serves the window (and answers its boxes) until `done` holds; false
  // once `limit` has passed first.
  bool WaitFor(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      ServeAWhile();
    }
    return true;
  }

  // The message boxes shown so far, answered OK.
  const std::vector<ShownBox>& boxes() const { return boxes_; }
  void ForgetBoxes() { boxes_.clear(); }

  SimulatedAdapter& adapter() { return adapter_; }
  FakeClock& clock() { return clock_; }

 protected:
  // A few milliseconds of the window's life, its open boxes answered.
  virtual void ServeAWhile() = 0;

  SimulatedAdapter adapter_{256};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
  std::vector<ShownBox> boxes_;
};

}  // namespace srom::test
