#include "ui/qt/qt_text.h"

#include <QStringList>

namespace srom {

QString QtString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

QString WithPlainBreaks(std::string_view text) {
  QString shown = QtString(text);
  shown.replace("\r\n", "\n");
  shown.remove('\r');
  return shown;
}

QString QtFilter(std::string_view filter) {
  const QStringList parts = QtString(filter).split('|', Qt::SkipEmptyParts);
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    pattern.replace("*.*", "*");
    filters << parts[i] + " (" + pattern + ")";
  }
  return filters.join(";;");
}

}  // namespace srom
