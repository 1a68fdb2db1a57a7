// The fast mode's rows of the run table: korvel --fast against the same
// virtual board, which runs the fast-mode program's own bytes.
#include "run_table.h"

namespace {

const std::string kLoaded = "WAIT H3048 Boot mode....!{fastload}\aFast program 1: BRR 255 at 9600 bit/s, clock 78.6432 MHz\r\n";
const std::string kBlinkBlank = "Blank check of 84 bytes...OK\r\nProgramming 84 bytes in 2 blocks\r\n";
const std::string kBlinkRead = "Read-back H'00000-H'00003: CRC-32 385FEE5D, as the file\r\n"
                               "Read-back H'00100-H'0014F: CRC-32 B767BD35, as the file\r\n";

RunRow Fast(const std::string& name, std::vector<std::string> board, const std::string& file, const std::string& console,
            std::vector<std::string> options = {"--fast"}) {
  return RunRow(name, std::move(board), console).File(file).Korvel(std::move(options));
}

}  // namespace

std::vector<RunRow> FastRunRows() {
  return {
      Fast("fast: blink.mot at 115200 bit/s", {}, "blink.mot",
           kLoaded + "Rate 115200 bit/s\r\n" + kBlinkBlank + "84 bytes, 100%\r\n" + kBlinkRead + "{success}")
          .Flash(FlashAfter::kFile).Also(kExecutable | kWine)
          .Summary("korvel: Success: 2 blocks, 84 data bytes in 0.0 s at 115200 bit/s, 0 retries; 0.0 s in all"),
      Fast("fast: --max-rate caps the ladder", {}, "blink.mot",
           kLoaded + "Rate 38400 bit/s\r\n" + kBlinkBlank + "84 bytes, 100%\r\n" + kBlinkRead + "{success}",
           {"--fast", "--max-rate", "38400"}).Flash(FlashAfter::kFile),
      Fast("fast: --max-rate 9600 keeps the boot program's rate", {}, "blink.mot",
           kLoaded + "Rate 9600 bit/s\r\n" + kBlinkBlank + "84 bytes, 100%\r\n" + kBlinkRead + "{success}",
           {"--fast", "--max-rate", "9600"}).Flash(FlashAfter::kFile),
      Fast("fast: a rate --max-rate does not take", {}, "blink.mot", "--max-rate 4800: give 115200, 57600, 38400, "
           "19200 or 9600{fail}", {"--fast", "--max-rate", "4800"}).Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: the 128 KB sample", {}, "random128k_s2_32.mot",
           kLoaded + "Rate 115200 bit/s\r\nBlank check of 131072 bytes...OK\r\nProgramming 131072 bytes in 512 blocks\r\n"
           "13312 bytes, 10%\r\n26368 bytes, 20%\r\n39424 bytes, 30%\r\n52480 bytes, 40%\r\n65536 bytes, 50%\r\n"
           "78848 bytes, 60%\r\n91904 bytes, 70%\r\n104960 bytes, 80%\r\n118016 bytes, 90%\r\n131072 bytes, 100%\r\n"
           "Read-back H'00000-H'1FFFF: CRC-32 B6F32F51, as the file\r\n{success}").Flash(FlashAfter::kFile),
      Fast("fast: flash not erased, found before any block", {"--no-erase"}, "blink.mot",
           kLoaded + "Rate 115200 bit/s\r\nBlank check of 84 bytes...\r\nFlash not erased: H'00000 does not read H'FF\r\n"
           "{fail}").Flash(FlashAfter::kNothingProgrammed),
      Fast("fast: a stuck flash bit names its byte", {"--stuck-bit", "110:0"}, "three.mot",
           kLoaded + "Rate 115200 bit/s\r\nBlank check of 32 bytes...OK\r\nProgramming 32 bytes in 1 block\r\n"
           "Byte at H'00110 does not program (not verified after 6 pulses)\r\n{fail}"),
      Fast("fast: overlapping records with other bytes are refused before anything is sent", {}, "overlap.mot",
           "Record error line 3: overlaps line 2 with other bytes\r\n{fail}").Sent(Tries(0), Load(0), Records(0)),
      Fast("fast: a file that is not there", {}, "missing.mot", "File not Found...[{file}]\r\n{fail}").Sent(Tries(0), Load(0), Records(0)),
  };
}
