#include "ui/qt/qt_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <utility>

#include "ui/box_rules.h"
#include "ui/qt/check_spacing_style.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/qt_fonts.h"
#include "ui/qt/qt_pictures.h"
#include "ui/qt/qt_standard_dialogs.h"
#include "ui/qt/qt_text.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

namespace srom {

struct QtView::Modal {
  explicit Modal(QtView& view) : view(view) { ++view.modal_depth_; }
  ~Modal() { --view.modal_depth_; }
  QtView& view;
};

QtView::QtView(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  const QFont font = WindowFont();
  setFont(font);
  check_style_ = new CheckSpacingStyle(this);
  base_ = MeasureBaseUnits(font);
  setWindowTitle(QtString(kInitialTitle));
  setWindowIcon(AppIcon());
  setFixedSize(DluToPixelsX(kClientWidthDlu, base_),
               DluToPixelsY(kClientHeightDlu, base_));
  BuildControls();
}

QtView::~QtView() = default;

void QtView::BuildControls() {
  // Frames first, so that the controls drawn in them lie above.
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind == ControlKind::kFrame) MakeControl(layout);
  }
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind != ControlKind::kFrame) MakeControl(layout);
  }
  // The template's starting states.
  for (const ControlLayout& layout : AllLayouts()) {
    if (StartsHidden(layout.id)) widget(layout.id)->hide();
    if (StartsDisabled(layout.id)) widget(layout.id)->setEnabled(false);
  }
}

QWidget* QtView::MakeControl(const ControlLayout& layout) {
  const QString caption = QtString(layout.caption);
  QWidget* w = nullptr;
  switch (layout.kind) {
    case ControlKind::kFrame:
      w = new QGroupBox(caption, this);
      break;
    case ControlKind::kLabel:
      w = new QLabel(caption, this);
      break;
    case ControlKind::kEditBox: {
      auto* edit = new QLineEdit(this);
      edit->setContextMenuPolicy(Qt::DefaultContextMenu);
      w = edit;
      break;
    }
    case ControlKind::kOutputBox: {
      auto* out = new QPlainTextEdit(this);
      out->setReadOnly(true);
      out->setLineWrapMode(QPlainTextEdit::NoWrap);
      out->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      w = out;
      break;
    }
    case ControlKind::kDropDownList: {
      auto* list = new QComboBox(this);
      list->setEditable(false);
      for (std::string_view entry : layout.entries)
        list->addItem(QtString(entry));
      list->setCurrentIndex(-1);
      w = list;
      break;
    }
    case ControlKind::kCheckBox:
      w = new QCheckBox(caption, this);
      w->setStyle(check_style_);
      break;
    case ControlKind::kRadioButton:
      w = new QRadioButton(caption, this);
      w->setStyle(check_style_);
      break;
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(caption, this);
      // Enter never presses a button: the key filter decides what it does.
      button->setAutoDefault(false);
      button->setDefault(false);
      w = button;
      break;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(this);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      w = bar;
      break;
    }
    case ControlKind::kPicture: {
      auto* picture = new QLabel(this);
      picture->setAlignment(Qt::AlignCenter);
      w = picture;
      break;
    }
  }
  const PixelRect r = DluToPixels(layout.rect, base_);
  w->setGeometry(r.x, r.y, r.width, r.height);
  if (layout.id == ControlId::kCountdownLabel) {
    QPalette colours = w->palette();
    colours.setColor(QPalette::WindowText, QColor(150, 0, 255));
    w->setPalette(colours);
  }
  if (layout.kind == ControlKind::kLabel && layout.caption.empty()) {
    static_cast<QLabel*>(w)->setText(QString());
  }
  if (layout.id == ControlId::kVerdictLabel) {
    QFont font = w->font();
    font.setPointSize(kVerdictPoints);
    font.setBold(true);
    w->setFont(font);
    static_cast<QLabel*>(w)->setAlignment(Qt::AlignCenter);
  }
  widgets_[Index(layout.id)] = w;
  ids_[w] = layout.id;
  w->setObjectName(QtString(ControlName(layout.id)));
  Connect(layout.id, w);
  return w;
}

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

