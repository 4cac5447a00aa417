// The simulator panel driven as the operator drives it: clicks, typed fault
// lines and a watched listing, with the adapter checked behind the panel.
#include "sim_panel/sim_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <array>
#include <string>
#include <vector>

#include "device/driver_contract.h"

namespace srom {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// Which of the next `count` requests the adapter answers.
std::vector<bool> Answers(SimulatedAdapter& adapter, int count) {
  std::vector<bool> answered;
  const auto handle = adapter.Open(kDevicePath);
  const std::array<std::uint8_t, 3> request = {0x07, 0x01, 0x00};
  for (int i = 0; i < count; ++i) {
    answered.push_back(
        handle && adapter.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));
  }
  if (handle) adapter.Close(*handle);
  return answered;
}

class SimPanelTest : public ::testing::Test {
 protected:
  SimPanelTest() : panel_({{"Bench adapter 1", &adapter_}}) {
    panel_.set_confirm([this](QWidget*, const QString& question) {
      questions_.push_back(question.toStdString());
      return answer_;
    });
    panel_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel_));
  }

  template <typename Widget>
  Widget& Find(const char* name) {
    auto* widget = panel_.findChild<Widget*>(name);
    if (widget == nullptr) ADD_FAILURE() << "no widget " << name;
    return *widget;
  }
  void Click(const char* name) {
    QTest::mouseClick(&Find<QAbstractButton>(name), Qt::LeftButton);
  }
  void TypeFault(const QString& line) {
    QLineEdit& edit = Find<QLineEdit>("fault_line");
    edit.clear();
    QTest::keyClicks(&edit, line);
    QTest::keyClick(&edit, Qt::Key_Return);
  }
  QString Status() { return Find<QLabel>("status").text(); }
  // The listing's line of the byte at `offset`.
  QString ListingLine(const char* name, std::size_t offset) {
    const QTextBlock block =
        Find<QPlainTextEdit>(name).document()->findBlockByNumber(
            static_cast<int>(offset / 16) + 1);
    return block.text();
  }

  SimulatedAdapter adapter_{512};
  SimPanel panel_;
  bool answer_ = true;
  std::vector<std::string> questions_;
};

struct Switch {
  const char* name;
  bool (SimulatedAdapter::*get)() const;
  void (SimulatedAdapter::*set)(bool);
};

TEST_F(SimPanelTest, CheckBoxesSteerTheAdapterAndFollowIt) {
  for (const Switch& s :
       {Switch{"plugged", &SimulatedAdapter::plugged,
               &SimulatedAdapter::set_plugged},
        Switch{"driver_present", &SimulatedAdapter::driver_present,
               &SimulatedAdapter::set_driver_present}}) {
    SCOPED_TRACE(s.name);
    QCheckBox& box = Find<QCheckBox>(s.name);
    ASSERT_TRUE(box.isChecked());
    Click(s.name);
    EXPECT_FALSE((adapter_.*s.get)());
    EXPECT_THAT(Answers(adapter_, 1), ElementsAre(false));

    // Something else (here the test, on the line a fault) puts it back.
    (adapter_.*s.set)(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.isChecked(); }, 2000));
  }
}

TEST_F(SimPanelTest, TheDriverAnswerChoiceSetsTheVersionAnswer) {
  QComboBox& answer = Find<QComboBox>("driver_answer");
  answer.setFocus();
  QTest::keyClick(&answer, Qt::Key_Down);
  EXPECT_NE(adapter_.driver_answer(), kDriverRecentAnswer);
  QTest::keyClick(&answer, Qt::Key_Up);
  EXPECT_EQ(adapter_.driver_answer(), kDriverRecentAnswer);
}

TEST_F(SimPanelTest, AnInjectedFaultBitesUntilCleared) {
  TypeFault("fail-request   2");
  EXPECT_THAT(Answers(adapter_, 3), ElementsAre(true, false, true));
  EXPECT_TRUE(Find<QLineEdit>("fault_line").text().isEmpty());
  EXPECT_THAT(Find<QLabel>("injected").text().toStdString(),
              HasSubstr("fail-request 2"));

  TypeFault("no-driver");
  EXPECT_FALSE(Find<QCheckBox>("driver_present").isChecked());
  TypeFault("unplug-after 1");
  Click("clear_faults");
  EXPECT_TRUE(Find<QCheckBox>("driver_present").isChecked());
  EXPECT_THAT(Answers(adapter_, 3), Each(true));
  EXPECT_THAT(Find<QLabel>("injected").text().toStdString(),
              Not(HasSubstr("no-driver")));
}

TEST_F(SimPanelTest, ABadFaultLineIsRefusedWithItsReasonAndArmsNothing) {
  struct Row {
    const char* line;
    const char* reason;
  };
  for (const Row& row :
       {Row{"fail-request 0", "Usage: fault fail-request N"},
        Row{"stuck-cell 512", "Usage: fault stuck-cell OFFSET"},
        Row{"fail-code IOCTL_NOTHING", "Usage: fault fail-code IOCTL_NAME"},
        Row{"melt 3", "Unknown fault \"melt\""},
        Row{"   ", "Type a fault first"}}) {
    SCOPED_TRACE(row.line);
    TypeFault(row.line);
    EXPECT_THAT(Status().toStdString(), HasSubstr(row.reason));
    EXPECT_EQ(Find<QLineEdit>("fault_line").text(), row.line);
    EXPECT_THAT(Answers(adapter_, 3), Each(true));
    EXPECT_THAT(Find<QLabel>("injected").text().toStdString(),
                HasSubstr("none"));
  }
}

