// The real window on a prepared station, for the window's benches: a
// station folder that opens without a message box, its simulated adapter
// and ledger, the Qt view and the window logic, started as the program
// starts them. A message box that opens ends the process with exit 2: it
// would stop the measurement.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "device/sim/sim_setup.h"
#include "files/eeprom_dat.h"
#include "ledger/station_ledger.h"
#include "model/settings.h"
#include "ports/clock.h"
#include "support/temp_folder.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"

namespace srom::bench {

class BenchWindow {
 public:
  // The window started (not shown yet); null, with the reason on stderr,
  // when the station cannot be set up or the window does not start.
  static std::unique_ptr<BenchWindow> Start() {
    std::unique_ptr<BenchWindow> window(new BenchWindow);
    test::WriteBytes(window->station_ / "EEPROM.dat",
                     FormatEepromDat(SromSettings{}));
    test::WriteBytes(window->station_ / "SROM.dat", "FF FF FF FF\r\n");
    std::string problem;
    window->adapter_ = OpenStationSimAdapter(window->station_.path(), problem);
    if (!window->adapter_) {
      std::cerr << problem << "\n";
      return nullptr;
    }
    window->dlg_ = std::make_unique<CKM62058_SromDlg>(
        window->view_, *window->adapter_, window->clock_,
        FileFolders{window->station_.path(), window->station_.path()});
    window->view_.set_logic(window->dlg_.get());
    QObject::connect(&window->watch_, &QTimer::timeout, [] {
      if (auto* box =
              qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        std::cerr << "a message box opened: " << box->text().toStdString()
                  << "\n";
        std::exit(2);
      }
    });
    window->watch_.start(50);
    if (!window->dlg_->OnInitDialog(OpenStationLedger)) return nullptr;
    return window;
  }

  QtView& view() { return view_; }

 private:
  BenchWindow() = default;

  test::TempFolder station_;
  std::unique_ptr<SimulatedAdapter> adapter_;
  SystemClock clock_;
  // The logic ends before the view it drives.
  QtView view_;
  std::unique_ptr<CKM62058_SromDlg> dlg_;
  QTimer watch_;
};

}  // namespace srom::bench
