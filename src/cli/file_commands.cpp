#include <filesystem>

#include "cli/commands.h"
#include "files/eeprom_dat.h"
#include "files/image_files.h"
#include "model/srom_image.h"
#include "ops/file_actions.h"
#include "ops/refresh.h"

namespace srom::cli {

namespace fs = std::filesystem;

void AddLoadSromOptions(CLI::App& command, Options& o) {
  command.add_option("file", o.file, "The SROM.dat text file")->required();
  command.add_flag("--save", o.save,
                   "Then save EEPROM.dat and SROM.dat, as \"Save\" does "
                   "(asks: --yes)");
}

void AddLoadEfuseOptions(CLI::App& command, Options& o) {
  command.add_option("file", o.file, "The EFUSE.dat text file")->required();
  command.add_flag("--save", o.save,
                   "Then save it as EFUSE.dat, as \"Save Efuse\" does "
                   "(asks: --yes)");
}

void AddConvertBinOptions(CLI::App& command, Options& o) {
  command.add_option("file", o.file, "The SROM.dat text file")->required();
}

void AddConvertEfuseOptions(CLI::App& command, Options& o) {
  command
      .add_option("--serial-type", o.serial_type,
                  "mac: \"Use Mac Address as Serial No.\"; fixed: \"Fixed to "
                  "00000000000001\"")
      ->check(CLI::IsMember({"mac", "fixed"}))
      ->required();
}

namespace {

// The window's "Save" after a load: its question, then the files.
ExitCode SaveAsTheWindowDoes(Run& run) {
  return ExitCodeOf(SaveSettingsFiles(run.station(), run.panel()));
}

}  // namespace

ExitCode LoadSrom(Run& run) {
  if (const auto refused = run.RequireEeprom("Load SROM")) return *refused;
  Station& st = run.station();
  const OpsContext ctx = run.Context();
  ctx.Device().DetectDevice();
  if (LoadSromFile(fs::path(run.options().file), st, run.panel()) !=
      FileLoad::kLoaded) {
    return ExitCode::kFileRejected;
  }
  run.out() << FormatEepromDat(st.settings);
  if (!RefreshImage(ctx)) return ExitCode::kSettingsRejected;
  return run.options().save ? SaveAsTheWindowDoes(run) : ExitCode::kOk;
}

ExitCode LoadEfuse(Run& run) {
  if (const auto refused = run.RequireEfuse("Load Efuse")) return *refused;
  Station& st = run.station();
  if (LoadEfuseDat(fs::path(run.options().file), st.settings, st.prev,
                   st.image_size, run.panel()) != FileLoad::kLoaded) {
    return ExitCode::kFileRejected;
  }
  run.PrintOutputBox();
  return run.options().save ? SaveAsTheWindowDoes(run) : ExitCode::kOk;
}

ExitCode ConvertBin(Run& run) {
  if (const auto refused = run.RequireEeprom("Convert to Bin")) return *refused;
  Station& st = run.station();
  run.Context().Device().DetectDevice();
  return ConvertToBin(st.folders, fs::path(run.options().file),
                      st.settings.SromSize, run.panel())
             ? ExitCode::kOk
             : ExitCode::kFileRejected;
}

ExitCode ConvertEfuse(Run& run) {
  if (const auto refused = run.RequireEeprom("Convert to EFuse")) {
    return *refused;
  }
  Station& st = run.station();
  // The window converts whatever image it last built; here there is none
  // before this refresh, so refused settings stop the conversion.
  if (!RefreshImage(run.Context())) return ExitCode::kSettingsRejected;
  if (!CheckEfuseConversion(st.prev, run.panel())) {
    return ExitCode::kSettingsRejected;
  }
  const int type =
      run.options().serial_type == "fixed" ? kSerialFixed : kSerialFromMac;
  const bool saved =
      ConvertToEfuse(st.folders, st.settings, st.prev, st.image_size,
                     st.accepted, type, run.panel());
  run.PrintOutputBox();
  return saved ? ExitCode::kOk : ExitCode::kFileRejected;
}

}  // namespace srom::cli
