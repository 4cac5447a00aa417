// srom-tool: the main window on the station folder (--dir, the current folder
// by default), on the folder's simulated adapter wherever the maker's driver
// is absent (--device), with the simulator's panel beside it (unless
// --no-sim-panel).
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "cli/device_option.h"
#include "device/sim/simulated_bench.h"
#include "device/station_device.h"
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#include "ports/clock.h"
#include "sim_panel/sim_panel.h"
#include "srom_version.h"
#include "ui/qt/first_paint.h"
#include "ui/qt/qt_view.h"
#include "ui/srom_dlg.h"
#include "user_station.h"

namespace fs = std::filesystem;

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// The start-up benchmark's finish line: with SROM_TOOL_EXIT_AFTER_FIRST_PAINT
// set to 1, the window's first paint writes one line to the standard output
// and the program ends at once.
bool ExitAfterFirstPaintWanted() {
  const char* value = std::getenv("SROM_TOOL_EXIT_AFTER_FIRST_PAINT");
  return value != nullptr && std::string(value) == "1";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{
      "srom-tool: the window that programs the configuration EEPROM or eFuse "
      "of KM62058 and KM62057D adapters, one station folder at a time."};
  std::string dir = ".";
  CLI::Option* dir_option = cli.add_option(
      "-d,--dir", dir,
      "The station folder: settings, images, logs, the production ledger and "
      "the simulated adapter (default: this folder)");
  bool user_station = false;
  cli.add_flag("--user-station", user_station,
               "The station folder is the user's own, "
               "$XDG_DATA_HOME/srom-tool/station (made when missing): the "
               "desktop menu's start")
      ->excludes(dir_option);
  std::string device = "sim";
  srom::AddDeviceOption(cli, device);
  bool no_sim_panel = false;
  cli.add_flag("--no-sim-panel", no_sim_panel,
               "The window alone on the simulated adapter, as a station with "
               "the maker's driver shows it: no simulator's panel beside it");
  cli.set_version_flag("--version",
                       std::string("srom-tool ") + srom::kSromVersion,
                       "Print the program's version and exit");
  CLI11_PARSE(cli, argc, argv);

  if (!HasDisplay()) {
    std::cerr
        << "srom-tool is a window and there is no display here (DISPLAY is "
           "not set).\nStart it from a desktop session, or from a terminal "
           "with X forwarding (ssh -X).\nThe same operations run without a "
           "display in srom-cli: ./scripts/run.sh --help\n";
    return 2;
  }
  if (user_station) {
    auto folder = srom::UserStationFolder(std::getenv("XDG_DATA_HOME"),
                                          std::getenv("HOME"));
    if (const auto* message = std::get_if<std::string>(&folder)) {
      std::cerr << *message << "\n";
      return 2;
    }
    dir = std::get<fs::path>(folder).string();
    if (const std::string message = srom::MakeStationFolder(dir);
        !message.empty()) {
      std::cerr << message << "\n";
      return 2;
    }
  }
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    std::cerr << "The folder \"" << dir << "\" does not exist.\n";
    return 2;
  }
  const fs::path folder = fs::absolute(dir, error).lexically_normal();

  QApplication app(argc, argv);
  // The station's simulated bench, whose adapters answer the driver's
  // requests and whose network stands in for the system's connections; the
  // maker's driver only where there is one.
  srom::DeviceOpening opening = srom::OpenStationDevice(
      srom::DeviceKindNamed(device).value_or(srom::DeviceKind::kSim), folder);
  if (!opening.device) {
    std::cerr << opening.message << "\n";
    return 1;
  }
  const srom::StationDevice& station_device = *opening.device;
  srom::SystemClock clock;
  srom::QtView view;
  srom::CKM62058_SromDlg dlg(view, station_device.port(), clock,
                             srom::FileFolders{folder, folder});
  dlg.set_network(&station_device.network());
  view.set_logic(&dlg);
  if (!dlg.OnInitDialog(srom::OpenStationLedger)) return 1;
  QObject::connect(&view, &QDialog::finished, &app, &QApplication::quit);
  // The simulated adapter's panel beside the window: plug, unplug, fault it
  // and watch its memories while the window programs it, every change saved
  // in the station's files. Both are centred together where the screen has
  // room for them side by side.
  srom::SimulatedBench* bench =
      no_sim_panel ? nullptr : station_device.bench();
  srom::SimPanel* panel = nullptr;
  if (bench != nullptr) {
    std::vector<srom::SimPanelAdapter> adapters;
    const auto described = bench->Describe();
    for (int i = 0; i < bench->size(); ++i) {
      adapters.push_back(
          {"Adapter " + std::to_string(i + 1) + ": " +
               described[static_cast<std::size_t>(i)].description + " (" +
               described[static_cast<std::size_t>(i)].connection_name + ")",
           bench->At(i), i + 1});
    }
    panel = new srom::SimPanel(
        std::move(adapters),
        srom::SimPanelStation{folder, [bench] { bench->CatchUp(); }}, &view);
    panel->adjustSize();
  }
  if (const QScreen* screen = view.screen()) {
    const QRect room = screen->availableGeometry();
    const int total =
        view.width() + (panel != nullptr ? 8 + panel->width() : 0);
    if (total <= room.width()) {
      view.move(room.left() + (room.width() - total) / 2,
                room.top() + std::max(0, (room.height() - view.height()) / 3));
    }
  }
  srom::ExitAfterFirstPaint first_paint;
  if (ExitAfterFirstPaintWanted()) view.installEventFilter(&first_paint);
  view.show();
  if (panel != nullptr) panel->ShowBeside(view);
  return app.exec();
}
