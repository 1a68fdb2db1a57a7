// The fast mode's rows of the run table: korvel --fast against the same
// virtual board, which runs the fast-mode program's own bytes at the
// board's clock.
//
// Byte positions for the line's faults (counted by the board from the
// first byte after the start signal) in a blink.mot run at 16 MHz: the
// chip receives the BRR of the rate (1), the check bytes (2-5), the fast
// program (6-1029) and its CRC (1030-1033), the two blank-check frames
// (1034-1055), the block at H'00000 (1056-1070: 11 bytes and 4 of data)
// and the block at H'00100 (1071-1209: 128 bytes of data from 1078); it
// sends the boot BRR (1), the rate's BRR at 9600 (2), the echoes of the
// load (3-1034), the hello (1035-1040) and the load's CRC (1041-1046), two
// blank-check answers (1047-1058), the answer to the block at H'00000
// (1059-1064), then the one to the block at H'00100 (1065-1070).
#include "run_table.h"

namespace {

// The CRC of the fast program's load, first on the line high: the fast
// program's hello reports it.
const std::string kLoadCrc = "4F9CCAE1";

// The boot load ({fastload}: now the 126 bytes of the first stage), its
// report of the boot program's BRR with the crystal it names (given: " by
// --clock" where the user named it), the rate the fast program was then
// loaded at and its hello with the load's CRC.
std::string Loaded(const std::string& brr, const std::string& mhz, const std::string& rate, const char* given = "") {
  return "WAIT H3048 Boot mode....!{fastload}\aFirst stage: clock " + mhz + " MHz" + given + " (BRR " + brr +
         " at 9600 bit/s)\r\n" + rate + "Fast program 1: CRC-32 " + kLoadCrc + ", as sent\r\n";
}
const std::string kAt16 = Loaded("51", "16", "Rate 500000 bit/s, the chip's phi/32\r\n");
const std::string kBlinkBlank = "Blank check of 132 bytes...OK\r\nProgramming 132 bytes in 2 blocks\r\n";
const std::string kBlinkFirst = "Read-back H'00000-H'00003: CRC-32 385FEE5D, as the file\r\n";
const std::string kBlinkRead = kBlinkFirst + "Read-back H'00100-H'0017F: CRC-32 3F221631, as the file\r\n";
const std::string kBlinkDone = "132 bytes, 100%\r\n" + kBlinkRead + "{success}";
const std::string kDamaged100 = "Retry 1 of block at H'00100: the chip found the frame damaged\r\n"
                                "Retry 2 of block at H'00100: the chip found the frame damaged\r\n"
                                "Retry 3 of block at H'00100: the chip found the frame damaged\r\n";
const std::string k32kDone = "Blank check of 32768 bytes...OK\r\nProgramming 32768 bytes in 32 blocks\r\n"
                             "4096 bytes, 12%\r\n7168 bytes, 21%\r\n10240 bytes, 31%\r\n13312 bytes, 40%\r\n"
                             "16384 bytes, 50%\r\n20480 bytes, 62%\r\n23552 bytes, 71%\r\n26624 bytes, 81%\r\n"
                             "29696 bytes, 90%\r\n32768 bytes, 100%\r\n"
                             "Read-back H'00000-H'07FFF: CRC-32 1055835E, as the file\r\n{success}";

RunRow Fast(const std::string& name, std::vector<std::string> board, const std::string& file, const std::string& console,
            std::vector<std::string> options = {"--fast"}) {
  return RunRow(name, std::move(board), console).File(file).Korvel(std::move(options));
}

// blink.mot at a crystal: the BRR the boot program sets, the crystal korvel
// names from it and the chip's phi/32 it then chooses.
RunRow AtClock(const std::string& mhz, const std::string& brr, const std::string& rate) {
  return Fast("fast: at " + mhz + " MHz the rate is " + rate, {"--clock", mhz}, "blink.mot",
              Loaded(brr, mhz, "Rate " + rate + " bit/s, the chip's phi/32\r\n") + kBlinkBlank + kBlinkDone)
      .Flash(FlashAfter::kFile);
}

RunRow WineOnly(RunRow row) { return row.places = kWine, row; }

}  // namespace

