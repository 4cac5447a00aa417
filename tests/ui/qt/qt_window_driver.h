// The real Qt window on Qt's offscreen platform, driven through its widgets
// with QTest: keys typed into boxes, buttons clicked, list entries picked by
// keyboard, as an operator does. A timer reads and answers with OK every
// message box that opens.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_folder.h"
#include "ui/control_id.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"
#include "window_driver.h"

namespace srom::test {

class QtWindowDriver : public WindowDriver {
 public:
  QtWindowDriver() = default;
  ~QtWindowDriver() override;

  void Start() override;
  void Type(ControlId box, const std::string& keys) override;
  void LeaveBox(ControlId box) override;
  void Click(ControlId button) override;
  void Pick(ControlId list, int index) override;
  void CloseWindow() override;
  std::string Text(ControlId id) override;
  std::string Title() override;
  bool Enabled(ControlId id) override;
  bool Visible(ControlId id) override;
  std::pair<int, int> PictureSize(ControlId id) override;
  bool Shown() override;
  bool Closed() override;
  std::vector<std::string> OpenDialogs() override;
  bool JobRunning() override;
  bool DestroyLogic() override;
  void Settle() override;

 protected:
  void ServeAWhile() override;

  // Reads and answers the box that is open, if any.
  void AnswerBoxes();
  template <typename T>
  T* W(ControlId id) {
    return qobject_cast<T*>(view_->widget(id));
  }
  std::string TextOf(ControlId id) { return Text(id); }
  // Selects the box's whole text by keyboard and types over it.
  void TypeInto(ControlId id, const QString& keys);

  TempFolder folder_;
  const std::filesystem::path dir_ = folder_.path();
  std::unique_ptr<QtView> view_;
  std::unique_ptr<CKM62058_SromDlg> dlg_;
  QTimer answerer_;
  bool finished_ = false;
};

}  // namespace srom::test
