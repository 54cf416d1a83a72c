#!/usr/bin/env bash
# Builds the libFuzzer fuzzers with Clang into build-fuzz/ (or $PLINOVA_FUZZ_BUILD_DIR) and
# runs each for PLINOVA_FUZZ_SECONDS seconds (20 by default), starting from its seed corpus
# in tests/<folder>/fuzz/corpus/<name>/. Prints one line per fuzzer with the runs executed;
# fails when a fuzzer finds a crash, a sanitizer report, a leak or an input that hangs. The
# PLINOVA_FUZZ_STEP=build only builds, =run only runs what a build made so. The
# input that did it is kept in build-fuzz/fuzz-artifacts/ and the fuzzer's output in
# build-fuzz/fuzz-logs/; replay it with: build-fuzz/<path>/<fuzzer> <input file>
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PLINOVA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${PLINOVA_FUZZ_SECONDS:-20}"
step="${PLINOVA_FUZZ_STEP:-all}"

bash "$root/scripts/install-deps.sh"

# Each fuzzer: target, test folder, seed corpus name.
fuzzers=(
  "fuzz_db_parameterscan tests/db parameterscan"
  "fuzz_db_datalink tests/db datalink"
  "fuzz_platform_profile tests/platform/fuzz profile"
  "fuzz_serial_text tests/serial/fuzz text"
  "fuzz_cardsim tests/tools cardsim"
  "fuzz_app_configvalues tests/app/fuzz configvalues"
  "fuzz_app_historypreview tests/app/fuzz historypreview"
  "fuzz_codepage_win1252 tests/codepage/fuzz win1252"
)

targets=()
for f in "${fuzzers[@]}"; do
  read -r target _ _ <<<"$f"
  targets+=("$target")
done
if [ "$step" != run ]; then
  CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j 2 --target "${targets[@]}"
fi
[ "$step" != build ] || exit 0

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=()
for f in "${fuzzers[@]}"; do
  read -r target folder corpus <<<"$f"
  seeds="$root/${folder%/fuzz}/fuzz/corpus/$corpus"
  found="$build/fuzz-corpus/$corpus" # inputs the fuzzer finds go here, not into the seeds
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$found"
  status=ok
  if ! "$build/$folder/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" \
      "$found" "$seeds" >"$log" 2>&1; then
    status=FAILED
    failed+=("$target")
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  printf '%-24s %-6s %10s runs in %ss, %s inputs in its corpus\n' "$target" "$status" \
    "${runs:-?}" "$seconds" "$(find "$found" "$seeds" -type f | wc -l)"
done

if [ ${#failed[@]} -ne 0 ]; then
  for target in "${failed[@]}"; do
    echo "---- $target: end of $build/fuzz-logs/$target.log" >&2
    tail -n 60 "$build/fuzz-logs/$target.log" >&2
  done
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
