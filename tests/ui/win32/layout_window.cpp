// The main window's controls and nothing else: the real Win32View, built from
// the layout table exactly as srom-tool.exe builds it, with no logic, no
// station and no device. Shown, it writes the wall-clock time of its first
// paint (nanoseconds since 1970) into the file SROM_FIRST_PAINT_FILE names
// and ends. The anchor for srom-tool.exe's start-up time in
// scripts/windows-first-paint.sh: what the tool takes beyond it is its own
// start-up work. Not a test.
// The view's header first: it tames <windows.h>'s macros (MessageBox).
#include "ui/win32/win32_view.h"

#include "first_paint_stamp.h"

int main() {
  srom::Win32View view;
  if (view.hwnd() == nullptr) return 1;
  view.set_first_paint_hook([&view] {
    srom::test::WriteFirstPaintStamp();
    // With no logic, the view closes at once.
    view.PostToWindowThread([&view] { view.CloseWindow(); });
  });
  view.Show();
  view.RunMessageLoop();
  return 0;
}
