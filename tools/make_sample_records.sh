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
#   tick.coff                   a second program as the toolchain links it
#                               (COFF): code at H'100, a table across
#                               H'10000, initialised data kept in flash
#                               behind it (load address apart from its RAM
#                               address), bss
#   tick.mot, tick.hex,         the same by objcopy -O srec, -O ihex and
#   tick.bin                    -O binary (gaps H'FF)
#   tick.elf                    the same as ELF32 big-endian for the H8/300H,
#                               one PT_LOAD a section (made here: the Debian
#                               toolchain writes only COFF), the data
#                               segment's p_memsz beyond its p_filesz, and a
#                               stack segment without file bytes in RAM
#   tick_object.coff            an unlinked object (relocations, not executable)
#   tick_object.elf             an ELF of type ET_REL
#   tick_outside.elf            tick.elf with the table at H'1FFF8
#   tick_small_phdr.elf         one segment, its header entries said to be
#                               16 bytes (an ELF's are 32)
#   tick_cut.coff, tick_cut.elf cut off inside a section / a segment
#   tick_checksum.hex           tick.hex with a wrong checksum on line 3
#   tick_big.bin                131073 bytes: one more than the flash
#   random4k_ff128k.bin         a 128 KB raw image: random32k.bin's first
#                               4400 bytes, H'FF elsewhere (and as S-records,
#                               random4k_ff128k.mot)
#   tick_coff.bin               tick.coff under a raw image's name
#   tick.coff.records ...       the records korvel makes of tick.coff, .elf,
#                               .hex and .bin
#
# Every file starts with a header record and ends with the end record that
# matches its address length (S9, S8, S7); none carries a count record (S5).
#
# Usage: make_sample_records.sh FOLDER [SEED]
# Needs h8300-hms-gcc/-ld/-objcopy/-objdump, make, srec_cat and awk on PATH.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 FOLDER [SEED]" >&2
  exit 2
fi
out=$1
seed=${2:-1}

for tool in h8300-hms-gcc h8300-hms-as h8300-hms-ld h8300-hms-objcopy h8300-hms-objdump srec_cat awk make; do
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

# --- one program in the formats toolchains write ------------------------------
cat > "$work/tick.c" <<'C'
/* Steps a light along port B: the pattern from a table in the upper 64 KB,
   the step from initialised data (a real start-up copies .data to RAM). */
#define PBDDR (*(volatile unsigned char *)0xfffd4)
#define PBDR  (*(volatile unsigned char *)0xfffd6)
#define ROW 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00
const unsigned char table[48] __attribute__((section(".table"))) = { ROW, ROW, ROW };
unsigned char step[8] = { 3, 1, 4, 1, 5, 9, 2, 6 };
unsigned char position;
int main(void) {
  unsigned int i;
  PBDDR = 0xff;
  for (;;) {
    position += step[position & 7];
    if (position >= sizeof table) position -= sizeof table;
    PBDR = table[position];
    for (i = 0; i < 40000u; ++i) { __asm__ volatile ("nop"); }
  }
  return 0;
}
C

cat > "$work/tick.x" <<'LD'
OUTPUT_FORMAT("coff-h8300")
OUTPUT_ARCH(h8300h)
ENTRY(_start)
SECTIONS {
  .vects 0x000000 : { *(.vects) }
  .text  0x000100 : { *(.text) *(.rodata) *(.strings) }
  .table 0x00ffe8 : { *(.table) }
  .data  0x0fef10 : AT (ADDR(.table) + SIZEOF(.table)) { _data_start = .; *(.data) _data_end = .; }
  .bss   : { *(.bss) *(COMMON) _bss_end = .; }
  _data_load = LOADADDR(.data);
}
LD

h8300-hms-gcc -mh -Os -c -o "$work/tick.o" "$work/tick.c"
h8300-hms-ld -mh8300h -T "$work/tick.x" -o "$out/tick.coff" "$work/start.o" "$work/tick.o"
h8300-hms-objcopy -O srec -R .bss "$out/tick.coff" "$out/tick.mot"
h8300-hms-objcopy -O ihex -R .bss "$out/tick.coff" "$out/tick.hex"
h8300-hms-objcopy -O binary --gap-fill 0xff -R .bss "$out/tick.coff" "$out/tick.bin"
cp "$work/start.o" "$out/tick_object.coff"
for section in vects text table data; do
  h8300-hms-objcopy -O binary -j ".$section" "$out/tick.coff" "$work/$section.bin"
