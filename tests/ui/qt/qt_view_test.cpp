// What only the Qt window shows, on Qt's offscreen platform, driven through
// its widgets as the view contract (view_contract_test.cpp) drives it: a
// window thread free while a job runs, keys that neither close nor press,
// fonts that fit their controls.
#include "ui/qt/qt_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/device_sel.h"
#include "model/srom_image.h"
#include "qt_window_driver.h"
#include "ui/layout.h"
#include "ui/window_texts.h"
#include "view_contract.h"

namespace srom::test {

// The view contract runs on the Qt window.
ViewUnderTest ViewOfThisBinary() {
  return {"Qt", []() -> std::unique_ptr<WindowDriver> {
            return std::make_unique<QtWindowDriver>();
          }};
}

namespace {

// The window as srom-tool assembles it, driven as the view contract drives
// it, for what only the Qt window shows.
class QtWindowTest : public ::testing::Test, public QtWindowDriver {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
};

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
      WaitFor([&] { return worker_done.load(); }, std::chrono::seconds(5));
      AnswerBoxes();
    });
  });
  view_->MessageBox("a box");
  worker.join();
  EXPECT_TRUE(worker_done);
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

// Start-up sets the output box a dozen times before the window is shown,
// and the widget takes only the last text: the window opens on the listing
// start-up built, not on an earlier one or none.
TEST_F(QtWindowTest, TheWindowOpensOnTheListingStartUpBuilt) {
  const std::string listing =
      FormatImagePreview(dlg_->station().prev, dlg_->station().image_size);
  ASSERT_FALSE(listing.empty());
  std::string shown;
  for (const char c : listing) {
    if (c != '\r') shown += c;
  }
  EXPECT_EQ(Text(ControlId::kOutputBox), shown);
}

// The caution picture is decoded only when an eFuse layout first shows it:
// each eFuse selection shows it whole, an EEPROM selection hides it.
TEST_F(QtWindowTest, EveryEfuseLayoutShowsTheCautionPicture) {
  const PictureInfo& caution = PictureOf(PictureId::kCaution);
  const std::pair<int, int> whole{caution.width, caution.height};
  for (const int sel : {kChipAEfuse, kChipBEeprom, kChipBEfuse}) {
    SCOPED_TRACE(sel);
    Pick(ControlId::kDeviceSel, sel);
    ASSERT_EQ(view_->ListIndex(ControlId::kDeviceSel), sel);
    const bool efuse = IsEfuseSel(sel);
    EXPECT_EQ(Visible(ControlId::kCautionPicture), efuse);
    if (efuse) {
      EXPECT_EQ(PictureSize(ControlId::kCautionPicture), whole);
    }
  }
}

// The output box shows the last text set, before and after the window is
// shown, whatever was set in between; a text set again unchanged leaves it
// as it is. A window of its own, with no logic.
TEST_F(QtWindowTest, TheOutputBoxShowsTheLastTextSetBeforeOrAfterShowing) {
  struct Case {
    const char* name;
    std::vector<std::string> before_show;
    std::vector<std::string> after_show;
    std::string shown;
  };
  const Case cases[] = {
      {"last before show", {"A\r\n", "B\r\n"}, {}, "B\n"},
      {"back to the shown text", {"A"}, {"B", "A"}, "A"},
      {"back to an earlier text before show", {"A", "B", "A"}, {}, "A"},
      {"the same text again", {}, {"A\r\nB", "A\r\nB"}, "A\nB"},
      {"emptied before show", {"A"}, {""}, ""},
      {"emptied after show", {"A", ""}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QtView view;
    auto* box =
        qobject_cast<QPlainTextEdit*>(view.widget(ControlId::kOutputBox));
    for (const std::string& text : c.before_show) {
      view.SetText(ControlId::kOutputBox, text);
    }
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (const std::string& text : c.after_show) {
      view.SetText(ControlId::kOutputBox, text);
    }
    EXPECT_EQ(box->toPlainText().toStdString(), c.shown);
    const std::string last = c.after_show.empty()
                                 ? (c.before_show.empty() ? std::string()
                                                          : c.before_show.back())
                                 : c.after_show.back();
    EXPECT_EQ(view.Text(ControlId::kOutputBox), last);
  }
}

}  // namespace
}  // namespace srom::test
