#include <string>

#include "cli/commands.h"
#include "cli/stop_signal.h"
#include "model/messages.h"
#include "ops/auto_program.h"
#include "ops/program.h"

namespace srom::cli {

namespace fs = std::filesystem;

ExitCode Auto(Run& run) {
  if (const auto refused = run.RequireEeprom("Automatic programming")) {
    return *refused;
  }
  Station& st = run.station();
  const StopOnSignal stop;
  AutoProgramWatch watch(st.settings.DelayTime);
  const OpsContext ctx = run.Context();
  int attached = 0;
  const auto count = [&ctx, &attached] {
    attached = ctx.Device().DetectDevice() ? 1 : 0;
    return attached;
  };
  int units = 0;
  int passed = 0;
  bool first_tick = true;
  do {
    const AutoProgramWatch::Step step = watch.Tick(count);
    if (first_tick) {
      first_tick = false;
      run.Say(attached != 0
                  ? "Automatic programming: an adapter is attached already; "
                    "it is programmed once it has been unplugged and plugged "
                    "in again. Ctrl-C ends."
                  : "Automatic programming: waiting for an adapter to be "
                    "plugged in. Ctrl-C ends.");
    } else if (step.cleared && !step.shown) {
      run.Say("The adapter was unplugged: waiting for the next one.");
    }
    if (step.shown) run.out() << *step.shown << "\n" << std::flush;
    if (step.device_lost) run.Say(msg::kDeviceLost);
    if (step.program) {
      const std::string mac = st.settings.CurrentMac;
      OneAdapter one;
      const Outcome outcome = RunProgramJob(ctx, &one);
      ++units;
      passed += outcome == Outcome::kOk ? 1 : 0;
      run.out() << "Unit " << units << ": " << ResultText(outcome);
      if (outcome == Outcome::kOk) run.out() << " " << mac;
      run.out() << "\n" << std::flush;
    }
  } while (WaitUnlessStopped(run.clock(), watch.period_ms()));
  run.Say("Automatic programming ended: " + std::to_string(units) +
          (units == 1 ? " unit, " : " units, ") + std::to_string(passed) +
          " passed.");
  return ExitCode::kOk;
}

}  // namespace srom::cli
