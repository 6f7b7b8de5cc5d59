#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "protocol/MessageSet.h"
#include "protocol/WireTime.h"

namespace quorle {

// Puts messages on a MIDI system in pieces it accepts, no faster than a byte rate on average:
// each piece leaves once the pieces before it, of this message and of the ones before, have had
// their time on the wire, and a message is sent once its last piece has had its own. A message
// stops at the first piece the system refuses, and between two pieces once it is no longer wanted
// (a reset gave it up). Used by one sender thread; the clock is a parameter, so the schedule can be
// checked without waiting for it.
class PacedSender {
 public:
  using Clock = std::chrono::steady_clock;
  class Timing {
   public:
    virtual ~Timing() = default;
    virtual Clock::time_point Now() = 0;
    virtual void SleepUntil(Clock::time_point when) = 0;
  };
  // Puts one piece on the system; false, with the system's own words in error, when refused.
  using SendPiece = std::function<bool(ByteView piece, std::string& error)>;
  using Wanted = std::function<bool()>;
  enum class Outcome { Sent, Refused, GivenUp };

  // bytesPerSecond 0: unpaced; pieceSize 0: every message in one piece. timing: the steady
  // clock when null.
  PacedSender(unsigned bytesPerSecond, std::size_t pieceSize, Timing* timing = nullptr);

  Outcome Send(ByteView message, const SendPiece& send, const Wanted& wanted, std::string& error);
  Clock::duration WireTime(std::size_t bytes) const;
  // pieceSize bytes each, the last one what is left; the whole message for pieceSize 0.
  static std::vector<ByteView> Pieces(ByteView message, std::size_t pieceSize);

 private:
  bool WaitForTheWire(const Wanted& wanted);  // false when no longer wanted

  const unsigned bytesPerSecond_;
  const std::size_t pieceSize_;
  Timing* const timing_;
  Clock::time_point next_{};  // when the wire is free again
};

}  // namespace quorle
