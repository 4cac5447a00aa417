// Dialog templates built in memory, and the window's two small dialogs on
// Win32: "Serial No. Type" and the About box.
#pragma once

#include <string_view>
#include <vector>

#include "ui/layout.h"
#include "ui/win32/windows_api.h"

namespace srom {

// The standard controls' predefined class atoms in a dialog template.
enum class DialogClass : WORD {
  kButton = 0x0080,
  kEdit = 0x0081,
  kStatic = 0x0082,
};

// A DLGTEMPLATE with its items, laid out as the dialog manager reads it.
class DialogTemplate {
 public:
  // `style` gets DS_SETFONT: the dialog manager creates the font and
  // measures its dialog units with it.
  DialogTemplate(DWORD style, DluRect rect, std::wstring_view title,
                 std::wstring_view font, WORD points);
  void AddItem(DWORD style, DluRect rect, WORD id, DialogClass item_class,
               std::wstring_view text);
  const DLGTEMPLATE* get() const {
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }

 private:
  void Dword(DWORD value);
  void Word(WORD value) { words_.push_back(value); }
  void Short(int value) { words_.push_back(static_cast<WORD>(value)); }
  void String(std::wstring_view text);

  // WORDs keep the template 2-byte aligned; the vector's storage is aligned
  // for any type, so an even index is a DWORD boundary.
  std::vector<WORD> words_;
  WORD items_ = 0;
};

// Moves a dialog to the middle of its owner.
void CenterOver(HWND dialog, HWND owner);

// "Serial No. Type": 0 "Use Mac Address as Serial No.", 1 "Fixed to
// 00000000000001". The choice is stored on each click, so however the dialog
// is closed the last click counts; Escape closes it without a choice made.
int RunSerialNoTypeDialog(HWND owner);

// The About box, with the program's icon.
void RunAboutBox(HWND owner, HICON icon);

// The dialog items' numbers in the small dialogs, for tests that read them.
inline constexpr WORD kSerialFromMacItem = 101;
inline constexpr WORD kSerialFixedItem = 102;
inline constexpr WORD kAboutIconItem = 110;
inline constexpr WORD kAboutVersionItem = 111;
inline constexpr WORD kAboutNoticeItem = 112;

}  // namespace srom
