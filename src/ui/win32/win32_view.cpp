#include "ui/win32/win32_view.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <utility>

#include "ui/box_rules.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_resources.h"
#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

constexpr DWORD kWindowStyle =
    DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

HMENU ItemMenu(int item) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(item));
}

// Message texts end their lines with CR LF already; a lone LF becomes one
// too, since an edit box breaks lines only there.
std::wstring WithCrLf(const std::string& text) {
  std::string shown;
  shown.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
    shown += text[i];
  }
  return Wide(shown);
}

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

// The picture as the window shows it: every pixel of the top-left pixel's
// colour painted in `background`, when there is one. Takes `source` over.
HBITMAP WithBackground(HBITMAP source, std::optional<COLORREF> background) {
  BITMAP bitmap{};
  if (GetObjectW(source, sizeof bitmap, &bitmap) == 0) {
    DeleteObject(source);
    return nullptr;
  }
  const int width = bitmap.bmWidth;
  const int height = bitmap.bmHeight;
  BITMAPINFO pixels_format{};
  pixels_format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  pixels_format.bmiHeader.biWidth = width;
  pixels_format.bmiHeader.biHeight = -height;  // top row first
  pixels_format.bmiHeader.biPlanes = 1;
  pixels_format.bmiHeader.biBitCount = 32;
  pixels_format.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, source, 0, static_cast<UINT>(height), pixels.data(),
            &pixels_format, DIB_RGB_COLORS);
  DeleteObject(source);
  if (background && !pixels.empty()) {
    const std::uint32_t key = pixels[0] & 0xFFFFFF;
    const std::uint32_t colour = (GetRValue(*background) << 16) |
                                 (GetGValue(*background) << 8) |
                                 GetBValue(*background);
    for (std::uint32_t& pixel : pixels) {
      if ((pixel & 0xFFFFFF) == key) pixel = colour;
    }
  }
  // 24 bits a pixel: a static control shows such a bitmap as it is, where it
  // would copy one with an alpha channel.
  BITMAPINFO shown_format = pixels_format;
  shown_format.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP shown = CreateDIBSection(screen, &shown_format, DIB_RGB_COLORS, &bits,
                                   nullptr, 0);
  if (shown != nullptr) {
    SetDIBits(screen, shown, 0, static_cast<UINT>(height), pixels.data(),
              &pixels_format, DIB_RGB_COLORS);
  }
  ReleaseDC(nullptr, screen);
  return shown;
}

}  // namespace

struct Win32View::Modal {
  explicit Modal(Win32View& view) : view(view) { ++view.modal_depth_; }
  ~Modal() { --view.modal_depth_; }
  Win32View& view;
};

DialogTemplate Win32View::WindowTemplate() {
  return DialogTemplate(kWindowStyle, {0, 0, kClientWidthDlu, kClientHeightDlu},
                        Wide(kInitialTitle), Wide(kWindowFont),
                        kWindowFontPoints);
}

Win32View::Win32View() : thread_id_(GetCurrentThreadId()) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  const DialogTemplate window = WindowTemplate();
  hwnd_ =
      CreateDialogIndirectParamW(Instance(), window.get(), nullptr, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr) return;
  MeasureBaseUnits();
  // The client area as the layout gives it, in this font's base units.
  RECT frame{0, 0, DluToPixelsX(kClientWidthDlu, base_),
             DluToPixelsY(kClientHeightDlu, base_)};
  AdjustWindowRectEx(
      &frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
      static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left,
               frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CenterOver(hwnd_, nullptr);

  big_icon_ = static_cast<HICON>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(SROM_RES_APP_ICON), IMAGE_ICON,
                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  small_icon_ = static_cast<HICON>(LoadImageW(
      Instance(), MAKEINTRESOURCEW(SROM_RES_APP_ICON), IMAGE_ICON,
      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(big_icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(small_icon_));
  if (HMENU system = GetSystemMenu(hwnd_, FALSE)) {
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, kAboutCommand,
                Wide(kAboutMenuEntry).c_str());
  }
  BuildControls();
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
  for (HBITMAP picture : pictures_) {
    if (picture != nullptr) DeleteObject(picture);
  }
  for (const auto& [key, font] : sized_fonts_) DeleteObject(font);
  if (big_icon_ != nullptr) DestroyIcon(big_icon_);
  if (small_icon_ != nullptr) DestroyIcon(small_icon_);
}

void Win32View::MeasureBaseUnits() {
  // As the dialog manager measures them: the average width of the letters,
  // rounded up to whole pixels, and the font's height.
  const auto font =
      reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, font);
  const std::wstring letters_text = Wide(kBaseUnitLetters);
  SIZE letters{};
  TEXTMETRICW metrics{};
  if (GetTextExtentPoint32W(dc, letters_text.c_str(),
                            static_cast<int>(letters_text.size()), &letters) &&
      GetTextMetricsW(dc, &metrics)) {
    base_ = BaseUnitsOf(letters.cx, metrics.tmHeight);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
}

void Win32View::BuildControls() {
  // Frames first, so that the controls drawn in them lie above.
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind == ControlKind::kFrame) MakeControl(layout);
  }
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind != ControlKind::kFrame) MakeControl(layout);
  }
  // The template's starting states.
  for (const ControlLayout& layout : AllLayouts()) {
    if (StartsHidden(layout.id)) ShowWindow(control(layout.id), SW_HIDE);
    if (StartsDisabled(layout.id)) EnableWindow(control(layout.id), FALSE);
  }
}

