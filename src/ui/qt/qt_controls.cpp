#include "ui/qt/qt_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <string_view>

#include "ui/qt/qt_text.h"

namespace srom {
namespace {

QWidget* MakeControl(QWidget* window, const ControlLayout& layout,
                     BaseUnits base, QStyle* check_style) {
  const QString caption = QtString(layout.caption);
  QWidget* w = nullptr;
  switch (layout.kind) {
    case ControlKind::kFrame:
      w = new QGroupBox(caption, window);
      break;
    case ControlKind::kLabel:
      w = new QLabel(caption, window);
      break;
    case ControlKind::kEditBox: {
      auto* edit = new QLineEdit(window);
      edit->setContextMenuPolicy(Qt::DefaultContextMenu);
      w = edit;
      break;
    }
    case ControlKind::kOutputBox: {
      auto* out = new QPlainTextEdit(window);
      out->setReadOnly(true);
      out->setLineWrapMode(QPlainTextEdit::NoWrap);
      out->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      w = out;
      break;
    }
    case ControlKind::kDropDownList: {
      auto* list = new QComboBox(window);
      list->setEditable(false);
      for (std::string_view entry : layout.entries) {
        list->addItem(QtString(entry));
      }
      list->setCurrentIndex(-1);
      w = list;
      break;
    }
    case ControlKind::kCheckBox:
      w = new QCheckBox(caption, window);
      w->setStyle(check_style);
      break;
    case ControlKind::kRadioButton:
      w = new QRadioButton(caption, window);
      w->setStyle(check_style);
      break;
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(caption, window);
      // Enter never presses a button: the key filter decides what it does.
      button->setAutoDefault(false);
      button->setDefault(false);
      w = button;
      break;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(window);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      w = bar;
      break;
    }
    case ControlKind::kPicture: {
      auto* picture = new QLabel(window);
      picture->setAlignment(Qt::AlignCenter);
      w = picture;
      break;
    }
  }
  const PixelRect r = DluToPixels(layout.rect, base);
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
  w->setObjectName(QtString(ControlName(layout.id)));
  return w;
}

}  // namespace

QtControls BuildControls(QWidget* window, BaseUnits base, QStyle* check_style) {
  QtControls controls{};
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind == ControlKind::kFrame) {
      controls[static_cast<int>(layout.id)] =
          MakeControl(window, layout, base, check_style);
    }
  }
  for (const ControlLayout& layout : AllLayouts()) {
    if (layout.kind != ControlKind::kFrame) {
      controls[static_cast<int>(layout.id)] =
          MakeControl(window, layout, base, check_style);
    }
  }
  for (const ControlLayout& layout : AllLayouts()) {
    QWidget* w = controls[static_cast<int>(layout.id)];
    if (StartsHidden(layout.id)) w->hide();
    if (StartsDisabled(layout.id)) w->setEnabled(false);
  }
  return controls;
}

}  // namespace srom