TEST_F(SimPanelTest, TheListingsFollowTheMemoriesAndMarkWhatChanged) {
  struct Row {
    const char* listing;
    std::size_t offset;
    void (*change)(SimulatedAdapter&, std::size_t offset);
  };
  const Row rows[] = {
      {"eeprom", 0x1F7,
       [](SimulatedAdapter& a, std::size_t offset) {
         auto bytes = a.eeprom();
         bytes[offset] = 'A';
         a.set_eeprom(bytes);
       }},
      {"efuse", 0x2B, [](SimulatedAdapter& a, std::size_t offset) {
         auto bytes = a.efuse();
         bytes[offset] = 'A';
         a.set_efuse(bytes);
       }}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.listing);
    const std::size_t line_start = row.offset / 16 * 16;
    EXPECT_EQ(ListingLine(row.listing, row.offset).left(4),
              QString("%1 ").arg(line_start, 3, 16, QChar('0')).toUpper());
    row.change(adapter_, row.offset);

    QString line;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          line = ListingLine(row.listing, row.offset);
          return line.contains("41");
        },
        2000));
    const int column = static_cast<int>(row.offset % 16);
    EXPECT_EQ(line.mid(5 + column * 3 + (column >= 8), 2), "41");
    EXPECT_EQ(line.right(16 - column).left(1), "A");
    const auto marks = Find<QPlainTextEdit>(row.listing).extraSelections();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks[0].cursor.selectedText(), "41");
    EXPECT_EQ(marks[1].cursor.selectedText(), "A");
  }
}

TEST_F(SimPanelTest, ANewSizeAsksBeforeWipingAWrittenEeprom) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "yes" : "no");
    adapter_.set_eeprom_size(512);
    adapter_.set_eeprom(std::vector<std::uint8_t>(512, 0x5A));
    questions_.clear();
    answer_ = yes;
    Click("size_256");
    EXPECT_EQ(questions_.size(), 1u);
    EXPECT_EQ(adapter_.eeprom_size(), yes ? 256 : 512);
    EXPECT_EQ(adapter_.eeprom()[0], yes ? 0xFF : 0x5A);
    EXPECT_EQ(Find<QRadioButton>("size_256").isChecked(), yes);
    EXPECT_EQ(Find<QRadioButton>("size_512").isChecked(), !yes);
  }
  // A blank EEPROM has nothing to lose.
  questions_.clear();
  Click("size_512");
  EXPECT_TRUE(questions_.empty());
  EXPECT_EQ(adapter_.eeprom_size(), 512);
}

TEST_F(SimPanelTest, TheBlankButtonsAskThenBlank) {
  struct Row {
    const char* button;
    void (*write)(SimulatedAdapter&);
    std::uint8_t (*first)(const SimulatedAdapter&);
  };
  const Row rows[] = {
      {"blank_eeprom",
       [](SimulatedAdapter& a) { a.set_eeprom(std::vector<std::uint8_t>{0}); },
       [](const SimulatedAdapter& a) { return a.eeprom()[0]; }},
      {"blank_efuse",
       [](SimulatedAdapter& a) {
         std::array<std::uint8_t, kSimEfuseSize> fuses{};
         a.set_efuse(fuses);
       },
       [](const SimulatedAdapter& a) { return a.efuse()[0]; }}};
  for (const Row& row : rows) {
    for (const bool yes : {false, true}) {
      SCOPED_TRACE(std::string(row.button) + (yes ? " yes" : " no"));
      row.write(adapter_);
      questions_.clear();
      answer_ = yes;
      Click(row.button);
      EXPECT_EQ(questions_.size(), 1u);
      EXPECT_EQ(row.first(adapter_), yes ? 0xFF : 0x00);
    }
  }
}

TEST(SimPanelBenchTest, TheChosenAdapterIsTheOneSteered) {
  SimulatedAdapter first(512);
  SimulatedAdapter second(256);
  SimPanel panel({{"Adapter #1 (Ethernet 2)", &first},
                  {"Adapter #2 (Ethernet 3)", &second}});
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  auto& choice = *panel.findChild<QComboBox*>("adapter");
  ASSERT_EQ(choice.count(), 2);
  EXPECT_TRUE(panel.findChild<QRadioButton*>("size_512")->isChecked());

  choice.setCurrentIndex(1);
  EXPECT_TRUE(panel.findChild<QRadioButton*>("size_256")->isChecked());
  QTest::mouseClick(panel.findChild<QCheckBox*>("plugged"), Qt::LeftButton);
  EXPECT_TRUE(first.plugged());
  EXPECT_FALSE(second.plugged());
  EXPECT_EQ(choice.itemText(1), "Adapter #2 (Ethernet 3) (unplugged)");
  EXPECT_EQ(choice.itemText(0), "Adapter #1 (Ethernet 2)");
}

}  // namespace
}  // namespace srom

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
