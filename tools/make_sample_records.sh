#!/bin/sh
# Generates S-record sample files for the flash programmer and the virtual
# board, into the folder given:
#
#   blink.mot, blink_s3.mot     a small H8/300H program built with the cross
#                               toolchain (vector table at 0, code at H'100),
#                               converted by objcopy -O srec (S1 and S3 forms)
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
# Needs h8300-hms-gcc/-ld/-objcopy, srec_cat and awk on PATH.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 FOLDER [SEED]" >&2
  exit 2
fi
out=$1
seed=${2:-1}

for tool in h8300-hms-gcc h8300-hms-as h8300-hms-ld h8300-hms-objcopy srec_cat awk; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$0: $tool not found on PATH" >&2
    exit 3
  fi
done

mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/samples.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- a compiled program -----------------------------------------------------
cat > "$work/start.s" <<'ASM'
        .h8300h
        .section .vects
        .long   _start          ; reset vector
        .text
        .global _start
_start:
        mov.l   #0xfff10,er7    ; stack at the top of on-chip RAM
        jsr     @_main
1:      bra     1b
ASM

cat > "$work/main.c" <<'C'
/* Walks a light along port B (PBDDR, PBDR). */
#define PBDDR (*(volatile unsigned char *)0xfffd4)
#define PBDR  (*(volatile unsigned char *)0xfffd6)
static const unsigned char pattern[16] = {
  0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80,
  0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00 };
int main(void) {
  unsigned int i, n;
  PBDDR = 0xff;
  for (n = 0;; ++n) {
    PBDR = pattern[n & 15];
    for (i = 0; i < 40000u; ++i) { __asm__ volatile ("nop"); }
  }
  return 0;
}
C

cat > "$work/link.x" <<'LD'
OUTPUT_FORMAT("coff-h8300")
OUTPUT_ARCH(h8300h)
ENTRY(_start)
SECTIONS {
  .vects 0x000000 : { *(.vects) }
  .text  0x000100 : { *(.text) *(.rodata) *(.strings) }
  .data  0x0fef10 : AT (ADDR(.text) + SIZEOF(.text)) { *(.data) }
  .bss   : { *(.bss) *(COMMON) }
}
LD

h8300-hms-as -o "$work/start.o" "$work/start.s"
h8300-hms-gcc -mh -Os -c -o "$work/main.o" "$work/main.c"
h8300-hms-ld -mh8300h -T "$work/link.x" -o "$work/blink.coff" "$work/start.o" "$work/main.o"
h8300-hms-objcopy -O srec -R .bss "$work/blink.coff" "$out/blink.mot"
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
