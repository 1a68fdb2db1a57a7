#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# starting from the seed files in tests/fuzz/corpus. Fails when a target
# finds a crash, an abort (a broken property) or a sanitizer report; the
# input that did it is left in build-fuzz/artifacts/.
#
# Usage: tools/fuzz.sh [SECONDS] [TARGET...]
#   SECONDS  time per target (default 60); run longer by hand, e.g. 3600
#   TARGET   fuzz_rs_get_line, fuzz_record_check, fuzz_record_file_reader,
#            fuzz_program_file (default: all four)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_rs_get_line fuzz_record_check fuzz_record_file_reader fuzz_program_file)
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKORVEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}"

seeds_of() {
  case "$1" in
    fuzz_rs_get_line) echo "$root/tests/fuzz/corpus/rs_get_line" ;;
    fuzz_program_file) echo "$root/tests/fuzz/corpus/program_file" ;;
    *) echo "$root/tests/fuzz/corpus/record_file" ;;
  esac
}

mkdir -p "$build/artifacts"
status=0
for target in "${targets[@]}"; do
  # New inputs go to the first folder (kept between runs); the seeds stay as committed.
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/$target.log"
  echo "== $target: ${seconds} s"
  if "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$work" "$(seeds_of "$target")" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "   $runs inputs run, corpus $(ls "$work" | wc -l) files, no findings"
  else
    echo "   FAILED: see $log"
    grep -E "ERROR|SUMMARY|Test unit written" "$log" | head -5 || true
    status=1
  fi
done
exit $status
