#!/usr/bin/env bash
# Builds the libFuzzer fuzzers in the Clang tree of the AddressSanitizer run (build-asan/, or
# $PLINOVA_ASAN_BUILD_DIR; scripts/sanitize.sh) and runs each for PLINOVA_FUZZ_SECONDS seconds
# (20 by default), starting from its seed corpus in tests/<folder>/fuzz/corpus/<name>/; the
# fuzzers are those the build declares (plinova_add_fuzzer). Prints one line per fuzzer with
# the runs executed; fails when a fuzzer finds a crash, a sanitizer report, a leak or an input
# that hangs. The input that did it is kept in build-asan/fuzz-artifacts/ and the fuzzer's
# output in build-asan/fuzz-logs/; replay it with: build-asan/<path>/<fuzzer> <input file>
# PLINOVA_FUZZ_STEP=build only builds, =run only runs what a build made so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/lib.sh"
build="${PLINOVA_ASAN_BUILD_DIR:-$root/build-asan}"
seconds="${PLINOVA_FUZZ_SECONDS:-20}"
step="${PLINOVA_FUZZ_STEP:-all}"

bash "$root/scripts/install-deps.sh"

if [ "$step" != run ]; then
  plinova_configure_sanitized "$build" address,undefined clang++
  mapfile -t targets < <(plinova_fuzzer_targets "$build")
  cmake --build "$build" -j 2 --target "${targets[@]}"
fi
# Each fuzzer a line: target, program, seed corpus (cmake/PlinovaTesting.cmake writes it). A
# tree that declares none is not a Clang tree: nothing would be fuzzed.
mapfile -t fuzzers < <(grep . "$build/fuzzers.txt")
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "fuzz.sh: $build declares no fuzzer (is it built with Clang?)" >&2
  exit 1
fi
[ "$step" != build ] || exit 0

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
failed=()
for f in "${fuzzers[@]}"; do
  [ -n "$f" ] || continue
  IFS=$'\t' read -r target program seeds <<<"$f"
  found="$build/fuzz-corpus/$target" # inputs the fuzzer finds go here, not into the seeds
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$found"
  status=ok
  if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
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