HWND Win32View::MakeControl(const ControlLayout& layout) {
  const wchar_t* window_class = WC_STATICW;
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  switch (layout.kind) {
    case ControlKind::kFrame:
      window_class = WC_BUTTONW;
      style |= BS_GROUPBOX | WS_GROUP;
      break;
    case ControlKind::kLabel:
      style |= (layout.id == ControlId::kVerdictLabel ? SS_CENTER : SS_LEFT) |
               SS_NOPREFIX | WS_GROUP;
      break;
    case ControlKind::kEditBox:
      window_class = WC_EDITW;
      style |= ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kOutputBox:
      window_class = WC_EDITW;
      style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
               WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kDropDownList:
      window_class = WC_COMBOBOXW;
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kCheckBox:
      window_class = WC_BUTTONW;
      style |= BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kRadioButton:
      window_class = WC_BUTTONW;
      // "256" starts the size buttons' group; "512" belongs to it.
      style |= BS_AUTORADIOBUTTON;
      if (layout.id != ControlId::kSromSize512) style |= WS_GROUP | WS_TABSTOP;
      break;
    case ControlKind::kPushButton:
      window_class = WC_BUTTONW;
      style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kProgressBar:
      window_class = PROGRESS_CLASSW;
      style |= WS_GROUP;
      break;
    case ControlKind::kPicture:
      // Centred in its rectangle, which keeps its size whatever it shows.
      style |= SS_BITMAP | SS_CENTERIMAGE | WS_GROUP;
      break;
  }
  const PixelRect r = DluToPixels(layout.rect, base_);
  const std::wstring caption = Wide(layout.caption);
  HWND w = CreateWindowExW(ex_style, window_class, caption.c_str(), style, r.x,
                           r.y, r.width, r.height, hwnd_,
                           ItemMenu(ItemId(layout.id)), Instance(), nullptr);
  controls_[Index(layout.id)] = w;
  if (w == nullptr) return nullptr;
  SendMessageW(w, WM_SETFONT, SendMessageW(hwnd_, WM_GETFONT, 0, 0), FALSE);
  switch (layout.kind) {
    case ControlKind::kDropDownList: {
      for (std::string_view entry : layout.entries) {
        SendMessageW(w, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Wide(entry).c_str()));
      }
      // The rectangle is the closed list; the window also holds the open
      // one, every entry shown.
      const auto item =
          static_cast<int>(SendMessageW(w, CB_GETITEMHEIGHT, 0, 0));
      const int open =
          r.height + static_cast<int>(layout.entries.size()) * item + 4;
      SetWindowPos(w, nullptr, 0, 0, r.width, open,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    case ControlKind::kEditBox:
    case ControlKind::kOutputBox:
      // Subclassed the classic way: comctl32's SetWindowSubclass finds its
      // data with GetProp, a round trip to wine's server on every message.
      SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      box_procs_[Index(layout.id)] =
          reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
              w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProc)));
      if (layout.kind == ControlKind::kOutputBox) {
        SendMessageW(w, EM_SETLIMITTEXT, 0, 0);
      }
      break;
    case ControlKind::kProgressBar:
      SendMessageW(w, PBM_SETRANGE32, 0, 100);
      break;
    default:
      break;
  }
  return w;
}

