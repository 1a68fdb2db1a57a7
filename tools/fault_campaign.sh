#!/usr/bin/env bash
# The fault campaign: N runs of korvel (default 500) for the record mode
# and N for the fast mode against the virtual board, in process on the
# virtual clock, each with one seeded random fault on the line after the
# loaded program's start (a flipped bit either way, a lost byte either way,
# a late answer byte). Prints the table "Success with the flash equal /
# Fail / Success with the flash different" by mode and by kind of fault.
# Exits 1 when a fast run ended in "Success" with the flash different.
#
#   tools/fault_campaign.sh [--build DIR] [N [SEED]]
#
# DIR defaults to $KORVEL_BUILD_DIR or build/ (configured when missing);
# the campaign's target is brought up to date first. SEED defaults to 2026.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVEL_BUILD_DIR:-$root/build}"
if [ "${1:-}" = "--build" ]; then
  [ $# -ge 2 ] || { echo "usage: tools/fault_campaign.sh [--build DIR] [N [SEED]]" >&2; exit 2; }
  build="$2"
  shift 2
fi
runs="${1:-500}"
seed="${2:-2026}"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target fault_campaign >/dev/null
exec "$build/tests/runs/fault_campaign" --runs "$runs" --seed "$seed"
