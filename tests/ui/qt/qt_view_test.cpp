// The real Qt window on Qt's offscreen platform, driven through its widgets:
// keys typed into boxes, buttons clicked, list entries picked, message boxes
// answered, as an operator does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/sim/simulated_adapter.h"
#include "model/messages.h"
#include "ports/clock.h"
#include "support/fake_clock.h"
#include "support/temp_folder.h"
#include "ui/device_layout.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"
#include "ui/window_texts.h"

namespace srom::test {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "qt_view_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The window as srom-tool assembles it, on a simulated adapter and a fresh
// station folder. Every message box that opens is read and answered OK.
class QtWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    view_ = std::make_unique<QtView>();
    dlg_ = std::make_unique<CKM62058_SromDlg>(*view_, adapter_, clock_,
                                              FileFolders{dir_, dir_});
    view_->set_logic(dlg_.get());
    answerer_.setInterval(5);
    QObject::connect(&answerer_, &QTimer::timeout, [this] { AnswerBoxes(); });
    answerer_.start();
    ASSERT_TRUE(dlg_->OnInitDialog(nullptr));
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    boxes_.clear();
  }
  void TearDown() override {
    answerer_.stop();
    dlg_.reset();
    view_.reset();
  }

  void AnswerBoxes() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    boxes_.push_back(box->text().toStdString());
    box->button(QMessageBox::Ok)->click();
  }

  template <typename T>
  T* W(ControlId id) {
    return qobject_cast<T*>(view_->widget(id));
  }
  std::string TextOf(ControlId id) {
    return W<QLineEdit>(id)->text().toStdString();
  }
  // Selects the box's whole text by keyboard and types over it.
  void TypeInto(ControlId id, const QString& keys) {
    QLineEdit* box = W<QLineEdit>(id);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, keys);
  }
  void Click(ControlId id) {
    QTest::mouseClick(view_->widget(id), Qt::LeftButton);
  }
  // Picks an entry as the operator does, with the keyboard on the list.
  void Pick(ControlId id, int index) {
    QComboBox* list = W<QComboBox>(id);
    list->setFocus();
    while (list->currentIndex() < index) QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > index) QTest::keyClick(list, Qt::Key_Up);
  }
  bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > ms) return false;
      QTest::qWait(5);
    }
    return true;
  }

  testing::TempFolder folder_;
  const std::filesystem::path dir_ = folder_.path();
  SimulatedAdapter adapter_{256};
  FakeClock clock_{LocalTime{2019, 4, 24, 9, 5, 7}};
  std::unique_ptr<QtView> view_;
  std::unique_ptr<CKM62058_SromDlg> dlg_;
  QTimer answerer_;
  std::vector<std::string> boxes_;
};

TEST_F(QtWindowTest, TypedAddressIsProgrammedAndStepped) {
  TypeInto(ControlId::kCurrentMac, "00e04c0000a1");
  EXPECT_EQ(TextOf(ControlId::kCurrentMac), "00E04C0000A1") << "upper case";
  Click(ControlId::kProgram);
  ASSERT_TRUE(WaitFor([this] { return !dlg_->job_running(); }));

  EXPECT_THAT(boxes_, ::testing::IsEmpty());
  EXPECT_EQ(TextOf(ControlId::kCurrentMac), "00E04C0000A2");
  EXPECT_EQ(adapter_.eeprom()[5], 0xA1);
  const QPixmap pass = W<QLabel>(ControlId::kResultPicture)->pixmap();
  EXPECT_EQ(pass.size(), QSize(154, 139));
  EXPECT_TRUE(W<QPlainTextEdit>(ControlId::kOutputBox)
                  ->toPlainText()
                  .startsWith("00 E0 4C 00 00 A1"));
  EXPECT_TRUE(view_->widget(ControlId::kProgram)->isEnabled());
}

TEST_F(QtWindowTest, HexBoxDropsWhatItDoesNotTake) {
  TypeInto(ControlId::kVendorId, "4g-C1e");
  EXPECT_EQ(TextOf(ControlId::kVendorId), "4C1E");
}

TEST_F(QtWindowTest, RejectedSettingShowsItsMessageAndPutsTheTextBack) {
  TypeInto(ControlId::kVendorId, "4C1");
  QTest::keyClick(W<QLineEdit>(ControlId::kVendorId), Qt::Key_Tab);
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() >= 2; }));
  EXPECT_EQ(boxes_[0], "Wrong Vendor ID Length");
  EXPECT_EQ(boxes_[1], msg::kCheckDataCorrectFail);
  EXPECT_EQ(TextOf(ControlId::kVendorId), "4C1E");
}

