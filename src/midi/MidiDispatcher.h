#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "midi/MidiNotice.h"
#include "midi/MidiNoticeQueue.h"

namespace quorle {

// Carries notices from the MIDI service's threads to the thread that owns the ports (the main
// thread) and delivers them there, in posting order, to the window they were posted to. Posting
// is lock-free and allocation-free and wakes the owner through a file descriptor that any event
// loop can watch (an eventfd, or a pipe where there is none); the owner then calls Dispatch.
// A notice posted to a window that is gone is dropped. While one notice is being handled, a
// nested Dispatch (from a modal dialog's event loop, say) holds new notices back until the
// handler has returned, so no handler is ever re-entered. Timers run on the owner thread too, from
// Dispatch, under the same rule.
class MidiDispatcher {
 public:
  using WindowProc = std::function<void(const MidiNotice& notice)>;

  explicit MidiDispatcher(std::size_t capacity = 16384);
  ~MidiDispatcher();
  MidiDispatcher(const MidiDispatcher&) = delete;
  MidiDispatcher& operator=(const MidiDispatcher&) = delete;

  // The dispatcher of the application's main thread.
  static MidiDispatcher& Main();

  // Any thread. False, and the notice lost, when the queue is full.
  bool Post(std::uint64_t window, unsigned message, std::uintptr_t wParam,
            std::uintptr_t lParam) noexcept;
  // Readable while notices may be waiting.
  int WakeFd() const { return readFd_; }
  std::size_t Lost() const { return lost_.load(std::memory_order_relaxed); }

  // Owner thread only.
  std::uint64_t CreateWindow(WindowProc proc);
  void DestroyWindow(std::uint64_t window);
  // Delivers every waiting notice and answers how many reached a window.
  std::size_t Dispatch();
  // Waits up to `timeout` for notices, then dispatches them.
  std::size_t WaitAndDispatch(std::chrono::milliseconds timeout);
  // Dispatches until `done` answers true (true) or `limit` has passed (false).
  bool DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  // Owner thread. Runs callback once, from Dispatch, when delay has passed; StopTimer before then
  // cancels it. A timer that falls due while a handler runs waits until it has returned.
  using TimerId = std::uint64_t;
  TimerId StartTimer(std::chrono::milliseconds delay, std::function<void()> callback);
  void StopTimer(TimerId id);

 private:
  using Clock = std::chrono::steady_clock;
  void Signal() noexcept;
  void DrainWake() noexcept;
  // Runs the timers that are due; owner thread, outside any handler.
  std::size_t RunDueTimers();
  // Tells the waker thread the earliest deadline, starting it on first use.
  void WakeAt(Clock::time_point deadline);

  MidiNoticeQueue queue_;
  int readFd_ = -1;
  int writeFd_ = -1;
  std::atomic<std::size_t> lost_{0};
  std::uint64_t nextWindow_ = 1;
  std::unordered_map<std::uint64_t, std::shared_ptr<WindowProc>> windows_;
  std::deque<MidiNotice> held_;
  int depth_ = 0;

  struct Timer {
    TimerId id;
    std::function<void()> callback;
  };
  std::multimap<Clock::time_point, Timer> timers_;
  TimerId nextTimer_ = 1;
  // The waker sleeps until the earliest deadline and then signals the wake-up descriptor, so every
  // event loop that watches it (Qt's included) wakes for timers as it does for notices.
  std::mutex wakerMutex_;
  std::condition_variable wakerChanged_;
  Clock::time_point wakeAt_ = Clock::time_point::max();
  bool stopping_ = false;
  std::thread waker_;
};

}  // namespace quorle
