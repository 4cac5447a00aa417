// For start-up measurements: ends the program at a widget's first paint,
// after saying so on the output stream, so that a measuring program sees the
// moment the window was first drawn.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <iostream>

namespace srom {

class ExitAfterFirstPaint : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !painted_) {
      painted_ = true;
      std::cout << "first paint" << std::endl;
      QCoreApplication::exit(0);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool painted_ = false;
};

}  // namespace srom
