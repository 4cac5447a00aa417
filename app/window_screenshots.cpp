// Pictures of the window for the README: each device selection, the Auto
// countdown, and a loop over three adapters of which one fails. The real
// window on Qt's offscreen platform, on simulated adapters in a scratch
// station folder, every message box answered OK. scripts/screenshots.sh runs
// it.
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <string>

#include "device/sim/simulated_adapter.h"
#include "device/sim/simulated_bench.h"
#include "device/sim/simulated_network.h"
#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "ports/clock.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: window_screenshots OUTPUT_FOLDER\n";
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const fs::path out = argv[1];
  fs::create_directories(out);
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start(5);

  const auto station_with = [](const std::string& name,
                               const srom::SromSettings& settings) {
    const fs::path station = fs::temp_directory_path() / ("srom-screenshot-" + name);
    fs::remove_all(station);
    fs::create_directories(station);
    if (!srom::SaveFile(station / "EEPROM.dat",
                        srom::FormatEepromDat(settings))) {
      std::cerr << "cannot write into " << station << "\n";
      return fs::path();
    }
    return station;
  };
  const auto grab = [&out](srom::QtView& view, const std::string& name) {
    QApplication::processEvents();
    const fs::path file = out / ("window-" + name + ".png");
    if (!view.grab().save(QString::fromStdString(file.string()))) {
      std::cerr << "cannot write " << file << "\n";
      return false;
    }
    std::cout << file.string() << "\n";
    return true;
  };
  srom::SromSettings base;
  base.CurrentMac = "00E04C680001";
  base.MaximumMac = "00E04C68FFFF";

  const char* names[] = {"chip-b-eeprom", "chip-b-efuse", "chip-a-eeprom",
                         "chip-a-efuse"};
  for (int sel = 0; sel < 4; ++sel) {
    srom::SromSettings settings = base;
    settings.DeviceSel = sel;
    const fs::path station = station_with(names[sel], settings);
    if (station.empty()) return 1;
    srom::SimulatedAdapter adapter(512);
    srom::SystemClock clock;
    srom::QtView view;
    srom::CKM62058_SromDlg dlg(view, adapter, clock,
                               srom::FileFolders{station, station});
    view.set_logic(&dlg);
    if (!dlg.OnInitDialog(nullptr)) return 1;
    view.show();
    if (!grab(view, names[sel])) return 1;
    fs::remove_all(station);
  }

  {
    // "Auto" with a delay of 5 s: an adapter has just been plugged in.
    srom::SromSettings settings = base;
    settings.AutoProgram = true;
    settings.DelayTime = 5;
    const fs::path station = station_with("auto", settings);
    if (station.empty()) return 1;
    srom::SimulatedAdapter adapter(512);
    adapter.set_plugged(false);
    srom::SystemClock clock;
    srom::QtView view;
    srom::CKM62058_SromDlg dlg(view, adapter, clock,
                               srom::FileFolders{station, station});
    view.set_logic(&dlg);
    if (!dlg.OnInitDialog(nullptr)) return 1;
    view.show();
    const auto watch =
        srom::OperatorEvent::Tick(srom::CKM62058_SromDlg::kWatchTimer);
    dlg.OnOperator(watch);  // nothing attached yet
    adapter.set_plugged(true);
    dlg.OnOperator(watch);  // the countdown starts at 5
    if (!grab(view, "auto-countdown")) return 1;
    view.StopTimer(srom::CKM62058_SromDlg::kCountdownTimer);
    fs::remove_all(station);
  }

  {
    // Three adapters in the loop; the second has a cell that takes no write.
    srom::SromSettings settings = base;
    settings.MultiEnable = true;
    const fs::path station = station_with("three-adapters", settings);
    if (station.empty()) return 1;
    srom::SimulatedBench bench;
    for (const char* connection : {"Ethernet", "Ethernet 2", "Ethernet 3"}) {
      bench.AddAdapter("VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter",
                       connection, 256);
    }
    bench.At(1)->set_eeprom_cell_stuck(0x20);
    srom::SimulatedNetwork network(bench);
    srom::SystemClock clock;
    srom::QtView view;
    srom::CKM62058_SromDlg dlg(view, bench, clock,
                               srom::FileFolders{station, station});
    dlg.set_network(&network);
    view.set_logic(&dlg);
    if (!dlg.OnInitDialog(nullptr)) return 1;
    view.show();
    dlg.OnOperator(srom::OperatorEvent::Click(srom::ControlId::kProgram));
    while (dlg.job_running()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!grab(view, "three-adapters")) return 1;
    fs::remove_all(station);
  }
  return 0;
}
