// Which SysEx an xrun's notice condemns. The notice comes on JACK's own thread, before or after
// the message it damaged, which no run against a server can order at will.
#include "midi/XrunWatch.h"

#include <gtest/gtest.h>

namespace quorle {
namespace {

using namespace std::chrono_literals;
using Clock = XrunWatch::Clock;

TEST(XrunWatch, CondemnsTheMessageANoticeCameAfterOrBeforeButNotTheOnesAround) {
  const Clock::time_point t0 = Clock::now();
  XrunWatch watch;
  // 1,180 bytes take 378 ms on a cable.
  watch.Noticed(t0 + 1000ms);
  // Completed 20 ms before the notice: held, so the late notice still finds it.
  EXPECT_TRUE(watch.MayBeDamaged(t0 + 980ms, t0 + 500ms, 1180));
  // Completed after the notice, the first since, and on its way during the xrun.
  EXPECT_TRUE(watch.MayBeDamaged(t0 + 1300ms, t0 + 980ms, 1180));
  // The second after the notice: whatever the xrun cut went into the first.
  EXPECT_FALSE(watch.MayBeDamaged(t0 + 1350ms, t0 + 1300ms, 1180));
  // Long before the notice, or begun long after the xrun.
  EXPECT_FALSE(watch.MayBeDamaged(t0 + 950ms, t0 + 500ms, 1180));
  EXPECT_FALSE(watch.MayBeDamaged(t0 + 1600ms, t0 + 900ms, 9));
  // A long message was on its way for longer: the Global Data take 5.8 s.
  EXPECT_TRUE(watch.MayBeDamaged(t0 + 6000ms, t0 + 900ms, 18183));
  // A reply too short to be two dumps joined is not held, so a later notice cannot reach it.
  EXPECT_FALSE(watch.MayBeDamaged(t0 + 980ms, t0 + 500ms, 17));
  EXPECT_EQ(XrunWatch::Hold(17), 0ms);
}

}  // namespace
}  // namespace quorle
