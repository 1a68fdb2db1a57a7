#include "run_table.h"

namespace {

const std::string kSync = "WAIT H3048 Boot mode...";
const std::string kLoaded = kSync + ".!{load}\a[START]\r\n";
const std::string kPrograms = kLoaded + "Program H3048...\r\n{records}{success}";
// The load when the chip got every byte but gives no usable start signal.
const std::string kNoStart = kSync + ".!{dots:837}\r\n\r\nWAIT H3048 response...";

RunRow Programs(const std::string& file) {
  return RunRow("programs " + file, {}, file, kPrograms).Flash(FlashAfter::kFile);
}

// The program file is opened only once the chip is loaded: each of these is
// refused right after the start line, and no record goes out.
RunRow FileRefused(const std::string& what, const std::string& file, const std::string& shown) {
  return RunRow(what, {}, file, kLoaded + shown + "\r\n{fail}").Sent(1, -1, 0).Flash(FlashAfter::kNothingProgrammed);
}

}  // namespace

const std::vector<RunRow>& RunTable() {
  static const std::vector<RunRow> rows = {
      Programs("three.mot").Takes(5).Also(kExecutable | kWine)
          .Summary("korvel: Success: 4 records, 32 data bytes in 0.0 s; 0.0 s in all"),
      Programs("three_lf.mot"),  // LF line ends and a Ctrl-Z at the end
      Programs("blink.mot"),
      Programs("blink_s3.mot"),
      Programs("random32k_s1_16.mot"),
      Programs("random32k_s3_32.mot"),
      Programs("top4k_s2_32.mot"),
      Programs("random128k_s2_32.mot"),
      RunRow("programs on a paced line", {"--pace"}, "three.mot", kPrograms).Flash(FlashAfter::kFile),
      // A record's answer is awaited 500 ms after its last character has left.
      RunRow("records of 510 characters on a paced line", {"--pace"}, "two_long.mot", kPrograms).Flash(FlashAfter::kFile),
      Programs("three_crcrlf.mot"),
      Programs("bom_s0.mot"),  // a byte-order mark before the header: the header is skipped
      RunRow("answers held back by a USB adapter", {"--pace", "--latency", "16"}, "three.mot", kPrograms)
          .Flash(FlashAfter::kFile)
          .Err("korvel: the chip's echoes took 18.1 ms each (median; the line needs 2.1 ms): the serial adapter holds "
               "received bytes back. Set its latency to 1 ms: setserial /dev/board low_latency (if its driver does not "
               "allow that, use an adapter whose driver does)\n"),
      RunRow("the same file again on a chip not erased", {"--no-erase", "--preload", "{file}"}, "three.mot", kPrograms)
          .Flash(FlashAfter::kFile),

      // --- synchronisation and confirmation ---
      RunRow("silent board: ten tries of 500 ms", {"--silent"}, "three.mot", kSync + "{tries:10:NG}{fail}")
          .Sent(10, 0, 0).Flash(FlashAfter::kNothingProgrammed).Takes(5050).Also(kExecutable | kWine),
      RunRow("wrong synchronisation answer, each next try at once", {"--sync-answer", "80"}, "three.mot",
             kSync + "{tries:10:D 80 00}{fail}").Sent(10, 0, 0).Takes(0),
      RunRow("wrong confirmation names the byte sent", {"--check-answer", "11"}, "three.mot",
             kSync + ".!D 11 55{fail}").Sent(1, 1, 0).Takes(0),

      // --- the load ---
      RunRow("no echo of the length's high byte", {}, "three.mot", kSync + ".!{dots:0}NGH\r\n\r\n{fail}")
          .CutAfter(2).Sent(1, 2, 0).Takes(505),
      RunRow("no echo of the length's low byte", {}, "three.mot", kSync + ".!{dots:0}NGL\r\n\r\n{fail}")
          .CutAfter(3).Sent(1, 3, 0).Takes(505),
      RunRow("no echo of image byte 64: sending stops, no start signal", {"--drop-echo", "64"}, "three.mot",
             kSync + ".!{dots:65}NG0040\r\n\r\nWAIT H3048 response...NG\a\r\n{fail}").Sent(1, 3 + 65, 0).Takes(10510),
      RunRow("wrong echo of image byte 0", {"--corrupt-echo", "0"}, "three.mot",
             kSync + ".!{dots:1}D 85 7A0000\r\n\r\nWAIT H3048 response...NG\a\r\n{fail}").Sent(1, 4, 0).Takes(10005),
      RunRow("wrong echo of the last image byte, the chip starts anyway", {"--corrupt-echo", "836"}, "three.mot",
             kSync + ".!{dots:837}D FF 000344\r\n\r\nWAIT H3048 response...OK\r\n\a[START]\r\nProgram H3048...\r\n"
             "{records}{success}").Flash(FlashAfter::kFile),
      RunRow("no start signal within 10 s", {"--no-start"}, "three.mot", kNoStart + "NG\a\r\n{fail}").Sent(1, -1, 0).Takes(10005),
      RunRow("a start signal other than H'AA", {"--start-answer", "55"}, "three.mot", kNoStart + "\r\n{fail}")
          .Sent(1, -1, 0).Flash(FlashAfter::kNothingProgrammed).Takes(0),

      // --- the program file ---
      FileRefused("missing file", "missing.mot", "File not Found...[{file}]").Takes(5).Also(kExecutable),
      FileRefused("a folder", "folder.mot", "File not Found...[{file}]"),
      FileRefused("bad checksum", "bad_checksum.mot", "Record error line 3: checksum").Also(kExecutable),
      FileRefused("a data record behind a byte-order mark", "bom_s1.mot", "Record error line 1: byte-order mark before record"),
      FileRefused("a data record behind blanks", "blank_s1.mot", "Record error line 2: blanks before record"),
      FileRefused("no data records", "no_data.mot", "No data records in file...[{file}]"),
      // A Ctrl-Z comes before the first NUL in these bytes: the text is empty.
      FileRefused("64 KB of random bytes", "noise.bin", "No data records in file...[{file}]"),
      FileRefused("NULs over a record's head", "damaged.mot", "Record error line 2: NUL byte"),
      FileRefused("a record beyond H'1FFFF", "outside.mot", "Record error line 2: outside flash"),
      FileRefused("one line of 5000 characters", "one_long_line.mot", "Record error line 1: too long"),
      FileRefused("a bad record after a line of 5000 characters", "bad_after_long.mot", "Record error line 3: checksum"),
      FileRefused("5 MB checked whole before the first record", "huge.mot", "Record error line {lines}: checksum"),
      FileRefused("the longest name that fits, shown whole", "=/tmp/" + std::string(522, 'n'),
                  "File not Found...[{file}]"),
      FileRefused("port number 10 and the default file name", "", "File not Found...[H3048.MOT]").OnPort("10"),
      RunRow("a name too long for its buffer: the port is not used", {}, "=" + std::string(5000, 'f'),
             "Program MOT Filename too long: 5000 characters, at most 527{fail}").Sent(0, 0, 0),

      // --- the records ---
      RunRow("a stuck flash bit: NG [FAIL], nothing sent after it", {"--stuck-bit", "110:0"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:OK:U\r\n{rec:3}:NG [FAIL]\r\n{fail}")
          .Sent(1, -1, 3).Takes(5).Also(kExecutable),
      RunRow("flash not erased", {"--no-erase"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG [FAIL]\r\n{fail}").Sent(1, -1, 2),
      RunRow("answered on the tenth try", {"--sync-answers", "-,-,-,-,-,-,-,-,-"}, "three.mot",
             kSync + "{tries:9:NG}.!{load}\a[START]\r\nProgram H3048...\r\n{records}{success}")
          .Sent(10).Flash(FlashAfter::kFile),
      RunRow("a surplus synchronisation answer is the confirmation's", {"--after-sync", "00"}, "three.mot",
             kSync + ".!D 00 55{fail}").Sent(1, 1, 0),
      RunRow("wrong echo of the length's high byte", {"--after-sync", "AA00"}, "three.mot",
             kSync + ".!{dots:0}D 00 03H\r\n\r\n{fail}").Sent(1, 2, 0),
      RunRow("wrong echo of the length's low byte", {"--after-sync", "AA03"}, "three.mot",
             kSync + ".!{dots:0}D AA 45L\r\n\r\n{fail}").Sent(1, 3, 0),
      RunRow("a late echo counts as missing and is read as the start signal", {"--late-echo", "63:900"}, "three.mot",
             kSync + ".!{dots:64}NG003f\r\n\r\nWAIT H3048 response...\r\n{fail}").Sent(1, 3 + 64, 0),
      RunRow("a record answered with a byte other than U", {"--record-answer", "2:07"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG 07\r\n{fail}").Sent(1, -1, 2),
      RunRow("a record answered with a text", {"--record-answer", "2:=#"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG #\r\n{fail}").Sent(1, -1, 2),
      RunRow("a record not answered", {"--record-answer", "2:-"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG\r\n{fail}").Sent(1, -1, 2),
      RunRow("the board silent after one record", {"--silent-after-records", "1"}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG\r\n{fail}").Sent(1, -1, 2).Also(kExecutable),
      // The wait for record 2's answer: 500 ms after its 44 characters have left (46 ms).
      RunRow("the cable pulled after the first record", {}, "three.mot",
             kLoaded + "Program H3048...\r\n{rec:1}:OK:U\r\n{rec:2}:NG\r\n{fail}").CutAfter(1 + 840 + 16).Sent(1, -1, 2).Takes(550),
  };
  static const std::vector<RunRow> all = [] {
    std::vector<RunRow> both = rows;
    for (RunRow& row : FastRunRows()) both.push_back(std::move(row));
    return both;
  }();
  return all;
}
