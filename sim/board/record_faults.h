// Faults in the write-control program's answers to the records, as the
// host sees them: a filter between SCI1's transmitter and the wire. It
// passes everything up to and including the program's start text
// "[START]\r\n"; from then on every byte the program sends is one answer.
#ifndef KORVEL_SIM_RECORD_FAULTS_H
#define KORVEL_SIM_RECORD_FAULTS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct RecordFaults {
  // Record N (1-based) is the N-th answer byte the write-control program sends after its start text "[START]\r\n".
  std::map<std::size_t, std::vector<std::uint8_t>> answers;  // bytes sent instead of record N's answer; empty: no answer at all
  std::optional<std::size_t> silentAfter;                    // once this many records were answered, the board sends nothing more
  std::optional<std::size_t> hangUpAfter;                    // ... it closes its end of the line instead of the next answer

  bool Any() const { return !answers.empty() || silentAfter.has_value() || hangUpAfter.has_value(); }
};

class RecordFilter {
 public:
  explicit RecordFilter(RecordFaults faults) : faults_(std::move(faults)) {}

  // The bytes that go on the wire for one byte the program sends.
  std::vector<std::uint8_t> Pass(std::uint8_t byte);

  std::size_t Answers() const { return answers_; }  // answer bytes seen after the start text
  bool HungUp() const { return hungUp_; }           // the board has closed its end of the line

 private:
  RecordFaults faults_;
  std::string seen_;  // the tail of what the program sent, until the start text
  bool started_ = false;
  std::size_t answers_ = 0;
  bool hungUp_ = false;
};

#endif
