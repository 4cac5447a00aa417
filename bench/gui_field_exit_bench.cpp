// What leaving the MAC "Current" box costs the window: one character typed
// into it, then Tab, until the preview in the output box shows the image
// rebuilt from the new address and is painted. Against the least any window
// does for the same: one character typed into a plain QLineEdit, Tab to a
// second one, and a listing of the same size set into a plain
// QPlainTextEdit and painted. Qt's offscreen platform; the window is the real
// one (QtView, the window logic, the station's simulated adapter and ledger)
// on a prepared station; the plain boxes have the window's font and the
// rectangles of the MAC boxes and the output box, in a dialog of their own.
//
// Target: MAC box / plain boxes <= 1.5 for the median field exit.
//
//   gui_field_exit_bench [rounds]     (default 20 rounds of 20 exits a box)
//
// Exit status: 0 target met, 1 target missed, 2 no measurement.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
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
#include "ui/qt/qt_fonts.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"

namespace {

constexpr double kTarget = 1.5;
constexpr int kExitsPerBlock = 20;

using Clock = std::chrono::steady_clock;

// The boxes one field exit goes through: the box typed into, the box Tab
// moves to, and the box that shows the listing.
struct Boxes {
  QWidget* window;
  QLineEdit* typed;
  QLineEdit* next;
  QPlainTextEdit* listing;
};

void Activate(QWidget* window) {
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window)) {
    std::cerr << "a window never became active\n";
    std::exit(2);
  }
}

// Makes `box` hold 11 of its 12 characters with the cursor at the end and
// the focus in it, so that one typed digit completes it again. Not timed.
void PrepareBox(QLineEdit* box) {
  box->setFocus(Qt::OtherFocusReason);
  QApplication::processEvents();
  box->end(false);
  QTest::keyClick(box, Qt::Key_Backspace);
  QApplication::processEvents();
}

// One field exit: a digit typed into the box, Tab, and what each side does
// with it, until the listing is painted. `set_listing` is the plain side's
// part; the window's part happens inside the Tab.
template <typename SetListing>
double ExitOnce(const Boxes& boxes, char digit, SetListing set_listing) {
  PrepareBox(boxes.typed);
  const auto start = Clock::now();
  QTest::keyClick(boxes.typed, digit);
  QTest::keyClick(boxes.typed, Qt::Key_Tab);
  set_listing();
  QApplication::processEvents();
  boxes.typed->repaint();
  boxes.next->repaint();
  boxes.listing->repaint();
  return std::chrono::duration<double, std::micro>(Clock::now() - start)
      .count();
}

QLineEdit* PlainEdit(QWidget* window, srom::ControlId place,
                     srom::BaseUnits base) {
  auto* edit = new QLineEdit(window);
  const srom::PixelRect r = DluToPixels(srom::LayoutOf(place).rect, base);
  edit->setGeometry(r.x, r.y, r.width, r.height);
  edit->setMaxLength(12);
  return edit;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const std::unique_ptr<srom::bench::BenchWindow> started =
      srom::bench::BenchWindow::Start();
  if (!started) return 2;
  srom::QtView& view = started->view();
  view.show();
  if (!QTest::qWaitForWindowExposed(&view)) return 2;

  const Boxes window{
      &view,
      qobject_cast<QLineEdit*>(view.widget(srom::ControlId::kCurrentMac)),
      qobject_cast<QLineEdit*>(view.widget(srom::ControlId::kMaximumMac)),
      qobject_cast<QPlainTextEdit*>(view.widget(srom::ControlId::kOutputBox))};

  // The plain boxes where the window has its own, in the window's font.
  QDialog plain_window;
  plain_window.setFont(srom::WindowFont());
  plain_window.setFixedSize(view.size());
  const srom::BaseUnits base = view.base_units();
  auto* listing_box = new QPlainTextEdit(&plain_window);
  const srom::PixelRect out = DluToPixels(
      srom::LayoutOf(srom::ControlId::kOutputBox).rect, base);
  listing_box->setGeometry(out.x, out.y, out.width, out.height);
  listing_box->setReadOnly(true);
  listing_box->setLineWrapMode(QPlainTextEdit::NoWrap);
  listing_box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  const Boxes plain{
      &plain_window,
      PlainEdit(&plain_window, srom::ControlId::kCurrentMac, base),
      PlainEdit(&plain_window, srom::ControlId::kMaximumMac, base),
      listing_box};
  plain.typed->setText("00E04C000015");
  plain.next->setText("00E04C0000FF");
  plain_window.show();
  if (!QTest::qWaitForWindowExposed(&plain_window)) return 2;

  // The window's own listings of the two addresses typed in turn, for the
  // plain box to show.
  const auto window_exit = [&](char digit) {
    return ExitOnce(window, digit, [] {});
  };
  Activate(&view);
  window.typed->setFocus(Qt::OtherFocusReason);
  window.typed->selectAll();
  QTest::keyClicks(window.typed, "00E04C000015");
  QTest::keyClick(window.typed, Qt::Key_Tab);
  window_exit('5');
  const QString listing_5 =
      srom::WithPlainBreaks(view.Text(srom::ControlId::kOutputBox));
  window_exit('6');
  const QString listing_6 =
      srom::WithPlainBreaks(view.Text(srom::ControlId::kOutputBox));
  if (listing_5 == listing_6 || listing_5.size() < 100 ||
      window.typed->text() != "00E04C000016") {
    std::cerr << "the window did not rebuild its image from the typed "
                 "address (the box holds \""
              << window.typed->text().toStdString() << "\", the listing "
              << (listing_5 == listing_6 ? "did not change" : "changed")
              << ")\n";
    return 2;
  }
  const auto plain_exit = [&](char digit) {
    const QString& listing = digit == '5' ? listing_5 : listing_6;
    return ExitOnce(plain, digit,
                    [&] { plain.listing->setPlainText(listing); });
  };

  // Blocks of each side in turn; each block alternates the two addresses so
  // that every exit shows a listing other than the one before.
  std::vector<double> window_us, plain_us;
  const auto block = [&](const Boxes& boxes, auto exit_once,
                         std::vector<double>* times) {
    Activate(boxes.window);
    for (int i = 0; i < kExitsPerBlock; ++i) {
      const double us = exit_once(i % 2 == 0 ? '5' : '6');
      if (times != nullptr) times->push_back(us);
    }
  };
  block(window, window_exit, nullptr);  // warm-up
  block(plain, plain_exit, nullptr);
  for (int r = 0; r < rounds; ++r) {
    if (r % 2 == 0) {
      block(window, window_exit, &window_us);
      block(plain, plain_exit, &plain_us);
    } else {
      block(plain, plain_exit, &plain_us);
      block(window, window_exit, &window_us);
    }
  }
  if (window.typed->text() != "00E04C000016" ||
      srom::WithPlainBreaks(view.Text(srom::ControlId::kOutputBox)) !=
          listing_6) {
    std::cerr << "the window ended with another address or image\n";
    return 2;
  }

  return srom::bench::ReportMedianRatio(
      "One character and Tab out of a box, until the listing is painted, "
      "Qt offscreen, " +
          std::to_string(window_us.size()) + " exits a side",
      "MAC Current box", window_us, "plain boxes", plain_us, kTarget);
}
