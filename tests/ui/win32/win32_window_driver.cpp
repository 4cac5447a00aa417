#include "win32_window_driver.h"

#include <gtest/gtest.h>

#include "ui/win32/win32_text.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif

namespace srom::test {

using namespace std::chrono_literals;

std::string TextOfWindow(HWND hwnd) {
  wchar_t text[4096] = {};
  GetWindowTextW(hwnd, text, 4096);
  return Utf8(text);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::vector<HWND> VisibleDialogsOf(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM list) -> BOOL {
        if (IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The window as srom-tool.exe assembles it, on its own thread.
void Win32WindowDriver::Start() {
  window_thread_ = std::thread([this] { RunWindow(); });
  ASSERT_TRUE(WaitFor([this] { return started_.load(); }));
  ASSERT_NE(main_.load(), nullptr)
      << "no window: is wine's display driver set?";
  ASSERT_TRUE(init_ok_);
  hwnd_ = main_;
  Settle();
  boxes_.clear();
}

Win32WindowDriver::~Win32WindowDriver() {
  if (!window_thread_.joinable()) return;
  if (!ended_ && hwnd_ != nullptr) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  answering_ = true;
  WaitFor([this] { return ended_.load(); });
  window_thread_.join();
}

void Win32WindowDriver::RunWindow() {
  window_thread_id_ = GetCurrentThreadId();
  view_ = std::make_unique<Win32View>();
  main_ = view_->hwnd();
  if (main_ != nullptr) {
    dlg_ = std::make_unique<CKM62058_SromDlg>(*view_, adapter_, clock_,
                                              FileFolders{dir_, dir_});
    view_->set_logic(dlg_.get());
    LedgerOpener ledger;
#ifdef SROM_HAVE_SQLITE_LEDGER
    ledger = OpenStationLedger;
#endif
    init_ok_ = dlg_->OnInitDialog(ledger);
    if (init_ok_) view_->Show();
  }
  started_ = true;
  if (init_ok_) view_->RunMessageLoop();
  dlg_.reset();
  view_.reset();
  ended_ = true;
}

void Win32WindowDriver::AnswerBoxes() {
  std::erase_if(answered_, [](HWND box) { return !IsWindow(box); });
  for (HWND box : VisibleDialogsOf(window_thread_id_)) {
    HWND text = GetDlgItem(box, kMessageBoxTextItem);
    if (text == nullptr) continue;                // not a message box
    if (!answered_.insert(box).second) continue;  // closing already
    boxes_.push_back({TextOfWindow(box), TextOfWindow(text)});
    Close(box);
  }
}

void Win32WindowDriver::ServeAWhile() {
  if (answering_) AnswerBoxes();
  Sleep(2);
}

void Win32WindowDriver::Settle() {
  for (int round = 0; round < 1000; ++round) {
    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto quiet = std::make_shared<std::atomic<bool>>(false);
    Win32View* view = view_.get();
    view->PostToWindowThread([ran, quiet, view] {
      *quiet = view->modal_depth() == 0;
      *ran = true;
    });
    ASSERT_TRUE(WaitFor([&ran] { return ran->load(); }))
        << "the window thread did not serve a posted task; " << OpenWindows();
    if (*quiet) return;
  }
  FAIL() << "the window never came back to its message loop";
}

std::string Win32WindowDriver::OpenWindows() const {
  DWORD_PTR ignored = 0;
  const bool answers = SendMessageTimeoutW(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL,
                                           1000, &ignored) != 0;
  std::string list =
      std::string(answers ? "it answers" : "it does not answer") +
      " a sent message; modal depth " + std::to_string(view_->modal_depth()) +
      "; windows:";
  EnumThreadWindows(
      window_thread_id_,
      [](HWND hwnd, LPARAM text) -> BOOL {
        if (IsWindowVisible(hwnd)) {
          *reinterpret_cast<std::string*>(text) +=
              " \"" + TextOfWindow(hwnd) + "\" (" + Utf8(ClassOf(hwnd)) + ")";
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&list));
  return list;
}

void Win32WindowDriver::MoveFocusTo(HWND control) {
  PostMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void Win32WindowDriver::Type(ControlId box, const std::string& keys) {
  MoveFocusTo(Item(box));
  Settle();
  HWND edit = Item(box);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (char c : keys) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
}

// Tab takes the focus to the window's next tab stop.
void Win32WindowDriver::LeaveBox(ControlId box) {
  HWND next = GetNextDlgTabItem(hwnd_, Item(box), FALSE);
  ASSERT_NE(next, nullptr);
  ASSERT_NE(next, Item(box)) << ControlName(box) << " is the only tab stop";
  MoveFocusTo(next);
}

void Win32WindowDriver::Click(ControlId button) {
  PostMessageW(Item(button), BM_CLICK, 0, 0);
}

// A pick from the list as the operator makes it: the entry selected, and
// the notification the list sends for that.
void Win32WindowDriver::Pick(ControlId list, int index) {
  SendMessageW(Item(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(ItemIdOf(list), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Item(list)));
  Settle();
}

void Win32WindowDriver::CloseWindow() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

std::string Win32WindowDriver::Text(ControlId id) { return TextOf(id); }

std::string Win32WindowDriver::Title() { return TextOfWindow(hwnd_); }

bool Win32WindowDriver::Enabled(ControlId id) {
  return IsWindowEnabled(Item(id)) != FALSE;
}

bool Win32WindowDriver::Visible(ControlId id) {
  return IsWindowVisible(Item(id)) != FALSE;
}

std::pair<int, int> Win32WindowDriver::PictureSize(ControlId id) {
  const auto shown = reinterpret_cast<HBITMAP>(
      SendMessageW(Item(id), STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP bitmap{};
  if (shown == nullptr || GetObjectW(shown, sizeof bitmap, &bitmap) == 0) {
    return {0, 0};
  }
  return {bitmap.bmWidth, bitmap.bmHeight};
}

bool Win32WindowDriver::Shown() {
  return IsWindow(hwnd_) && IsWindowVisible(hwnd_);
}

// The window's message loop ends once it has closed, and the window goes.
bool Win32WindowDriver::Closed() { return ended_ && !IsWindow(hwnd_); }

std::vector<std::string> Win32WindowDriver::OpenDialogs() {
  std::vector<std::string> titles;
  for (HWND w : VisibleDialogsOf(window_thread_id_)) {
    if (w != hwnd_) titles.push_back(TextOfWindow(w));
  }
  return titles;
}

bool Win32WindowDriver::JobRunning() {
  return !ended_ && dlg_ != nullptr && dlg_->job_running();
}

bool Win32WindowDriver::DestroyLogic() {
  struct State {
    std::atomic<bool> was_running{false};
    std::atomic<bool> destroyed{false};
  };
  auto state = std::make_shared<State>();
  view_->PostToWindowThread([this, state] {
    state->was_running = dlg_->job_running();
    view_->set_logic(nullptr);
    dlg_.reset();  // waits for the job, which needs the window thread
    state->destroyed = true;
  });
  EXPECT_TRUE(WaitFor([&state] { return state->destroyed.load(); }))
      << "the logic was not destroyed; " << OpenWindows();
  return state->was_running;
}

HWND Win32WindowDriver::WaitForDialog(const std::string& title) {
  HWND found = nullptr;
  WaitFor([&] {
    for (HWND w : VisibleDialogsOf(window_thread_id_)) {
      if (TextOfWindow(w) == title) found = w;
    }
    return found != nullptr;
  });
  return found;
}

RECT Win32WindowDriver::ClientRectOf(ControlId id) const {
  RECT r{};
  GetWindowRect(Item(id), &r);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace srom::test
