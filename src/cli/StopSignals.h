#pragma once

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "midi/MidiDispatcher.h"

namespace quorle {

// Ctrl+C, SIGTERM and SIGHUP, while one of these lives, are taken by a thread of its own instead
// of ending the process at once: the thread notes the signal and wakes the dispatcher, so the
// main thread's wait can end the exchange cleanly (an unfinished backup removed) and the process
// then ends by the same signal. Construct it before the command starts any thread: threads
// inherit the blocked signals from the thread that starts them.
class StopSignals {
 public:
  explicit StopSignals(MidiDispatcher& dispatcher);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The stop signal taken since the last StopSignals began, or 0.
  static int Taken() { return taken_.load(); }

 private:
  MidiDispatcher& dispatcher_;
  std::uint64_t window_;
  sigset_t signals_;
  sigset_t oldMask_;
  std::atomic<bool> stopping_{false};
  std::thread watch_;
  static std::atomic<int> taken_;
};

// The wait for the instrument ended by a stop signal, after the exchange was cancelled.
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal) : std::runtime_error("interrupted"), signal(signal) {}
  const int signal;
};

// The stop signal an exit status of quorle-cli stands for (128 + its number), or 0.
int StopSignalOfStatus(int status);

}  // namespace quorle