TEST_F(QtWindowTest, EscapeAndEnterNeitherCloseNorPress) {
  QLineEdit* box = W<QLineEdit>(ControlId::kVendorId);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Escape);
  QTest::keyClick(box, Qt::Key_Return);
  QTest::qWait(20);
  EXPECT_TRUE(view_->isVisible());
  EXPECT_EQ(adapter_.request_count() > 0, true);
  EXPECT_EQ(adapter_.eeprom()[0], 0xFF) << "nothing programmed";
}

class QtSelectionTest : public QtWindowTest,
                        public ::testing::WithParamInterface<int> {};

TEST_P(QtSelectionTest, EachEntryShowsItsLayout) {
  const int sel = GetParam();
  const int other = sel == kChipAEeprom ? kChipBEeprom : kChipAEeprom;
  Pick(ControlId::kDeviceSel, other);
  Pick(ControlId::kDeviceSel, sel);
  ASSERT_TRUE(WaitFor([this, sel] {
    return view_->windowTitle().toStdString() == WindowTitle(sel);
  }));
  for (ControlId id : SelectionDependentControls()) {
    EXPECT_EQ(!view_->widget(id)->isHidden(), *VisibleIn(id, sel))
        << ControlName(id);
  }
  EXPECT_EQ(W<QPushButton>(ControlId::kSave)->text().toStdString(),
            SaveButtonCaption(sel));
}

INSTANTIATE_TEST_SUITE_P(Entries, QtSelectionTest,
                         ::testing::Values(kChipBEeprom, kChipBEfuse,
                                           kChipAEeprom, kChipAEfuse));

TEST_F(QtWindowTest, TheWindowAnswersWhileAJobRunsAndGetsItsControlsBack) {
  adapter_.set_latency(std::chrono::microseconds(300));
  Click(ControlId::kProgram);
  ASSERT_TRUE(dlg_->job_running());
  // The window thread is free: what is queued for it runs while the job is
  // still writing, and the controls show the busy state.
  bool served_during_job = false;
  bool served = false;
  QTimer::singleShot(0, [&] {
    served = true;
    served_during_job = dlg_->job_running();
  });
  ASSERT_TRUE(WaitFor([&served] { return served; }));
  EXPECT_TRUE(served_during_job);
  EXPECT_FALSE(view_->widget(ControlId::kProgram)->isEnabled());
  EXPECT_TRUE(view_->widget(ControlId::kOutputBox)->isEnabled());
  ASSERT_TRUE(WaitFor([this] { return !dlg_->job_running(); }));
  EXPECT_TRUE(view_->widget(ControlId::kProgram)->isEnabled());
  EXPECT_TRUE(view_->widget(ControlId::kVendorId)->isEnabled());
}

TEST_F(QtWindowTest, AWorkersExchangeIsServedWhileAMessageBoxIsOpen) {
  answerer_.stop();
  std::atomic<bool> worker_done{false};
  std::thread worker;
  QTimer::singleShot(0, [&] {
    // The box is open now: a worker asks for the exchange and waits.
    worker = std::thread([&] {
      dlg_->UpdateData(true);
      worker_done = true;
    });
    QTimer::singleShot(0, [&] {
      WaitFor([&] { return worker_done.load(); }, 5000);
      AnswerBoxes();
    });
  });
  view_->MessageBox("a box");
  worker.join();
  EXPECT_TRUE(worker_done);
}

TEST_F(QtWindowTest, ClosingDuringAJobClosesWhenTheJobEnds) {
  adapter_.set_latency(std::chrono::microseconds(300));
  bool finished = false;
  QObject::connect(view_.get(), &QDialog::finished,
                   [&finished] { finished = true; });
  Click(ControlId::kProgram);
  view_->close();
  EXPECT_FALSE(finished) << "held while the unit is written";
  ASSERT_TRUE(WaitFor([&finished] { return finished; }));
  EXPECT_FALSE(dlg_->job_running());
  EXPECT_EQ(adapter_.eeprom()[5], 0x01);
}

TEST_F(QtWindowTest, DestroyingTheLogicDuringAJobDoesNotHang) {
  adapter_.set_latency(std::chrono::microseconds(300));
  Click(ControlId::kProgram);
  ASSERT_TRUE(dlg_->job_running());
  dlg_.reset();
  EXPECT_EQ(adapter_.eeprom()[5], 0x01);
}

}  // namespace
}  // namespace srom::test
