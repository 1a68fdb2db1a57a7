#!/usr/bin/env bash
# Prints the h8board and korvel command lines that replay rows of the run
# table by hand, for every row whose name holds TEXT (all rows for ""):
#   tools/row_commands.sh 'stuck flash bit'
# The program files are kept in BUILD/tests/runs/replay. BUILD defaults to
# build/, which must hold a built run_table_tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD:-$root/build}"
[ $# -eq 1 ] || { echo "usage: $0 TEXT" >&2; exit 2; }
KORVEL_ROW_COMMANDS="$1" "$build/tests/runs/run_table_tests" --gtest_filter='Rows/TableRun.InProcess/*' |
  grep -E '^(#|\$) '
