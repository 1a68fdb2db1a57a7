#include "run_table.h"

#include "run_notes.h"

namespace {

const std::string kSync = "WAIT H3048 Boot mode...";
const std::string kLoaded = kSync + ".!{load}\a[START]\r\n";
const std::string kPrograms = kLoaded + "Program H3048...\r\n{records}{success}";
// The load when the chip got every byte but gives no usable start signal.
const std::string kNoStart = kSync + ".!{dots:837}\r\n\r\nWAIT H3048 response...";

const std::string kHint = std::string(kNoSyncHint) + "\n";

std::string NoFile(const std::string& why) {
  return "korvel: {file}: " + why + "; the chip will be loaded first and the run will fail\n";
}

RunRow Programs(const std::string& file) {
  return RunRow("programs " + file, {}, kPrograms).File(file).Flash(FlashAfter::kFile);
}

// The program file is opened only once the chip is loaded: each of these is
// refused right after the start line, and no record goes out.
RunRow FileRefused(const std::string& what, const std::string& file, const std::string& shown) {
  return RunRow(what, {}, kLoaded + shown + "\r\n{fail}").File(file).Sent(Tries(1), kWholeLoad, Records(0))
      .Flash(FlashAfter::kNothingProgrammed);
}

// Record 1 (the S0) is taken, record 2 gets `answer`: nothing is sent after it.
RunRow SecondRecordRefused(const std::string& what, std::vector<std::string> board, const std::string& answer) {
  return RunRow(what, std::move(board), kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:" + answer + "\r\n{fail}")
      .Sent(Tries(1), kWholeLoad, Records(2));
}

// A sample on a paced line at a crystal's clock: the boot program's BRR
// gives 9600 bit/s exactly at 14.7456 and 11.0592 MHz (47, 35), 0.16% fast at 16 (51).
RunRow AtClock(const std::string& mhz, const std::string& file) {
  return RunRow("programs " + file + " at " + mhz + " MHz on a paced line", {"--clock", mhz, "--pace"}, kPrograms)
      .File(file).Flash(FlashAfter::kFile);
}

}  // namespace

// Virtual time: bytes cross the unpaced line at once; what counts is the
// waits: an echo's or a record answer's 5 ms polls (500 ms: 101 polls, 505
// ms), the start signal's (10 s: 2001 polls, 10005 ms), the 5 ms settle
// after the start line.
const std::vector<RunRow>& RunTable() {
  static const std::vector<RunRow> rows = {
      Programs(kThreeMot).Also(kExecutable | kWine)
          // The settle after the start line; the chip's time for the records (below): 2.42 ms, 13248 bytes/s.
          .Takes(5 + 2)  // (2.37 ms and 13491 bytes/s while I/O took 2 states a cycle, not 3)
          .Summary("korvel: Success: 4 records, 32 data bytes in 0.0 s (13248 bytes/s; 110 characters, 4744% of 9600 "
                   "bit/s); 0.0 s in all"),
      Programs("three_lf.mot"),  // LF line ends and a Ctrl-Z at the end
      Programs("blink.mot"), Programs("blink_s3.mot"), Programs("random32k_s1_16.mot"), Programs("random32k_s3_32.mot"),
      Programs("top4k_s2_32.mot"), Programs("random128k_s2_32.mot"),
      RunRow("programs on a paced line", {"--pace"}, kPrograms).Flash(FlashAfter::kFile),
      // A record's answer is awaited 500 ms after its last character has left.
      RunRow("records of 510 characters on a paced line", {"--pace"}, kPrograms).File("two_long.mot").Flash(FlashAfter::kFile),
      Programs("three_crcrlf.mot"), Programs("bom_s0.mot"),  // a byte-order mark before the header: the header is skipped
      // A lone CR stays on its line with what follows it: the S9 goes out as "S9...\r ".
      RunRow("a CR and a blank before the last line end", {}, kPrograms).File("cr_blank_s9.mot"),
      // One echo 300 ms late, the middle one of the 839 timed: the hint names the median, not the middle.
      RunRow("answers held back by a USB adapter", {"--pace", "--latency", "16", "--late-echo", "417:300"}, kPrograms)
          .Flash(FlashAfter::kFile)
          .Err("korvel: the chip's echoes took 18.1 ms each (median; the line needs 2.1 ms): the serial adapter holds "
               "received bytes back. Set its latency to 1 ms: setserial /dev/board low_latency (if its driver does not "
               "allow that, use an adapter whose driver does)\n"),
      // Flow control that another program left on the port: korvel turns it off
      // (kept, XON/XOFF swallows the image's H'11 at H'13F: NG013f).
      RunRow("a port left with XON/XOFF and RTS/CTS flow control", {"--left-flow", "ixon,ixoff,crtscts"}, kPrograms).Flash(FlashAfter::kFile).Also(kExecutable | kWine),
      RunRow("the same file again on a chip not erased", {"--no-erase", "--preload", "{file}"}, kPrograms).Flash(FlashAfter::kFile),
      // The flash held the program: its erase, 3580 ms, delays the start signal but fits korvel's 10 s wait.
      RunRow("the same file again, the boot program erasing it", {"--preload", "{file}"}, kPrograms)
          .Flash(FlashAfter::kFile).Takes(3580 + 5 + 2),  // the erase, the settle, the chip's time for the records

      // --- synchronisation and confirmation ---
      RunRow("silent board: ten tries of 500 ms", {"--silent"}, kSync + "{tries:10:NG}{fail}")
          .Sent(Tries(10), Load(0), Records(0)).Flash(FlashAfter::kNothingProgrammed).Also(kExecutable | kWine).Err(kHint).Takes(10 * 505),  // ten echo waits
      RunRow("wrong synchronisation answer, each next try at once", {"--sync-answer", "80"}, kSync + "{tries:10:D 80 00}{fail}")
          .Sent(Tries(10), Load(0), Records(0)).Err(kHint).Takes(0),  // answers at once
      RunRow("wrong confirmation names the byte sent", {"--check-answer", "11"}, kSync + ".!D 11 55{fail}")
          .Sent(Tries(1), Load(kH55), Records(0)).Takes(0),  // answers at once

      // --- the load ---
      RunRow("no echo of the length's high byte", {}, kSync + ".!{dots:0}NGH\r\n\r\n{fail}")
          .CutAfter(2).Sent(Tries(1), Load(kH55 + kLengthHigh), Records(0)).Takes(505),  // one echo wait
      RunRow("no echo of the length's low byte", {}, kSync + ".!{dots:0}NGL\r\n\r\n{fail}")
          .CutAfter(3).Sent(Tries(1), Load(kH55 + kLength), Records(0)).Takes(505),  // one echo wait
      RunRow("no echo of image byte 64: sending stops, no start signal", {"--drop-echo", "64"},
             kSync + ".!{dots:65}NG0040\r\n\r\nWAIT H3048 response...NG\a\r\n{fail}")
          .Sent(Tries(1), Load(kH55 + kLength + 65), Records(0)).Takes(505 + 10005),  // the echo wait, then the start signal's
      RunRow("wrong echo of image byte 0", {"--corrupt-echo", "0"},
             kSync + ".!{dots:1}D 85 7A0000\r\n\r\nWAIT H3048 response...NG\a\r\n{fail}")
          .Sent(Tries(1), Load(kH55 + kLength + 1), Records(0)).Takes(10005),  // the start signal's wait
      RunRow("wrong echo of the last image byte, the chip starts anyway", {"--corrupt-echo", "836"},
             kSync + ".!{dots:837}D FF 000344\r\n\r\nWAIT H3048 response...OK\r\n\a[START]\r\nProgram H3048...\r\n"
             "{records}{success}").Flash(FlashAfter::kFile),
      RunRow("no start signal within 10 s", {"--no-start"}, kNoStart + "NG\a\r\n{fail}")
          .Sent(Tries(1), kWholeLoad, Records(0)).Takes(10005),  // the start signal's wait
      RunRow("a start signal other than H'AA", {"--start-answer", "55"}, kNoStart + "\r\n{fail}")
          .Sent(Tries(1), kWholeLoad, Records(0)).Flash(FlashAfter::kNothingProgrammed)
          .Takes(0),  // every answer is there at once

      // --- the program file ---
      FileRefused("missing file", "missing.mot", "File not Found...[{file}]").Also(kExecutable)
          .Err(NoFile("No such file or directory")).Takes(5),  // the settle
      FileRefused("a folder", "folder.mot", "File not Found...[{file}]").Err(NoFile("Is a directory")),
      FileRefused("bad checksum", "bad_checksum.mot", "Record error line 3: checksum").Also(kExecutable),
      FileRefused("records that give a byte twice, differently", "overlap.mot", "Record error line 3: overlaps line 2"),
      // The same bytes twice are taken; the write-control program pulses the 8 repeated bytes again.
      Programs("overlap_same.mot").Flagged(8),
      FileRefused("a data record behind a byte-order mark", "bom_s1.mot", "Record error line 1: byte-order mark before record"), FileRefused("a data record behind blanks", "blank_s1.mot", "Record error line 2: blanks before record"),
      FileRefused("no data records", "no_data.mot", "No data records in file...[{file}]"),
      // A Ctrl-Z comes before the first NUL in these bytes: the text is empty.
      FileRefused("64 KB of random bytes", "noise.dat", "No data records in file...[{file}]"),
      FileRefused("NULs over a record's head", "damaged.mot", "Record error line 2: NUL byte"),
      FileRefused("a record beyond H'1FFFF", "outside.mot", "Record error line 2: outside flash (H'20000)"),
      FileRefused("one line of 5000 characters", "one_long_line.mot", "Record error line 1: too long"),
      FileRefused("a bad record after a line of 5000 characters", "bad_after_long.mot", "Record error line 3: checksum"),
      FileRefused("5 MB checked whole before the first record", "huge.mot", "Record error line {lines}: checksum"),
      FileRefused("the longest name that fits, shown whole", "=/tmp/" + std::string(522, 'n'),
                  "File not Found...[{file}]").Err(NoFile("File name too long")),
      FileRefused("port number 10 and the default file name", kNoFile, "File not Found...[H3048.MOT]").OnPort("10")
          .Err("korvel: H3048.MOT: No such file or directory; the chip will be loaded first and the run will fail\n")
          .Also(kExecutable),
      RunRow("a name too long for its buffer: the port is not used", {},
             "Program MOT Filename too long: 5000 characters, at most 527{fail}")
          .File("=" + std::string(5000, 'f')).Sent(Tries(0), Load(0), Records(0)),

      // --- the records ---
      RunRow("a stuck flash bit: NG [FAIL], nothing sent after it", {"--stuck-bit", "110:0"},
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:OK:U\r\n{rec:3}:NG [FAIL]\r\n{fail}")
          .Sent(Tries(1), kWholeLoad, Records(3)).Also(kExecutable)
          .Takes(5 + 2),  // the settle; the chip's time: two records, and six pulses (2526 passes of 6 states, 0.95 ms)
      // Its text held back 200 ms from the third character: korvel shows what came within its 100 ms wait.
      RunRow("a stuck flash bit, its text late: NG [F", {"--stuck-bit", "110:0", "--tx-late", "14:200"},
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:OK:U\r\n{rec:3}:NG [F\r\n{fail}").Sent(Tries(1), kWholeLoad, Records(3))
          .Takes(5 + 2 + 110),  // as above, and the wait for the rest: 100 ms in 10 ms line polls, and one more
      SecondRecordRefused("flash not erased", {"--no-erase"}, "NG [FAIL]"),
      RunRow("answered on the tenth try", {"--sync-answers", "-,-,-,-,-,-,-,-,-"},
             kSync + "{tries:9:NG}.!{load}\a[START]\r\nProgram H3048...\r\n{records}{success}")
          .Sent(Tries(10)).Flash(FlashAfter::kFile),
      RunRow("a surplus synchronisation answer is the confirmation's", {"--after-sync", "00"}, kSync + ".!D 00 55{fail}")
          .Sent(Tries(1), Load(kH55), Records(0)),
      RunRow("wrong echo of the length's high byte", {"--after-sync", "AA00"}, kSync + ".!{dots:0}D 00 03H\r\n\r\n{fail}")
          .Sent(Tries(1), Load(kH55 + kLengthHigh), Records(0)),
      RunRow("wrong echo of the length's low byte", {"--after-sync", "AA03"}, kSync + ".!{dots:0}D AA 45L\r\n\r\n{fail}")
          .Sent(Tries(1), Load(kH55 + kLength), Records(0)),
      RunRow("a late echo counts as missing and is read as the start signal", {"--late-echo", "63:900"},
             kSync + ".!{dots:64}NG003f\r\n\r\nWAIT H3048 response...\r\n{fail}")
          .Sent(Tries(1), Load(kH55 + kLength + 64), Records(0)),
      SecondRecordRefused("a record answered with a byte other than U", {"--record-answer", "2:7F"}, "NG 7F"),
      SecondRecordRefused("a record answered with a space, the first printable", {"--record-answer", "2:20"}, "NG  "),
      SecondRecordRefused("a record answered with a text from ~, the last printable", {"--record-answer", "2:=~"}, "NG ~"),
      RunRow("the first record not answered (an option given as --name=value)", {"--record-answer=1:-"},
             kLoaded + "Program H3048...\r\n{rec:1}:NG\r\n{fail}").Sent(Tries(1), kWholeLoad, Records(1)),
      SecondRecordRefused("the board silent after one record", {"--silent-after-records", "1"}, "NG").Also(kExecutable),
      // Cut after the synchronisation byte, the load and the 16-character S0.
      SecondRecordRefused("the cable pulled after the first record", {}, "NG").CutAfter(1 + 840 + 16)
          .Takes(5 + 545),  // the settle; the answer's wait: 500 ms + 44 ms for the S1's 42 characters, in 5 ms polls
      RunRow("the cable pulled before a record of 172 characters", {}, kLoaded + "Program H3048...\r\n{rec:1}:NG\r\n{fail}")
          .File("s1_172.mot").CutAfter(1 + 840).Sent(Tries(1), kWholeLoad, Records(1))
          .Takes(5 + 685),  // the settle; 500 ms + 180 ms for 172 characters, in 5 ms polls

      // --- a first-time user's mistakes, and the notes on standard error ---
      FileRefused("a file cut off after a data record", "cut_off.mot",
                  "Record error line 2: no end record (the file may be cut off)"),
      FileRefused("a Ctrl-Z before the end record, records behind it", "ctrl_z_inside.mot",
                  "Record error line 3: no end record before a Ctrl-Z (H'1A), which ends the text"),
      FileRefused("a data record behind 1,100 blanks, past the reader's cut", "blanks_past_cut.mot",
                  "Record error line 2: blanks before record"),
      FileRefused("a file over 64 MB", "64mb_and_1.dat", "File too large...[{file}]"),
      FileRefused("a file of 64 MB is read", "64mb.dat", "Record error line 1: NUL byte"),
      RunRow("a file through a named pipe, read once", {}, kPrograms).Flash(FlashAfter::kFile).Piped().Also(kExecutable),
      RunRow("a port argument that is no port: port 1, and a note", {}, kPrograms).OnPort("nix0")
          .Flash(FlashAfter::kFile)
          .Err("korvel: \"nix0\" is not a port number (1 to 10), a device path or a name in /dev; using port 1 (board0)\n"),
      // The board closes its end of the line instead of answering record 2.
      SecondRecordRefused("a line that closes during the run", {"--hang-up-after-records", "1"}, "NG")
          .Err("korvel: the line closed during the run\n").Also(kExecutable),

      // --- the board's clock and the line ---
      AtClock("14.7456", "blink.mot").Also(kExecutable), AtClock("16", "blink.mot").Also(kExecutable), AtClock("11.0592", "blink.mot").Also(kExecutable),
      AtClock("14.7456", "random32k_s1_16.mot"), AtClock("16", "random32k_s1_16.mot"), AtClock("11.0592", "random32k_s1_16.mot"),
      // The chip's 67th byte after its start signal is the high digit of record 3's first data byte: '1' of 1A
      // becomes '3'. The write-control program checks no checksum: it programs 3A and answers U.
      RunRow("noise on a data digit: the wrong byte programmed, and korvel says Success", {"--rx-noise", "67:02"},
             kPrograms).FlashExceptAt(0x110, 0x3A).Also(kExecutable),
      RunRow("a weak flash byte passes program-verify, then reads back changed", {"--weak-byte", "110:01"}, kPrograms)
          .FlashExceptAt(0x110, 0x1B),
      // The chip's 11th byte after its start signal: the answer to record 2 ("[START]\r\n" comes first).
      SecondRecordRefused("noise on the chip's answer", {"--tx-noise", "11:01"}, "NG T"),
      // Every character faster than the line carries comes out garbled, most with a low stop bit: the start
      // line is no line, and no record the chip reads begins with an S.
      RunRow("a line that carries only 4800 bit/s after the load: garbled both ways, Fail", {"--line-limit", "4800"},
             kSync + ".!{load}\aProgram H3048...\r\n{rec:1}:NG\r\n{fail}").Sent(Tries(1), kWholeLoad, Records(1))
          .Flash(FlashAfter::kNothingProgrammed),
      // --- files as toolchains write them: korvel makes the S-records ---
      // tick: code at H'100, a table across H'10000, data kept in flash behind it.
      Programs("tick.coff").Also(kExecutable).Takes(5 + 14),  // the settle after the start line; the chip's time for 194 bytes
      Programs("tick.elf"), Programs("tick.hex"), Programs("tick.bin"),
      FileRefused("an Intel HEX checksum", "tick_checksum.hex", "Record error line 3: checksum"), FileRefused("Intel HEX bytes given twice, differently", "twice.hex", "Record error line 2: overlaps line 1"),
      FileRefused("an ELF segment beyond H'1FFFF", "tick_outside.elf", "File error: segment 2 outside flash (H'20000)"),
      FileRefused("an unlinked COFF object", "tick_object.coff", "File error: not linked (relocatable object)"), FileRefused("an unlinked ELF object", "tick_object.elf", "File error: not linked (relocatable object)"),
      FileRefused("ELF program header entries of 16 bytes", "tick_small_phdr.elf", "File error: program header too small"),
      FileRefused("a COFF file cut off in a section", "tick_cut.coff", "File error: truncated"), FileRefused("an ELF file cut off in a segment", "tick_cut.elf", "File error: truncated").Also(kExecutable),
      FileRefused("objcopy without -O binary", "tick_coff.bin", "File error: holds COFF, not a raw image (h8300-hms-objcopy -O binary makes one)"),
      FileRefused("a raw image over 128 KB", "tick_big.bin", "File error: larger than the flash (131073 bytes, at most 131072)"),
  };
  static const std::vector<RunRow> all = [] {
    std::vector<RunRow> both = rows;
    for (RunRow& row : FastRunRows()) both.push_back(std::move(row));
    return both;
  }();
  return all;
}
