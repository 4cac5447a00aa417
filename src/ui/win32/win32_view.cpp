#include "ui/win32/win32_view.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <type_traits>
#include <utility>

#include "ui/box_rules.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

UINT IconStyle(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kWarning:
      return MB_ICONWARNING;
    case BoxIcon::kInformation:
      return MB_ICONINFORMATION;
    case BoxIcon::kNone:
      break;
  }
  return 0;
}

}  // namespace

struct Win32View::Modal {
  // A box or dialog centres itself on a window it sees: drawing held would
  // hide the window from it.
  explicit Modal(Win32View& view) : view(view) {
    view.ReleaseDrawing();
    ++view.modal_depth_;
  }
  ~Modal() { --view.modal_depth_; }
  Win32View& view;
};

Win32View::Win32View() : thread_id_(GetCurrentThreadId()) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const DialogTemplate window = MainWindowTemplate();
  hwnd_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), window.get(),
                                     nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  fonts_.set_window(hwnd_);
  base_ = MeasureBaseUnits(hwnd_);
  FitToLayout(hwnd_, base_);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(icons_.big_icon()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(icons_.small_icon()));
  if (HMENU system = GetSystemMenu(hwnd_, FALSE)) {
    // wine's system menu offers Minimize whatever the window's style.
    DeleteMenu(system, SC_MINIMIZE, MF_BYCOMMAND);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, kAboutCommand,
                Wide(kAboutMenuEntry).c_str());
  }
  controls_ = BuildControls(hwnd_, base_);
  SubclassBoxes();
}

Win32View::~Win32View() {
  if (hwnd_ != nullptr) {
    KillTimer(hwnd_, CKM62058_SromDlg::kWatchTimer);
    KillTimer(hwnd_, CKM62058_SromDlg::kCountdownTimer);
    // Tasks posted and never served are dropped with the window.
    MSG msg;
    while (PeekMessageW(&msg, hwnd_, kPostedTaskMessage, kPostedTaskMessage,
                        PM_REMOVE)) {
      delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    }
    DestroyWindow(hwnd_);
  }
}

void Win32View::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  shown_ = true;
  // The control the logic chose while the window was hidden.
  if (pending_focus_) {
    SetFocus(control(*pending_focus_));
    pending_focus_.reset();
  }
}

template <typename F>
auto Win32View::OnWindow(F f) -> decltype(f()) {
  if (GetCurrentThreadId() == thread_id_) return f();
  using R = decltype(f());
  if constexpr (std::is_void_v<R>) {
    const std::function<void()> task = [&f] { f(); };
    SendMessageW(hwnd_, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(&task));
  } else {
    R result{};
    const std::function<void()> task = [&f, &result] { result = f(); };
    SendMessageW(hwnd_, kRunTaskMessage, 0, reinterpret_cast<LPARAM>(&task));
    return result;
  }
}

void Win32View::RunOnWindowThread(const std::function<void()>& task) {
  OnWindow([&task] { task(); });
}

void Win32View::PutBoxText(HWND box, const std::wstring& text) {
  ++putting_text_;
  SetWindowTextW(box, text.c_str());
  --putting_text_;
}

std::string Win32View::Text(ControlId id) {
  return OnWindow([&]() -> std::string {
    if (id == ControlId::kOutputBox) return output_text_;
    return WindowText(control(id));
  });
}

void Win32View::SetText(ControlId id, const std::string& text) {
  OnWindow([&] {
    HWND w = control(id);
    switch (LayoutOf(id).kind) {
      case ControlKind::kOutputBox:
        // The same listing again, as each refresh of an unchanged image
        // sets it: laying out its lines again would only cost time.
        if (text == output_text_) break;
        output_text_ = text;
        PutBoxText(w, WideWithCrLf(text));
        break;
      case ControlKind::kEditBox:
        PutBoxText(w, Wide(ShownText(id, text)));
        break;
      case ControlKind::kDropDownList:
      case ControlKind::kProgressBar:
      case ControlKind::kPicture:
        break;  // nothing of theirs is text
      default:
        SetWindowTextW(w, Wide(text).c_str());
        break;
    }
    if (HasFittedCaption(id)) {
      const bool verdict = id == ControlId::kVerdictLabel;
      fonts_.FitCaption(id, w, verdict ? kVerdictPoints : kWindowFontPoints,
                        verdict);
    }
  });
}

