// The simulator panel: a small tool window beside the main window while the
// device is simulated. It shows each simulated adapter's EEPROM and eFuse as
// they change, plugs the adapter in and out, takes its driver away and arms
// the faults `srom-cli sim fault` knows, so that an operator in training sees
// the whole programming cycle and every way it can go wrong.
//
// On a station's bench every change goes to the station's files, as the sim
// commands make it (sim_change.h), and the running bench then follows them:
// the panel, `srom-cli sim show` and the window show the same adapter, and
// the panel shows what the sim commands change as well. Without a station
// the panel changes its adapters alone.
//
// The panel lives on the GUI thread; the adapters guard themselves, so a job
// may be using one while the panel pokes it.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/sim/sim_change.h"
#include "device/sim/simulated_adapter.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace srom {

struct SimPanelAdapter {
  // What the operator knows the adapter by, e.g. its description and
  // network connection.
  std::string name;
  // Not owned; it must outlive the panel.
  SimulatedAdapter* adapter = nullptr;
  // Its number on the station's bench (1..6), whose files the panel changes.
  int number = 0;
};

// The station whose bench the panel's adapters are.
struct SimPanelStation {
  std::filesystem::path folder;
  // Brings the running bench into step with its files
  // (SimulatedBench::CatchUp).
  std::function<void()> catch_up;
};

// Asks the operator a yes/no question about `parent`; true for yes.
using SimPanelConfirm =
    std::function<bool(QWidget* parent, const QString& question)>;

class SimPanel : public QWidget {
  Q_OBJECT

 public:
  // How often the panel looks at the adapters.
  static constexpr int kRefreshMs = 250;

  // A tool window, not modal, for `adapters` (the first one selected).
  // Give the main window as `parent` so that the panel stays beside it and
  // closes with it.
  explicit SimPanel(std::vector<SimPanelAdapter> adapters,
                    QWidget* parent = nullptr);
  // The same for the adapters of the station's bench: each change is saved
  // in the station's files first.
  SimPanel(std::vector<SimPanelAdapter> adapters, SimPanelStation station,
           QWidget* parent = nullptr);
  ~SimPanel() override;

  // Moves the panel next to `window`, on its right where the screen has room,
  // and shows it.
  void ShowBeside(const QWidget& window);

  // Replaces the question boxes that guard wiping a memory.
  void set_confirm(SimPanelConfirm confirm);

  // Brings a station's bench into step with its files, reads the adapters
  // again and shows what changed; the timer calls it.
  void Refresh();

 private:
  SimPanel(std::vector<SimPanelAdapter> adapters,
           std::optional<SimPanelStation> station, QWidget* parent);

  // What the panel last showed of one memory.
  struct Shown {
    std::vector<std::uint8_t> bytes;
    bool valid = false;
  };

  SimulatedAdapter& Current() const;
  const std::string& CurrentName() const;
  // Makes `change` on the current adapter: in the station's files, then on
  // the running bench, or on the adapter alone without a station. False,
  // with the reason shown, when it could not be made.
  bool Make(const SimChange& change);
  void SelectAdapter(int row);
  void SetEepromSize(int size);
  void BlankEeprom();
  void BlankEfuse();
  void InjectFault();
  void ClearFaults();
  void ShowMemory(QPlainTextEdit& view, Shown& shown,
                  const std::vector<std::uint8_t>& bytes);
  void ShowAdapterState();
  void ReadArmedFaults();
  void ShowArmedFaults();
  void Say(const QString& text, bool error = false);
  bool Ask(const QString& question);

  std::vector<SimPanelAdapter> adapters_;
  std::optional<SimPanelStation> station_;
  // The fault lines armed on each adapter: as its setup file lists them on a
  // station, those injected from the panel since the last clear without one.
  std::vector<std::vector<std::string>> armed_;
  int current_ = 0;
  SimPanelConfirm confirm_;

  QComboBox* adapter_choice_ = nullptr;
  QCheckBox* plugged_ = nullptr;
  QCheckBox* driver_present_ = nullptr;
  QComboBox* driver_answer_ = nullptr;
  QButtonGroup* size_group_ = nullptr;
  QRadioButton* size_256_ = nullptr;
  QRadioButton* size_512_ = nullptr;
  QLineEdit* fault_line_ = nullptr;
  QPushButton* inject_ = nullptr;
  QPushButton* clear_faults_ = nullptr;
  QLabel* armed_label_ = nullptr;
  QGroupBox* eeprom_box_ = nullptr;
  QPlainTextEdit* eeprom_view_ = nullptr;
  QPushButton* blank_eeprom_ = nullptr;
  QPlainTextEdit* efuse_view_ = nullptr;
  QPushButton* blank_efuse_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;

  Shown eeprom_shown_;
  Shown efuse_shown_;
};

}  // namespace srom
