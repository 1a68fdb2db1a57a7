#!/usr/bin/env bash
# Timed programming runs against the virtual board at real line speed
# (h8board --pace, 9600 bit/s 8N1), each set against what the line itself
# allows, 10 bits a character:
#
#   boot load   from "Transfer..." to "WAIT H3048 response...OK": the 2 length
#               bytes and the 837 program bytes, each sent and echoed before
#               the next goes out: 2 x 839 characters, 1.748 s. Goal 1.10x.
#   whole run   blink.mot from korvel's start to "Success", against every
#               character of the run in turn: synchronisation (00/00, 55/AA),
#               the boot load, the start signal, "[START]" CR LF, the
#               records and their answers. Goal 1.25x.
#   records     the 32 KB file, from "Program H3048..." to "Success": the
#               characters korvel sends (each record line as the file reader
#               returns it; count records and empty records are not sent)
#               plus one answer per record. Goal 1.03x.
#   host CPU    user+sys of the korvel process over its wall time. Goal < 2%.
#
# blink.mot is run three times a host and each of its figures is the median;
# on a shared machine a single short run can fall on a busy moment. The
# 32 KB file is run three times on Linux too (once under Wine).
#
# The same for korvel.exe under Wine (COM5 of a Wine prefix kept in
# DIR/bench-wine), and with h8board --latency 16 (a USB adapter's default
# latency timer) for korvel and korvel.exe: there the hint must appear on
# standard error and standard output must equal the run without latency;
# without latency there must be no hint. The simulator's own speed
# (h8cpu_bench) comes last.
#
# Then the fast mode (korvel --fast) with the same file against
# h8board --pace --clock 10, --clock 14.7456 and --clock 16, each also behind
# --latency 16, and at 16 MHz with --line-limit 125000; the 128 KB random
# sample and a 128 KB raw image of 4400 bytes and H'FF at 16 MHz. Each from
# korvel's start to its final word, the flash checked, printed with its
# physical limit (the first stage's load at 9600 bit/s, the fast program's
# load, the frames and answers at the rate chosen, the chip's programming and read-back) and its goal:
# 6.5 s at 10 MHz and behind the line limit, 4.5 s at 14.7456 and 16 MHz,
# 16 s for 128 KB random, 3.5 s for the raw image, at most 1 s more behind
# the latency. --fast-only runs only these.
#
# Then the same 32 KB sample (random32k_s1_16.mot) in the fast mode at
# 16 MHz on the paced board through the page (headless Chromium, korvel-web
# from the WebAssembly build, default build-web/) and through the command
# line, three times each: both medians and their ratio, goal 1.3
# (tools/bench_web.py). Skipped with a note when korvel-web is not built;
# --web-only runs only this (building korvel-web when missing).
#
# Every run is checked: korvel must end with "Success", the board must exit
# cleanly, and its flash (--out image and --dump records) must equal the file
# filled with H'FF over 0-H'1FFFF. A failed run exits 1; a missed goal only
# prints MISS.
#
#   tools/bench.sh [--build DIR] [--win-build DIR] [--file FILE.mot] [--cpu-millions N] [--no-build] [--no-wine] [--fast-only]
#                  [--web-build DIR] [--web-only]
#
# DIR defaults to $KORVEL_BUILD_DIR or build/ (configured and built when
# missing; the targets are always brought up to date unless --no-build);
# the Windows build to build-win/ (cross-built when missing). FILE defaults
# to 32 KB of the project's seeded sample data converted by
# h8300-hms-objcopy -O srec (its usual 16 data bytes per S1 record).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVEL_BUILD_DIR:-$root/build}"
winbuild="$root/build-win"
file=""
millions=50
dobuild=1
wine=1
fastonly=0
webbuild="$root/build-web"
webonly=0
script_start=$(date +%s.%N)

usage() { sed -n '/^#   tools\/bench.sh/p' "$0" | sed 's/^#   /usage: /' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --build) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
    --build=*) build="${1#*=}"; shift ;;
    --file) [ $# -ge 2 ] || usage; file="$2"; shift 2 ;;
    --file=*) file="${1#*=}"; shift ;;
    --cpu-millions) [ $# -ge 2 ] || usage; millions="$2"; shift 2 ;;
    --cpu-millions=*) millions="${1#*=}"; shift ;;
    --win-build) [ $# -ge 2 ] || usage; winbuild="$2"; shift 2 ;;
    --win-build=*) winbuild="${1#*=}"; shift ;;
    --no-build) dobuild=0; shift ;;
    --no-wine) wine=0; shift ;;
    --fast-only) fastonly=1; wine=0; shift ;;
    --web-build) [ $# -ge 2 ] || usage; webbuild="$2"; shift 2 ;;
    --web-build=*) webbuild="${1#*=}"; shift ;;
    --web-only) webonly=1; shift ;;
    -h|--help) usage ;;
    *) echo "bench.sh: unknown argument: $1" >&2; usage ;;
  esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
