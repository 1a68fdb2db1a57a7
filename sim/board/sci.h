// One channel of the H8/3048F serial communication interface in
// asynchronous mode, as the CPU sees it through its six registers, and as
// the line sees it through ByteArrived() and the transmit hand-over.
//
// The status flags behave as on the chip: the hardware sets them; software
// clears one by reading it as 1 and then writing 0 to it; writing 1 changes
// nothing. A flag the hardware set again after that read is not cleared by
// the write, which is what makes the usual read-modify-write of SSR safe.
// The shift registers and the timing of the line are not in here: the board
// decides when a received byte arrives and when the transmit shift register
// is free to take the byte in TDR.
#ifndef KORVEL_SIM_SCI_H
#define KORVEL_SIM_SCI_H

#include <cstdint>

class Sci {
 public:
  // Register offsets from SMR.
  enum Register { kSmr = 0, kBrr = 1, kScr = 2, kTdr = 3, kSsr = 4, kRdr = 5 };
  static constexpr int kRegisterCount = 6;

  // SSR bits.
  static constexpr std::uint8_t kTdre = 0x80;
  static constexpr std::uint8_t kRdrf = 0x40;
  static constexpr std::uint8_t kOrer = 0x20;
  static constexpr std::uint8_t kFer = 0x10;
  static constexpr std::uint8_t kPer = 0x08;
  static constexpr std::uint8_t kTend = 0x04;
  // H'02, MPB, is read-only and 0 outside the multiprocessor format, which is not modelled.
  static constexpr std::uint8_t kMpbt = 0x01;
  static constexpr std::uint8_t kReceiveFlags = kRdrf | kOrer | kFer | kPer;

  // SCR bits used here.
  static constexpr std::uint8_t kTe = 0x20;
  static constexpr std::uint8_t kRe = 0x10;

  Sci();  // the reset state: SSR = H'84 (TDRE, TEND), BRR = H'FF, the rest 0

  std::uint8_t Read(int reg);
  void Write(int reg, std::uint8_t value);

  // --- line side ---
  // The receiver can take a byte: RE on and none of RDRF, ORER, FER, PER
  // set (while an error flag is set the chip receives nothing).
  bool ReadyToReceive() const;
  // A character has been received. Without errors it goes to RDR and sets
  // RDRF; with a framing or parity error it goes to RDR and sets FER or PER
  // instead. If RDRF is still set, it is lost and ORER is set. With RE off,
  // or while ORER, FER or PER is set, it is lost.
  void ByteArrived(std::uint8_t byte, bool framingError = false, bool parityError = false);
  // TDR holds a byte for the shift register: TE on and TDRE clear.
  bool TransmitPending() const;
  // The shift register takes TDR: TDRE is set and TEND cleared. Returns the
  // byte that goes out on the line.
  std::uint8_t StartTransmit();
  // The shift register has sent its last bit; TEND follows TDRE.
  void TransmitIdle();

  // SSR reads in a row that found nothing changed since the previous one:
  // a program that busy-waits on the status register. Any change to the
  // channel (a register write, a byte in, a byte out) starts the count anew.
  std::uint64_t UnchangedStatusReads() const { return unchangedReads_; }
  void ResetUnchangedStatusReads() { unchangedReads_ = 0; }

  // The bit time in ns at the system clock phiHz: the rate is
  // phi / (64 * 2^(2n-1) * (BRR + 1)) bit/s for the clock select n in SMR.
  double BitNs(double phiHz) const { return 32.0 * (1u << (2 * (smr_ & 3))) * (brr_ + 1) * 1e9 / phiHz; }

  std::uint8_t Smr() const { return smr_; }
  std::uint8_t Brr() const { return brr_; }
  std::uint8_t Scr() const { return scr_; }
  std::uint8_t Ssr() const { return ssr_; }

 private:
  void Changed() { ++changes_; }

  std::uint8_t smr_ = 0;
  std::uint8_t brr_ = 0xFF;
  std::uint8_t scr_ = 0;
  std::uint8_t tdr_ = 0xFF;
  std::uint8_t ssr_ = kTdre | kTend;
  std::uint8_t rdr_ = 0;
  std::uint8_t readAsOne_ = 0;  // clearable flags software has seen as 1
  std::uint64_t changes_ = 0;
  std::uint64_t changesAtLastRead_ = ~std::uint64_t{0};
  std::uint64_t unchangedReads_ = 0;
};

#endif
