#!/usr/bin/env bash
# One timed programming run against the virtual board at real line speed
# (h8board --pace, 9600 bit/s 8N1), set against what the line itself allows:
#
#   boot load   from "Transfer..." to "WAIT H3048 response...OK": the 2 length
#               bytes and the 837 program bytes, each sent and echoed before
#               the next goes out (839 exchanges)
#                 polling model: each exchange costs one 5 ms receive poll
#                   (the echo is back 2.08 ms after the byte leaves, inside the
#                   first sleep), the sleep timed on this host during the load
#                 wire limit: 839 bytes out + 839 echoes back, one after the
#                   other, 10 bits a byte: 2 x 839 x 10 / 9600 = 1.748 s
#   records     from "Program H3048..." (just before the first record goes
#               out) to "Success": against the characters korvel sends (each
#               record line as the file reader returns it, without its line
#               end; count records and empty records are not sent) plus one
#               answer byte per record, 10 bits each at 9600 bit/s. Goal 1.06x.
#   host CPU    user+sys of the korvel process over its wall time. Goal < 2%.
#   simulator   instructions per second: h8cpu_bench, and h8board's own count
#               over its CPU time in this run.
#
# Every run is checked: korvel must end with "Success", the board must exit
# cleanly, and its flash (--out image and --dump records) must equal the file
# filled with H'FF over 0-H'1FFFF. A failed run exits 1; a missed goal only
# prints MISS.
#
#   tools/bench.sh [--build DIR] [--file FILE.mot] [--cpu-millions N] [--no-build]
#
# DIR defaults to $KORVEL_BUILD_DIR or build/ (configured and built when
# missing; the three targets are always brought up to date unless --no-build).
# FILE defaults to 32 KB of the project's seeded sample data converted by
# h8300-hms-objcopy -O srec (its usual 16 data bytes per S1 record).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVEL_BUILD_DIR:-$root/build}"
file=""
millions=50
dobuild=1
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
    --no-build) dobuild=0; shift ;;
    -h|--help) usage ;;
    *) echo "bench.sh: unknown argument: $1" >&2; usage ;;
  esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
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

work="$(mktemp -d "${TMPDIR:-/tmp}/korvel-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

if [ -z "$file" ]; then
  command -v h8300-hms-objcopy >/dev/null 2>&1 ||
    { echo "bench.sh: h8300-hms-objcopy not found (tools/install_deps.sh installs it)" >&2; exit 1; }
  "$root/tools/make_sample_records.sh" "$work/samples" >/dev/null
  file="$work/random32k.mot"
  # Named from the folder it is written in, so its header record is the same every run.
  (cd "$work" && h8300-hms-objcopy -I binary -O srec samples/random32k.bin random32k.mot)
fi
[ -r "$file" ] || { echo "bench.sh: cannot read $file" >&2; exit 1; }

# The whole 128 KB as the file should leave it: the data, erased (H'FF) elsewhere.
srec_cat "$file" -fill 0xFF 0 0x20000 -o "$work/expected.bin" -binary ||
  { echo "bench.sh: srec_cat cannot read $file" >&2; exit 1; }

status=0
python3 - "$build" "$file" "$work" <<'PY' || status=$?
import os, re, subprocess, sys, threading, time

build, path, work = sys.argv[1:4]
BIT_RATE, BITS_PER_CHAR = 9600, 10          # 8N1: start + 8 data + stop
CHAR_S = BITS_PER_CHAR / BIT_RATE
BOOT_EXCHANGES = 2 + 837                    # length high/low + program bytes
POLL_S = 0.005                              # korvel's receive poll sleep


