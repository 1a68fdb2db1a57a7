#!/bin/sh
# Generates S-record sample files for the flash programmer and the virtual
# board, into the folder given:
#
#   blink.mot, blink_s3.mot     examples/blink built with the cross toolchain
#                               (vector table at 0, code at H'100), converted
#                               by objcopy -O srec (S1 and S3 forms)
#   blink.bin                   the same program as a raw binary from 0 (gaps H'FF)
#   random32k.bin               32 KB of pseudo-random bytes (seeded)
#   random32k_s1_16.mot         that data at 0 as S1 records of 16 bytes
#   random32k_s1_32.mot         ... S1, 32 bytes
#   random32k_s2_32.mot         ... S2, 32 bytes
#   random32k_s3_32.mot         ... S3, 32 bytes
#   random32k_s3_16.mot         ... S3, 16 bytes
#   top4k_s2_32.mot             4 KB at H'1F000 (the small blocks), S2
#   random128k_s2_32.mot        the whole 128 KB flash, S2, 32 bytes
#
# Every file starts with a header record and ends with the end record that
# matches its address length (S9, S8, S7); none carries a count record (S5).
#
# Usage: make_sample_records.sh FOLDER [SEED]
# Needs h8300-hms-gcc/-ld/-objcopy, make, srec_cat and awk on PATH.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 FOLDER [SEED]" >&2
  exit 2
fi
out=$1
seed=${2:-1}

for tool in h8300-hms-gcc h8300-hms-as h8300-hms-ld h8300-hms-objcopy srec_cat awk make; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: $tool not found on PATH" >&2
    exit 3
  fi
done

mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/samples.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- a compiled program -----------------------------------------------------
# examples/blink, built as its Makefile builds it.
make -s -C "$(dirname "$0")/../examples/blink" O="$work" "$work/blink.mot"
cp "$work/blink.mot" "$out/blink.mot"
h8300-hms-objcopy -O srec --srec-forceS3 -R .bss "$work/blink.coff" "$out/blink_s3.mot"
srec_cat "$out/blink.mot" -fill 0xFF -over "$out/blink.mot" -o "$out/blink.bin" -binary

# --- pseudo-random data -------------------------------------------------------
# A small linear congruential generator (exact in any awk's arithmetic),
# written as Verilog VMEM text that srec_cat reads.
random_vmem() {  # start count seed
  awk -v start="$1" -v count="$2" -v seed="$3" 'BEGIN {
    x = seed % 65537
    for (i = 0; i < count; i++) {
      if (i % 16 == 0) printf "%s@%08X", (i ? "\n" : ""), start + i
      x = (x * 75 + 74) % 65537
      printf " %02X", x % 256
    }
    printf "\n"
  }'
}

random_vmem 0 32768 "$seed" > "$work/random32k.vmem"
random_vmem 126976 4096 "$((seed + 1))" > "$work/top4k.vmem"
random_vmem 0 131072 "$((seed + 2))" > "$work/random128k.vmem"

srec_cat "$work/random32k.vmem" -vmem -o "$out/random32k.bin" -binary

records() {  # input output address-length block-size
  srec_cat "$1" -vmem -o "$2" -header "KORVEL sample" -disable=data-count \
    -execution-start-address=0 -address-length="$3" -output-block-size="$4"
}
records "$work/random32k.vmem" "$out/random32k_s1_16.mot" 2 16
records "$work/random32k.vmem" "$out/random32k_s1_32.mot" 2 32
records "$work/random32k.vmem" "$out/random32k_s2_32.mot" 3 32
records "$work/random32k.vmem" "$out/random32k_s3_32.mot" 4 32
records "$work/random32k.vmem" "$out/random32k_s3_16.mot" 4 16
records "$work/top4k.vmem" "$out/top4k_s2_32.mot" 3 32
records "$work/random128k.vmem" "$out/random128k_s2_32.mot" 3 32
