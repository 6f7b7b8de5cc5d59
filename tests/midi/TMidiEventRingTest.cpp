#include "midi/TMidiEventRing.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quorle {
namespace {

TMidiRingItem Short(std::uint32_t value) {
  return {value, value, nullptr};
}

TEST(TMidiEventRing, CapacityIsBoundedBySixtyFiveThousandBytesOfSlots) {
  EXPECT_EQ(TMidiEventRing::kMaxCapacity, 5461);
  EXPECT_NE(TMidiEventRing::Create(5461), nullptr);
  EXPECT_EQ(TMidiEventRing::Create(5462), nullptr);
  EXPECT_EQ(TMidiEventRing::Create(0), nullptr);
  EXPECT_EQ(TMidiEventRing::Create(1024)->Capacity(), 1024);
}

TEST(TMidiEventRing, EmptyRingAnswersFalseAndStaysEmpty) {
  auto ring = TMidiEventRing::Create(4);
  TMidiRingItem item;
  EXPECT_FALSE(ring->Peek(item));
  EXPECT_FALSE(ring->Remove());
  EXPECT_EQ(ring->Count(), 0);
  EXPECT_EQ(ring->NextReadIndex(), 0u);
  EXPECT_EQ(ring->NextWriteIndex(), 0u);
}

TEST(TMidiEventRing, FullRingRefusesWithoutChangeAndKeepsTheFirstInOrder) {
  auto ring = TMidiEventRing::Create(3);
  for (std::uint32_t i = 1; i <= 3; ++i) EXPECT_TRUE(ring->Put(Short(i)));
  EXPECT_FALSE(ring->Put(Short(99)));
  EXPECT_EQ(ring->Count(), 3);
  EXPECT_EQ(ring->NextWriteIndex(), 0u);
  for (std::uint32_t i = 1; i <= 3; ++i) {
    TMidiRingItem item;
    ASSERT_TRUE(ring->Peek(item));
    EXPECT_EQ(item.ShortMessage, i);
    EXPECT_TRUE(ring->Peek(item));  // peeking twice does not remove
    EXPECT_EQ(item.ShortMessage, i);
    EXPECT_TRUE(ring->Remove());
  }
  EXPECT_FALSE(ring->Remove());
}

TEST(TMidiEventRing, NPutsAndNRemovesWrapBothEndsToTheStart) {
  auto ring = TMidiEventRing::Create(5);
  for (std::uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(ring->Put(Short(i)));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(ring->Remove());
  EXPECT_EQ(ring->Count(), 0);
  EXPECT_EQ(ring->NextReadIndex(), 0u);
  EXPECT_EQ(ring->NextWriteIndex(), 0u);
}

TEST(TMidiEventRing, InterleavedUseAcrossManyWrapsKeepsOrder) {
  auto ring = TMidiEventRing::Create(3);
  std::uint32_t put = 0, taken = 0;
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(ring->Put(Short(put++)));
    TMidiRingItem item;
    ASSERT_TRUE(ring->Peek(item));
    EXPECT_EQ(item.ShortMessage, taken++);
    ASSERT_TRUE(ring->Remove());
    ASSERT_TRUE(ring->Peek(item));
    EXPECT_EQ(item.ShortMessage, taken++);
    ASSERT_TRUE(ring->Remove());
  }
  EXPECT_EQ(ring->Count(), 0);
}

TEST(TMidiEventRing, ProducerAndConsumerThreadsHandOverAHundredThousandEvents) {
  constexpr std::uint32_t kEvents = 100000;
  auto ring = TMidiEventRing::Create(64);
  std::vector<MidiHdr> headers(16);
  std::thread producer([&] {
    for (std::uint32_t i = 0; i < kEvents; ++i) {
      TMidiRingItem item{i, i * 3u + 1u, i % 5 == 0 ? &headers[i % 16] : nullptr};
      while (!ring->Put(item)) std::this_thread::yield();
    }
  });
  std::uint32_t expected = 0;
  std::uint32_t mismatches = 0;
  while (expected < kEvents) {
    TMidiRingItem item;
    if (!ring->Peek(item)) {
      std::this_thread::yield();
      continue;
    }
    const bool whole = item.Timestamp == expected && item.ShortMessage == expected * 3u + 1u &&
                       item.LongHeader == (expected % 5 == 0 ? &headers[expected % 16] : nullptr);
    if (!whole) ++mismatches;
    ASSERT_TRUE(ring->Remove());
    ++expected;
  }
  producer.join();
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(ring->Count(), 0);
  TMidiRingItem item;
  EXPECT_FALSE(ring->Peek(item));
}

}  // namespace
}  // namespace quorle
