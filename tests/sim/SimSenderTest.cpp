#include "sim/SimSender.h"

#include <gtest/gtest.h>

#include <mutex>

namespace quorle {
namespace {

using namespace std::chrono_literals;
using Clock = SimPacer::Clock;

TEST(SimPacer, AMessageArrivesOnlyOnceTheLineCouldCarryIt) {
  SimPacer wire(3125);
  EXPECT_EQ(wire.TransferTime(3125), 1s);
  EXPECT_EQ(wire.TransferTime(2350), 752ms);
  const Clock::time_point t0{10s};
  // Back to back: each waits for the one before it.
  EXPECT_EQ(wire.Schedule(t0, 3125), t0 + 1s);
  EXPECT_EQ(wire.Schedule(t0, 3125), t0 + 2s);
  // A pause counts from the moment the line is free ...
  EXPECT_EQ(wire.Schedule(t0 + 1s, 3125, 500ms), t0 + 3500ms);
  // ... or from now, when the line has been idle.
  EXPECT_EQ(wire.Schedule(t0 + 10s, 3125, 500ms), t0 + 11500ms);
  wire.Reset();
  EXPECT_EQ(wire.Schedule(t0, 3125), t0 + 1s);

  SimPacer instant(0);
  EXPECT_EQ(instant.Schedule(t0, 18183), t0);
  EXPECT_EQ(instant.Schedule(t0, 18183, 20ms), t0 + 20ms);
  // Rounded up: never faster than the rate.
  EXPECT_EQ(SimPacer(3).TransferTime(1), std::chrono::nanoseconds(333'333'334));
}

class Collector {
 public:
  void operator()(Bytes m) {
    std::lock_guard lock(mutex_);
    got_.push_back(std::move(m));
  }
  std::vector<Bytes> Got() {
    std::lock_guard lock(mutex_);
    return got_;
  }

 private:
  std::mutex mutex_;
  std::vector<Bytes> got_;
};

TEST(SimSender, HandsOverEveryMessageInOrder) {
  Collector sink;
  SimSender sender([&](Bytes m) { sink(std::move(m)); }, 0);
  std::vector<Bytes> expected;
  for (int batch = 0; batch < 4; ++batch) {
    std::vector<ScheduledMessage> messages;
    for (int i = 0; i < 50; ++i) {
      Bytes m{0xF0, static_cast<std::uint8_t>(batch), static_cast<std::uint8_t>(i), 0xF7};
      expected.push_back(m);
      messages.push_back({m, batch == 2 && i == 10 ? 30ms : 0ms});
    }
    sender.Enqueue(std::move(messages));
  }
  ASSERT_TRUE(sender.WaitUntilIdle(10s));
  EXPECT_EQ(sink.Got(), expected);
  EXPECT_EQ(sender.SentCount(), 200u);
}

TEST(SimSender, ClearDropsWhatIsWaitingAndTheSenderGoesOn) {
  Collector sink;
  SimSender sender([&](Bytes m) { sink(std::move(m)); }, 0);
  // A long pause keeps the first message waiting.
  sender.Enqueue({{Bytes{1}, 1h}, {Bytes{2}, 0ms}});
  EXPECT_FALSE(sender.WaitUntilIdle(50ms));
  sender.Clear();
  ASSERT_TRUE(sender.WaitUntilIdle(10s));
  sender.Enqueue({{Bytes{3}, 0ms}});
  ASSERT_TRUE(sender.WaitUntilIdle(10s));
  EXPECT_EQ(sink.Got(), std::vector<Bytes>{Bytes{3}});
}

TEST(SimSender, StopsAtOnceWithABankStillToSend) {
  // At one byte a second the first dump alone would take 39 minutes: the test hangs if stopping
  // waits for the line.
  Collector sink;
  auto sender = std::make_unique<SimSender>([&](Bytes m) { sink(std::move(m)); }, 1);
  std::vector<ScheduledMessage> bank(128, ScheduledMessage{Bytes(2350, 0), 0ms});
  sender->Enqueue(std::move(bank));
  sender.reset();
  EXPECT_TRUE(sink.Got().empty());
}

}  // namespace
}  // namespace quorle
