// QtView: the window's construction and the View's calls, each carried out
// on the window thread.
#include "ui/qt/qt_view.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <type_traits>

#include "ui/box_rules.h"
#include "ui/qt/check_spacing_style.h"
#include "ui/qt/qt_controls.h"
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
  widgets_ = BuildControls(this, base_, check_style_);
  for (const ControlLayout& layout : AllLayouts()) {
    QWidget* w = widget(layout.id);
    ids_[w] = layout.id;
    Connect(layout.id, w);
  }
}

QtView::~QtView() = default;

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
      // The same listing again, as each refresh of an unchanged image sets
      // it: laying out its lines again would only cost time.
      if (text == output_text_) return;
      output_text_ = text;
      output_text_pending_ = true;
      if (isVisible()) ShowOutputText();
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

void QtView::ShowOutputText() {
  if (!output_text_pending_) return;
  output_text_pending_ = false;
  static_cast<QPlainTextEdit*>(widget(ControlId::kOutputBox))
      ->setPlainText(WithPlainBreaks(output_text_));
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
  OnWindow([&] {
    if (visible && id == ControlId::kCautionPicture && picture_background_) {
      static_cast<QLabel*>(widget(id))
          ->setPixmap(Picture(PictureId::kCaution));
    }
    widget(id)->setVisible(visible);
  });
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
    picture_background_ = palette().color(QPalette::Window);
    pictures_ = {};
    // The caution picture goes into its control when the control is shown.
    QWidget* caution = widget(ControlId::kCautionPicture);
    if (!caution->isHidden()) {
      static_cast<QLabel*>(caution)->setPixmap(Picture(PictureId::kCaution));
    }
  });
}

const QPixmap& QtView::Picture(PictureId id) {
  QPixmap& picture = pictures_[static_cast<int>(id)];
  if (picture.isNull() && picture_background_) {
    picture = WindowPicture(id, *picture_background_);
  }
  return picture;
}

void QtView::SetResultPicture(ResultPicture picture) {
  OnWindow([&] {
    auto* label = static_cast<QLabel*>(widget(ControlId::kResultPicture));
    const auto id = PictureFor(picture);
    if (!id) {
      label->clear();
      return;
    }
    label->setPixmap(Picture(*id));
  });
}

void QtView::SetAdapterPicture(int index, AdapterPictureKind picture) {
  OnWindow([&] {
    static_cast<QLabel*>(widget(AdapterPicture(index)))
        ->setPixmap(Picture(PictureFor(picture)));
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

void QtView::CloseWindow() {
  OnWindow([&] {
    close_allowed_ = true;
    done(QDialog::Accepted);
  });
}

}  // namespace srom
