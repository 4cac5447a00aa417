#include "ui/win32/win32_dialogs.h"

#include "model/settings.h"
#include "ui/win32/win32_text.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

constexpr wchar_t kSmallDialogFont[] = L"MS Shell Dlg";
constexpr WORD kSmallDialogPoints = 8;
constexpr DWORD kSmallDialogStyle =
    DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

struct SerialNoChoice {
  int selection = kSerialFromMac;
};

INT_PTR CALLBACK SerialNoProc(HWND dialog, UINT message, WPARAM wparam,
                              LPARAM lparam) {
  auto* choice =
      reinterpret_cast<SerialNoChoice*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      choice = reinterpret_cast<SerialNoChoice*>(lparam);
      CheckRadioButton(dialog, kSerialFromMacItem, kSerialFixedItem,
                       choice->selection == kSerialFixed ? kSerialFixedItem
                                                         : kSerialFromMacItem);
      CenterOver(dialog, GetWindow(dialog, GW_OWNER));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kSerialFromMacItem:
          if (HIWORD(wparam) == BN_CLICKED) choice->selection = kSerialFromMac;
          return TRUE;
        case kSerialFixedItem:
          if (HIWORD(wparam) == BN_CLICKED) choice->selection = kSerialFixed;
          return TRUE;
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, LOWORD(wparam));
          return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam,
                           LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessageW(dialog, kAboutIconItem, STM_SETICON,
                          static_cast<WPARAM>(lparam), 0);
      CenterOver(dialog, GetWindow(dialog, GW_OWNER));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

DialogTemplate::DialogTemplate(DWORD style, DluRect rect,
                               std::wstring_view title, std::wstring_view font,
                               WORD points) {
  Dword(style | DS_SETFONT);
  Dword(0);  // extended style
  Word(0);   // item count, counted by AddItem
  Short(rect.x);
  Short(rect.y);
  Short(rect.width);
  Short(rect.height);
  Word(0);  // no menu
  Word(0);  // the dialog class
  String(title);
  Word(points);
  String(font);
}

void DialogTemplate::AddItem(DWORD style, DluRect rect, WORD id,
                             DialogClass item_class, std::wstring_view text) {
  if (words_.size() % 2 != 0) Word(0);
  Dword(style | WS_CHILD | WS_VISIBLE);
  Dword(0);
  Short(rect.x);
  Short(rect.y);
  Short(rect.width);
  Short(rect.height);
  Word(id);
  Word(0xFFFF);
  Word(static_cast<WORD>(item_class));
  String(text);
  Word(0);  // no creation data
  words_[4] = ++items_;
}

void DialogTemplate::Dword(DWORD value) {
  Word(LOWORD(value));
  Word(HIWORD(value));
}

void DialogTemplate::String(std::wstring_view text) {
  for (wchar_t c : text) Word(static_cast<WORD>(c));
  Word(0);
}

void CenterOver(HWND dialog, HWND owner) {
  RECT box{};
  RECT area{};
  GetWindowRect(dialog, &box);
  if (owner != nullptr && IsWindowVisible(owner)) {
    GetWindowRect(owner, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  SetWindowPos(dialog, nullptr,
               area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int RunSerialNoTypeDialog(HWND owner) {
  DialogTemplate box(kSmallDialogStyle, {0, 0, 150, 64}, L"Serial No. Type",
                     kSmallDialogFont, kSmallDialogPoints);
  box.AddItem(BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, {12, 10, 130, 10},
              kSerialFromMacItem, DialogClass::kButton,
              L"Use Mac Address as Serial No.");
  box.AddItem(BS_AUTORADIOBUTTON, {12, 24, 130, 10}, kSerialFixedItem,
              DialogClass::kButton, L"Fixed to 00000000000001");
  box.AddItem(BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, {50, 42, 50, 14}, IDOK,
              DialogClass::kButton, L"OK");
  SerialNoChoice choice;
  DialogBoxIndirectParamW(Instance(), box.get(), owner, SerialNoProc,
                          reinterpret_cast<LPARAM>(&choice));
  return choice.selection;
}

void RunAboutBox(HWND owner, HICON icon) {
  DialogTemplate box(kSmallDialogStyle, {0, 0, 236, 62}, Wide(kAboutTitle),
                     kSmallDialogFont, kSmallDialogPoints);
  box.AddItem(SS_ICON, {11, 11, 20, 20}, kAboutIconItem, DialogClass::kStatic,
              L"");
  box.AddItem(SS_LEFT | SS_NOPREFIX, {40, 11, 190, 8}, kAboutVersionItem,
              DialogClass::kStatic, Wide(kAboutVersionLine));
  box.AddItem(SS_LEFT | SS_NOPREFIX, {40, 24, 190, 8}, kAboutNoticeItem,
              DialogClass::kStatic, Wide(kAboutNotice));
  box.AddItem(BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, {179, 41, 50, 14}, IDOK,
              DialogClass::kButton, Wide(kAboutOk));
  DialogBoxIndirectParamW(Instance(), box.get(), owner, AboutProc,
                          reinterpret_cast<LPARAM>(icon));
}

}  // namespace srom
