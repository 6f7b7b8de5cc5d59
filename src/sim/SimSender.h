#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/MessageSet.h"
#include "sim/SimPacer.h"

namespace quorle {

// One message the simulated instrument is to send, and the pause it leaves before it.
struct ScheduledMessage {
  Bytes message;
  std::chrono::milliseconds pauseBefore{0};
};

// Sends the simulated instrument's messages on a thread of its own, in order, paced like a MIDI
// line: a message starts once the line is free and its pause is over, and occupies the line for
// as long as its bytes take at the rate.
class SimSender {
 public:
  using Sink = std::function<void(Bytes)>;  // runs on the sender's thread
  enum class Handover {
    WhenArrived,  // the sink gets each message once its last byte has crossed the line
    WhenStarted,  // the sink gets it as it starts, for a transport that carries it at the rate
  };

  explicit SimSender(Sink sink, unsigned bytesPerSecond = 0,
                     Handover handover = Handover::WhenArrived);
  // Stops at once; what has not been sent yet is dropped.
  ~SimSender();
  SimSender(const SimSender&) = delete;
  SimSender& operator=(const SimSender&) = delete;

  void Enqueue(std::vector<ScheduledMessage> messages);
  // Drops every message not yet handed to the sink.
  void Clear();
  void SetRate(unsigned bytesPerSecond);

  // Whether everything queued has been handed to the sink within limit.
  bool WaitUntilIdle(std::chrono::milliseconds limit);
  std::uint64_t SentCount() const;

 private:
  void Run();

  Sink sink_;
  const Handover handover_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // new work, a clear or the stop
  std::condition_variable idle_;
  std::deque<ScheduledMessage> queue_;
  SimPacer pacer_;
  std::uint64_t generation_ = 0;  // counts Clear(), so a waiting message knows it was dropped
  std::uint64_t sent_ = 0;
  bool busy_ = false;  // a message is being waited for or handed over
  bool stop_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace quorle
