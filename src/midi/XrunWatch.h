#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace quorle {

// Which SysEx a JACK client's xruns may have damaged. A late cycle can lose the pieces of a
// message without a word on the port, and RtMidi then joins the head of one dump to the rest of a
// later one: a whole-looking message. The server tells every client of its xruns, but the notice
// comes on another thread and may come after the message it damaged, so a message that could be
// a dump is held for kHold before it is judged. Not thread-safe: its owner locks.
class XrunWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // How long a notice may take to come after the xrun, and so how long a message that could be a
  // dump is held: one JACK period and a little on a quiet machine (measured: 6 ms), more when
  // the machine is busy. Every message that came this long before a notice is dropped.
  static constexpr auto kHold = std::chrono::milliseconds(30);
  // A shorter message (an identity reply, say) is no dump whatever it was joined from, and no
  // size check would take it for one: it passes at once.
  static constexpr std::size_t kShortest = 256;
  static constexpr std::chrono::milliseconds Hold(std::size_t size) {
    return size < kShortest ? std::chrono::milliseconds(0) : kHold;
  }

  // A notice of an xrun, told at when.
  void Noticed(Clock::time_point when);

  // Whether a SysEx of size bytes that completed at arrival, after the message before it completed
  // at before, may be damaged: it is the first completed after a notice, and could have been on
  // its way during that xrun, or a notice came while it was held. Asked from arrival + Hold on.
  bool MayBeDamaged(Clock::time_point arrival, Clock::time_point before, std::size_t size) const;

 private:
  std::deque<Clock::time_point> notices_;  // the last few seconds' worth, oldest first
};

}  // namespace quorle
