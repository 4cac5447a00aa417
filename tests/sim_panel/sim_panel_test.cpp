// The simulator panel driven as the operator drives it: clicks, typed fault
// lines and a watched listing, with the adapter checked behind the panel; on
// a station's bench also the station's files, a second bench opened on them
// and real srom-cli sim processes.
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
#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "device/sim/sim_change.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_bench.h"
#include "support/spawned_process.h"
#include "support/temp_folder.h"

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
  EXPECT_THAT(Find<QLabel>("armed").text().toStdString(),
              HasSubstr("fail-request 2"));

  TypeFault("no-driver");
  EXPECT_FALSE(Find<QCheckBox>("driver_present").isChecked());
  TypeFault("unplug-after 1");
  Click("clear_faults");
  EXPECT_TRUE(Find<QCheckBox>("driver_present").isChecked());
  EXPECT_THAT(Answers(adapter_, 3), Each(true));
  EXPECT_THAT(Find<QLabel>("armed").text().toStdString(),
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
    EXPECT_THAT(Find<QLabel>("armed").text().toStdString(), HasSubstr("none"));
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

// ---- On a station's bench: every change in the station's files -----------

constexpr char kDescription[] =
    "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter";

// The panel as the window builds it on a station of two adapters, adapter 2
// chosen: the files of adapter 1 must never change.
class SimPanelStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SaveSimBench(
        folder_ / kSimBenchFile,
        {{"Ethernet", kDescription}, {"Ethernet 2", kDescription}}));
    std::string error;
    bench_ = OpenStationSimBench(folder_.path(), error);
    ASSERT_TRUE(bench_) << error;
    first_files_ = Files(1);
    SimulatedBench* bench = bench_.get();
    panel_ = std::make_unique<SimPanel>(
        std::vector<SimPanelAdapter>{{"Adapter 1", bench_->At(0), 1},
                                     {"Adapter 2", bench_->At(1), 2}},
        SimPanelStation{folder_.path(), [bench] { bench->CatchUp(); }});
    panel_->set_confirm([](QWidget*, const QString&) { return true; });
    panel_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel_.get()));
    Find<QComboBox>("adapter").setCurrentIndex(1);
  }

  template <typename Widget>
  Widget& Find(const char* name) {
    auto* widget = panel_->findChild<Widget*>(name);
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
  std::string Armed() { return Find<QLabel>("armed").text().toStdString(); }
  std::string Status() { return Find<QLabel>("status").text().toStdString(); }

  // Adapter `number` as the station's files hold it.
  SimAdapterFiles Files(int number) {
    const SimFilesResult read = ReadStationSimAdapter(folder_.path(), number);
    EXPECT_EQ(read.status, SimFilesStatus::kDone) << read.message;
    return read.adapter;
  }

  // What `srom-cli sim <args>` prints; it runs as a process of its own.
  std::string Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", folder_.path().string(), "sim"});
    test::SpawnOptions options;
    options.err = test::Stream::kNull;
    const auto run =
        test::RunToEnd(SROM_CLI_PATH, args, options, std::chrono::seconds(30));
    EXPECT_TRUE(!run.timed_out && run.end.exit_code() == 0);
    return run.timed_out ? std::string() : run.output;
  }

  test::TempFolder folder_;
  std::unique_ptr<SimulatedBench> bench_;
  SimAdapterFiles first_files_;
  std::unique_ptr<SimPanel> panel_;
};

bool AllBlank(std::span<const std::uint8_t> bytes) {
  return std::ranges::all_of(bytes, [](std::uint8_t b) { return b == 0xFF; });
}

// An eFuse write as the tool sends it: a header for 32 words, the 64 bytes.
bool WriteFuses(SimulatedAdapter& adapter,
                const std::array<std::uint8_t, kSimEfuseSize>& fuses) {
  std::array<std::uint8_t, kEfuseTransferSize> transfer = {'V', 'E', 'L',  'K',
                                                           0,   0,   0x20, 0};
  std::copy(fuses.begin(), fuses.end(), transfer.begin() + 8);
  const auto handle = adapter.Open(kDevicePath);
  const bool ok =
      handle && adapter.Request(*handle, IOCTL_WRITE_EFUSE, transfer, {});
  if (handle) adapter.Close(*handle);
  return ok;
}