done

# be VALUE BYTES: VALUE as so many bytes, most significant first.
be() {
  n=$2
  while [ "$n" -gt 0 ]; do
    n=$((n - 1))
    printf "\\$(printf %03o $(($1 >> (8 * n) & 255)))"
  done
}

# make_elf OUT TYPE SEGMENT...: an ELF32 big-endian H8/300H file, one PT_LOAD
# for each SEGMENT "PADDR,VADDR,MEMSZ,FILE" (FILE's bytes are p_filesz; a
# MEMSZ below that is raised to it), no section headers.
make_elf() {
  elf=$1 type=$2
  shift 2
  offset=$((52 + 32 * $#))
  {
    printf '\177ELF\001\002\001'; be 0 9
    be "$type" 2; be 47 2; be 1 4; be 0x100 4; be 52 4; be 0 4; be 0x810000 4
    be 52 2; be 32 2; be $# 2; be 40 2; be 0 4
    for segment; do
      IFS=, read -r paddr vaddr memsz file <<SEGMENT
$segment
SEGMENT
      size=$(wc -c < "$file")
      [ "$memsz" -ge "$size" ] || memsz=$size
      be 1 4; be "$offset" 4; be "$vaddr" 4; be "$paddr" 4; be "$size" 4; be "$memsz" 4; be 5 4; be 2 4
      offset=$((offset + size))
    done
    for segment; do cat "${segment##*,}"; done
  } > "$elf"
}

data_lma=$((0xffe8 + $(wc -c < "$work/table.bin")))
head="0,0,0,$work/vects.bin 0x100,0x100,0,$work/text.bin"
data="$data_lma,0xfef10,$(($(wc -c < "$work/data.bin") + 16)),$work/data.bin 0xfff00,0xfff00,256,/dev/null"
# shellcheck disable=SC2086  # the segments are words on purpose
make_elf "$out/tick.elf" 2 $head "0xffe8,0xffe8,0,$work/table.bin" $data
# shellcheck disable=SC2086
make_elf "$out/tick_outside.elf" 2 $head "0x1fff8,0x1fff8,0,$work/table.bin" $data
# shellcheck disable=SC2086
make_elf "$out/tick_object.elf" 1 $head
make_elf "$out/tick_small_phdr.elf" 2 "0,0,0,$work/vects.bin"
printf '\000\020' | dd of="$out/tick_small_phdr.elf" bs=1 seek=42 conv=notrunc status=none
head -c $(($(wc -c < "$out/tick.elf") - 8)) "$out/tick.elf" > "$out/tick_cut.elf"
text_at=$(h8300-hms-objdump -h "$out/tick.coff" | awk '$2 == ".text" { print $6 }')
head -c $((0x$text_at + 8)) "$out/tick.coff" > "$out/tick_cut.coff"
awk 'NR == 3 { sub(/\r$/, ""); c = substr($0, length($0)); $0 = substr($0, 1, length($0) - 1) (c == "0" ? "1" : "0") "\r" }
     { print }' "$out/tick.hex" > "$out/tick_checksum.hex"
head -c 131073 /dev/zero > "$out/tick_big.bin"
{ head -c 4400 "$out/random32k.bin"; head -c $((131072 - 4400)) /dev/zero | tr '\000' '\377'; } > "$out/random4k_ff128k.bin"
srec_cat "$out/random4k_ff128k.bin" -binary -o "$out/random4k_ff128k.mot"
cp "$out/tick.coff" "$out/tick_coff.bin"

# The records korvel makes of each: srec_cat's of the same bytes (the
# S-record twin's for COFF and ELF), 16 a record, the file's name in the S0,
# and after an S2 record the end record S8 (srec_cat writes S9 whatever came).
for pair in tick.coff:tick.mot tick.elf:tick.mot tick.hex:"tick.hex -intel" tick.bin:"tick.bin -binary" \
    random4k_ff128k.bin:"random4k_ff128k.bin -binary"; do
  name=${pair%%:*}
  # shellcheck disable=SC2086  # the input is a file and its format option
  (cd "$out" && srec_cat ${pair#*:} -o - -obs=16 -disable=data-count -execution-start-address=0 -header="$name" |
    sed '/^S2/,$ s/^S9030000FC$/S804000000FB/' > "$name.records")
done
