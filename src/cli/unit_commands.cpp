#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "files/hex_file.h"
#include "files/image_files.h"
#include "model/messages.h"
#include "model/srom_image.h"
#include "ops/dump.h"
#include "ops/file_actions.h"
#include "ops/program.h"
#include "ops/refresh.h"

namespace srom::cli {

namespace fs = std::filesystem;

namespace {

// The image a unit is built over, when not the chip's default one.
void AddBaseOption(CLI::App& command, Options& o) {
  command
      .add_option("--base", o.base,
                  "Build over this SROM.dat / EFUSE.dat instead of the "
                  "chip's default image")
      ->check(CLI::ExistingFile);
}

}  // namespace

void AddImageOptions(CLI::App& command, Options& o) {
  AddBaseOption(command, o);
  command.add_option("--out", o.out_file,
                     "Also write it as SROM.dat/EFUSE.dat text");
  command.add_option("--bin", o.bin_file, "Also write it as raw bytes");
}

void AddProgramOptions(CLI::App& command, Options& o) {
  AddBaseOption(command, o);
  command.add_flag("--allow-reissue", o.allow_reissue,
                   "Program a MAC address the ledger holds as given once "
                   "again, on purpose (a rework)");
  auto* reload =
      command.add_flag("--reload", o.reload,
                       "Check \"Reload\": the adapter reloads its "
                       "configuration after the unit (asks: --yes)");
  command
      .add_flag("--multi", o.multi,
                "Program every adapter a scan puts in the loop, in "
                "turn (\"MultiEnable\"); one result line each")
      ->excludes(reload);
}

void AddDumpOptions(CLI::App& command, Options& o) {
  command.add_flag("--multi", o.multi,
                   "Dump every adapter a scan puts in the loop, in turn "
                   "(\"MultiEnable\"); one result line each");
}

ExitCode Image(Run& run) {
  Station& st = run.station();
  const Options& o = run.options();
  if (!o.base.empty() && !LoadBaseImage(o.base, st, run.panel())) {
    return ExitCode::kFileRejected;
  }
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  run.PrintOutputBox();
  const auto image =
      ImageArea(st.prev).first(static_cast<std::size_t>(st.image_size));
  const bool efuse = IsEfuseSel(st.settings.DeviceSel);
  if (!o.out_file.empty() &&
      !WriteResultFile(
          run, o.out_file, FormatImageFile(image),
          efuse ? msg::kCannotWriteEfuse : msg::kCannotWriteSrom)) {
    return ExitCode::kFileRejected;
  }
  if (!o.bin_file.empty() &&
      !WriteResultFile(
          run, o.bin_file,
          std::string_view(reinterpret_cast<const char*>(image.data()),
                           image.size()),
          msg::kCannotWriteBin)) {
    return ExitCode::kFileRejected;
  }
  return ExitCode::kOk;
}

ExitCode Program(Run& run) {
  Station& st = run.station();
  if (!run.options().base.empty() &&
      !LoadBaseImage(run.options().base, st, run.panel())) {
    return ExitCode::kFileRejected;
  }
  // "Reload" is a box of the window that the settings file does not keep.
  st.settings.Reload = run.options().reload;
  // The window has refreshed the image since the last edit; settings it
  // refuses never reach the adapter.
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  if (run.options().multi) return MultiJob(run, AdapterLoop::Kind::kProgram);
  OneAdapter adapter;
  const Outcome outcome = RunProgramJob(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

ExitCode Dump(Run& run) {
  if (run.options().multi) return MultiJob(run, AdapterLoop::Kind::kDump);
  OneAdapter adapter;
  run.panel().SetOutputText("");
  const Outcome outcome = RunDumpJob(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

ExitCode Erase(Run& run) {
  if (const auto refused = run.RequireEeprom("Erase")) return *refused;
  OneAdapter adapter;
  const Outcome outcome = EraseEeprom(run.Context(), &adapter);
  run.PrintOutputBox();
  return ExitCodeOf(outcome);
}

}  // namespace srom::cli
