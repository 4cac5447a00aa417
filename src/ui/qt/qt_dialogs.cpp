#include "ui/qt/qt_dialogs.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/settings.h"
#include "ui/window_texts.h"

namespace srom {

CSerialNo::CSerialNo(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Serial No. Type");
  setModal(true);
  // Radio marks as close to their captions as in the main window, and the
  // buttons as compact as the dialog was drawn with.
  setStyleSheet("QRadioButton { spacing: 3px; }");
  auto* from_mac = new QRadioButton("Use Mac Address as Serial No.", this);
  auto* fixed = new QRadioButton("Fixed to 00000000000001", this);
  auto* ok = new QPushButton("OK", this);
  from_mac->setChecked(true);
  connect(from_mac, &QRadioButton::clicked, this,
          [this] { selection_ = kSerialFromMac; });
  connect(fixed, &QRadioButton::clicked, this,
          [this] { selection_ = kSerialFixed; });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(from_mac);
  layout->addWidget(fixed);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  setFixedSize(sizeHint());
}

CAboutDlg::CAboutDlg(QWidget* parent, const QIcon& icon) : QDialog(parent) {
  setWindowTitle(kAboutTitle);
  setModal(true);
  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(32, 32));
  auto* lines = new QVBoxLayout;
  lines->addWidget(new QLabel(kAboutVersionLine, this));
  lines->addWidget(new QLabel(kAboutNotice, this));
  auto* top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addLayout(lines);
  auto* ok = new QPushButton(QString::fromUtf8(kAboutOk), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(ok, 0, Qt::AlignRight);
  setFixedSize(sizeHint());
}

}  // namespace srom
