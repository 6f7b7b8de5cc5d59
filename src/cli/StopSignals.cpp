#include "cli/StopSignals.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace quorle {

std::atomic<int> StopSignals::taken_{0};

StopSignals::StopSignals(MidiDispatcher& dispatcher)
    : dispatcher_(dispatcher), window_(dispatcher.CreateWindow([](const MidiNotice&) {})) {
  taken_ = 0;
  sigemptyset(&signals_);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals_, s);
  pthread_sigmask(SIG_BLOCK, &signals_, &oldMask_);
  watch_ = std::thread([this] {
    // A short wait in a loop, so the thread can be told to end without a signal of its own.
    const timespec pause{0, 100'000'000};
    while (!stopping_.load()) {
      const int s = sigtimedwait(&signals_, nullptr, &pause);
      if (s <= 0) continue;
      int none = 0;
      // The first signal decides how the process ends; a second one changes nothing.
      if (taken_.compare_exchange_strong(none, s)) dispatcher_.Post(window_, 0, 0, 0);
    }
  });
}

StopSignals::~StopSignals() {
  stopping_ = true;
  watch_.join();
  dispatcher_.DestroyWindow(window_);
  // A signal that comes after this ends the process as it always did.
  pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
}

int StopSignalOfStatus(int status) {
  const int signal = status - 128;
  return signal == SIGINT || signal == SIGTERM || signal == SIGHUP ? signal : 0;
}

}  // namespace quorle
