// Pictures of the window in each device selection, for the README: the real
// window on Qt's offscreen platform, on a simulated adapter in a scratch
// station folder, every message box answered OK. scripts/screenshots.sh runs
// it.
#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <string>

#include "device/sim/simulated_adapter.h"
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

  const char* names[] = {"chip-b-eeprom", "chip-b-efuse", "chip-a-eeprom",
                         "chip-a-efuse"};
  for (int sel = 0; sel < 4; ++sel) {
    const fs::path station =
        fs::temp_directory_path() / ("srom-screenshot-" + std::to_string(sel));
    fs::remove_all(station);
    fs::create_directories(station);
    srom::SromSettings settings;
    settings.DeviceSel = sel;
    settings.CurrentMac = "00E04C680001";
    settings.MaximumMac = "00E04C68FFFF";
    if (!srom::SaveFile(station / "EEPROM.dat",
                        srom::FormatEepromDat(settings))) {
      std::cerr << "cannot write into " << station << "\n";
      return 1;
    }
    srom::SimulatedAdapter adapter(512);
    srom::SystemClock clock;
    srom::QtView view;
    srom::CKM62058_SromDlg dlg(view, adapter, clock,
                               srom::FileFolders{station, station});
    view.set_logic(&dlg);
    if (!dlg.OnInitDialog(nullptr)) return 1;
    view.show();
    QApplication::processEvents();
    const fs::path file = out / (std::string("window-") + names[sel] + ".png");
    if (!view.grab().save(QString::fromStdString(file.string()))) {
      std::cerr << "cannot write " << file << "\n";
      return 1;
    }
    std::cout << file.string() << "\n";
    fs::remove_all(station);
  }
  return 0;
}