std::vector<RunRow> FastRunRows() {
  return {
      // 500000, the standard rate within 2% of the chip's phi/32 (499200 by the boot BRR).
      Fast("fast: blink.mot at the chip's phi/32", {"--awake"}, "blink.mot", kAt16 + kBlinkBlank + kBlinkDone)
          .Flash(FlashAfter::kFile).Also(kNative | kWine)
          .Summary("korvel: Success: 2 blocks, 132 data bytes in 0.0 s at 500000 bit/s, 0 retries; 0.0 s in all"),
      AtClock("14.7456", "47", "460800").Also(kExecutable),
      // No standard rate at these: the host is set to the chip's own.
      AtClock("11.0592", "35", "345600").Also(kNative), AtClock("10", "32", "316800").Also(kNative),
      AtClock("8", "25", "249600").Also(kNative), AtClock("12", "38", "374400").Also(kNative),
      // No common crystal within BRR 41's clocks: the clock it stands for.
      Fast("fast: at 13 MHz the clock shown is the BRR's", {"--clock", "13"}, "blink.mot",
           "WAIT H3048 Boot mode....!{fastload}\aFirst stage: BRR 41 at 9600 bit/s, clock 12.9024 MHz\r\n"
           "Rate 403200 bit/s, the chip's phi/32\r\nFast program 1: CRC-32 " + kLoadCrc + ", as sent\r\n" + kBlinkBlank +
           kBlinkDone).Flash(FlashAfter::kFile).Also(kNative),
      // 166400 bit/s on that line: every stop bit low, the data bits still
      // readable; the chip's program does not look at framing errors.
      Fast("fast: a line limited to 125000 bit/s steps down to a rate of the chip's", {"--line-limit", "125000"},
           "blink.mot", Loaded("51", "16", "Rate 500000 bit/s failed\r\nRate 249600 bit/s failed\r\n"
           "Rate 166400 bit/s, the chip's phi/96\r\n") + kBlinkBlank + kBlinkDone).Flash(FlashAfter::kFile).Also(kNative),
      Fast("fast: --max-rate caps the ladder at a rate of the chip's", {"--clock", "14.7456"}, "blink.mot",
           Loaded("47", "14.7456", "Rate 153600 bit/s, the chip's phi/96\r\n") + kBlinkBlank + kBlinkDone,
           {"--fast", "--max-rate", "200000"}).Flash(FlashAfter::kFile).Also(kNative),
      // Wine sets a pseudo-terminal only to the rates of its list; it takes
      // 153600 and runs at 38400. Read back, the port refuses it: the next rate.
      WineOnly(Fast("fast: under Wine a rate outside Wine's list is skipped", {"--clock", "14.7456"}, "blink.mot",
           Loaded("47", "14.7456", "Rate 115200 bit/s, the chip's phi/128\r\n") + kBlinkBlank + kBlinkDone,
           {"--fast", "--max-rate", "200000"}).Flash(FlashAfter::kFile)),
      // The named crystal, not the boot BRR's 9.9840-10.2912 MHz: phi/32 is 312500, and with the cap phi/64.
      Fast("fast: --clock names the crystal the ladder is reckoned from", {"--clock", "10"}, "blink.mot",
           Loaded("32", "10", "Rate 312500 bit/s, the chip's phi/32\r\n", " by --clock") +
           kBlinkBlank + kBlinkDone, {"--fast", "--clock", "10"}).Flash(FlashAfter::kFile),
      Fast("fast: --clock with --max-rate takes a rate of the named crystal's", {"--clock", "10"}, "blink.mot",
           Loaded("32", "10", "Rate 156250 bit/s, the chip's phi/64\r\n", " by --clock") +
           kBlinkBlank + kBlinkDone, {"--fast", "--clock", "10", "--max-rate", "200000"}).Flash(FlashAfter::kFile),
      Fast("fast: a --clock the boot BRR denies: the BRR's clock is taken", {}, "blink.mot",
           Loaded("51", "16", "Note: --clock 10 does not give BRR 51, which stands for 15.8208 to 16.1280 MHz: the "
           "BRR's clock is taken\r\nRate 500000 bit/s, the chip's phi/32\r\n") + kBlinkBlank + kBlinkDone,
           {"--fast", "--clock", "10"}).Flash(FlashAfter::kFile),
      Fast("fast: a --clock outside the chip's range", {}, "blink.mot", "--clock 20: give the crystal in MHz, from 2 to 16{fail}",
           {"--fast", "--clock", "20"}).Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: --max-rate 9600 keeps the boot program's rate", {}, "blink.mot",
           Loaded("51", "16", "Rate 9600 bit/s, the boot program's\r\n") + kBlinkBlank + kBlinkDone,
           {"--fast", "--max-rate", "9600"}).Flash(FlashAfter::kFile),
      Fast("fast: a rate --max-rate does not take", {}, "blink.mot", "--max-rate 4800: give a bit rate from 9600 to "
           "10000000{fail}", {"--fast", "--max-rate", "4800"}).Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: the 128 KB sample", {"--clock", "14.7456"}, "random128k_s2_32.mot",
           Loaded("47", "14.7456", "Rate 460800 bit/s, the chip's phi/32\r\n") + "Blank check of 131072 bytes...OK\r\n"
           "Programming 131072 bytes in 128 blocks\r\n"
           "13312 bytes, 10%\r\n26624 bytes, 20%\r\n39936 bytes, 30%\r\n53248 bytes, 40%\r\n65536 bytes, 50%\r\n"
           "78848 bytes, 60%\r\n92160 bytes, 70%\r\n105472 bytes, 80%\r\n118784 bytes, 90%\r\n131072 bytes, 100%\r\n"
           "Read-back H'00000-H'1FFFF: CRC-32 B6F32F51, as the file\r\n{success}").Flash(FlashAfter::kFile)
          // The line is instant in process: 10.2 s is the chip's own time, 1161 states a byte (1147 at 2 states an
          // I/O access; 14 more for its 11 I/O cycles to program it and 3 to receive it, at 3 states each).
          .Summary("korvel: Success: 128 blocks, 131072 data bytes in 10.2 s at 460800 bit/s, 0 retries; 11.4 s in all"),
      // The 32 KB sample on a paced line: the run's whole time on the virtual
      // clock, korvel's start to its last word (the speed goal: 4.5 s at each crystal).
      Fast("fast: the 32 KB sample at 14.7456 MHz on a paced line", {"--clock", "14.7456", "--pace"}, "random32k_s1_16.mot",
           Loaded("47", "14.7456", "Rate 460800 bit/s, the chip's phi/32\r\n") + k32kDone).Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 32 blocks, 32768 data bytes in 3.0 s at 460800 bit/s, 0 retries; 3.5 s in all"),
      Fast("fast: the 32 KB sample at 14.7456 MHz behind a 16 ms adapter latency", {"--clock", "14.7456", "--pace",
           "--latency", "16"}, "random32k_s1_16.mot", Loaded("47", "14.7456", "Rate 460800 bit/s, the chip's phi/32\r\n") + k32kDone)
          // The latency is waited out once a burst of 16 echoes of the first
          // stage's load (8 times), once a wait for the fast program's load
          // and once an answer (32 blocks and 7 more): 0.7 s more; and 31 ms for the
          // I/O's states (14 a byte), which take the blocks' 3.5 s to 3.6.
          .Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 32 blocks, 32768 data bytes in 3.6 s at 460800 bit/s, 0 retries; 4.1 s in all")
          .Err("korvel: the chip's echoes took 18.1 ms each (median; the line needs 2.1 ms): the serial adapter holds "
               "received bytes back. Set its latency to 1 ms: setserial /dev/board low_latency (if its driver does not "
               "allow that, use an adapter whose driver does)\n"),
      Fast("fast: the 32 KB sample at 16 MHz on a paced line", {"--clock", "16", "--pace"}, "random32k_s1_16.mot",
           kAt16 + k32kDone).Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 32 blocks, 32768 data bytes in 2.8 s at 500000 bit/s, 0 retries; 3.2 s in all"),
      // --- the line's faults ---
      // The first stage's echo of a check byte at the new rate comes back
      // damaged: the rate fails, the first stage starts over at 9600 bit/s
      // and the next rate carries the load.
      Fast("fast: a damaged echo of the first stage's rate check: the next rate", {"--tx-noise", "5:01"},
           "blink.mot", Loaded("51", "16", "Rate 500000 bit/s failed\r\nRate 249600 bit/s, the chip's phi/64\r\n") +
           kBlinkBlank + kBlinkDone).Flash(FlashAfter::kFile),
      // A bit flipped in the fast program on its way in: the first stage's
      // CRC does not hold, it starts over instead of starting the program.
      Fast("fast: a fast program damaged on its way in is not started: the next rate", {"--rx-noise", "100:10"},
           "blink.mot", Loaded("51", "16", "Load at 500000 bit/s failed: no hello\r\n"
           "Rate 249600 bit/s, the chip's phi/64\r\n") + kBlinkBlank + kBlinkDone).Flash(FlashAfter::kFile),
      // The hello's CRC (bytes 2 and 6 of its answer flipped so that its
      // check byte still holds) is not the one korvel sent.
      Fast("fast: a hello naming another CRC stops the run before the blank check", {"--tx-noise", "1042:01",
           "--tx-noise", "1046:03"}, "blink.mot", "WAIT H3048 Boot mode....!{fastload}\aFirst stage: clock 16 MHz (BRR 51 "
           "at 9600 bit/s)\r\nRate 500000 bit/s, the chip's phi/32\r\nFast program 1: CRC-32 4E9CCAE1, "
           "korvel sent " + kLoadCrc + "\r\n{fail}").Flash(FlashAfter::kNothingProgrammed),
      // The boot BRR reported as 59 (bit 3 flipped): an 18.432 MHz crystal.
      Fast("fast: a clock outside 8-16 MHz is refused before the fast program's load", {"--tx-noise", "1:08"},
           "blink.mot", "WAIT H3048 Boot mode....!{fastload}\aFirst stage: BRR 59 at 9600 bit/s, clock 18.4320 MHz\r\n"
           "Clock 18.4320 MHz: the boot program aligns at 9600 bit/s only from 8 to 16 MHz; the fast program is not "
           "loaded\r\n{fail}").Flash(FlashAfter::kNothingProgrammed)
          .Summary("korvel: Fail: before the fast program's hello, nothing programmed; 0.0 s in all"),
      // The first stage's report comes through the line garbled.
      Fast("fast: a line too slow for the boot program's rate: refused before the fast program's load",
           {"--line-limit", "4800"}, "blink.mot",
           "WAIT H3048 Boot mode....!{fastload}\aFirst stage: BRR 198 at 9600 bit/s, clock 61.1328 MHz\r\n"
           "Clock 61.1328 MHz: the boot program aligns at 9600 bit/s only from 8 to 16 MHz; the fast program is not "
           "loaded\r\n{fail}").Flash(FlashAfter::kNothingProgrammed),
      Fast("fast: a bit flipped in a block: sent again once, the flash as the file", {"--rx-noise", "1081:10"}, "blink.mot",
           kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: the chip found the frame damaged\r\n" + kBlinkDone).Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 2 blocks, 132 data bytes in 0.0 s at 500000 bit/s, 1 retry; 0.1 s in all"),
      // After the fourth try the line stays quiet until the chip is back at
      // 9600 bit/s (6.5 s); from there the next rate down carries the block.
      Fast("fast: a block damaged on every try at the top rate steps down and completes",
           {"--rx-noise", "1081:10", "--rx-noise", "1220:10", "--rx-noise", "1359:10", "--rx-noise", "1498:10"}, "blink.mot",
           kAt16 + kBlinkBlank + kDamaged100 + "Block at H'00100: the chip found the frame damaged, 3 retries at 500000 "
           "bit/s: stepping down\r\nRate 249600 bit/s, the chip's phi/64\r\n" + kBlinkDone).Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 2 blocks, 132 data bytes in 6.7 s at 249600 bit/s, 3 retries; 6.7 s in all"),
      // ... and after the step down the chip takes the rate check at 249600 bit/s
      // as good but its echo comes back damaged: korvel finds it at the new rate.
      Fast("fast: a damaged rate check the chip took as good: found at the new rate",
           {"--rx-noise", "1081:10", "--rx-noise", "1220:10", "--rx-noise", "1359:10", "--rx-noise", "1498:10",
            "--tx-noise", "1103:01"}, "blink.mot",
           kAt16 + kBlinkBlank + kDamaged100 + "Block at H'00100: the chip found the frame damaged, 3 retries at 500000 "
           "bit/s: stepping down\r\nRate 249600 bit/s, the chip's phi/64\r\n" + kBlinkDone).Flash(FlashAfter::kFile)
          // 1.1 s more than the plain step down: the chip's rate windows and the ping at 9600 that finds no one.
          .Summary("korvel: Success: 2 blocks, 132 data bytes in 7.8 s at 249600 bit/s, 3 retries; 7.9 s in all"),
      // ... and its hello at the new rate comes damaged too: lost, until its
      // quiet time takes it back to 9600 bit/s, where it answers.
      Fast("fast: a chip lost at the rate check is found again at 9600 bit/s",
           {"--rx-noise", "1081:10", "--rx-noise", "1220:10", "--rx-noise", "1359:10", "--rx-noise", "1498:10",
            "--tx-noise", "1103:01", "--tx-noise", "1114:01"}, "blink.mot",
           kAt16 + kBlinkBlank + kDamaged100 + "Block at H'00100: the chip found the frame damaged, 3 retries at 500000 "
           "bit/s: stepping down\r\nRate 249600 bit/s failed; the chip answers at 9600 bit/s again\r\n"
           "Rate 166400 bit/s, the chip's phi/96\r\n" + kBlinkDone).Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 2 blocks, 132 data bytes in 14.4 s at 166400 bit/s, 3 retries; 14.5 s in all"),
      // The block was programmed at the first try; its answers come damaged at
      // 500000 bit/s. At the next rate the chip knows the frame: answered, not pulsed again.
      Fast("fast: a block programmed whose answers are lost steps down and is not programmed twice",
           {"--tx-noise", "1067:01", "--tx-noise", "1073:01", "--tx-noise", "1079:01", "--tx-noise", "1085:01"}, "blink.mot",
           kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: no good answer\r\nRetry 2 of block at H'00100: no good "
           "answer\r\nRetry 3 of block at H'00100: no good answer\r\n"
           "Block at H'00100: no good answer, 3 retries at 500000 bit/s: stepping down\r\n"
           "Rate 249600 bit/s, the chip's phi/64\r\n" + kBlinkDone).Flash(FlashAfter::kFile),
      // At 9600 bit/s there is no rate below: the block fails naming its address.
      Fast("fast: a block damaged on every try at 9600 bit/s fails naming its address",
           {"--rx-noise", "1081:10", "--rx-noise", "1220:10", "--rx-noise", "1359:10", "--rx-noise", "1498:10"}, "blink.mot",
           Loaded("51", "16", "Rate 9600 bit/s, the boot program's\r\n") + kBlinkBlank + kDamaged100 +
           "Block at H'00100: the chip found the frame damaged, 3 retries: given up\r\n{fail}", {"--fast", "--max-rate", "9600"}),
      Fast("fast: a bit flipped in the blank check: the retry on a line of its own", {"--rx-noise", "1036:10"},
           "blink.mot", kAt16 + "Blank check of 132 bytes...\r\nRetry 1 of read of H'00000-H'00003: the chip found the frame damaged\r\n"
           "Blank check OK\r\nProgramming 132 bytes in 2 blocks\r\n" + kBlinkDone).Flash(FlashAfter::kFile),
      Fast("fast: a byte lost in a block: the short frame is sent again", {"--rx-drop", "1111"}, "blink.mot",
           kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: the chip found the frame damaged\r\n" + kBlinkDone).Flash(FlashAfter::kFile),
      Fast("fast: a damaged answer to a block: sent again, answered, not programmed twice", {"--tx-noise", "1067:01"},
           "blink.mot", kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: no good answer\r\n" + kBlinkDone).Flash(FlashAfter::kFile),
      Fast("fast: an answer a second late: the block is sent again", {"--tx-late", "1065:1000"}, "blink.mot",
           kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: no good answer\r\n" + kBlinkDone).Flash(FlashAfter::kFile),
      // F5DA2DBB: the file's H'00100-H'0017F with bit 2 of H'00120 flipped.
      Fast("fast: a weak byte passes its verify and is caught by the read-back", {"--weak-byte", "120:04"}, "blink.mot",
           kAt16 + kBlinkBlank + "132 bytes, 100%\r\n" + kBlinkFirst +
           "Read-back H'00100-H'0017F: CRC-32 F5DA2DBB, the file gives 3F221631\r\n"
           "First difference at H'00120: the chip reads H'0F, the file gives H'0B\r\n{fail}"),
      // The chip finds the block cut short; what is sent again never arrives.
      Fast("fast: the cable pulled in the middle of a block", {}, "blink.mot",
           kAt16 + kBlinkBlank + "Retry 1 of block at H'00100: the chip found the frame damaged\r\n"
           "Retry 2 of block at H'00100: no good answer\r\nRetry 3 of block at H'00100: no good answer\r\n"
           "Block at H'00100: no good answer, 3 retries at 500000 bit/s: stepping down\r\nNo answer at 9600 bit/s either\r\n"
           "{fail}").CutAfter(1 + 3 + 126 + 1033 + 37 + 40),
      // The cable pulled after the rate's BRR: its echo comes, the rest
      // does not, and the first stage answers neither the next rate's BRR at
      // 9600 bit/s nor, waited for, with its report; the summary names no rate.
      Fast("fast: the chip lost at the rate check", {}, "blink.mot",
           "WAIT H3048 Boot mode....!{fastload}\aFirst stage: clock 16 MHz (BRR 51 at 9600 bit/s)\r\n"
           "Rate 500000 bit/s failed\r\nFirst stage: no answer at 9600 bit/s\r\nFast program: not loaded at any rate\r\n{fail}").CutAfter(1 + 3 + 126 + 1)
          .Summary("korvel: Fail: 0 blocks, 0 data bytes in 0.0 s, 0 retries; 3.7 s in all"),
      Fast("fast: flash not erased, found before any block", {"--no-erase"}, "blink.mot",
           kAt16 + "Blank check of 132 bytes...\r\nFlash not erased: H'00000 does not read H'FF\r\n{fail}").Flash(FlashAfter::kNothingProgrammed)
          .Summary("korvel: Fail: 0 blocks, 0 data bytes in 0.0 s at 500000 bit/s, 0 retries; 0.0 s in all"),
      Fast("fast: a stuck flash bit names its byte", {"--stuck-bit", "110:0"}, "three.mot",
           kAt16 + "Blank check of 32 bytes...OK\r\nProgramming 32 bytes in 1 block\r\n"
           "Byte at H'00110 does not program (not verified after 6 pulses)\r\n{fail}"),
      // Line 3 gives H'00108-H'0010F the bytes line 2 gave them.
      // The erased flash reads H'FF already: only the 4400 bytes before it are sent, all 128 KB read back.
      Fast("fast: a 128 KB raw image sends none of its H'FF", {"--clock", "14.7456"}, "random4k_ff128k.bin",
           Loaded("47", "14.7456", "Rate 460800 bit/s, the chip's phi/32\r\n") + "Blank check of 4400 bytes...OK\r\n"
           "Programming 4400 bytes in 5 blocks (126672 bytes of H'FF left out: erased already)\r\n"
           "1024 bytes, 23%\r\n2048 bytes, 46%\r\n3072 bytes, 69%\r\n4096 bytes, 93%\r\n4400 bytes, 100%\r\n"
           "Read-back H'00000-H'1FFFF: CRC-32 38770D09, as the file\r\n{success}").Flash(FlashAfter::kFile)
          .Summary("korvel: Success: 5 blocks, 4400 data bytes in 1.4 s at 460800 bit/s, 0 retries; 1.5 s in all"),
      Fast("fast: records that repeat bytes as they are: programmed once", {}, "overlap_same.mot",
           kAt16 + "Blank check of 16 bytes...OK\r\nProgramming 16 bytes in 1 block\r\n16 bytes, 100%\r\n"
           "Read-back H'00100-H'0010F: CRC-32 7F679FC9, as the file\r\n{success}").Flash(FlashAfter::kFile),
      // 250 and 250 bytes in a row: one range of 500, one block.
      Fast("fast: two records of 250 bytes in a row go as one block", {}, "two_long.mot",
           kAt16 + "Blank check of 500 bytes...OK\r\nProgramming 500 bytes in 1 block\r\n"
           "500 bytes, 100%\r\nRead-back H'01000-H'011F3: CRC-32 B11D8815, as the file\r\n{success}").Flash(FlashAfter::kFile),
      Fast("fast: overlapping records with other bytes are refused before anything is sent", {}, "overlap.mot",
           "Record error line 3: overlaps line 2\r\n{fail}").Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: an ELF file, as the record mode takes it", {}, "tick.elf",
           kAt16 + "Blank check of 194 bytes...OK\r\nProgramming 194 bytes in 3 blocks\r\n138 bytes, 71%\r\n"
           "194 bytes, 100%\r\nRead-back H'00000-H'00003: CRC-32 385FEE5D, as the file\r\n"
           "Read-back H'00100-H'00185: CRC-32 7965E9FA, as the file\r\n"
           "Read-back H'0FFE8-H'1001F: CRC-32 6A46BD5D, as the file\r\n{success}").Flash(FlashAfter::kFile),
      Fast("fast: a file cut off after a data record is refused before anything is sent", {}, "cut_off.mot",
           "Record error line 2: no end record (the file may be cut off)\r\n{fail}").Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: a file that is not there", {}, "missing.mot", "File not Found...[{file}]\r\n{fail}").Sent(Tries(0), Load(0), Records(0)),
  };
}
