#include "sim_panel/sim_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "device/driver_contract.h"
#include "device/sim/sim_setup.h"
#include "model/hex_text.h"
#include "sim_panel/memory_listing.h"

namespace srom {
namespace {

// The EEPROM listing shrinks to this many lines on a small screen and
// otherwise shows a whole 512-byte EEPROM.
constexpr int kEepromMinLines = 1 + 128 / kListingBytesPerLine;
constexpr int kEepromLines = 1 + 512 / kListingBytesPerLine;

// Marks the bytes at `offsets` of the listing `view` shows.
void Highlight(QPlainTextEdit& view, const std::vector<std::size_t>& offsets) {
  QList<QTextEdit::ExtraSelection> marks;
  QTextCharFormat format;
  format.setBackground(QColor(255, 214, 102));
  format.setForeground(Qt::black);
  QTextDocument& document = *view.document();
  for (const std::size_t offset : offsets) {
    for (const ListingSpan& span : SpansOf(offset)) {
      const QTextBlock block = document.findBlockByNumber(span.line);
      QTextEdit::ExtraSelection mark;
      mark.cursor = QTextCursor(&document);
      mark.cursor.setPosition(block.position() + span.start);
      mark.cursor.setPosition(block.position() + span.start + span.length,
                              QTextCursor::KeepAnchor);
      mark.format = format;
      marks.append(mark);
    }
  }
  view.setExtraSelections(marks);
}

// A read-only listing wide enough for its lines and `lines` lines high.
QPlainTextEdit* NewListing(const QString& name, int lines, QWidget* parent) {
  auto* view = new QPlainTextEdit(parent);
  view->setObjectName(name);
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QFontMetricsF metrics(view->font());
  const double margins =
      2 * view->frameWidth() + 2 * view->document()->documentMargin();
  view->setMinimumWidth(static_cast<int>(std::ceil(
      metrics.horizontalAdvance(QString(ListingLineLength() + 1, QChar('0'))) +
      margins + view->verticalScrollBar()->sizeHint().width())));
  view->setMinimumHeight(
      static_cast<int>(std::ceil(metrics.lineSpacing() * lines + margins)) + 2);
  return view;
}

bool AllBlank(const auto& bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](std::uint8_t byte) { return byte == 0xFF; });
}

// What an old driver answers the version query; anything but "Yes" is old.
constexpr std::array<std::uint8_t, 3> kOldDriverAnswer = {0, 0, 0};

QString Quoted(const std::string& text) {
  return QStringLiteral("\u201C%1\u201D").arg(QString::fromStdString(text));
}

}  // namespace

SimPanel::SimPanel(std::vector<SimPanelAdapter> adapters, QWidget* parent)
    : SimPanel(std::move(adapters), std::nullopt, parent) {}

SimPanel::SimPanel(std::vector<SimPanelAdapter> adapters,
                   SimPanelStation station, QWidget* parent)
    : SimPanel(std::move(adapters), std::optional(std::move(station)), parent) {
}

