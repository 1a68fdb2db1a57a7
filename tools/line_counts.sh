#!/usr/bin/env bash
# Prints the code lines (every .cpp/.h/.c/.s/.S outside tests/ tools/ docs/
# examples/ cmake/ and the build folders: the on-chip assembly source counts
# as code), the test lines (every .cpp/.h/.c/.s under tests/), both counted
# with wc -l, and the ratio of tests to code.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { find "$@" -type f \( "${patterns[@]}" \) -print0 | xargs -0 cat | wc -l; }
patterns=(-name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.s' -o -name '*.S')
code=$(count $(find . -mindepth 1 -maxdepth 1 -type d ! -name '.*' ! -name tests ! -name tools ! -name docs \
  ! -name examples ! -name cmake ! -name 'build*' | sort))
patterns=(-name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.s')
tests=$(count tests)
echo "code lines: $code"
echo "test lines: $tests"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests/code: %.1f%%\n", 100 * t / c }'
