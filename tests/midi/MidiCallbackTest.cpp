#include <gtest/gtest.h>

#include <vector>

#include "midi/MidiDispatcher.h"
#include "midi/TMidiCallbackContext.h"

namespace quorle {
namespace {

struct CallbackTest : ::testing::Test {
  MidiDispatcher dispatcher;
  std::vector<MidiNotice> notices;
  std::uint64_t window =
      dispatcher.CreateWindow([this](const MidiNotice& n) { notices.push_back(n); });
  std::unique_ptr<TMidiEventRing> ring = TMidiEventRing::Create(4);
  TMidiCallbackContext context;
  MidiHdr header;

  CallbackTest() {
    context.Ring = ring.get();
    context.Dispatcher = &dispatcher;
    context.Window = window;
  }
  void Call(unsigned message, std::uintptr_t p1, std::uintptr_t p2 = 0) {
    MidiCallbackProc(nullptr, message, &context, p1, p2);
  }
  std::uintptr_t Long() { return reinterpret_cast<std::uintptr_t>(&header); }
};

TEST_F(CallbackTest, ActiveSensingAndClockNeverReachTheRingWhateverSysexOnlySays) {
  for (std::uint8_t only : {0, 1}) {
    context.SysexOnly = only;
    Call(MIM_DATA, 0xFE);
    Call(MIM_DATA, 0xF8);
  }
  dispatcher.Dispatch();
  EXPECT_EQ(ring->Count(), 0);
  EXPECT_TRUE(notices.empty());
}

TEST_F(CallbackTest, FilterComparesTheWholePackedValue) {
  Call(MIM_DATA, 0x0001FE, 11);
  Call(MIM_DATA, 0x7F40F8, 12);
  EXPECT_EQ(ring->Count(), 2);
  TMidiRingItem item;
  ASSERT_TRUE(ring->Peek(item));
  EXPECT_EQ(item.ShortMessage, 0x0001FEu);
  EXPECT_EQ(item.Timestamp, 11u);
  EXPECT_EQ(item.LongHeader, nullptr);
}

TEST_F(CallbackTest, SysexOnlyDropsShortMessagesButKeepsSysexAndErrorBuffers) {
  context.SysexOnly = 1;
  Call(MIM_DATA, 0x7F3C90);
  Call(MIM_LONGDATA, Long(), 5);
  Call(MIM_LONGERROR, Long(), 6);
  EXPECT_EQ(ring->Count(), 2);
  TMidiRingItem item;
  ASSERT_TRUE(ring->Peek(item));
  EXPECT_EQ(item.LongHeader, &header);
  EXPECT_EQ(item.ShortMessage, 0u);
  EXPECT_EQ(item.Timestamp, 5u);
}

TEST_F(CallbackTest, OneNoticePerEventAndAnOverflowNoticeForEachEventLost) {
  for (std::uint32_t i = 0; i < 6; ++i) Call(MIM_DATA, 0x90 | i << 8);
  dispatcher.Dispatch();
  ASSERT_EQ(notices.size(), 6u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(notices[i].message, MIM_DATA);
  EXPECT_EQ(notices[4].message, WM_USER);
  EXPECT_EQ(notices[5].message, WM_USER);
  for (std::uint32_t i = 0; i < 4; ++i) {  // the first four, in arrival order
    TMidiRingItem item;
    ASSERT_TRUE(ring->Peek(item));
    EXPECT_EQ(item.ShortMessage, 0x90 | i << 8);
    ring->Remove();
  }
}

TEST_F(CallbackTest, AnOutputContextStoresNothingAndForwardsTheDoneHeader) {
  context.Ring = nullptr;
  Call(MIM_DATA, 0x90);
  Call(MIM_LONGDATA, Long());
  Call(MOM_DONE, Long());
  Call(MOM_OPEN, 0);
  Call(MIM_ERROR, 0x90);
  dispatcher.Dispatch();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].message, MOM_DONE);
  EXPECT_EQ(notices[0].lParam, Long());
  EXPECT_EQ(notices[0].window, window);
}

TEST_F(CallbackTest, NoContextIsHarmless) {
  MidiCallbackProc(nullptr, MIM_DATA, nullptr, 0x90, 0);
  MidiCallbackProc(nullptr, MOM_DONE, nullptr, Long(), 0);
  EXPECT_EQ(dispatcher.Dispatch(), 0u);
}

}  // namespace
}  // namespace quorle