def sent_lines(data):
    """The record lines korvel sends, as its file reader and check see them."""
    cut = data.find(b"\x1a")
    if cut >= 0:
        data = data[:cut]
    data = data.replace(b"\r\n", b"\n")
    lines = []
    for raw in data.split(b"\n"):
        for at in range(0, max(len(raw), 1), 1023):   # reader's longest line
            lines.append(raw[at:at + 1023])
    if data.endswith(b"\n") or not data:
        lines.pop()                                    # no line after the last end
    address_bytes = {0: 2, 1: 2, 2: 3, 3: 4, 5: 2, 6: 3, 7: 4, 8: 3, 9: 2}
    out = []
    for line in lines:
        line = line.split(b"\0", 1)[0]
        if not line.startswith(b"S") or len(line) < 4:
            continue
        kind = line[1] - ord("0")
        if kind in (5, 6):
            continue                                   # count records stay home
        count = int(line[2:4], 16)
        payload = count - address_bytes.get(kind, 0) - 1
        if kind in (0, 1, 2, 3) and payload == 0:
            continue                                   # nothing for the chip
        out.append(line)
        if kind in (7, 8, 9):
            break
    return out


records = sent_lines(open(path, "rb").read())
record_chars = sum(len(r) for r in records)

# --- the board and the programmer ---------------------------------------------
link = os.path.join(work, "h8board")
board_err = open(os.path.join(work, "board.err"), "w")
board = subprocess.Popen([os.path.join(build, "sim/h8board"), "--pace", "--link", link,
                          "--out", os.path.join(work, "flash.bin"), "--dump", os.path.join(work, "flash.mot"),
                          "--timeout", "600"], stdout=subprocess.DEVNULL, stderr=board_err)
for _ in range(200):
    if os.path.exists(link):
        break
    time.sleep(0.05)

marks = {}                  # console text -> time its last character arrived
text = bytearray()
wanted = ["WAIT H3048 Boot mode", "Transfer...", "WAIT H3048 response...OK", "Program H3048...",
          "Success", "Fail"]
sleeps = []                 # (start, end) of 5 ms sleeps timed alongside the load
done = threading.Event()


def sampler():
    while not done.is_set():
        a = time.monotonic()
        time.sleep(POLL_S)
        sleeps.append((a, time.monotonic()))


korvel_err = open(os.path.join(work, "korvel.err"), "w")
t0 = time.monotonic()
korvel = subprocess.Popen([os.path.join(build, "app/korvel"), link, path], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=korvel_err)
threading.Thread(target=sampler, daemon=True).start()
killer = threading.Timer(600, korvel.kill)
killer.start()
fd = korvel.stdout.fileno()
while True:
    chunk = os.read(fd, 65536)
    now = time.monotonic()
    if not chunk:
        break
    text += chunk
    for w in wanted:
        if w not in marks and w.encode() in text[-len(chunk) - len(w):]:
            marks[w] = now
_, wstatus, usage = os.wait4(korvel.pid, 0)
t_end = time.monotonic()
korvel.returncode = os.waitstatus_to_exitcode(wstatus)
killer.cancel()
done.set()
_, bstatus, busage = os.wait4(board.pid, 0)
board.returncode = os.waitstatus_to_exitcode(bstatus)
board_err.close()
open(os.path.join(work, "korvel.out"), "wb").write(bytes(text))

# --- was it a real run? --------------------------------------------------------
problems = []
words = text.decode("latin-1").replace("\a", " ").split()
if not words or words[-1] != "Success":
    problems.append("korvel did not end with Success (last word: %s)" % (words[-1] if words else "none"))
answered = re.findall(rb"\n(S[^\r\n]*):OK:U", bytes(text))
if len(answered) != len(records):
    problems.append("%d records answered OK, %d counted from the file" % (len(answered), len(records)))
elif sum(len(a) for a in answered) != record_chars:
    problems.append("the console shows %d record characters sent, %d counted from the file"
                    % (sum(len(a) for a in answered), record_chars))
if board.returncode != 0:
    problems.append("h8board exit code %d" % board.returncode)
for need in ("Transfer...", "WAIT H3048 response...OK", "Program H3048...", "Success"):
    if need not in marks:
        problems.append("no \"%s\" on the console" % need)
