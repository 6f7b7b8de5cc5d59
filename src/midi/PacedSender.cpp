#include "midi/PacedSender.h"

#include <algorithm>
#include <thread>

namespace quorle {

namespace {

class SteadyTiming : public PacedSender::Timing {
 public:
  PacedSender::Clock::time_point Now() override { return PacedSender::Clock::now(); }
  void SleepUntil(PacedSender::Clock::time_point when) override {
    std::this_thread::sleep_until(when);
  }
};

PacedSender::Timing& Steady() {
  static SteadyTiming timing;
  return timing;
}

}  // namespace

PacedSender::PacedSender(unsigned bytesPerSecond, std::size_t pieceSize, Timing* timing)
    : bytesPerSecond_(bytesPerSecond),
      pieceSize_(pieceSize),
      timing_(timing ? timing : &Steady()) {}

PacedSender::Clock::duration PacedSender::WireTime(std::size_t bytes) const {
  return quorle::WireTime(bytes, bytesPerSecond_);
}

std::vector<ByteView> PacedSender::Pieces(ByteView message, std::size_t pieceSize) {
  std::vector<ByteView> pieces;
  const std::size_t size = pieceSize == 0 ? message.size() : pieceSize;
  for (std::size_t pos = 0; pos < message.size(); pos += size) {
    pieces.push_back(message.subspan(pos, std::min(size, message.size() - pos)));
  }
  return pieces;
}

bool PacedSender::WaitForTheWire(const Wanted& wanted) {
  // Waited in slices, so that a message given up by a reset stops going out.
  for (auto now = timing_->Now(); now < next_; now = timing_->Now()) {
    if (!wanted()) return false;
    timing_->SleepUntil(std::min(next_, now + std::chrono::milliseconds(20)));
  }
  return wanted();
}

PacedSender::Outcome PacedSender::Send(ByteView message, const SendPiece& send,
                                       const Wanted& wanted, std::string& error) {
  for (const ByteView piece : Pieces(message, pieceSize_)) {
    if (!WaitForTheWire(wanted)) return Outcome::GivenUp;
    if (!send(piece, error)) return Outcome::Refused;
    next_ = std::max(next_, timing_->Now()) + WireTime(piece.size());
  }
  // Sent once the last piece has had its time on the wire: what follows a message (a pause, the
  // word that it went) must not overlap it. A reset meanwhile ends only the wait.
  WaitForTheWire(wanted);
  return Outcome::Sent;
}

}  // namespace quorle
