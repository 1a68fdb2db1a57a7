// What one programming run measured: filled in by the stages as they go,
// read afterwards by the summary line and the hints on standard error.
#ifndef KORVEL_RUNTIME_RUN_REPORT_H
#define KORVEL_RUNTIME_RUN_REPORT_H

#include <cstdint>
#include <vector>

// The record lines that went out (the last one also when the chip refused
// it or never answered), the data bytes of their S1/S2/S3 records, their
// characters, and the seconds from the first record out to the last answer.
struct RecordTally {
  unsigned long records = 0, dataBytes = 0, characters = 0;
  double seconds = 0;
};

// What a fast run did.
struct FastFigures {
  bool chosen = false;     // the run is a fast one (--fast) with a usable file
  bool used = false;       // a fast run got as far as the rate choice
  long rate = 0;           // bit/s of the blocks
  unsigned retries = 0;    // frames sent again
  unsigned long blocks = 0, dataBytes = 0;  // programmed
  double seconds = 0;      // from the first block to the read-back's end
};

struct RunReport {
  bool noSync = false;  // none of the ten synchronisation tries was answered
  // Microseconds from sending each length byte or burst of program bytes
  // of the boot load to its first echo waiting.
  std::vector<std::uint64_t> echoUs;
  RecordTally sent;  // record mode
  FastFigures fast;  // fast mode
};

#endif
