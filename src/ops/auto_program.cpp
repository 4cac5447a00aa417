#include "ops/auto_program.h"

namespace srom {

AutoProgramWatch::Step AutoProgramWatch::Tick(
    const std::function<int()>& count) {
  Step step;
  if (counting_down_) {
    CountdownStep(step, count);
    return step;
  }
  const int n = count();
  // Only a rise from none starts the countdown: the first count, with an
  // adapter already attached, is no plug-in.
  if (n > previous_count_ && previous_count_ == 0) {
    step.cleared = true;
    countdown_ = delay_;
    counting_down_ = true;
    CountdownStep(step, count);
  }
  if (n < previous_count_) step.cleared = true;
  previous_count_ = n;
  return step;
}

void AutoProgramWatch::CountdownStep(Step& step,
                                     const std::function<int()>& count) {
  step.shown = countdown_;
  --countdown_;
  if (countdown_ < 0) {
    counting_down_ = false;
    step.program = true;
    return;
  }
  if (count() == 0) {
    counting_down_ = false;
    step.device_lost = true;
  }
}

}  // namespace srom
