// srom-cli's commands: one row each, with its name, its help, whether it
// opens the station, its own options and what it runs. The rows are in
// cli_app.cpp; each command lives in the file named for its kind.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "cli/station_run.h"
#include "ops/multi_adapter.h"

namespace srom::cli {

struct Command {
  const char* name;
  const char* help;
  // Opens the station first (its lock, its ledger brought into step, its
  // device), or not: the sim commands work on the bench's files alone, so
  // that they can change an adapter while a program works on the station.
  // "program" brings the ledger into step at its unit, which comes at once.
  enum class StationUse { kNone, kOpen, kOpenForUnit };
  StationUse station;
  // The command's own options, or null for none.
  void (*add_options)(CLI::App& command, Options& o);
  ExitCode (*run)(Run& run);
};

// unit_commands.cpp: one unit on the station's adapter.
void AddImageOptions(CLI::App& command, Options& o);
ExitCode Image(Run& run);
void AddProgramOptions(CLI::App& command, Options& o);
ExitCode Program(Run& run);
void AddDumpOptions(CLI::App& command, Options& o);
ExitCode Dump(Run& run);
ExitCode Erase(Run& run);

// adapter_commands.cpp: several adapters in turn.
ExitCode Scan(Run& run);
// Program or Dump on every adapter a scan ticks, one result line each.
ExitCode MultiJob(Run& run, AdapterLoop::Kind kind);

// auto_command.cpp
ExitCode Auto(Run& run);

// file_commands.cpp: the window's file buttons.
void AddLoadSromOptions(CLI::App& command, Options& o);
ExitCode LoadSrom(Run& run);
void AddLoadEfuseOptions(CLI::App& command, Options& o);
ExitCode LoadEfuse(Run& run);
void AddConvertBinOptions(CLI::App& command, Options& o);
ExitCode ConvertBin(Run& run);
void AddConvertEfuseOptions(CLI::App& command, Options& o);
ExitCode ConvertEfuse(Run& run);

// ledger_commands.cpp: the production ledger and the line's pools.
void AddLedgerOptions(CLI::App& command, Options& o);
ExitCode LedgerUnits(Run& run);
void AddPoolOptions(CLI::App& command, Options& o);
ExitCode Pool(Run& run);

// sim_commands.cpp: the station's simulated bench.
void AddSimOptions(CLI::App& command, Options& o);
ExitCode Sim(Run& run);

}  // namespace srom::cli
