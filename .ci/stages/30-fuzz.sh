#!/usr/bin/env bash
# Fuzzes the file readers: builds the libFuzzer targets with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs each for a bounded
# time from the seed corpus in fuzz/corpus. Any crash, leak or sanitizer
# report fails the stage. Installs clang and its runtime when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${SROM_FUZZ_SECONDS:-60}
build=build-fuzz

./scripts/bootstrap.sh clang libclang-rt-14-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DSROM_BUILD_FUZZ=ON -DSROM_BUILD_TESTS=OFF \
  -DSROM_BUILD_BENCH=OFF -DSROM_BUILD_GUI=OFF -DSROM_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target eeprom_dat_fuzzer image_file_fuzzer

mkdir -p "$build/artifacts"
# fuzz <target>: one fuzzer for its time; its verdict in its log's end.
fuzz() {
  local target=$1
  # New inputs go to a scratch folder; the seeds in the repository stay as
  # they are.
  local scratch="$build/corpus/$target"
  mkdir -p "$scratch"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    timeout $((seconds + 120)) "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" \
    -print_final_stats=1 -max_len=12000 -artifact_prefix="$build/artifacts/${target}-" \
    "$scratch" "fuzz/corpus/$target" >"$build/${target}_fuzzer.log" 2>&1
}
# Each fuzzer is one process on one core: both run at once.
targets=(eeprom_dat image_file)
pids=()
for target in "${targets[@]}"; do
  echo "fuzzing ${target} for ${seconds}s"
  fuzz "$target" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log="$build/${target}_fuzzer.log"
  if ! wait "${pids[$i]}"; then
    tail -n 60 "$log"
    echo "fuzzing ${target}: FINDING, see $build/artifacts" >&2
    failed=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cover=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
  echo "fuzzing ${target}: ${runs} runs, ${cover}, no findings"
done
exit "$failed"
