// The fast mode: korvel's own program in the chip's RAM, the fastest bit
// rate the board's crystal allows, blocks with a CRC and a read-back of
// everything programmed.
#ifndef KORVEL_FAST_FAST_MODE_H
#define KORVEL_FAST_FAST_MODE_H

// Checks the file, synchronises with the boot program, loads the fast-mode
// program and programs the file's bytes through it at no more than
// maxRate bit/s. True only when the read-back of every range matched the
// file; *noSync set when the boot program answered none of the ten
// synchronisation tries. The final report is the caller's.
bool ProgramChipFast(const char* fileName, long maxRate, bool* noSync);

// What the last fast run did, for the run summary.
struct FastFigures {
  bool used = false;       // a fast run got as far as the rate choice
  long rate = 0;           // bit/s of the blocks
  unsigned retries = 0;    // frames sent again
  unsigned long blocks = 0, dataBytes = 0;  // programmed
  double seconds = 0;      // from the first block to the read-back's end
};
const FastFigures& LastFastFigures();
void ClearFastFigures();

#endif
