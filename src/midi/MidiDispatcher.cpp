#include "midi/MidiDispatcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#ifdef __linux__
#include <sys/eventfd.h>
#endif

namespace quorle {

MidiDispatcher::MidiDispatcher(std::size_t capacity) : queue_(capacity) {
#ifdef __linux__
  readFd_ = writeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
#else
  int fds[2];
  if (::pipe(fds) == 0) {
    for (int fd : fds) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
  }
#endif
  if (readFd_ < 0) {
    throw std::runtime_error(std::string("cannot make the MIDI wake-up descriptor: ") +
                             std::strerror(errno));
  }
}

MidiDispatcher::~MidiDispatcher() {
  if (waker_.joinable()) {
    {
      const std::lock_guard lock(wakerMutex_);
      stopping_ = true;
    }
    wakerChanged_.notify_one();
    waker_.join();
  }
  ::close(readFd_);
  if (writeFd_ != readFd_) ::close(writeFd_);
}

MidiDispatcher& MidiDispatcher::Main() {
  static MidiDispatcher dispatcher;
  return dispatcher;
}

bool MidiDispatcher::Post(std::uint64_t window, unsigned message, std::uintptr_t wParam,
                          std::uintptr_t lParam) noexcept {
  if (!queue_.Push({window, message, wParam, lParam})) {
    lost_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  Signal();
  return true;
}

void MidiDispatcher::Signal() noexcept {
  // A full pipe or a saturated counter already reads as "readable": nothing more to do.
#ifdef __linux__
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(writeFd_, &one, sizeof one);
#else
  const char one = 1;
  [[maybe_unused]] ssize_t n = ::write(writeFd_, &one, sizeof one);
#endif
}

void MidiDispatcher::DrainWake() noexcept {
  char buffer[64];
  while (::read(readFd_, buffer, sizeof buffer) > 0) {
  }
}

std::uint64_t MidiDispatcher::CreateWindow(WindowProc proc) {
  const std::uint64_t id = nextWindow_++;
  windows_.emplace(id, std::make_shared<WindowProc>(std::move(proc)));
  return id;
}

void MidiDispatcher::DestroyWindow(std::uint64_t window) {
  windows_.erase(window);
}

std::size_t MidiDispatcher::Dispatch() {
  DrainWake();
  MidiNotice notice;
  while (queue_.Pop(notice)) held_.push_back(notice);
  if (depth_ > 0) return 0;  // the running handler's Dispatch delivers them once it returns

  struct Depth {
    MidiDispatcher& d;
    explicit Depth(MidiDispatcher& dispatcher) : d(dispatcher) { ++d.depth_; }
    ~Depth() {
      // A handler that threw leaves the rest for the next Dispatch: wake the loop again.
      if (--d.depth_ == 0 && !d.held_.empty()) d.Signal();
    }
  } depth(*this);

  std::size_t delivered = 0;
  while (!held_.empty()) {
    notice = held_.front();
    held_.pop_front();
    auto it = windows_.find(notice.window);
    if (it == windows_.end()) continue;
    const std::shared_ptr<WindowProc> proc = it->second;  // survives DestroyWindow in the handler
    ++delivered;
    (*proc)(notice);
  }
  return delivered + RunDueTimers();
}

std::size_t MidiDispatcher::RunDueTimers() {
  std::size_t ran = 0;
  const auto now = Clock::now();
  while (!timers_.empty() && timers_.begin()->first <= now) {
    const std::function<void()> callback = std::move(timers_.begin()->second.callback);
    timers_.erase(timers_.begin());
    ++ran;
    callback();
  }
  if (!timers_.empty()) WakeAt(timers_.begin()->first);
  return ran;
}

MidiDispatcher::TimerId MidiDispatcher::StartTimer(std::chrono::milliseconds delay,
                                                   std::function<void()> callback) {
  const TimerId id = nextTimer_++;
  const auto deadline = Clock::now() + std::max(delay, std::chrono::milliseconds(0));
  timers_.emplace(deadline, Timer{id, std::move(callback)});
  WakeAt(timers_.begin()->first);
  return id;
}

void MidiDispatcher::StopTimer(TimerId id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.id == id) {
      timers_.erase(it);
      return;
    }
  }
}

void MidiDispatcher::WakeAt(Clock::time_point deadline) {
  {
    const std::lock_guard lock(wakerMutex_);
    if (deadline >= wakeAt_) return;
    wakeAt_ = deadline;
    if (!waker_.joinable()) {
      waker_ = std::thread([this] {
        std::unique_lock lock(wakerMutex_);
        while (!stopping_) {
          if (wakeAt_ == Clock::time_point::max()) {
            wakerChanged_.wait(lock);
          } else if (wakerChanged_.wait_until(lock, wakeAt_) == std::cv_status::timeout &&
                     Clock::now() >= wakeAt_) {
            wakeAt_ = Clock::time_point::max();
            Signal();
          }
        }
      });
      return;
    }
  }
  wakerChanged_.notify_one();
}

std::size_t MidiDispatcher::WaitAndDispatch(std::chrono::milliseconds timeout) {
  if (!timers_.empty()) {
    const auto due =
        std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first - Clock::now());
    timeout = std::min(timeout, std::max(due, std::chrono::milliseconds(0)));
  }
  if (held_.empty()) {
    pollfd fd{readFd_, POLLIN, 0};
    const int ms = static_cast<int>(std::max<std::int64_t>(0, timeout.count()));
    ::poll(&fd, 1, ms);
  }
  return Dispatch();
}

bool MidiDispatcher::DispatchUntil(const std::function<bool()>& done,
                                   std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  for (;;) {
    Dispatch();
    if (done()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    WaitAndDispatch(std::min(left, std::chrono::milliseconds(50)));
    if (done()) return true;
  }
}

}  // namespace quorle
