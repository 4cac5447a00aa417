// The window's dialog template with no control, no logic and no station:
// shown, it writes the wall-clock time of its first paint (nanoseconds since
// 1970) into the file SROM_FIRST_PAINT_FILE names and ends. The yardstick
// for srom-tool.exe's start-up time in scripts/windows-first-paint.sh.
// The view's header first: it tames <windows.h>'s macros (MessageBox).
#include "ui/win32/win32_controls.h"

#include "first_paint_stamp.h"

namespace {

INT_PTR CALLBACK EmptyProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  static bool painted = false;
  if (message == WM_PAINT && !painted) {
    painted = true;
    srom::test::WriteFirstPaintStamp();
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  } else if (message == WM_CLOSE) {
    DestroyWindow(dialog);
    PostQuitMessage(0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int main() {
  const srom::DialogTemplate window = srom::MainWindowTemplate();
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           window.get(), nullptr, EmptyProc, 0);
  if (dialog == nullptr) return 1;
  ShowWindow(dialog, SW_SHOW);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
