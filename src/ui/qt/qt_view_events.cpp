// QtView: the window's events to the logic (the controls' signals, the key
// and focus filter, the window's keys, close and context menu) and the event
// loops that serve a worker's calls.
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTimer>
#include <utility>

#include "ui/box_rules.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

namespace srom {

void QtView::Connect(ControlId id, QWidget* w) {
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->installEventFilter(this);
    // Only the operator's edits: a text the program sets runs its rule in
    // the logic, never twice.
    connect(edit, &QLineEdit::textEdited, this, [this, id, edit] {
      const std::string typed = Utf8(edit->text());
      const std::string shown = ShownText(id, typed);
      if (shown != typed) {
        const int cursor = edit->cursorPosition();
        edit->setText(QtString(shown));
        edit->setCursorPosition(cursor);
      }
      if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::TextEdit(id));
    });
  } else if (auto* list = qobject_cast<QComboBox*>(w)) {
    list->installEventFilter(this);
    connect(list, &QComboBox::activated, this, [this, id] {
      if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::Pick(id));
    });
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->installEventFilter(this);
    connect(button, &QAbstractButton::clicked, this, [this, id] {
      if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::Click(id));
    });
  } else if (qobject_cast<QPlainTextEdit*>(w) != nullptr) {
    w->installEventFilter(this);
  }
}

std::optional<ControlId> QtView::FocusedControl() const {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr;
       w = w->parentWidget()) {
    const auto found = ids_.find(w);
    if (found != ids_.end()) return found->second;
  }
  return std::nullopt;
}

bool QtView::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  const auto found = ids_.find(w);
  if (found == ids_.end() || logic_ == nullptr) {
    return QDialog::eventFilter(watched, event);
  }
  const ControlId id = found->second;
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      return logic_->OnOperator(OperatorEvent::KeyPress(id, Key::kEscape));
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      return logic_->OnOperator(OperatorEvent::KeyPress(id, Key::kEnter));
    }
    if (key->key() == Qt::Key_F1) {
      logic_->OnOperator(OperatorEvent::About());
      return true;
    }
    // A typed character the box does not take never reaches it. Tab moves
    // the focus and Delete edits, as they do in every box.
    const QString text = key->text();
    if (qobject_cast<QLineEdit*>(w) != nullptr && text.size() == 1 &&
        key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab &&
        key->key() != Qt::Key_Delete) {
      const QChar c = text.at(0);
      const char typed =
          c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '\x7f';
      if (!BoxTakes(id, typed)) return true;
    }
    return false;
  }
  if (event->type() == QEvent::FocusOut &&
      qobject_cast<QLineEdit*>(w) != nullptr) {
    // A menu or another window taking the focus is not leaving the box:
    // the operator comes back to it.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason &&
        reason != Qt::ActiveWindowFocusReason && modal_depth_ == 0) {
      logic_->OnOperator(OperatorEvent::FocusLoss(id));
    }
  }
  return QDialog::eventFilter(watched, event);
}

void QtView::keyPressEvent(QKeyEvent* event) {
  if (logic_ != nullptr) {
    if (event->key() == Qt::Key_Escape &&
        logic_->OnOperator(
            OperatorEvent::KeyPress(FocusedControl(), Key::kEscape))) {
      return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        logic_->OnOperator(
            OperatorEvent::KeyPress(FocusedControl(), Key::kEnter))) {
      return;
    }
    if (event->key() == Qt::Key_F1) {
      logic_->OnOperator(OperatorEvent::About());
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

void QtView::showEvent(QShowEvent* event) {
  ShowOutputText();
  QDialog::showEvent(event);
}

// Escape never closes the window.
void QtView::reject() {}

void QtView::closeEvent(QCloseEvent* event) {
  if (close_allowed_ || logic_ == nullptr) {
    event->accept();
    return;
  }
  event->ignore();
  logic_->OnOperator(OperatorEvent::Close());
}

// This platform has no system menu to put the About entry in: the window's
// context menu carries it (and F1 opens it).
void QtView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* about = menu.addAction(QtString(kAboutMenuEntry));
  if (menu.exec(event->globalPos()) == about && logic_ != nullptr) {
    logic_->OnOperator(OperatorEvent::About());
  }
}

void QtView::ServeUntil(const std::function<bool()>& done) {
  if (done()) return;
  // The worker's calls arrive as events; the loop serves them and looks at
  // `done` after each and on every tick.
  QEventLoop loop;
  QTimer tick;
  const auto check = [&] {
    if (done()) loop.quit();
  };
  connect(&tick, &QTimer::timeout, &loop, check);
  tick.start(10);
  loop.exec();
}

void QtView::PostToWindowThread(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace srom
