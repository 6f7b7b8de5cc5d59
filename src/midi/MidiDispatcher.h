#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
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
// handler has returned, so no handler is ever re-entered.
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

 private:
  void Signal() noexcept;
  void DrainWake() noexcept;

  MidiNoticeQueue queue_;
  int readFd_ = -1;
  int writeFd_ = -1;
  std::atomic<std::size_t> lost_{0};
  std::uint64_t nextWindow_ = 1;
  std::unordered_map<std::uint64_t, std::shared_ptr<WindowProc>> windows_;
  std::deque<MidiNotice> held_;
  int depth_ = 0;
};

}  // namespace quorle