SimPanel::SimPanel(std::vector<SimPanelAdapter> adapters,
                   std::optional<SimPanelStation> station, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      adapters_(std::move(adapters)),
      station_(std::move(station)),
      armed_(adapters_.size()) {
  setWindowTitle(QStringLiteral("Simulated adapters \u2014 srom-tool"));

  auto* root = new QVBoxLayout(this);

  auto* choice_row = new QHBoxLayout;
  adapter_choice_ = new QComboBox(this);
  adapter_choice_->setObjectName("adapter");
  for (const SimPanelAdapter& entry : adapters_)
    adapter_choice_->addItem(QString::fromStdString(entry.name));
  auto* choice_label = new QLabel(QStringLiteral("&Adapter:"), this);
  choice_label->setBuddy(adapter_choice_);
  choice_row->addWidget(choice_label);
  choice_row->addWidget(adapter_choice_, 1);
  root->addLayout(choice_row);

  auto* device_box = new QGroupBox(QStringLiteral("Adapter and driver"), this);
  auto* device_grid = new QGridLayout(device_box);
  plugged_ = new QCheckBox(QStringLiteral("&Plugged in"), device_box);
  plugged_->setObjectName("plugged");
  driver_present_ =
      new QCheckBox(QStringLiteral("&Driver present"), device_box);
  driver_present_->setObjectName("driver_present");
  driver_present_->setToolTip(
      QStringLiteral("Without its driver the adapter opens but answers no "
                     "request."));
  driver_answer_ = new QComboBox(device_box);
  driver_answer_->setObjectName("driver_answer");
  driver_answer_->addItem(QStringLiteral("\u201CYes\u201D: a recent driver"));
  driver_answer_->addItem(QStringLiteral("An old driver's answer"));
  driver_answer_->setToolTip(
      QStringLiteral("What the version query answers; the tool asks when it "
                     "starts."));
  size_256_ = new QRadioButton(QStringLiteral("&256 bytes"), device_box);
  size_256_->setObjectName("size_256");
  size_512_ = new QRadioButton(QStringLiteral("&512 bytes"), device_box);
  size_512_->setObjectName("size_512");
  size_group_ = new QButtonGroup(this);
  size_group_->addButton(size_256_, 256);
  size_group_->addButton(size_512_, 512);
  auto* size_row = new QHBoxLayout;
  size_row->addWidget(size_256_);
  size_row->addWidget(size_512_);
  size_row->addStretch(1);
  device_grid->addWidget(plugged_, 0, 0);
  device_grid->addWidget(new QLabel(QStringLiteral("EEPROM size:")), 0, 1);
  device_grid->addLayout(size_row, 0, 2);
  device_grid->addWidget(driver_present_, 1, 0);
  device_grid->addWidget(new QLabel(QStringLiteral("Version query:")), 1, 1);
  device_grid->addWidget(driver_answer_, 1, 2);
  device_grid->setColumnStretch(2, 1);
  device_grid->setColumnMinimumWidth(0, plugged_->sizeHint().width() + 24);
  root->addWidget(device_box);

  auto* fault_box = new QGroupBox(QStringLiteral("Faults"), this);
  auto* fault_layout = new QVBoxLayout(fault_box);
  auto* fault_row = new QHBoxLayout;
  const QString help =
      QStringLiteral(
          "<p>The faults, as <tt>srom-cli sim fault</tt> takes "
          "them; request numbers count from the injection.</p>"
          "<pre>%1</pre>")
          .arg(QString::fromStdString(SimFaultHelp()).toHtmlEscaped());
  fault_line_ = new QLineEdit(fault_box);
  fault_line_->setObjectName("fault_line");
  fault_line_->setPlaceholderText(QStringLiteral("e.g. fail-request 2"));
  fault_line_->setToolTip(help);
  inject_ = new QPushButton(QStringLiteral("&Inject"), fault_box);
  inject_->setObjectName("inject");
  inject_->setToolTip(help);
  clear_faults_ = new QPushButton(QStringLiteral("&Clear faults"), fault_box);
  clear_faults_->setObjectName("clear_faults");
  clear_faults_->setToolTip(
      QStringLiteral("Takes every fault away and gives the driver back."));
  fault_row->addWidget(fault_line_, 1);
  fault_row->addWidget(inject_);
  fault_row->addWidget(clear_faults_);
  fault_layout->addLayout(fault_row);
  // Two lines of their own: a wrapped label would break an example apart.
  auto* examples = new QLabel(
      QStringLiteral("For example <tt>fail-request 2</tt>, "
                     "<tt>unplug-after 10</tt>, <tt>stuck-cell 0x4C</tt>, "
                     "<tt>no-driver</tt>,<br><tt>weak-efuse 0 0x0F 3</tt>, "
                     "<tt>fail-code IOCTL_WRITE_EFUSE</tt>; hover over the "
                     "line for them all."),
      fault_box);
  examples->setToolTip(help);
  examples->setForegroundRole(QPalette::PlaceholderText);
  fault_layout->addWidget(examples);
  armed_label_ = new QLabel(fault_box);
  armed_label_->setObjectName("armed");
  armed_label_->setWordWrap(true);
  fault_layout->addWidget(armed_label_);
  root->addWidget(fault_box);

  eeprom_box_ = new QGroupBox(this);
  auto* eeprom_layout = new QVBoxLayout(eeprom_box_);
  eeprom_view_ = NewListing("eeprom", kEepromMinLines, eeprom_box_);
  blank_eeprom_ = new QPushButton(QStringLiteral("Blank &EEPROM\u2026"));
  blank_eeprom_->setObjectName("blank_eeprom");
  auto* eeprom_buttons = new QHBoxLayout;
  eeprom_buttons->addStretch(1);
  eeprom_buttons->addWidget(blank_eeprom_);
  eeprom_layout->addWidget(eeprom_view_, 1);
  eeprom_layout->addLayout(eeprom_buttons);
  root->addWidget(eeprom_box_, 1);

  auto* efuse_box =
      new QGroupBox(QStringLiteral("eFuse \u2014 %1 bytes").arg(kSimEfuseSize));
  auto* efuse_layout = new QVBoxLayout(efuse_box);
  efuse_view_ =
      NewListing("efuse", 1 + kSimEfuseSize / kListingBytesPerLine, efuse_box);
  efuse_view_->setFixedHeight(efuse_view_->minimumHeight());
  efuse_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  blank_efuse_ = new QPushButton(QStringLiteral("Blank e&Fuse\u2026"));
  blank_efuse_->setObjectName("blank_efuse");
  blank_efuse_->setToolTip(
      QStringLiteral("Only a simulated eFuse can be blanked again."));
  auto* efuse_buttons = new QHBoxLayout;
  efuse_buttons->addStretch(1);
  efuse_buttons->addWidget(blank_efuse_);
  efuse_layout->addWidget(efuse_view_);
  efuse_layout->addLayout(efuse_buttons);
  root->addWidget(efuse_box);

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  root->addWidget(status_);

  const QSize smallest = minimumSizeHint();
  resize(smallest.width(),
         smallest.height() +
             static_cast<int>(
                 std::ceil(QFontMetricsF(eeprom_view_->font()).lineSpacing() *
                           (kEepromLines - kEepromMinLines))));

  confirm_ = [](QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, parent->windowTitle(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };

  if (adapters_.empty()) {
    for (QGroupBox* box : {device_box, fault_box, eeprom_box_, efuse_box})
      box->setEnabled(false);
    adapter_choice_->setEnabled(false);
    Say(QStringLiteral("No simulated adapter."));
    return;
  }

  connect(adapter_choice_, &QComboBox::currentIndexChanged, this,
          &SimPanel::SelectAdapter);
  connect(plugged_, &QCheckBox::clicked, this, [this](bool checked) {
    Make(SimChange(checked ? SimChangeKind::kPlug : SimChangeKind::kUnplug));
    Refresh();
  });
  connect(driver_present_, &QCheckBox::clicked, this, [this](bool checked) {
    Make(SimChange(checked ? SimChangeKind::kDriverBack
                           : SimChangeKind::kDriverAway));
    Refresh();
  });
  // The version answer is the adapter's alone: no file keeps it.
  connect(driver_answer_, &QComboBox::activated, this, [this](int index) {
    Current().set_driver_answer(index == 0 ? kDriverRecentAnswer
                                           : kOldDriverAnswer);
    Refresh();
  });
  connect(size_group_, &QButtonGroup::idClicked, this,
          &SimPanel::SetEepromSize);
  connect(fault_line_, &QLineEdit::returnPressed, this, &SimPanel::InjectFault);
  connect(inject_, &QPushButton::clicked, this, &SimPanel::InjectFault);
  connect(clear_faults_, &QPushButton::clicked, this, &SimPanel::ClearFaults);
  connect(blank_eeprom_, &QPushButton::clicked, this, &SimPanel::BlankEeprom);
  connect(blank_efuse_, &QPushButton::clicked, this, &SimPanel::BlankEfuse);

  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, &SimPanel::Refresh);
  timer_->start();
  SelectAdapter(0);
}

SimPanel::~SimPanel() = default;

void SimPanel::ShowBeside(const QWidget& window) {
  const QRect outer = window.frameGeometry();
  QPoint place(outer.right() + 8, outer.top());
  if (const QScreen* screen = window.screen()) {
    const QRect room = screen->availableGeometry();
    // The title bar is not counted in height().
    const int title_bar = 32;
    if (height() + title_bar > room.height()) {
      resize(width(),
             std::max(minimumSizeHint().height(), room.height() - title_bar));
    }
    if (place.x() + frameGeometry().width() > room.right())
      place.setX(
          std::max(room.left(), outer.left() - frameGeometry().width() - 8));
    place.setY(std::clamp(place.y(), room.top(),
                          std::max(room.top(), room.bottom() - height())));
  }
  move(place);
  show();
}

void SimPanel::set_confirm(SimPanelConfirm confirm) {
  confirm_ = std::move(confirm);
}

SimulatedAdapter& SimPanel::Current() const {
  return *adapters_[static_cast<std::size_t>(current_)].adapter;
}

const std::string& SimPanel::CurrentName() const {
  return adapters_[static_cast<std::size_t>(current_)].name;
}

bool SimPanel::Make(const SimChange& change) {
  if (!station_) {
    if (const auto refusal = ApplySimChange(change, Current())) {
      Say(QString::fromStdString(*refusal), true);
      return false;
    }
    auto& armed = armed_[static_cast<std::size_t>(current_)];
    if (change.kind == SimChangeKind::kFault) {
      if (change.fault == std::vector<std::string>{"clear"}) {
        armed.clear();
      } else {
        armed.push_back(JoinWords(change.fault));
      }
    }
    return true;
  }
  const SimFilesResult result = ChangeStationSimAdapter(
      station_->folder, adapters_[static_cast<std::size_t>(current_)].number,
      change);
  if (result.status != SimFilesStatus::kDone) {
    Say(QString::fromStdString(result.message), true);
    return false;
  }
  if (station_->catch_up) station_->catch_up();
  return true;
}

void SimPanel::SelectAdapter(int row) {
  if (row < 0 || row >= static_cast<int>(adapters_.size())) return;
  current_ = row;
  eeprom_shown_ = {};
  efuse_shown_ = {};
  status_->clear();
  Refresh();
}

void SimPanel::Refresh() {
  if (adapters_.empty()) return;
  if (station_ && station_->catch_up) station_->catch_up();
  ReadArmedFaults();
  ShowArmedFaults();
  for (std::size_t i = 0; i < adapters_.size(); ++i) {
    const SimulatedAdapter& adapter = *adapters_[i].adapter;
    QString text = QString::fromStdString(adapters_[i].name);
    if (!adapter.plugged()) {
      text += QStringLiteral(" (unplugged)");
    } else if (!adapter.driver_present()) {
      text += QStringLiteral(" (no driver)");
    }
    if (adapter_choice_->itemText(static_cast<int>(i)) != text)
      adapter_choice_->setItemText(static_cast<int>(i), text);
  }
  ShowAdapterState();
  const std::vector<std::uint8_t> eeprom = Current().eeprom();
  eeprom_box_->setTitle(
      QStringLiteral("EEPROM \u2014 %1 bytes").arg(eeprom.size()));
  ShowMemory(*eeprom_view_, eeprom_shown_, eeprom);
  const auto efuse = Current().efuse();
  ShowMemory(*efuse_view_, efuse_shown_, {efuse.begin(), efuse.end()});
}

void SimPanel::ShowAdapterState() {
  const SimulatedAdapter& adapter = Current();
  plugged_->setChecked(adapter.plugged());
  driver_present_->setChecked(adapter.driver_present());
  driver_answer_->setCurrentIndex(
      adapter.driver_answer() == kDriverRecentAnswer ? 0 : 1);
  (adapter.eeprom_size() == 256 ? size_256_ : size_512_)->setChecked(true);
}

void SimPanel::ShowMemory(QPlainTextEdit& view, Shown& shown,
                          const std::vector<std::uint8_t>& bytes) {
  if (shown.valid && shown.bytes == bytes) return;
  const std::vector<std::size_t> changed =
      shown.valid ? ChangedBytes(shown.bytes, bytes)
                  : std::vector<std::size_t>();
  QScrollBar& scroll = *view.verticalScrollBar();
  const int position = scroll.value();
  view.setPlainText(QString::fromStdString(MemoryListing(bytes)));
  scroll.setValue(position);
  Highlight(view, changed);
  shown.bytes = bytes;
  shown.valid = true;
}

void SimPanel::SetEepromSize(int size) {
  SimulatedAdapter& adapter = Current();
  if (size == adapter.eeprom_size()) return;
  if (!AllBlank(adapter.eeprom()) &&
      !Ask(QStringLiteral("A new size blanks the EEPROM of %1. Make it %2 "
                          "bytes?")
               .arg(Quoted(CurrentName()))
               .arg(size))) {
    ShowAdapterState();
    return;
  }
  if (!Make({SimChangeKind::kEepromSize, size})) {
    ShowAdapterState();
    return;
  }
  Say(QStringLiteral("The EEPROM of %1 has %2 blank bytes now.")
          .arg(Quoted(CurrentName()))
          .arg(size));
  Refresh();
}

void SimPanel::BlankEeprom() {
  SimulatedAdapter& adapter = Current();
  const std::vector<std::uint8_t> eeprom = adapter.eeprom();
  if (AllBlank(eeprom)) {
    Say(QStringLiteral("The EEPROM of %1 is blank already.")
            .arg(Quoted(CurrentName())));
    return;
  }
  if (!Ask(QStringLiteral("Blank the EEPROM of %1? Every byte becomes FF.")
               .arg(Quoted(CurrentName())))) {
    return;
  }
  if (!Make(SimChange(SimChangeKind::kBlankEeprom))) return;
  Say(QStringLiteral("The EEPROM of %1 is blank.").arg(Quoted(CurrentName())));
  Refresh();
}

void SimPanel::BlankEfuse() {
  SimulatedAdapter& adapter = Current();
  if (AllBlank(adapter.efuse())) {
    Say(QStringLiteral("The eFuse of %1 is blank already.")
            .arg(Quoted(CurrentName())));
    return;
  }
  if (!Ask(QStringLiteral("Blank the eFuse of %1? Every byte becomes FF, "
                          "as no real eFuse ever can again.")
               .arg(Quoted(CurrentName())))) {
    return;
  }
  if (!Make(SimChange(SimChangeKind::kBlankEfuse))) return;
  Say(QStringLiteral("The eFuse of %1 is blank.").arg(Quoted(CurrentName())));
  Refresh();
}

void SimPanel::InjectFault() {
  std::vector<std::string> words;
  for (const QString& word : fault_line_->text().split(
           QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
    words.push_back(word.toStdString());
  }
  if (words.empty()) {
    Say(QStringLiteral("Type a fault first, e.g. fail-request 2."), true);
    return;
  }
  if (!Make({SimChangeKind::kFault, words})) return;
  fault_line_->clear();
  if (words.size() == 1 && words[0] == "clear") {
    Say(QStringLiteral("No fault on %1 any more.").arg(Quoted(CurrentName())));
  } else {
    Say(QStringLiteral("%1 armed on %2.")
            .arg(Quoted(JoinWords(words)), Quoted(CurrentName())));
  }
  Refresh();
}

void SimPanel::ClearFaults() {
  if (!Make({SimChangeKind::kFault, std::vector<std::string>{"clear"}})) return;
  Say(QStringLiteral("No fault on %1 any more.").arg(Quoted(CurrentName())));
  Refresh();
}

void SimPanel::ReadArmedFaults() {
  if (!station_) return;
  const SimPanelAdapter& entry = adapters_[static_cast<std::size_t>(current_)];
  // A file that cannot be read just now keeps the list last read.
  const auto setup =
      LoadSimSetup(station_->folder / SimSetupFileName(entry.number));
  if (!setup) return;
  auto& armed = armed_[static_cast<std::size_t>(current_)];
  armed.clear();
  for (const auto& fault : setup->faults) armed.push_back(JoinWords(fault));
}

void SimPanel::ShowArmedFaults() {
  const auto& armed = armed_[static_cast<std::size_t>(current_)];
  QStringList lines;
  for (const std::string& line : armed)
    lines << QString::fromStdString(line).toHtmlEscaped();
  const QString text =
      armed.empty() ? QStringLiteral("Faults armed: none")
                    : QStringLiteral("Faults armed: <tt>%1</tt>")
                          .arg(lines.join(QStringLiteral("</tt>, <tt>")));
  if (armed_label_->text() != text) armed_label_->setText(text);
}

void SimPanel::Say(const QString& text, bool error) {
  status_->setStyleSheet(error ? QStringLiteral("color: #b00020;") : QString());
  status_->setText(text);
}

bool SimPanel::Ask(const QString& question) { return confirm_(this, question); }

}  // namespace srom
