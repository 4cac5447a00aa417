// A view for tests: a table of control states, a recording of everything
// the operator would have seen, in order, and scripted answers for the boxes
// and dialogs that ask. The thread that creates it plays the window thread:
// calls from any other thread are queued for it, and the test serves them
// with PumpUntil, exactly as a real window's event loop would.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/view.h"

namespace srom {

class FakeView : public View {
 public:
  struct ControlState {
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    int list_index = -1;
    int limit = 0;
    // The control whose place in the layout it stands in (its own at
    // first: kCount).
    ControlId place = ControlId::kCount;
    int font_points = 0;  // 0: the window's font
  };

  FakeView();

  // View.
  std::string Text(ControlId id) override;
  void SetText(ControlId id, const std::string& text) override;
  bool Checked(ControlId id) override;
  void SetChecked(ControlId id, bool checked) override;
  bool Enabled(ControlId id) override;
  void SetEnabled(ControlId id, bool enabled) override;
  bool Visible(ControlId id) override;
  void SetVisible(ControlId id, bool visible) override;
  int ListIndex(ControlId id) override;
  void SetListIndex(ControlId id, int index) override;
  void SetLimit(ControlId id, int characters) override;
  void PlaceAt(ControlId id, ControlId place) override;
  void Focus(ControlId id) override;
  void SelectAll(ControlId id) override;
  void SetTitle(const std::string& title) override;
  void SetFontPoints(ControlId id, int points) override;
  void MessageBox(const std::string& text) override;
  bool AskOkCancel(const std::string& caption, const std::string& text,
                   BoxIcon icon) override;
  void SetResultPicture(ResultPicture picture) override;
  void SetAdapterPicture(int index, AdapterPictureKind picture) override;
  void SetProgress(int percent) override;
  void ShowVerdict(const std::string& text, bool passed) override;
  std::optional<std::string> OpenFileDialog(const std::string& filter,
                                            const std::string& folder) override;
  int SerialNoTypeDialog() override;
  void AboutBox() override;
  void LoadPictures() override;
  void StartTimer(int timer, int milliseconds) override;
  void StopTimer(int timer) override;
  void RunOnWindowThread(const std::function<void()>& task) override;
  void ServeUntil(const std::function<bool()>& done) override;
  void PostToWindowThread(std::function<void()> task) override;
  void CloseWindow() override;

  // Test side, on the window thread.
  // Serves queued calls until `done` holds; false after `timeout_ms`.
  bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 20000);
  ControlState& State(ControlId id) { return controls_[Index(id)]; }
  // Everything shown, in order: "message: ...", "ask: caption", "result:
  // pass", "adapter 0: blank", "progress: 0", "focus: kCurrentMac", ...
  const std::vector<std::string>& events() const { return events_; }
  std::vector<std::string> messages() const;
  void ClearEvents() { events_.clear(); }
  ResultPicture result_picture() const { return result_; }
  bool closed() const { return closed_; }
  std::string title() const { return title_; }
  // Scripted answers, taken in order; with none left: OK, no file, 0.
  std::deque<bool> ok_cancel_answers;
  std::deque<std::optional<std::string>> file_answers;
  std::deque<int> serial_type_answers;
  // Runs on the window thread while a message box is open, as the events a
  // real box's own event loop serves would (a click, a timer).
  std::function<void(const std::string& text)> while_message_box_open;
  // Message boxes seen on a thread other than the window thread.
  int messages_off_window_thread() const { return off_thread_messages_; }

 private:
  static int Index(ControlId id) { return static_cast<int>(id); }
  bool OnWindowThread() const;
  void Record(std::string event) { events_.push_back(std::move(event)); }
  // Runs `f` on the window thread, waiting for it from any other.
  template <typename F>
  auto OnWindow(F f) -> decltype(f());

  std::thread::id window_thread_;
  std::array<ControlState, kControlCount> controls_;
  std::vector<std::string> events_;
  ResultPicture result_ = ResultPicture::kNone;
  std::string title_;
  bool closed_ = false;
  std::atomic<int> off_thread_messages_{0};

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace srom
