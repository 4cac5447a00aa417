// The real Qt window on Qt's offscreen platform, driven through its widgets:
// keys typed into boxes, buttons clicked, list entries picked, message boxes
// answered, as an operator does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetrics>
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
#include "ui/layout.h"
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

  test::TempFolder folder_;
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

// The operator types another address into "Current" and presses Tab while
// an eFuse unit waits between its writes. The box is not the operator's then:
// the unit is written with the address it started with, and no fuse gets
// the bits of both.
TEST_F(QtWindowTest, AnEditDuringAnEfuseRetryNeverReachesTheFuses) {
  Pick(ControlId::kDeviceSel, kChipAEfuse);
  TypeInto(ControlId::kCurrentMac, "00E04C000010");
  QTest::keyClick(W<QLineEdit>(ControlId::kCurrentMac), Qt::Key_Tab);
  ASSERT_TRUE(WaitFor([this] { return view_->modal_depth() == 0; }));
  adapter_.set_weak_efuse_bits(0, 0x0F, 3);  // the unit must write again
  std::atomic<bool> waiting{false};
  std::atomic<bool> go_on{false};
  clock_.during_sleep = [&](int) {
    waiting = true;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!go_on && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  boxes_.clear();
  Click(ControlId::kProgram);
  ASSERT_TRUE(WaitFor([&waiting] { return waiting.load(); }));

  EXPECT_FALSE(view_->widget(ControlId::kCurrentMac)->isEnabled());
  TypeInto(ControlId::kCurrentMac, "00E04C000AAA");
  QTest::keyClick(W<QLineEdit>(ControlId::kCurrentMac), Qt::Key_Tab);
  QTest::qWait(20);
  go_on = true;
  ASSERT_TRUE(WaitFor([this] { return !dlg_->job_running(); }));

  EXPECT_THAT(boxes_, ::testing::IsEmpty());
  const auto efuse = adapter_.efuse();
  EXPECT_EQ(std::vector<std::uint8_t>(efuse.begin(), efuse.begin() + 6),
            (std::vector<std::uint8_t>{0x00, 0xE0, 0x4C, 0x00, 0x00, 0x10}));
  EXPECT_EQ(TextOf(ControlId::kCurrentMac), "00E04C000011");
  EXPECT_TRUE(view_->widget(ControlId::kCurrentMac)->isEnabled());
  EXPECT_EQ(W<QLabel>(ControlId::kVerdictLabel)->text().toStdString(),
            "PASS 00E04C000010");
}

// A scanner's Enter, or a hand that meant another box, never confirms.
TEST_F(QtWindowTest, EnterOnAQuestionAnswersCancel) {
  answerer_.stop();
  QTimer::singleShot(0, [] {
    QWidget* box = QApplication::activeModalWidget();
    if (box != nullptr) QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_FALSE(view_->AskOkCancel("Reissue MAC Address", "Program again?",
                                  BoxIcon::kWarning));
}

// The countdown is read from across the line: its 40-point figures fit the
// label whole, not a sliver of them.
TEST_F(QtWindowTest, TheCountdownsFiguresFitTheirLabel) {
  view_->SetFontPoints(ControlId::kCountdownLabel, 40);
  view_->SetText(ControlId::kCountdownLabel, "15");
  QLabel* label = W<QLabel>(ControlId::kCountdownLabel);
  const QFontMetrics metrics(label->font());
  EXPECT_LE(metrics.height(), label->height());
  EXPECT_LE(metrics.horizontalAdvance("15"), label->width());
  EXPECT_EQ(label->font().pointSize(), 40);
}

// An adapter's box shows its whole caption: at the window's size where it
// fits, smaller where a longer connection name would be cut; a name too long
// even then is in the box's tool tip.
TEST_F(QtWindowTest, AdapterCaptionsAndTheVerdictAreShownWhole) {
  struct Row {
    ControlId id;
    const char* text;
    int points;  // 0: smaller than the control's own size
    bool whole;
  };
  const Row rows[] = {
      {AdapterBox(1), "KM62058 (Ethernet 2)", kWindowFontPoints, true},
      {AdapterBox(5), "KM62057D(Ethernet 12)", 0, true},
      {AdapterBox(2), "KM62058 (Local Area Connection 12)",
       kSmallestFittedPoints, false},
      {ControlId::kVerdictLabel, "PASS 00E04C000701", kVerdictPoints, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    if (row.id == ControlId::kVerdictLabel) {
      view_->ShowVerdict(row.text, true);
    } else {
      view_->SetText(row.id, row.text);
    }
    QWidget* w = view_->widget(row.id);
    EXPECT_EQ(w->sizeHint().width() <= w->width(), row.whole);
    if (row.points != 0) {
      EXPECT_EQ(w->font().pointSize(), row.points);
    } else {
      EXPECT_LT(w->font().pointSize(), kWindowFontPoints);
    }
    EXPECT_EQ(w->toolTip().toStdString(), row.whole ? "" : row.text);
  }
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
