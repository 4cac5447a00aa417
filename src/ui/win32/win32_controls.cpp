#include "ui/win32/win32_controls.h"

#include <commctrl.h>

#include <string>
#include <string_view>

#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

// A fixed dialog: no minimise box, as the window cannot be minimised.
constexpr DWORD kWindowStyle =
    DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kFirstItemId = 1000;

HMENU ItemMenu(int item) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(item));
}

// A control's standard window class and styles.
struct ControlClass {
  const wchar_t* name = WC_STATICW;
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
};

ControlClass ClassOf(const ControlLayout& layout) {
  ControlClass c;
  switch (layout.kind) {
    case ControlKind::kFrame:
      c.name = WC_BUTTONW;
      c.style |= BS_GROUPBOX | WS_GROUP;
      break;
    case ControlKind::kLabel:
      c.style |= (layout.id == ControlId::kVerdictLabel ? SS_CENTER : SS_LEFT) |
                 SS_NOPREFIX | WS_GROUP;
      break;
    case ControlKind::kEditBox:
      c.name = WC_EDITW;
      c.style |= ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP;
      c.ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kOutputBox:
      c.name = WC_EDITW;
      c.style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                 WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      c.ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kDropDownList:
      c.name = WC_COMBOBOXW;
      c.style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kCheckBox:
      c.name = WC_BUTTONW;
      c.style |= BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kRadioButton:
      c.name = WC_BUTTONW;
      // "256" starts the size buttons' group; "512" belongs to it.
      c.style |= BS_AUTORADIOBUTTON;
      if (layout.id != ControlId::kSromSize512)
        c.style |= WS_GROUP | WS_TABSTOP;
      break;
    case ControlKind::kPushButton:
      c.name = WC_BUTTONW;
      c.style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::kProgressBar:
      c.name = PROGRESS_CLASSW;
      c.style |= WS_GROUP;
      break;
    case ControlKind::kPicture:
      // Centred in its rectangle, which keeps its size whatever it shows.
      c.style |= SS_BITMAP | SS_CENTERIMAGE | WS_GROUP;
      break;
  }
  return c;
}

HWND MakeControl(HWND dialog, const ControlLayout& layout, BaseUnits base) {
  const ControlClass c = ClassOf(layout);
  const PixelRect r = DluToPixels(layout.rect, base);
  const std::wstring caption = Wide(layout.caption);
  HWND w =
      CreateWindowExW(c.ex_style, c.name, caption.c_str(), c.style, r.x, r.y,
                      r.width, r.height, dialog, ItemMenu(ItemIdOf(layout.id)),
                      GetModuleHandleW(nullptr), nullptr);
  if (w == nullptr) return nullptr;
  SendMessageW(w, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
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
    case ControlKind::kOutputBox:
      SendMessageW(w, EM_SETLIMITTEXT, 0, 0);
      break;
    case ControlKind::kProgressBar:
      SendMessageW(w, PBM_SETRANGE32, 0, 100);
      break;
    default:
      break;
  }
  return w;
}

}  // namespace

DialogTemplate MainWindowTemplate() {
  return DialogTemplate(kWindowStyle, {0, 0, kClientWidthDlu, kClientHeightDlu},
                        Wide(kInitialTitle), Wide(kWindowFont),
                        kWindowFontPoints);
}

int ItemIdOf(ControlId id) { return kFirstItemId + static_cast<int>(id); }

std::optional<ControlId> ControlOfItem(int item) {
  const int index = item - kFirstItemId;
  if (index < 0 || index >= kControlCount) return std::nullopt;
  return static_cast<ControlId>(index);
}

BaseUnits MeasureBaseUnits(HWND dialog) {
  BaseUnits base = kReferenceBaseUnits;
  const auto font =
      reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, font);
  const std::wstring letters_text = Wide(kBaseUnitLetters);
  SIZE letters{};
  TEXTMETRICW metrics{};
  if (GetTextExtentPoint32W(dc, letters_text.c_str(),
                            static_cast<int>(letters_text.size()), &letters) &&
      GetTextMetricsW(dc, &metrics)) {
    base = BaseUnitsOf(letters.cx, metrics.tmHeight);
  }
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return base;
}

void FitToLayout(HWND dialog, BaseUnits base) {
  RECT frame{0, 0, DluToPixelsX(kClientWidthDlu, base),
             DluToPixelsY(kClientHeightDlu, base)};
  AdjustWindowRectEx(
      &frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
      static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left,
               frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  CenterOver(dialog, nullptr);
}

Win32Controls BuildControls(HWND dialog, BaseUnits base) {
  Win32Controls controls{};
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind == ControlKind::kFrame) {
      controls[static_cast<int>(layout.id)] = MakeControl(dialog, layout, base);
    }
  }
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind != ControlKind::kFrame) {
      controls[static_cast<int>(layout.id)] = MakeControl(dialog, layout, base);
    }
  }
  for (const ControlLayout& layout : AllLayouts()) {
    HWND w = controls[static_cast<int>(layout.id)];
    if (StartsHidden(layout.id)) ShowWindow(w, SW_HIDE);
    if (StartsDisabled(layout.id)) EnableWindow(w, FALSE);
  }
  return controls;
}

}  // namespace srom
