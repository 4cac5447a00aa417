// What one typed character in the MAC "Current" box costs the window, against
// the same character in a plain QLineEdit of the same window: the key press
// and release, what the window does with them, and the repaint, on Qt's
// offscreen platform. The window is the real one (QtView, the window logic,
// the station's simulated adapter and ledger) on a prepared station.
//
// Target: MAC box / plain box <= 3 for the median keystroke.
//
//   gui_keystroke_bench [rounds]     (default 40 rounds of 100 keys a box)
//
// Exit status: 0 target met, 1 target missed, 2 no measurement.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench_window.h"
#include "median_ratio.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"

namespace {

constexpr double kTarget = 3.0;
constexpr int kKeysPerBlock = 100;  // even: each block ends as it began

using Clock = std::chrono::steady_clock;

// One typed character into `box`, until the window has handled it and
// painted the box and the output box again.
double TypeOne(QLineEdit* box, QWidget* output, Qt::Key key) {
  const auto start = Clock::now();
  QTest::keyClick(box, key);
  QApplication::processEvents();
  box->repaint();
  output->repaint();
  return std::chrono::duration<double, std::micro>(Clock::now() - start)
      .count();
}

// A block of keystrokes into `box`, which holds 12 characters: Backspace and
// a digit in turn, so that it holds 12 again at the end and a MAC address
// stays valid whenever the focus leaves it.
void TypeBlock(QLineEdit* box, QWidget* output, std::vector<double>* times) {
  box->setFocus(Qt::OtherFocusReason);
  QApplication::processEvents();
  for (int i = 0; i < kKeysPerBlock; ++i) {
    const Qt::Key key = i % 2 == 0 ? Qt::Key_Backspace : Qt::Key_5;
    const double us = TypeOne(box, output, key);
    if (times != nullptr) times->push_back(us);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const std::unique_ptr<srom::bench::BenchWindow> started =
      srom::bench::BenchWindow::Start();
  if (!started) return 2;
  srom::QtView& view = started->view();

  // The plain box, as wide as the MAC box, where the window has room.
  auto* plain = new QLineEdit(&view);
  const srom::PixelRect mac_rect = DluToPixels(
      srom::LayoutOf(srom::ControlId::kCurrentMac).rect, view.base_units());
  const srom::PixelRect plain_rect =
      DluToPixels(srom::DluRect{390, 312, 56, 12}, view.base_units());
  plain->setGeometry(plain_rect.x, plain_rect.y, mac_rect.width,
                     mac_rect.height);
  view.show();
  if (!QTest::qWaitForWindowExposed(&view)) return 2;

  auto* mac =
      qobject_cast<QLineEdit*>(view.widget(srom::ControlId::kCurrentMac));
  QWidget* output = view.widget(srom::ControlId::kOutputBox);
  mac->setFocus(Qt::OtherFocusReason);
  mac->selectAll();
  QTest::keyClicks(mac, "00E04C000015");
  plain->setFocus(Qt::OtherFocusReason);
  QTest::keyClicks(plain, "00E04C000015");
  if (mac->text() != "00E04C000015" || plain->text() != "00E04C000015") {
    std::cerr << "the boxes did not take the typed address\n";
    return 2;
  }

  // Warm-up, then blocks of each box in turn.
  TypeBlock(mac, output, nullptr);
  TypeBlock(plain, output, nullptr);
  std::vector<double> mac_us, plain_us;
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      TypeBlock(mac, output, &mac_us);
      TypeBlock(plain, output, &plain_us);
    } else {
      TypeBlock(plain, output, &plain_us);
      TypeBlock(mac, output, &mac_us);
    }
  }
  if (mac->text() != "00E04C000015") {
    std::cerr << "the MAC box ended with \"" << mac->text().toStdString()
              << "\"\n";
    return 2;
  }

  return srom::bench::ReportMedianRatio(
      "One typed character, handled and repainted, Qt offscreen, " +
          std::to_string(mac_us.size()) + " keys a box",
      "MAC Current box", mac_us, "plain QLineEdit", plain_us, kTarget);
}