bool Win32View::Checked(ControlId id) {
  return OnWindow([&] {
    return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  });
}

void Win32View::SetChecked(ControlId id, bool checked) {
  OnWindow([&] {
    // Most calls confirm the state a box has; wine redraws a box on every
    // BM_SETCHECK, which made up most of the window's start-up.
    HWND box = control(id);
    if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) == checked) {
      return;
    }
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  });
}

bool Win32View::Enabled(ControlId id) {
  return OnWindow([&] { return IsWindowEnabled(control(id)) != FALSE; });
}

void Win32View::SetEnabled(ControlId id, bool enabled) {
  OnWindow([&] {
    HWND w = control(id);
    if ((IsWindowEnabled(w) != FALSE) == enabled) return;
    HoldDrawing();
    EnableWindow(w, enabled ? TRUE : FALSE);
  });
}

void Win32View::HoldDrawing() {
  // wine's controls draw themselves the moment they are enabled or
  // disabled, one round trip to the display each: the window's hundred
  // controls coming back after a job appeared one by one over a second or
  // two. The window is drawn once instead, when its thread is back in its
  // message loop.
  if (drawing_held_ || !shown_ || closed_) return;
  drawing_held_ = true;
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  PostToWindowThread([this] { ReleaseDrawing(); });
}

void Win32View::ReleaseDrawing() {
  if (!drawing_held_) return;
  drawing_held_ = false;
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(hwnd_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

bool Win32View::Visible(ControlId id) {
  // The control's own state, whether the window is shown yet or not.
  return OnWindow([&] {
    return (GetWindowLongW(control(id), GWL_STYLE) & WS_VISIBLE) != 0;
  });
}

void Win32View::SetVisible(ControlId id, bool visible) {
  OnWindow([&] {
    HWND w = control(id);
    ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
    // Shown without being activated, a control is not drawn until something
    // else paints over it (the mouse passing): it is drawn now.
    if (visible) InvalidateRect(w, nullptr, TRUE);
  });
}

int Win32View::ListIndex(ControlId id) {
  return OnWindow([&] {
    return static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0));
  });
}

void Win32View::SetListIndex(ControlId id, int index) {
  OnWindow([&] {
    SendMessageW(control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  });
}

void Win32View::SetLimit(ControlId id, int characters) {
  OnWindow([&] {
    SendMessageW(control(id), EM_SETLIMITTEXT, static_cast<WPARAM>(characters),
                 0);
  });
}

void Win32View::PlaceAt(ControlId id, ControlId place) {
  OnWindow([&] {
    HWND w = control(id);
    RECT left{};
    GetWindowRect(w, &left);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&left), 2);
    const PixelRect r = DluToPixels(LayoutOf(place).rect, base_);
    SetWindowPos(w, nullptr, r.x, r.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    // The control drawn whole at its new place, and the window where it
    // was: a move alone leaves both to the next paint of something else.
    InvalidateRect(hwnd_, &left, TRUE);
    InvalidateRect(w, nullptr, TRUE);
  });
}

void Win32View::Focus(ControlId id) {
  // The focus alone: the dialog manager's way (WM_NEXTDLGCTL) would also
  // select a box's whole text, as Tab does.
  OnWindow([&] {
    if (!shown_) {
      pending_focus_ = id;
      return;
    }
    SetFocus(control(id));
  });
}

void Win32View::SelectAll(ControlId id) {
  OnWindow([&] { SendMessageW(control(id), EM_SETSEL, 0, -1); });
}

