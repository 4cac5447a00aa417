// The main window on Win32: a dialog built in memory, its controls created
// from the layout table (win32_controls.h), and the View the window logic
// drives. It holds no rules: every edit, focus loss, click, pick, key and
// timer tick goes to the logic by ControlId, which decides what it means.
//
// win32_view.cpp carries out the View's calls; win32_view_messages.cpp takes
// the window's messages to the logic (the dialog procedure, the boxes'
// subclass procedure, the key filter and the message loops).
//
// The thread that constructs the view is the window thread. Every View call
// may come from another thread; it is then carried out on the window thread
// (a SendMessage of kRunTaskMessage) while the caller waits.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "ui/control_id.h"
#include "ui/layout.h"
#include "ui/picture_ids.h"
#include "ui/view.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_fonts.h"
#include "ui/win32/win32_pictures.h"
#include "ui/win32/windows_api.h"

namespace srom {

class CKM62058_SromDlg;

class Win32View : public View {
 public:
  // A task for the window thread: lParam points to a std::function<void()>
  // that the window procedure runs; the sender waits for it.
  static constexpr UINT kRunTaskMessage = WM_USER + 5;
  // A posted task: lParam owns a new std::function<void()>.
  static constexpr UINT kPostedTaskMessage = WM_USER + 6;
  // The system menu's About entry.
  static constexpr UINT kAboutCommand = 0x0010;

  // Creates the window, hidden; hwnd() is null when the system refused it.
  Win32View();
  ~Win32View() override;
  Win32View(const Win32View&) = delete;
  Win32View& operator=(const Win32View&) = delete;

  // The logic every report goes to; set once, before the window is shown.
  void set_logic(CKM62058_SromDlg* logic) { logic_ = logic; }
  // Called once, on the window thread, when the window first paints.
  void set_first_paint_hook(std::function<void()> hook) {
    first_paint_hook_ = std::move(hook);
  }

  HWND hwnd() const { return hwnd_; }
  HWND control(ControlId id) const { return controls_[Index(id)]; }
  // The font's base units the dialog units were turned into pixels with.
  BaseUnits base_units() const { return base_; }
  // A loaded picture as the window shows it; null before LoadPictures.
  HBITMAP picture(PictureId id) const { return pictures_.get(id); }
  // Open message boxes and dialogs.
  int modal_depth() const { return modal_depth_; }
  bool closed() const { return closed_; }

  void Show();
  // Serves the window until it is closed (CloseWindow).
  void RunMessageLoop();

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

 private:
  static int Index(ControlId id) { return static_cast<int>(id); }

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  static LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wparam,
                                  LPARAM lparam);
  // The box's own window procedure.
  LRESULT BoxDefault(HWND box, ControlId id, UINT message, WPARAM wparam,
                     LPARAM lparam);
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnBoxMessage(HWND box, ControlId id, UINT message, WPARAM wparam,
                       LPARAM lparam);
  void OnCommand(int item, int code);
  // Puts the view's procedure under every edit box's own.
  void SubclassBoxes();

  std::optional<ControlId> IdOf(HWND hwnd) const;
  std::optional<ControlId> FocusedControl() const;
  // Escape and Enter for any control go to the logic before the control or
  // the dialog manager sees them; true when the message is used up.
  bool PreTranslate(MSG& msg);
  void Dispatch(MSG& msg);
  // The box's text as the program puts it there: no edit is reported.
  void PutBoxText(HWND box, const std::wstring& text);
  // Stops drawing the window until the window thread is back in its message
  // loop, or a box or dialog opens, and then draws it whole, once.
  void HoldDrawing();
  void ReleaseDrawing();

  // Runs `f` on the window thread, waiting for it from any other thread.
  template <typename F>
  auto OnWindow(F f) -> decltype(f());
  // A modal box or dialog is open while this lives.
  struct Modal;

  CKM62058_SromDlg* logic_ = nullptr;
  HWND hwnd_ = nullptr;
  DWORD thread_id_ = 0;
  BaseUnits base_ = kReferenceBaseUnits;
  Win32Controls controls_{};
  // The edit boxes' own window procedures, under the view's.
  std::array<WNDPROC, kControlCount> box_procs_{};
  AppIcons icons_;
  Win32Pictures pictures_;
  WindowFonts fonts_;
  bool verdict_passed_ = false;
  // The output box's text as it was set, line ends and all.
  std::string output_text_;
  // The edit box that has the focus, as its own WM_SETFOCUS said.
  HWND focused_box_ = nullptr;
  // The control the logic gave the focus to before the window was shown.
  std::optional<ControlId> pending_focus_;
  int putting_text_ = 0;
  std::atomic<int> modal_depth_{0};
  std::atomic<bool> closed_{false};
  bool painted_ = false;
  // Show has run (the window's own visibility goes while drawing is held).
  bool shown_ = false;
  bool drawing_held_ = false;
  std::function<void()> first_paint_hook_;
};

}  // namespace srom