// Each change of the panel reaches the station's files, and the running
// bench shows what those files say: a second bench opened on them now meets
// the very adapter the window works on.
TEST_F(SimPanelStationTest, EachChangeIsSavedAndTheRunningBenchFollowsIt) {
  using Fault = std::vector<std::string>;
  const auto none = [] {};
  const struct {
    const char* name;
    std::function<void()> prepare;  // on the running adapter, before
    std::function<void()> act;
    std::function<bool(const SimAdapterFiles&)> saved;
  } rows[] = {
      {"Unplug", none, [this] { Click("plugged"); },
       [](const SimAdapterFiles& f) { return !f.setup.plugged; }},
      {"DriverAway", none, [this] { Click("driver_present"); },
       [](const SimAdapterFiles& f) {
         return f.setup.faults == std::vector<Fault>{{"no-driver"}};
       }},
      {"Fault", none, [this] { TypeFault("fail-request  2"); },
       [](const SimAdapterFiles& f) {
         return f.setup.faults == std::vector<Fault>{{"fail-request", "2"}};
       }},
      {"ClearFaults",
       [this] {
         TypeFault("fail-code IOCTL_WRITE_REGISTER");
         TypeFault("no-driver");
       },
       [this] { Click("clear_faults"); },
       [](const SimAdapterFiles& f) { return f.setup.faults.empty(); }},
      {"EepromSize", none, [this] { Click("size_256"); },
       [](const SimAdapterFiles& f) {
         return f.memories.eeprom.size() == 256u;
       }},
      {"BlankEeprom",
       [this] {
         bench_->At(1)->set_eeprom(std::vector<std::uint8_t>{0x00, 0x11});
       },
       [this] { Click("blank_eeprom"); },
       [](const SimAdapterFiles& f) {
         return f.memories.eeprom.size() == 512u && AllBlank(f.memories.eeprom);
       }},
      {"BlankEfuse", [this] { bench_->At(1)->set_efuse({}); },
       [this] { Click("blank_efuse"); },
       [](const SimAdapterFiles& f) { return AllBlank(f.memories.efuse); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // A fresh adapter 2 for each row, shown as such.
    ASSERT_EQ(
        ChangeStationSimAdapter(folder_.path(), 2,
                                SimChange(SimChangeKind::kCreate, 512, true))
            .status,
        SimFilesStatus::kDone);
    panel_->Refresh();
    row.prepare();
    panel_->Refresh();
    const SimAdapterFiles before = Files(2);
    row.act();
    const SimAdapterFiles after = Files(2);
    EXPECT_TRUE(row.saved(after)) << Status();
    EXPECT_FALSE(row.saved(before));

    std::string error;
    const auto second = OpenStationSimBench(folder_.path(), error);
    ASSERT_TRUE(second) << error;
    SimulatedAdapter& running = *bench_->At(1);
    SimulatedAdapter& opened = *second->At(1);
    EXPECT_EQ(running.plugged(), opened.plugged());
    EXPECT_EQ(running.driver_present(), opened.driver_present());
    EXPECT_EQ(running.eeprom(), opened.eeprom());
    EXPECT_EQ(running.efuse(), opened.efuse());
    EXPECT_EQ(Answers(running, 3), Answers(opened, 3));
    // Adapter 1 was never chosen.
    const SimAdapterFiles first = Files(1);
    EXPECT_EQ(first.setup, first_files_.setup);
    EXPECT_EQ(first.memories, first_files_.memories);
  }
}

// The fault a tester types in a terminal while the window runs shows in the
// panel, and the panel's own shows in `sim show`: both list the same.
TEST_F(SimPanelStationTest, ThePanelAndSimShowListTheSameFaults) {
  EXPECT_THAT(Armed(), HasSubstr("none"));
  Cli({"fault", "--adapter", "2", "weak-efuse", "0", "0x0F", "3"});
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Armed().find("weak-efuse 0 0x0F 3") != std::string::npos; },
      5000))
      << Armed();
  // Armed on the running adapter too: its weak bits take three writes.
  ASSERT_TRUE(WriteFuses(*bench_->At(1), {}));
  EXPECT_EQ(bench_->At(1)->efuse()[0], 0x0F);
  EXPECT_EQ(bench_->At(1)->efuse()[1], 0x00);

  TypeFault("fail-request 2");
  EXPECT_THAT(Armed(), HasSubstr("fail-request 2"));
  EXPECT_THAT(Cli({"show", "--adapter", "2"}),
              HasSubstr("faults:\n  weak-efuse 0 0x0F 3\n  fail-request 2\n"));

  Cli({"fault", "--adapter", "2", "clear"});
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Armed().find("none") != std::string::npos; }, 5000))
      << Armed();
  EXPECT_THAT(Answers(*bench_->At(1), 3), Each(true));
}

// A setup file that is not one (a hand edit gone wrong) is refused with the
// tool's message: nothing is armed, the typed line stays for another try,
// and the file is left for the operator to see.
TEST_F(SimPanelStationTest, AChangeTheFilesCannotTakeIsRefusedAndLosesNothing) {
  const std::string broken = "srom-cli simulated adapter setup 1\nplugged 2\n";
  test::WriteBytes(folder_ / SimSetupFileName(2), broken);
  TypeFault("fail-request 1");
  EXPECT_THAT(Status(), HasSubstr("cannot be read"));
  EXPECT_EQ(Find<QLineEdit>("fault_line").text(), "fail-request 1");
  Click("plugged");
  EXPECT_THAT(Status(), HasSubstr("cannot be read"));
  EXPECT_TRUE(Find<QCheckBox>("plugged").isChecked());
  EXPECT_TRUE(bench_->At(1)->plugged());
  EXPECT_THAT(Answers(*bench_->At(1), 2), Each(true));
  EXPECT_EQ(test::ReadBytes(folder_ / SimSetupFileName(2)), broken);
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
