#include "ui/qt/qt_standard_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/qt/qt_text.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kWarning:
      return QMessageBox::Warning;
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void RunWarningBox(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QtString(kMessageBoxTitle),
                  WithPlainBreaks(text), QMessageBox::Ok, parent);
  box.exec();
}

bool RunOkCancelBox(QWidget* parent, const std::string& caption,
                    const std::string& text, BoxIcon icon) {
  QMessageBox box(QtIcon(icon), QtString(caption), WithPlainBreaks(text),
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> RunOpenFileDialog(QWidget* parent,
                                             const std::string& filter,
                                             const std::string& folder) {
  const QString file = QFileDialog::getOpenFileName(
      parent, QString(), QtString(folder), QtFilter(filter), nullptr,
      QFileDialog::ReadOnly);
  if (file.isEmpty()) return std::nullopt;
  return Utf8(file);
}

}  // namespace srom
