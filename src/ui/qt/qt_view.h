// The main window on Qt: the controls of the layout table as widgets, and the
// View the window logic drives. It holds no rules: every edit, focus loss,
// click, pick and key goes to the logic, which decides what it means.
//
// qt_view.cpp carries out the View's calls; qt_view_events.cpp takes the
// window's events to the logic and serves a worker's calls. The controls,
// fonts, pictures and Qt's standard dialogs have files of their own.
//
// Every View call may come from a worker thread; it is then carried out on
// the window thread while the worker waits.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ui/control_id.h"
#include "ui/layout.h"
#include "ui/picture_ids.h"
#include "ui/view.h"

class QStyle;
class QTimer;
class QWidget;

namespace srom {

class CKM62058_SromDlg;

class QtView : public QDialog, public View {
 public:
  explicit QtView(QWidget* parent = nullptr);
  ~QtView() override;

  // The logic every report goes to; set once, before the window is shown.
  void set_logic(CKM62058_SromDlg* logic) { logic_ = logic; }

  QWidget* widget(ControlId id) const { return widgets_[Index(id)]; }
  // The font's base units the dialog units were turned into pixels with.
  BaseUnits base_units() const { return base_; }
  // Open message boxes and dialogs, for tests that answer them.
  int modal_depth() const { return modal_depth_; }

  // View.
  std::string Text(ControlId id) override;
  void SetText(ControlId id, const std::string& text) override;
  bool Checked(ControlId id) override;
  void SetChecked(ControlId id, bool checked) override;
  bool Enabled(ControlId id) override;
  void SetEnabled(ControlId id, bool enabled) override;
  bool Visible(ControlId id) override;
  void SetVisible(ControlId id, bool visible) override;
  int ListIndex(ControlId id) override;
  void SetListIndex(ControlId id, int index) override;
  void SetLimit(ControlId id, int characters) override;
  void PlaceAt(ControlId id, ControlId place) override;
  void Focus(ControlId id) override;
  void SelectAll(ControlId id) override;
  void SetTitle(const std::string& title) override;
  void SetFontPoints(ControlId id, int points) override;
  void MessageBox(const std::string& text) override;
  bool AskOkCancel(const std::string& caption, const std::string& text,
                   BoxIcon icon) override;
  void SetResultPicture(ResultPicture picture) override;
  void SetAdapterPicture(int index, AdapterPictureKind picture) override;
  void SetProgress(int percent) override;
  void ShowVerdict(const std::string& text, bool passed) override;
  std::optional<std::string> OpenFileDialog(const std::string& filter,
                                            const std::string& folder) override;
  int SerialNoTypeDialog() override;
  void AboutBox() override;
  void LoadPictures() override;
  void StartTimer(int timer, int milliseconds) override;
  void StopTimer(int timer) override;
  void RunOnWindowThread(const std::function<void()>& task) override;
  void ServeUntil(const std::function<bool()>& done) override;
  void PostToWindowThread(std::function<void()> task) override;
  void CloseWindow() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void reject() override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  static int Index(ControlId id) { return static_cast<int>(id); }
  // Sends the control's edits, picks, clicks and keys to the logic.
  void Connect(ControlId id, QWidget* widget);
  std::optional<ControlId> FocusedControl() const;
  // Runs `f` on the window thread, waiting for it from any other thread.
  template <typename F>
  auto OnWindow(F f) -> decltype(f());
  // A modal box or dialog is open while this lives.
  struct Modal;
  // The picture, decoded the first time it is shown.
  const QPixmap& Picture(PictureId id);
  // The output box shows output_text_.
  void ShowOutputText();

  CKM62058_SromDlg* logic_ = nullptr;
  BaseUnits base_ = kReferenceBaseUnits;
  // The check boxes' and radio buttons' style; a child of the window.
  QStyle* check_style_ = nullptr;
  std::array<QWidget*, kControlCount> widgets_{};
  std::map<QWidget*, ControlId> ids_;
  // The output box's text as it was set, line ends included; the widget
  // shows it with plain line breaks. Start-up sets it a dozen times before
  // the window is shown: the widget takes only the last, when it is shown.
  std::string output_text_;
  bool output_text_pending_ = false;
  // Decoded on first use: start-up shows none of them but the caution
  // picture, and that only in an eFuse layout.
  std::optional<QColor> picture_background_;
  std::array<QPixmap, kPictures.size()> pictures_;
  std::map<int, QTimer*> timers_;
  int modal_depth_ = 0;
  bool close_allowed_ = false;
};

}  // namespace srom