expected = open(os.path.join(work, "expected.bin"), "rb").read()
try:
    image = open(os.path.join(work, "flash.bin"), "rb").read()
except OSError:
    image = b""
if image != expected:
    problems.append("board flash (--out) differs from the file")
dumped = subprocess.run(["srec_cat", os.path.join(work, "flash.mot"), "-fill", "0xFF", "0", "0x20000",
                         "-o", "-", "-binary"], capture_output=True)
if dumped.returncode != 0 or dumped.stdout != expected:
    problems.append("board flash (--dump) differs from the file")
summary = open(os.path.join(work, "board.err")).read().strip().splitlines()
summary = summary[-1] if summary else ""
if problems:
    sys.stderr.write(text.decode("latin-1")[-600:] + "\n" + summary + "\n")
    for p in problems:
        sys.stderr.write("bench.sh: RUN FAILED: %s\n" % p)
    sys.exit(1)

# --- figures ---------------------------------------------------------------------
boot = marks["WAIT H3048 response...OK"] - marks["Transfer..."]
inside = [b - a for a, b in sleeps if a >= marks["Transfer..."] and b <= marks["WAIT H3048 response...OK"]]
if not inside:
    inside = [b - a for a, b in sleeps]
poll = sum(inside) / len(inside)
poll_model = BOOT_EXCHANGES * poll
wire_boot = 2 * BOOT_EXCHANGES * CHAR_S
rec = marks["Success"] - marks["Program H3048..."]
wire_rec = (record_chars + len(records)) * CHAR_S
wall = t_end - t0
cpu = usage.ru_utime + usage.ru_stime
m = re.search(r"(\d+) instructions", summary)
instructions = int(m.group(1)) if m else 0
board_cpu = busage.ru_utime + busage.ru_stime

print("korvel %s -> %s" % (os.path.basename(path), "Success; flash (--out and --dump) matches the file"))
print("  %d records sent, %d characters + %d answers; %.3f s wall, %.3f s CPU"
      % (len(records), record_chars, len(records), wall, cpu))
print("  boot load: %d exchanges, %.3f ms each measured; 5 ms poll sleep here: %.3f ms (%d timed)"
      % (BOOT_EXCHANGES, boot / BOOT_EXCHANGES * 1e3, poll * 1e3, len(inside)))
print()
row = "%-34s %10s %10s %8s %8s  %s"
print(row % ("", "measured s", "ref s", "ratio", "goal", "status"))


def line(name, measured, ref, goal=None, percent=False):
    ratio = measured / ref
    shown = "%.2f%%" % (ratio * 100) if percent else "%.3fx" % ratio
    if goal is None:
        goal_text, verdict = "-", "-"
    elif percent:
        goal_text, verdict = "<%g%%" % (goal * 100), "PASS" if ratio < goal else "MISS"
    else:
        goal_text, verdict = "<=%.2fx" % goal, "PASS" if ratio <= goal else "MISS"
    print(row % (name, "%.3f" % measured, "%.3f" % ref, shown, goal_text, verdict))


line("boot load / polling model", boot, poll_model)
line("boot load / wire limit", boot, wire_boot)
line("records / wire time", rec, wire_rec, 1.06)
line("korvel CPU (user+sys) / wall", cpu, wall, 0.02, percent=True)
print()
if board_cpu > 0 and instructions:
    # The whole board process: serving the terminal and pacing the line included.
    print("h8board: %d instructions simulated in %.3f s of its CPU time (%.3f s wall): %.1f million/s"
          % (instructions, board_cpu, wall, instructions / board_cpu / 1e6))
PY
[ "$status" = 0 ] || exit "$status"

echo "h8cpu_bench ($millions million instructions a case):"
"$build/sim/h8cpu_bench" "$millions" | sed 's/^/  /'
awk -v a="$script_start" -v b="$(date +%s.%N)" 'BEGIN { printf "bench.sh wall time %.1f s\n", b - a }'
