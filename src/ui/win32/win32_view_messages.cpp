// The window's messages on their way to the window logic: the dialog
// procedure (tasks of other threads, commands, timers, the close, About and
// the verdict's colours), the boxes' subclass procedure (Escape and Enter,
// the characters a box does not take, the focus leaving a box), the key
// filter in front of the dialog manager, and the window thread's message
// loops.
#include <memory>
#include <utility>

#include "ui/box_rules.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/win32_view.h"

namespace srom {

void Win32View::SubclassBoxes() {
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind != ControlKind::kEditBox &&
        layout.kind != ControlKind::kOutputBox) {
      continue;
    }
    HWND box = control(layout.id);
    if (box == nullptr) continue;
    // Subclassed the classic way: comctl32's SetWindowSubclass finds its
    // data with GetProp, a round trip to wine's server on every message.
    SetWindowLongPtrW(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    box_procs_[Index(layout.id)] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProc)));
  }
}

std::optional<ControlId> Win32View::IdOf(HWND hwnd) const {
  for (HWND w = hwnd; w != nullptr && w != hwnd_; w = GetParent(w)) {
    if (GetParent(w) != hwnd_) continue;
    const std::optional<ControlId> id = ControlOfItem(GetDlgCtrlID(w));
    if (id && control(*id) == w) return id;
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<ControlId> Win32View::FocusedControl() const {
  return IdOf(GetFocus());
}

INT_PTR CALLBACK Win32View::DialogProc(HWND hwnd, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    return FALSE;  // the focus is placed by the logic
  }
  auto* view = reinterpret_cast<Win32View*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (view == nullptr) return FALSE;
  return view->OnMessage(message, wparam, lparam);
}

INT_PTR Win32View::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kRunTaskMessage:
      (*reinterpret_cast<const std::function<void()>*>(lparam))();
      return TRUE;
    case kPostedTaskMessage: {
      const std::unique_ptr<std::function<void()>> task(
          reinterpret_cast<std::function<void()>*>(lparam));
      (*task)();
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_TIMER:
      if (logic_ != nullptr) {
        logic_->OnOperator(OperatorEvent::Tick(static_cast<int>(wparam)));
      }
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == kAboutCommand) {
        if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::About());
        return TRUE;
      }
      return FALSE;
    case WM_HELP:  // F1
      if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::About());
      return TRUE;
    case WM_CLOSE:
      // Close box, system menu, Alt+F4: the logic decides when.
      if (logic_ != nullptr) {
        logic_->OnOperator(OperatorEvent::Close());
      } else {
        CloseWindow();
      }
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) ==
              control(ControlId::kCountdownLabel) ||
          reinterpret_cast<HWND>(lparam) == control(ControlId::kVerdictLabel)) {
        const auto dc = reinterpret_cast<HDC>(wparam);
        const bool countdown = reinterpret_cast<HWND>(lparam) ==
                               control(ControlId::kCountdownLabel);
        SetTextColor(dc, countdown         ? RGB(150, 0, 255)
                         : verdict_passed_ ? RGB(0, 128, 0)
                                           : RGB(200, 0, 0));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    case WM_PAINT:
      if (!painted_) {
        painted_ = true;
        if (first_paint_hook_) first_paint_hook_();
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void Win32View::OnCommand(int item, int code) {
  if (item == IDOK || item == IDCANCEL) {
    // The dialog manager's Enter and Escape, when a key reached it
    // unfiltered: the same report as every other Enter and Escape.
    if (logic_ != nullptr) {
      logic_->OnOperator(OperatorEvent::KeyPress(
          FocusedControl(), item == IDOK ? Key::kEnter : Key::kEscape));
    }
    return;
  }
  const std::optional<ControlId> control_id = ControlOfItem(item);
  if (!control_id) return;
  const ControlId id = *control_id;
  switch (LayoutOf(id).kind) {
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
    case ControlKind::kPushButton:
      if (code == BN_CLICKED && logic_ != nullptr) {
        logic_->OnOperator(OperatorEvent::Click(id));
      }
      return;
    case ControlKind::kDropDownList:
      if (code == CBN_SELCHANGE && logic_ != nullptr) {
        logic_->OnOperator(OperatorEvent::Pick(id));
      }
      return;
    case ControlKind::kEditBox: {
      // Only the operator's edits: a text the program puts in runs its rule
      // in the logic, never twice.
      if (code != EN_CHANGE || putting_text_ > 0) return;
      HWND box = control(id);
      const std::string typed = WindowText(box);
      const std::string shown = ShownText(id, typed);
      if (shown != typed) {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        PutBoxText(box, Wide(shown));
        SendMessageW(box, EM_SETSEL, start, end);
      }
      if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::TextEdit(id));
      return;
    }
    default:
      return;
  }
}

LRESULT CALLBACK Win32View::BoxProc(HWND hwnd, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
  auto* view =
      reinterpret_cast<Win32View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  // Only the view's own boxes are subclassed: every one is a control.
  const auto id = *ControlOfItem(GetDlgCtrlID(hwnd));
  return view->OnBoxMessage(hwnd, id, message, wparam, lparam);
}

LRESULT Win32View::BoxDefault(HWND box, ControlId id, UINT message,
                              WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(box_procs_[Index(id)], box, message, wparam, lparam);
}

LRESULT Win32View::OnBoxMessage(HWND box, ControlId id, UINT message,
                                WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_GETDLGCODE: {
      // Escape and Enter come to the box, which gives them to the logic,
      // rather than to the dialog manager, which would press a button.
      LRESULT code = BoxDefault(box, id, message, wparam, lparam);
      // The dialog manager selects the whole text of a box that wants it
      // whenever it gives the box the focus back (after every message box),
      // and so scrolls the output box to its end: the output box keeps the
      // operator's place instead.
      if (id == ControlId::kOutputBox) code &= ~DLGC_HASSETSEL;
      const auto* msg = reinterpret_cast<const MSG*>(lparam);
      if (msg != nullptr && msg->message == WM_KEYDOWN &&
          (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        return code | DLGC_WANTALLKEYS;
      }
      return code;
    }
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE || wparam == VK_RETURN) {
        if (logic_ != nullptr) {
          logic_->OnOperator(OperatorEvent::KeyPress(
              id, wparam == VK_ESCAPE ? Key::kEscape : Key::kEnter));
        }
        return 0;
      }
      break;
    case WM_CHAR: {
      // The key went to the logic as WM_KEYDOWN; its character goes nowhere.
      if (wparam == VK_ESCAPE || wparam == VK_RETURN) return 0;
      // A typed character the box does not take never reaches it. Tab moves
      // the focus, as it does from every box.
      if (id == ControlId::kOutputBox || wparam == '\t') break;
      const char typed = wparam < 0x80 ? static_cast<char>(wparam) : '\x7f';
      if (!BoxTakes(id, typed)) return 0;
      if (wparam < 0x80) {
        wparam = static_cast<unsigned char>(ShownAs(id, typed));
      }
      break;
    }
    case WM_SETFOCUS:
      focused_box_ = box;
      break;
    case WM_KILLFOCUS: {
      const LRESULT result = BoxDefault(box, id, message, wparam, lparam);
      // Only a box that had the focus leaves it; and a message box or
      // another window taking the focus is not leaving the box: the operator
      // comes back to it.
      const bool had_focus = focused_box_ == box;
      if (had_focus) focused_box_ = nullptr;
      const auto to = reinterpret_cast<HWND>(wparam);
      const bool within = to != nullptr && (to == hwnd_ || IsChild(hwnd_, to));
      if (had_focus && within && modal_depth_ == 0 &&
          id != ControlId::kOutputBox && logic_ != nullptr) {
        logic_->OnOperator(OperatorEvent::FocusLoss(id));
      }
      return result;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(box, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(box_procs_[Index(id)]));
      break;
    default:
      break;
  }
  return BoxDefault(box, id, message, wparam, lparam);
}

bool Win32View::PreTranslate(MSG& msg) {
  if (hwnd_ == nullptr) return false;
  if (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN &&
      (msg.wParam == VK_ESCAPE || msg.wParam == VK_RETURN) &&
      logic_ != nullptr) {
    std::optional<ControlId> focus = IdOf(msg.hwnd);
    if (!focus) focus = FocusedControl();
    if (logic_->OnOperator(OperatorEvent::KeyPress(
            focus, msg.wParam == VK_ESCAPE ? Key::kEscape : Key::kEnter))) {
      return true;
    }
  }
  return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

void Win32View::Dispatch(MSG& msg) {
  if (PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32View::RunMessageLoop() {
  MSG msg;
  while (!closed_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the caller's loop
      return;
    }
    if (got < 0) return;
    Dispatch(msg);
  }
}

void Win32View::ServeUntil(const std::function<bool()>& done) {
  std::optional<int> quit;
  while (!done()) {
    // A worker's SendMessage is served inside PeekMessage.
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG msg;
    while (!done() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = static_cast<int>(msg.wParam);
        continue;
      }
      Dispatch(msg);
    }
  }
  if (quit) PostQuitMessage(*quit);
}

void Win32View::PostToWindowThread(std::function<void()> task) {
  auto* posted = new std::function<void()>(std::move(task));
  if (!PostMessageW(hwnd_, kPostedTaskMessage, 0,
                    reinterpret_cast<LPARAM>(posted))) {
    delete posted;
  }
}

}  // namespace srom
