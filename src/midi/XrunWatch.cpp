#include "midi/XrunWatch.h"

#include <algorithm>

#include "protocol/WireTime.h"

namespace quorle {

namespace {
// Notices older than the longest SysEx takes on a cable, and its hold, judge nothing any more.
constexpr auto kKeep = std::chrono::seconds(30);
// Beyond its time on a cable, how much earlier a message may have begun: senders pause.
constexpr auto kSlowStart = std::chrono::milliseconds(100);
}  // namespace

void XrunWatch::Noticed(Clock::time_point when) {
  notices_.push_back(when);
  while (!notices_.empty() && notices_.front() + kKeep < when) notices_.pop_front();
}

bool XrunWatch::MayBeDamaged(Clock::time_point arrival, Clock::time_point before,
                             std::size_t size) const {
  return std::any_of(notices_.begin(), notices_.end(), [&](Clock::time_point notice) {
    // The first message completed after the notice, if it was on its way during the xrun.
    const bool firstAfter =
        notice > before && notice <= arrival && notice + WireTime(size) + kSlowStart >= arrival;
    // The notice of an xrun before the message was passed on came late.
    const bool cameLate = notice > arrival && notice <= arrival + Hold(size);
    return firstAfter || cameLate;
  });
}

}  // namespace quorle
