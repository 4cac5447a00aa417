#include "qt_window_driver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace srom::test {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "qt_view_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace

QtWindowDriver::~QtWindowDriver() {
  answerer_.stop();
  dlg_.reset();
  view_.reset();
}

// The window as srom-tool assembles it.
void QtWindowDriver::Start() {
  App();
  view_ = std::make_unique<QtView>();
  dlg_ = std::make_unique<CKM62058_SromDlg>(*view_, adapter_, clock_,
                                            FileFolders{dir_, dir_});
  view_->set_logic(dlg_.get());
  QObject::connect(view_.get(), &QDialog::finished,
                   [this] { finished_ = true; });
  answerer_.setInterval(5);
  QObject::connect(&answerer_, &QTimer::timeout, [this] { AnswerBoxes(); });
  answerer_.start();
  ASSERT_TRUE(dlg_->OnInitDialog(nullptr));
  view_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  boxes_.clear();
}

void QtWindowDriver::AnswerBoxes() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr) return;
  boxes_.push_back(
      {box->windowTitle().toStdString(), box->text().toStdString()});
  box->button(QMessageBox::Ok)->click();
}

void QtWindowDriver::TypeInto(ControlId id, const QString& keys) {
  QLineEdit* box = W<QLineEdit>(id);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClicks(box, keys);
}

void QtWindowDriver::Type(ControlId box, const std::string& keys) {
  TypeInto(box, QString::fromStdString(keys));
}

void QtWindowDriver::LeaveBox(ControlId box) {
  QTest::keyClick(view_->widget(box), Qt::Key_Tab);
}

void QtWindowDriver::Click(ControlId button) {
  QTest::mouseClick(view_->widget(button), Qt::LeftButton);
}

// Picks an entry as the operator does, with the keyboard on the list.
void QtWindowDriver::Pick(ControlId list, int index) {
  QComboBox* box = W<QComboBox>(list);
  box->setFocus();
  while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
  while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
  Settle();
}

void QtWindowDriver::CloseWindow() { view_->close(); }

std::string QtWindowDriver::Text(ControlId id) {
  QWidget* w = view_->widget(id);
  if (auto* box = qobject_cast<QLineEdit*>(w)) return box->text().toStdString();
  if (auto* out = qobject_cast<QPlainTextEdit*>(w)) {
    return out->toPlainText().toStdString();
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    return button->text().toStdString();
  }
  if (auto* label = qobject_cast<QLabel*>(w)) {
    return label->text().toStdString();
  }
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    return list->currentText().toStdString();
  }
  ADD_FAILURE() << ControlName(id) << " shows no text";
  return {};
}

std::string QtWindowDriver::Title() {
  return view_->windowTitle().toStdString();
}

bool QtWindowDriver::Enabled(ControlId id) {
  return view_->widget(id)->isEnabled();
}

bool QtWindowDriver::Visible(ControlId id) {
  return !view_->widget(id)->isHidden();
}

std::pair<int, int> QtWindowDriver::PictureSize(ControlId id) {
  const QPixmap shown = W<QLabel>(id)->pixmap();
  return {shown.width(), shown.height()};
}

bool QtWindowDriver::Shown() { return view_ != nullptr && view_->isVisible(); }

bool QtWindowDriver::Closed() { return finished_ && !view_->isVisible(); }

std::vector<std::string> QtWindowDriver::OpenDialogs() {
  std::vector<std::string> titles;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w != view_.get() && w->isVisible() &&
        qobject_cast<QDialog*>(w) != nullptr) {
      titles.push_back(w->windowTitle().toStdString());
    }
  }
  return titles;
}

bool QtWindowDriver::JobRunning() {
  return dlg_ != nullptr && dlg_->job_running();
}

bool QtWindowDriver::DestroyLogic() {
  const bool was_running = dlg_->job_running();
  view_->set_logic(nullptr);
  dlg_.reset();  // waits for the job
  return was_running;
}

void QtWindowDriver::Settle() {
  QCoreApplication::processEvents();
  ASSERT_TRUE(WaitFor([this] {
    return view_->modal_depth() == 0 &&
           QApplication::activeModalWidget() == nullptr;
  })) << "a box stays open";
  QCoreApplication::processEvents();
}

void QtWindowDriver::ServeAWhile() { QTest::qWait(5); }

}  // namespace srom::test
