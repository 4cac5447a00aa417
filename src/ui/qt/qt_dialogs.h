// The window's small dialogs on Qt: "Serial No. Type" and the About box.
#pragma once

#include <QDialog>

class QRadioButton;

namespace srom {

// "Serial No. Type": the choice is stored as soon as a radio button is
// clicked, so however the dialog is closed its caller reads the last one.
class CSerialNo : public QDialog {
 public:
  explicit CSerialNo(QWidget* parent);
  // 0: "Use Mac Address as Serial No.", 1: "Fixed to 00000000000001".
  int selection() const { return selection_; }

 private:
  int selection_ = 0;
};

class CAboutDlg : public QDialog {
 public:
  CAboutDlg(QWidget* parent, const QIcon& icon);
};

}  // namespace srom
