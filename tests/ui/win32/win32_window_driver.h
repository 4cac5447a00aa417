// The real Win32 window under wine's null display driver: the view and the
// window logic live on a window thread of their own with its message loop,
// and the test thread drives the window as another program would, with
// SendMessage and PostMessage, and reads it back through the Win32 API.
// Message boxes are found among the window thread's windows, read and
// answered OK.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_folder.h"
#include "ui/control_id.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_view.h"
#include "window_driver.h"

namespace srom::test {

// The static control that holds a message box's text.
inline constexpr int kMessageBoxTextItem = 0xFFFF;

std::string TextOfWindow(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
// The window's dialogs and message boxes open on the window thread.
std::vector<HWND> VisibleDialogsOf(DWORD thread);

class Win32WindowDriver : public WindowDriver {
 public:
  Win32WindowDriver() = default;
  ~Win32WindowDriver() override;

  void Start() override;
  void Type(ControlId box, const std::string& keys) override;
  void LeaveBox(ControlId box) override;
  void Click(ControlId button) override;
  void Pick(ControlId list, int index) override;
  void CloseWindow() override;
  std::string Text(ControlId id) override;
  std::string Title() override;
  bool Enabled(ControlId id) override;
  bool Visible(ControlId id) override;
  std::pair<int, int> PictureSize(ControlId id) override;
  bool Shown() override;
  bool Closed() override;
  std::vector<std::string> OpenDialogs() override;
  bool JobRunning() override;
  bool DestroyLogic() override;
  // Waits until the window thread has handled everything posted to it so
  // far and is back in its message loop with no box open.
  void Settle() override;

 protected:
  void ServeAWhile() override;

  void RunWindow();
  HWND Item(ControlId id) const { return GetDlgItem(hwnd_, ItemIdOf(id)); }
  std::string TextOf(ControlId id) const { return TextOfWindow(Item(id)); }
  // Reads and closes every open message box, as the operator would with OK.
  void AnswerBoxes();
  // Closes a box or dialog with OK as a click would: posted. A dialog ended
  // from a sent message drops the posted message its loop has just taken.
  static void Close(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }
  // The window thread's state and visible windows, for a failure's message.
  std::string OpenWindows() const;
  void MoveFocusTo(HWND control);
  HWND WaitForDialog(const std::string& title);
  RECT ClientRectOf(ControlId id) const;

  TempFolder folder_;
  const std::filesystem::path dir_ = folder_.path();
  std::unique_ptr<Win32View> view_;
  std::unique_ptr<CKM62058_SromDlg> dlg_;
  std::thread window_thread_;
  std::atomic<DWORD> window_thread_id_{0};
  std::atomic<HWND> main_{nullptr};
  std::atomic<bool> started_{false};
  std::atomic<bool> ended_{false};
  bool init_ok_ = false;
  HWND hwnd_ = nullptr;
  // Open message boxes are answered while the driver waits.
  bool answering_ = true;
  std::set<HWND> answered_;
};

}  // namespace srom::test
