#!/usr/bin/env bash
# Runs the Linux suite (build/) and the sanitizer suite (build-asan/) N times
# each with ctest -j2 while two busy processes hold the processors, and
# prints per test how often it failed: a test that depends on how busy the
# machine is shows here. Not part of .ci/run.
#
#   tools/soak.sh [N]   (default 10)
#
# Both suites are configured and built first, before the load starts. The
# Wine and qemu rows run when the cross builds are there (build-win,
# build-arm64, build-armhf, made by tools/run_tests.sh): they are brought up
# to date; when one is missing, the suites skip those rows. So do the
# browser rows with build-web. Each run's output is kept in build/soak/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/suite_setup.sh"
runs="${1:-10}"
jobs="${JOBS:-2}"
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: tools/soak.sh [N]" >&2; exit 2; }

cross=1
for dir in build-win build-arm64 build-armhf; do [ -f "$root/$dir/CMakeCache.txt" ] || cross=0; done
if [ $cross = 1 ]; then
  cmake --build "$root/build-win" -j "$jobs" --target korvel serial_contract >/dev/null
  cmake --build "$root/build-arm64" -j "$jobs" --target korvel >/dev/null
  cmake --build "$root/build-armhf" -j "$jobs" --target korvel >/dev/null
  if [ -f "$root/build-web/CMakeCache.txt" ]; then
    cmake --build "$root/build-web" -j "$jobs" --target korvel-web >/dev/null
  fi
else
  echo "soak: a cross build is missing: the Wine and qemu rows are skipped"
fi
configure_suite "$root" "$root/build" $cross
configure_suite "$root" "$root/build-asan" $cross -DKORVEL_SANITIZE=ON
cmake --build "$root/build" -j "$jobs" >/dev/null
cmake --build "$root/build-asan" -j "$jobs" >/dev/null

logs="$root/build/soak"
rm -rf "$logs"
mkdir -p "$logs"
busy=()
stop_busy() { for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap stop_busy EXIT
for _ in 1 2; do
  yes >/dev/null &
  busy+=($!)
done

# One line a failed test a run: "SUITE<TAB>TEST".
failures="$logs/failures.tsv"
: >"$failures"
for suite in build build-asan; do
  for run in $(seq 1 "$runs"); do
    log="$logs/$suite.$run.log"
    start=$SECONDS
    (
      [ $suite = build-asan ] && sanitizer_env
      cd "$root/$suite" && ctest -j "$jobs" --output-on-failure
    ) >"$log" 2>&1 || true
    # ctest lists each failed test as "  12 - Name  # GetParam() = ... (Failed)" after this line.
    sed -n '/^The following tests FAILED:/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\).* (.*)$/\1/p' |
      sed "s/^/$suite\t/" >>"$failures"
    summary=$(grep -E '^[0-9]+% tests passed' "$log" || echo "no ctest summary")
    echo "$suite run $run of $runs: $summary ($((SECONDS - start)) s)"
  done
done
stop_busy

echo
printf '%-11s %-90s %s\n' suite test failed
for suite in build build-asan; do
  grep -q "^$suite"$'\t' "$failures" || printf '%-11s %-90s %s\n' "$suite" "(every test)" "0 of $runs"
done
sort "$failures" | uniq -c | while read -r count suite test; do
  printf '%-11s %-90s %s\n' "$suite" "$test" "$count of $runs"
done
[ ! -s "$failures" ]