case "$winbuild" in /*) ;; *) winbuild="$PWD/$winbuild" ;; esac
case "$webbuild" in /*) ;; *) webbuild="$PWD/$webbuild" ;; esac
if [ -n "$file" ]; then case "$file" in /*) ;; *) file="$PWD/$file" ;; esac; fi

for tool in python3 srec_cat cmp; do
  command -v "$tool" >/dev/null 2>&1 || { echo "bench.sh: $tool not found (tools/install_deps.sh installs it)" >&2; exit 1; }
done

if [ "$dobuild" = 1 ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVEL_BUILD_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" -j 2 --target korvel h8board h8cpu_bench >/dev/null
fi
for exe in app/korvel sim/h8board sim/h8cpu_bench; do
  [ -x "$build/$exe" ] || { echo "bench.sh: $build/$exe is missing" >&2; exit 1; }
done

# The page against the command line (tools/bench_web.py), its files in WORK.
web_bench() {
  if [ "$dobuild" = 1 ] && { [ "$webonly" = 1 ] || [ -f "$webbuild/CMakeCache.txt" ]; }; then
    [ -f "$webbuild/CMakeCache.txt" ] || emcmake cmake -S "$root" -B "$webbuild" -DKORVEL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$webbuild" -j 2 --target korvel-web >/dev/null
  fi
  if [ ! -f "$webbuild/app/korvel-web.js" ] && [ "$webonly" = 0 ]; then
    echo "page vs command line: skipped (no korvel-web in $webbuild; --web-only builds it)"
    return 0
  fi
  /usr/bin/python3 "$root/tools/bench_web.py" "$build" "$webbuild" "$1"
}
if [ "$webonly" = 1 ]; then
  work="$(mktemp -d "${TMPDIR:-/tmp}/korvel-bench.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  web_bench "$work"
  exit 0
fi

# korvel.exe and a Wine prefix whose COM5 is the board's link.
winexe="" wineloader="" wineserver="" wineprefix="$build/bench-wine/prefix" winelink="$build/bench-wine/h8board"
if [ "$wine" = 1 ]; then
  for candidate in /usr/lib/wine/wine64 /usr/bin/wine64 /usr/bin/wine; do
    [ -x "$candidate" ] && { wineloader="$candidate"; break; }
  done
  [ -n "$wineloader" ] || { echo "bench.sh: Wine not found (--no-wine to skip)" >&2; exit 1; }
  wineserver="$(dirname "$wineloader")/wineserver"
  if [ "$dobuild" = 1 ]; then
    if [ ! -f "$winbuild/CMakeCache.txt" ]; then
      cmake -S "$root" -B "$winbuild" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
    fi
    cmake --build "$winbuild" -j 2 --target korvel >/dev/null
  fi
  winexe="$winbuild/app/korvel.exe"
  [ -f "$winexe" ] || { echo "bench.sh: $winexe is missing" >&2; exit 1; }
  export WINEPREFIX="$wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  if [ ! -f "$wineprefix/.korvel-com5" ]; then
    mkdir -p "$wineprefix"
    "$wineloader" wineboot -i >/dev/null 2>&1
    "$wineloader" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$winelink" /f >/dev/null 2>&1
    "$wineserver" -w 2>/dev/null || true
    touch "$wineprefix/.korvel-com5"
  fi
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/korvel-bench.XXXXXX")"
trap 'rm -rf "$work"; [ -z "$wineserver" ] || "$wineserver" -k >/dev/null 2>&1 || true' EXIT

# One Wine session for all the Wine runs. A Wine program started with no
# session running first brings up Wine's own services (services.exe,
# explorer, rpcss, winedevice, plugplay), which keep both processors busy
# for the first seconds: the boot load's time. The session is started here
# and left to settle, so that the runs time korvel.exe and not Wine's start.
if [ -n "$wineserver" ]; then
  "$wineserver" -p >/dev/null 2>&1
  "$wineloader" "$winexe" --version >/dev/null 2>&1
  sleep 5
fi

"$root/tools/make_sample_records.sh" "$work/samples" >/dev/null
if [ -z "$file" ]; then
  command -v h8300-hms-objcopy >/dev/null 2>&1 ||
    { echo "bench.sh: h8300-hms-objcopy not found (tools/install_deps.sh installs it)" >&2; exit 1; }
  file="$work/random32k.mot"
  # Named from the folder it is written in, so its header record is the same every run.
  (cd "$work" && h8300-hms-objcopy -I binary -O srec samples/random32k.bin random32k.mot)
fi
[ -r "$file" ] || { echo "bench.sh: cannot read $file" >&2; exit 1; }
# blink.mot is sent from the work folder, so its path on the console is the same for every run.
cp "$work/samples/blink.mot" "$work/blink.mot"

# The whole 128 KB as each file should leave it: the data, erased (H'FF) elsewhere.
srec_cat "$file" -fill 0xFF 0 0x20000 -o "$work/expected.bin" -binary ||
  { echo "bench.sh: srec_cat cannot read $file" >&2; exit 1; }
srec_cat "$work/blink.mot" -fill 0xFF 0 0x20000 -o "$work/blink.bin" -binary

# The first stage's size (what the boot program loads in fast mode), from
# its committed table.
fastsize=$(grep -o '0x[0-9A-Fa-f][0-9A-Fa-f]' "$root/onchip/first_stage_image.cpp" | wc -l)
status=0
if [ "$fastonly" = 1 ]; then
  FAST_ONLY=1 python3 "$root/tools/bench_runs.py" "$build" "$file" "$work" "" "" "" "$fastsize" || status=$?
  [ "$status" = 0 ] || exit "$status"
  web_bench "$work"
  exit 0
fi
python3 "$root/tools/bench_runs.py" "$build" "$file" "$work" "$winexe" "$wineloader" "$winelink" "$fastsize" || status=$?
[ "$status" = 0 ] || exit "$status"
web_bench "$work"

echo "h8cpu_bench ($millions million instructions a case):"
"$build/sim/h8cpu_bench" "$millions" | sed 's/^/  /'
awk -v a="$script_start" -v b="$(date +%s.%N)" 'BEGIN { printf "bench.sh wall time %.1f s\n", b - a }'
