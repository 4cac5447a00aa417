// The anchor of the window's benchmarks: the main window's widgets and
// nothing else. It is the real view (QtView), built from the layout table
// exactly as srom-tool builds it, with no logic, no station and no device:
// no file is read, no image built and no text set. Like srom-tool, it writes
// one line to its standard output at its first paint and ends at once.
//
// What srom-tool takes beyond this program is the window's own work at
// start-up; gui_start_bench compares the two.
#include <QApplication>

#include "ui/qt/first_paint.h"
#include "ui/qt/qt_view.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  srom::QtView view;
  srom::ExitAfterFirstPaint first_paint;
  view.installEventFilter(&first_paint);
  view.show();
  return app.exec();
}