template <typename F>
auto QtView::OnWindow(F f) -> decltype(f()) {
  if (QThread::currentThread() == thread()) return f();
  using R = decltype(f());
  if constexpr (std::is_void_v<R>) {
    QMetaObject::invokeMethod(
        this, [&f] { f(); }, Qt::BlockingQueuedConnection);
  } else {
    R result{};
    QMetaObject::invokeMethod(
        this, [&f, &result] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

std::string QtView::Text(ControlId id) {
  return OnWindow([&]() -> std::string {
    QWidget* w = widget(id);
    if (id == ControlId::kOutputBox) return output_text_;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return Utf8(edit->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return Utf8(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      return Utf8(button->text());
    }
    if (auto* frame = qobject_cast<QGroupBox*>(w)) return Utf8(frame->title());
    if (auto* list = qobject_cast<QComboBox*>(w)) {
      return Utf8(list->currentText());
    }
    return {};
  });
}

void QtView::SetText(ControlId id, const std::string& text) {
  OnWindow([&] {
    QWidget* w = widget(id);
    if (id == ControlId::kOutputBox) {
      output_text_ = text;
      auto* out = static_cast<QPlainTextEdit*>(w);
      out->setPlainText(WithPlainBreaks(text));
      return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      edit->setText(QtString(ShownText(id, text)));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
      label->setText(QtString(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->setText(QtString(text));
    } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
      frame->setTitle(QtString(text));
    }
    if (HasFittedCaption(id)) {
      FitCaption(w, id == ControlId::kVerdictLabel ? kVerdictPoints
                                                   : kWindowFontPoints);
    }
  });
}

bool QtView::Checked(ControlId id) {
  return OnWindow([&] {
    auto* button = qobject_cast<QAbstractButton*>(widget(id));
    return button != nullptr && button->isChecked();
  });
}

void QtView::SetChecked(ControlId id, bool checked) {
  OnWindow([&] {
    if (auto* button = qobject_cast<QAbstractButton*>(widget(id))) {
      // A radio button cannot be unchecked by itself in its group.
      const bool exclusive = button->autoExclusive();
      if (!checked) button->setAutoExclusive(false);
      button->setChecked(checked);
      button->setAutoExclusive(exclusive);
    }
  });
}

bool QtView::Enabled(ControlId id) {
  return OnWindow([&] { return widget(id)->isEnabled(); });
}

void QtView::SetEnabled(ControlId id, bool enabled) {
  OnWindow([&] { widget(id)->setEnabled(enabled); });
}

bool QtView::Visible(ControlId id) {
  return OnWindow([&] { return !widget(id)->isHidden(); });
}

void QtView::SetVisible(ControlId id, bool visible) {
  OnWindow([&] { widget(id)->setVisible(visible); });
}

int QtView::ListIndex(ControlId id) {
  return OnWindow([&] {
    auto* list = qobject_cast<QComboBox*>(widget(id));
    return list != nullptr ? list->currentIndex() : -1;
  });
}

void QtView::SetListIndex(ControlId id, int index) {
  OnWindow([&] {
    if (auto* list = qobject_cast<QComboBox*>(widget(id))) {
      list->setCurrentIndex(index);
    }
  });
}

void QtView::SetLimit(ControlId id, int characters) {
  OnWindow([&] {
    if (auto* edit = qobject_cast<QLineEdit*>(widget(id))) {
      edit->setMaxLength(characters);
    }
  });
}

void QtView::PlaceAt(ControlId id, ControlId place) {
  OnWindow([&] {
    const PixelRect r = DluToPixels(LayoutOf(place).rect, base_);
    widget(id)->move(r.x, r.y);
  });
}

void QtView::Focus(ControlId id) {
  OnWindow([&] { widget(id)->setFocus(Qt::OtherFocusReason); });
}

void QtView::SelectAll(ControlId id) {
  OnWindow([&] {
    if (auto* edit = qobject_cast<QLineEdit*>(widget(id))) edit->selectAll();
  });
}

void QtView::SetTitle(const std::string& title) {
  OnWindow([&] { setWindowTitle(QtString(title)); });
}

void QtView::SetFontPoints(ControlId id, int points) {
  OnWindow([&] { SetPointSize(widget(id), points); });
}

void QtView::MessageBox(const std::string& text) {
  OnWindow([&] {
    const Modal modal(*this);
    RunWarningBox(this, text);
  });
}

bool QtView::AskOkCancel(const std::string& caption, const std::string& text,
                         BoxIcon icon) {
  return OnWindow([&] {
    const Modal modal(*this);
    return RunOkCancelBox(this, caption, text, icon);
  });
}

void QtView::LoadPictures() {
  OnWindow([&] {
    pictures_ = WindowPictures(palette().color(QPalette::Window));
    static_cast<QLabel*>(widget(ControlId::kCautionPicture))
        ->setPixmap(pictures_[static_cast<int>(PictureId::kCaution)]);
  });
}

void QtView::SetResultPicture(ResultPicture picture) {
  OnWindow([&] {
    auto* label = static_cast<QLabel*>(widget(ControlId::kResultPicture));
    const auto id = PictureFor(picture);
    if (!id) {
      label->clear();
      return;
    }
    label->setPixmap(pictures_[static_cast<int>(*id)]);
  });
}

void QtView::SetAdapterPicture(int index, AdapterPictureKind picture) {
  OnWindow([&] {
    static_cast<QLabel*>(widget(AdapterPicture(index)))
        ->setPixmap(pictures_[static_cast<int>(PictureFor(picture))]);
  });
}

void QtView::SetProgress(int percent) {
  OnWindow([&] {
    static_cast<QProgressBar*>(widget(ControlId::kProgressBar))
        ->setValue(percent);
  });
}

void QtView::ShowVerdict(const std::string& text, bool passed) {
  OnWindow([&] {
    QWidget* w = widget(ControlId::kVerdictLabel);
    QPalette colours = w->palette();
    colours.setColor(QPalette::WindowText,
                     passed ? QColor(0, 128, 0) : QColor(200, 0, 0));
    w->setPalette(colours);
    SetText(ControlId::kVerdictLabel, text);
  });
}

std::optional<std::string> QtView::OpenFileDialog(const std::string& filter,
                                                  const std::string& folder) {
  return OnWindow([&] {
    const Modal modal(*this);
    return RunOpenFileDialog(this, filter, folder);
  });
}

int QtView::SerialNoTypeDialog() {
  return OnWindow([&] {
    const Modal modal(*this);
    CSerialNo dialog(this);
    dialog.exec();
    return dialog.selection();
  });
}

void QtView::AboutBox() {
  OnWindow([&] {
    const Modal modal(*this);
    CAboutDlg about(this, windowIcon());
    about.exec();
  });
}

void QtView::StartTimer(int timer, int milliseconds) {
  OnWindow([&] {
    QTimer*& t = timers_[timer];
    if (t == nullptr) {
      t = new QTimer(this);
      connect(t, &QTimer::timeout, this, [this, timer] {
        if (logic_ != nullptr) logic_->OnOperator(OperatorEvent::Tick(timer));
      });
    }
    t->start(milliseconds);
  });
}

void QtView::StopTimer(int timer) {
  OnWindow([&] {
    const auto found = timers_.find(timer);
    if (found != timers_.end()) found->second->stop();
  });
}

void QtView::RunOnWindowThread(const std::function<void()>& task) {
  OnWindow([&task] { task(); });
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

void QtView::CloseWindow() {
  OnWindow([&] {
    close_allowed_ = true;
    done(QDialog::Accepted);
  });
}

}  // namespace srom
