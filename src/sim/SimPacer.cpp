#include "sim/SimPacer.h"

#include <algorithm>

namespace quorle {

SimPacer::Clock::duration SimPacer::TransferTime(std::size_t size) const {
  if (rate_ == 0) return Clock::duration::zero();
  // Rounded up, so the line is never faster than its rate.
  const auto nanos = (static_cast<unsigned long long>(size) * 1'000'000'000ull + rate_ - 1) / rate_;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanos));
}

SimPacer::Clock::time_point SimPacer::Schedule(Clock::time_point now, std::size_t size,
                                               Clock::duration pause) {
  const Clock::time_point start = std::max(now, lineFree_) + pause;
  lineFree_ = start + TransferTime(size);
  return lineFree_;
}

}  // namespace quorle