void Win32View::SetTitle(const std::string& title) {
  OnWindow([&] { SetWindowTextW(hwnd_, Wide(title).c_str()); });
}

void Win32View::SetFontPoints(ControlId id, int points) {
  // The countdown asks for its font every second: one font a size, made
  // once.
  OnWindow([&] {
    HFONT font = fonts_.Sized(points, false);
    if (font == nullptr) return;
    SendMessageW(control(id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  });
}

void Win32View::MessageBox(const std::string& text) {
  OnWindow([&] {
    const Modal modal(*this);
    MessageBoxW(hwnd_, Wide(text).c_str(), Wide(kMessageBoxTitle).c_str(),
                MB_OK | MB_ICONWARNING);
  });
}

bool Win32View::AskOkCancel(const std::string& caption, const std::string& text,
                            BoxIcon icon) {
  return OnWindow([&] {
    const Modal modal(*this);
    return MessageBoxW(hwnd_, Wide(text).c_str(), Wide(caption).c_str(),
                       MB_OKCANCEL | MB_DEFBUTTON2 | IconStyle(icon)) == IDOK;
  });
}

void Win32View::LoadPictures() {
  OnWindow([&] {
    pictures_.Load(GetSysColor(COLOR_BTNFACE));
    SendMessageW(control(ControlId::kCautionPicture), STM_SETIMAGE,
                 IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(picture(PictureId::kCaution)));
  });
}

void Win32View::SetResultPicture(ResultPicture picture) {
  OnWindow([&] {
    const auto id = PictureFor(picture);
    SendMessageW(control(ControlId::kResultPicture), STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(id ? this->picture(*id) : nullptr));
  });
}

void Win32View::SetAdapterPicture(int index, AdapterPictureKind picture) {
  OnWindow([&] {
    SendMessageW(control(AdapterPicture(index)), STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(this->picture(PictureFor(picture))));
  });
}

void Win32View::ShowVerdict(const std::string& text, bool passed) {
  OnWindow([&] {
    verdict_passed_ = passed;
    SetText(ControlId::kVerdictLabel, text);
    InvalidateRect(control(ControlId::kVerdictLabel), nullptr, TRUE);
  });
}

void Win32View::SetProgress(int percent) {
  OnWindow([&] {
    SendMessageW(control(ControlId::kProgressBar), PBM_SETPOS,
                 static_cast<WPARAM>(percent), 0);
  });
}

std::optional<std::string> Win32View::OpenFileDialog(
    const std::string& filter, const std::string& folder) {
  return OnWindow([&]() -> std::optional<std::string> {
    const Modal modal(*this);
    const std::wstring filters = Win32Filter(filter);
    const std::wstring start = Wide(folder);
    std::wstring file(32768, L'\0');  // the longest path Windows has
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    // Else the dialog opens where the program was started from.
    dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                   OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    file.resize(std::wcslen(file.c_str()));
    return Utf8(file);
  });
}

int Win32View::SerialNoTypeDialog() {
  return OnWindow([&] {
    const Modal modal(*this);
    return RunSerialNoTypeDialog(hwnd_);
  });
}

void Win32View::AboutBox() {
  OnWindow([&] {
    const Modal modal(*this);
    RunAboutBox(hwnd_, icons_.big_icon());
  });
}

void Win32View::StartTimer(int timer, int milliseconds) {
  OnWindow([&] {
    SetTimer(hwnd_, static_cast<UINT_PTR>(timer),
             static_cast<UINT>(milliseconds), nullptr);
  });
}

void Win32View::StopTimer(int timer) {
  OnWindow([&] { KillTimer(hwnd_, static_cast<UINT_PTR>(timer)); });
}

void Win32View::CloseWindow() {
  OnWindow([&] {
    // Held drawing takes the window's visibility: it comes back first, so
    // that hiding the window hides it.
    ReleaseDrawing();
    ShowWindow(hwnd_, SW_HIDE);
    closed_ = true;
    // Wakes the message loop, which then sees the window closed.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
  });
}

}  // namespace srom
