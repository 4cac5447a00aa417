#include "fake_view.h"

#include <chrono>
#include <future>

#include "recording_reporter.h"

namespace srom {
namespace {

const char* SmallPictureName(AdapterPictureKind p) {
  switch (p) {
    case AdapterPictureKind::kPass:
      return "pass";
    case AdapterPictureKind::kFail:
      return "fail";
    case AdapterPictureKind::kBlank:
      return "blank";
    case AdapterPictureKind::kBusy:
      return "busy";
  }
  return "?";
}

}  // namespace

FakeView::FakeView() : window_thread_(std::this_thread::get_id()) {}

bool FakeView::OnWindowThread() const {
  return std::this_thread::get_id() == window_thread_;
}

template <typename F>
auto FakeView::OnWindow(F f) -> decltype(f()) {
  if (OnWindowThread()) return f();
  std::packaged_task<decltype(f())()> task(std::move(f));
  auto result = task.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back([&task] { task(); });
  }
  queued_.notify_all();
  return result.get();
}

void FakeView::RunOnWindowThread(const std::function<void()>& task) {
  OnWindow([&task] { task(); });
}

void FakeView::ServeUntil(const std::function<bool()>& done) {
  PumpUntil(done, 3600 * 1000);
}

void FakeView::PostToWindowThread(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  queued_.notify_all();
}

bool FakeView::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (queue_.empty()) {
        if (done()) return true;
        if (queued_.wait_until(lock, deadline) == std::cv_status::timeout &&
            queue_.empty()) {
          return done();
        }
        continue;
      }
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

std::string FakeView::Text(ControlId id) {
  return OnWindow([&] { return State(id).text; });
}
void FakeView::SetText(ControlId id, const std::string& text) {
  OnWindow([&] { State(id).text = text; });
}
bool FakeView::Checked(ControlId id) {
  return OnWindow([&] { return State(id).checked; });
}
void FakeView::SetChecked(ControlId id, bool checked) {
  OnWindow([&] { State(id).checked = checked; });
}
bool FakeView::Enabled(ControlId id) {
  return OnWindow([&] { return State(id).enabled; });
}
void FakeView::SetEnabled(ControlId id, bool enabled) {
  OnWindow([&] { State(id).enabled = enabled; });
}
bool FakeView::Visible(ControlId id) {
  return OnWindow([&] { return State(id).visible; });
}
void FakeView::SetVisible(ControlId id, bool visible) {
  OnWindow([&] { State(id).visible = visible; });
}
int FakeView::ListIndex(ControlId id) {
  return OnWindow([&] { return State(id).list_index; });
}
void FakeView::SetListIndex(ControlId id, int index) {
  OnWindow([&] { State(id).list_index = index; });
}
void FakeView::SetLimit(ControlId id, int characters) {
  OnWindow([&] { State(id).limit = characters; });
}
void FakeView::PlaceAt(ControlId id, ControlId place) {
  OnWindow([&] { State(id).place = place == id ? ControlId::kCount : place; });
}
void FakeView::Focus(ControlId id) {
  OnWindow([&] { Record("focus: " + std::string(ControlName(id))); });
}
void FakeView::SelectAll(ControlId id) {
  OnWindow([&] { Record("select all: " + std::string(ControlName(id))); });
}
void FakeView::SetTitle(const std::string& title) {
  OnWindow([&] { title_ = title; });
}
void FakeView::SetFontPoints(ControlId id, int points) {
  OnWindow([&] { State(id).font_points = points; });
}
void FakeView::MessageBox(const std::string& text) {
  if (!OnWindowThread()) ++off_thread_messages_;
  OnWindow([&] {
    Record("message: " + text);
    if (while_message_box_open) while_message_box_open(text);
  });
}
bool FakeView::AskOkCancel(const std::string& caption, const std::string&,
                           BoxIcon) {
  return OnWindow([&] {
    Record("ask: " + caption);
    if (ok_cancel_answers.empty()) return true;
    const bool answer = ok_cancel_answers.front();
    ok_cancel_answers.pop_front();
    return answer;
  });
}
void FakeView::SetResultPicture(ResultPicture picture) {
  OnWindow([&] {
    result_ = picture;
    Record(std::string("result: ") + ResultPictureName(picture));
  });
}
void FakeView::SetAdapterPicture(int index, AdapterPictureKind picture) {
  OnWindow([&] {
    Record("adapter " + std::to_string(index) + ": " +
           SmallPictureName(picture));
  });
}
void FakeView::SetProgress(int percent) {
  OnWindow([&] { Record("progress: " + std::to_string(percent)); });
}
void FakeView::ShowVerdict(const std::string& text, bool passed) {
  OnWindow([&] {
    State(ControlId::kVerdictLabel).text = text;
    Record(text.empty() ? std::string("verdict: none")
                        : std::string("verdict: ") + text +
                              (passed ? " (pass)" : " (fail)"));
  });
}
std::optional<std::string> FakeView::OpenFileDialog(const std::string&,
                                                    const std::string& folder) {
  return OnWindow([&]() -> std::optional<std::string> {
    Record("open file dialog in " + folder);
    if (file_answers.empty()) return std::nullopt;
    auto answer = file_answers.front();
    file_answers.pop_front();
    return answer;
  });
}
int FakeView::SerialNoTypeDialog() {
  return OnWindow([&] {
    Record("serial no. type dialog");
    if (serial_type_answers.empty()) return 0;
    const int answer = serial_type_answers.front();
    serial_type_answers.pop_front();
    return answer;
  });
}
void FakeView::AboutBox() {
  OnWindow([&] { Record("about box"); });
}
void FakeView::LoadPictures() {
  OnWindow([&] { Record("pictures loaded"); });
}
void FakeView::StartTimer(int timer, int milliseconds) {
  OnWindow([&] {
    Record("timer " + std::to_string(timer) + " start " +
           std::to_string(milliseconds));
  });
}
void FakeView::StopTimer(int timer) {
  OnWindow([&] { Record("timer " + std::to_string(timer) + " stop"); });
}
void FakeView::CloseWindow() {
  OnWindow([&] {
    closed_ = true;
    Record("closed");
  });
}

std::vector<std::string> FakeView::messages() const {
  return MessagesOf(events_);
}

}  // namespace srom
