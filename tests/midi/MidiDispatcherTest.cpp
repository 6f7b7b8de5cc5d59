#include "midi/MidiDispatcher.h"
#include "midi/MidiService.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace quorle {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

TEST(MidiDispatcher, PostWakesTheDescriptorAndDispatchDeliversInPostingOrder) {
  MidiDispatcher dispatcher;
  std::vector<std::uintptr_t> seen;
  const auto window =
      dispatcher.CreateWindow([&](const MidiNotice& n) { seen.push_back(n.lParam); });
  EXPECT_FALSE(Readable(dispatcher.WakeFd()));
  for (std::uintptr_t i = 0; i < 5; ++i) dispatcher.Post(window, MIM_DATA, 0, i);
  EXPECT_TRUE(Readable(dispatcher.WakeFd()));
  EXPECT_EQ(dispatcher.Dispatch(), 5u);
  EXPECT_FALSE(Readable(dispatcher.WakeFd()));
  EXPECT_EQ(seen, (std::vector<std::uintptr_t>{0, 1, 2, 3, 4}));
}

TEST(MidiDispatcher, NoticesFromSeveralThreadsKeepEachSendersOrder) {
  MidiDispatcher dispatcher(1 << 16);
  constexpr std::uintptr_t kEach = 20000;
  std::vector<std::vector<std::uintptr_t>> seen(3);
  std::vector<std::uint64_t> windows;
  for (int w = 0; w < 3; ++w) {
    windows.push_back(
        dispatcher.CreateWindow([&seen, w](const MidiNotice& n) { seen[w].push_back(n.lParam); }));
  }
  std::vector<std::thread> producers;
  for (int w = 0; w < 3; ++w) {
    producers.emplace_back([&, w] {
      for (std::uintptr_t i = 0; i < kEach; ++i) {
        while (!dispatcher.Post(windows[w], MIM_DATA, 0, i)) std::this_thread::yield();
      }
    });
  }
  ASSERT_TRUE(dispatcher.DispatchUntil(
      [&] { return seen[0].size() == kEach && seen[1].size() == kEach && seen[2].size() == kEach; },
      std::chrono::seconds(60)));
  for (auto& t : producers) t.join();
  for (int w = 0; w < 3; ++w) {
    for (std::uintptr_t i = 0; i < kEach; ++i) ASSERT_EQ(seen[w][i], i);
  }
}

TEST(MidiDispatcher, NoticeForADestroyedWindowIsDropped) {
  MidiDispatcher dispatcher;
  int calls = 0;
  const auto window = dispatcher.CreateWindow([&](const MidiNotice&) { ++calls; });
  dispatcher.Post(window, MIM_DATA, 0, 0);
  dispatcher.DestroyWindow(window);
  EXPECT_EQ(dispatcher.Dispatch(), 0u);
  EXPECT_EQ(calls, 0);
}

TEST(MidiDispatcher, AFullQueueRefusesAndCountsTheLoss) {
  MidiDispatcher dispatcher(4);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(dispatcher.Post(1, MIM_DATA, 0, 0));
  EXPECT_FALSE(dispatcher.Post(1, MIM_DATA, 0, 0));
  EXPECT_EQ(dispatcher.Lost(), 1u);
}

// A handler that runs a nested loop (a modal dialog) is not re-entered: the notices that arrive
// meanwhile are held and delivered, in order, after it has returned.
TEST(MidiDispatcher, NestedDispatchHoldsNoticesUntilTheRunningHandlerReturns) {
  MidiDispatcher dispatcher;
  std::vector<std::string> trace;
  int depth = 0;
  std::uint64_t window = 0;
  window = dispatcher.CreateWindow([&](const MidiNotice& n) {
    ++depth;
    trace.push_back("enter " + std::to_string(n.lParam) + " depth " + std::to_string(depth));
    if (n.lParam == 1) {
      dispatcher.Post(window, MIM_DATA, 0, 2);
      dispatcher.Post(window, MIM_DATA, 0, 3);
      EXPECT_EQ(dispatcher.Dispatch(), 0u);
      EXPECT_EQ(dispatcher.WaitAndDispatch(std::chrono::milliseconds(0)), 0u);
    }
    trace.push_back("leave " + std::to_string(n.lParam));
    --depth;
  });
  dispatcher.Post(window, MIM_DATA, 0, 1);
  EXPECT_EQ(dispatcher.Dispatch(), 3u);
  EXPECT_EQ(trace, (std::vector<std::string>{"enter 1 depth 1", "leave 1", "enter 2 depth 1",
                                             "leave 2", "enter 3 depth 1", "leave 3"}));
}

TEST(MidiDispatcher, AThrowingHandlerLeavesTheRestForTheNextDispatchAndRewakes) {
  MidiDispatcher dispatcher;
  std::vector<std::uintptr_t> seen;
  const auto window = dispatcher.CreateWindow([&](const MidiNotice& n) {
    seen.push_back(n.lParam);
    if (n.lParam == 0) throw std::runtime_error("handler failed");
  });
  dispatcher.Post(window, MIM_DATA, 0, 0);
  dispatcher.Post(window, MIM_DATA, 0, 1);
  EXPECT_THROW(dispatcher.Dispatch(), std::runtime_error);
  EXPECT_TRUE(Readable(dispatcher.WakeFd()));
  EXPECT_EQ(dispatcher.Dispatch(), 1u);
  EXPECT_EQ(seen, (std::vector<std::uintptr_t>{0, 1}));
}

}  // namespace
}  // namespace quorle
