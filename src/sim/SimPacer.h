#pragma once

#include <chrono>
#include <cstddef>

namespace quorle {

// When each message of a one-way MIDI line may be handed over: no earlier than the line can carry
// it at its rate. A message is whole at its receiver only once its last byte has crossed the line.
class SimPacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SimPacer(unsigned bytesPerSecond = 0) : rate_(bytesPerSecond) {}
  void SetRate(unsigned bytesPerSecond) { rate_ = bytesPerSecond; }
  unsigned Rate() const { return rate_; }

  // Time to carry size bytes at the rate; zero when the rate is 0 (at once).
  Clock::duration TransferTime(std::size_t size) const;

  // The moment a message of size bytes, handed over at now, has arrived: it starts pause after
  // the line is free (or after now, when the line is idle). The line is busy until then.
  Clock::time_point Schedule(Clock::time_point now, std::size_t size,
                             Clock::duration pause = Clock::duration::zero());

  // Forgets the line's backlog, for messages that were scheduled and then dropped.
  void Reset() { lineFree_ = Clock::time_point{}; }

 private:
  unsigned rate_;
  Clock::time_point lineFree_{};
};

}  // namespace quorle