std::optional<ControlId> Win32View::IdOf(HWND hwnd) const {
  for (HWND w = hwnd; w != nullptr && w != hwnd_; w = GetParent(w)) {
    if (GetParent(w) != hwnd_) continue;
    const int index = GetDlgCtrlID(w) - kFirstItemId;
    if (index >= 0 && index < kControlCount && controls_[index] == w) {
      return static_cast<ControlId>(index);
    }
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
        SetTextColor(dc, countdown        ? RGB(150, 0, 255)
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
  const int index = item - kFirstItemId;
  if (index < 0 || index >= kControlCount) return;
  const auto id = static_cast<ControlId>(index);
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
  const auto id = static_cast<ControlId>(GetDlgCtrlID(hwnd) - kFirstItemId);
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
      const LRESULT code = BoxDefault(box, id, message, wparam, lparam);
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

void Win32View::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  // The control the logic chose while the window was hidden.
  if (pending_focus_) {
    SetFocus(control(*pending_focus_));
    pending_focus_.reset();
  }
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

void Win32View::PostToWindowThread(std::function<void()> task) {
  auto* posted = new std::function<void()>(std::move(task));
  if (!PostMessageW(hwnd_, kPostedTaskMessage, 0,
                    reinterpret_cast<LPARAM>(posted))) {
    delete posted;
  }
}

std::string Win32View::WindowText(HWND hwnd) const {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return Utf8(text);
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
        PutBoxText(w, WithCrLf(text));
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
      FitCaption(id, verdict ? kVerdictPoints : kWindowFontPoints, verdict);
    }
  });
}

HFONT Win32View::WindowFont(int points, bool bold) {
  const int key = points * 2 + (bold ? 1 : 0);
  const auto found = sized_fonts_.find(key);
  if (found != sized_fonts_.end()) return found->second;
  LOGFONTW face{};
  const auto window_font =
      reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  GetObjectW(window_font, sizeof face, &face);
  HDC dc = GetDC(hwnd_);
  face.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(hwnd_, dc);
  face.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  HFONT font = CreateFontIndirectW(&face);
  if (font != nullptr) sized_fonts_[key] = font;
  return font;
}

void Win32View::FitCaption(ControlId id, int points, bool bold) {
  HWND w = control(id);
  RECT box{};
  GetClientRect(w, &box);
  int room = box.right - box.left;
  // A check box draws its box and a gap before the caption.
  if (LayoutOf(id).kind == ControlKind::kCheckBox) {
    room -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2;
  }
  const std::wstring text = Wide(WindowText(w));
  HDC dc = GetDC(w);
  const int fitted = FittedPoints(points, room, [&](int size) {
    HFONT font = WindowFont(size, bold);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                          &extent);
    SelectObject(dc, old);
    return static_cast<int>(extent.cx);
  });
  ReleaseDC(w, dc);
  if (HFONT font = WindowFont(fitted, bold)) {
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
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
  OnWindow([&] { EnableWindow(control(id), enabled ? TRUE : FALSE); });
}

bool Win32View::Visible(ControlId id) {
  // The control's own state, whether the window is shown yet or not.
  return OnWindow([&] {
    return (GetWindowLongW(control(id), GWL_STYLE) & WS_VISIBLE) != 0;
  });
}

void Win32View::SetVisible(ControlId id, bool visible) {
  OnWindow([&] { ShowWindow(control(id), visible ? SW_SHOWNA : SW_HIDE); });
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
    const PixelRect r = DluToPixels(LayoutOf(place).rect, base_);
    SetWindowPos(control(id), nullptr, r.x, r.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  });
}

void Win32View::Focus(ControlId id) {
  // The focus alone: the dialog manager's way (WM_NEXTDLGCTL) would also
  // select a box's whole text, as Tab does.
  OnWindow([&] {
    if (!IsWindowVisible(hwnd_)) {
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
    HFONT font = WindowFont(points, false);
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
    const COLORREF window_colour = GetSysColor(COLOR_BTNFACE);
    for (std::size_t i = 0; i < kPictures.size(); ++i) {
      const PictureInfo& info = kPictures[i];
      auto* loaded = static_cast<HBITMAP>(LoadImageW(
          Instance(),
          MAKEINTRESOURCEW(SROM_RES_FIRST_PICTURE + static_cast<int>(i)),
          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
      HBITMAP& picture = pictures_[static_cast<int>(info.id)];
      if (picture != nullptr) DeleteObject(picture);
      picture = loaded == nullptr
                    ? nullptr
                    : WithBackground(loaded, info.window_coloured_background
                                                 ? std::optional(window_colour)
                                                 : std::nullopt);
    }
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
    const std::string& filter) {
  return OnWindow([&]() -> std::optional<std::string> {
    const Modal modal(*this);
    const std::wstring filters = Win32Filter(filter);
    std::wstring file(32768, L'\0');  // the longest path Windows has
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
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
    RunAboutBox(hwnd_, big_icon_);
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
    ShowWindow(hwnd_, SW_HIDE);
    closed_ = true;
    // Wakes the message loop, which then sees the window closed.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
  });
}

}  // namespace srom
