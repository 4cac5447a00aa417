// The yardstick of gui_start_bench: an empty QDialog, started and painted the
// way srom-tool is, that writes one line to its standard output at its first
// paint and ends at once. It has the main window's size, so that both paint
// as many pixels and what is compared is what the window holds.
//
// With --text it shows one line of text in the window's font: the least any
// window with text pays, Qt's font database, for comparison.
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <iostream>
#include <string>

#include "ui/layout.h"
#include "ui/qt/first_paint.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QDialog dialog;
  if (argc > 1 && std::string(argv[1]) == "--text") {
    QFont font(
        QString::fromUtf8(srom::kWindowFont.data(),
                          static_cast<qsizetype>(srom::kWindowFont.size())));
    font.setPointSize(srom::kWindowFontPoints);
    font.setStyleHint(QFont::TypeWriter);
    dialog.setFont(font);
    new QLabel("Device Sel.", &dialog);
  }
  dialog.setFixedSize(
      srom::DluToPixelsX(srom::kClientWidthDlu, srom::kReferenceBaseUnits),
      srom::DluToPixelsY(srom::kClientHeightDlu, srom::kReferenceBaseUnits));
  srom::ExitAfterFirstPaint first_paint;
  dialog.installEventFilter(&first_paint);
  dialog.show();
  return app.exec();
}
