#include "sim/SimSender.h"

namespace quorle {

SimSender::SimSender(Sink sink, unsigned bytesPerSecond, Handover handover)
    : sink_(std::move(sink)),
      handover_(handover),
      pacer_(bytesPerSecond),
      thread_([this] { Run(); }) {}

SimSender::~SimSender() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SimSender::Enqueue(std::vector<ScheduledMessage> messages) {
  if (messages.empty()) return;
  {
    std::lock_guard lock(mutex_);
    for (auto& m : messages) queue_.push_back(std::move(m));
  }
  wake_.notify_all();
}

void SimSender::Clear() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    ++generation_;
    pacer_.Reset();
  }
  wake_.notify_all();
  idle_.notify_all();
}

void SimSender::SetRate(unsigned bytesPerSecond) {
  std::lock_guard lock(mutex_);
  pacer_.SetRate(bytesPerSecond);
}

bool SimSender::WaitUntilIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return stop_ || (queue_.empty() && !busy_); });
}

std::uint64_t SimSender::SentCount() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void SimSender::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) break;

    busy_ = true;
    const std::uint64_t generation = generation_;
    const std::size_t size = queue_.front().message.size();
    auto due = pacer_.Schedule(SimPacer::Clock::now(), size, queue_.front().pauseBefore);
    if (handover_ == Handover::WhenStarted) due -= pacer_.TransferTime(size);
    // Waits out the line; a Clear() or the stop ends the wait early.
    wake_.wait_until(lock, due, [&] { return stop_ || generation_ != generation; });
    if (stop_) break;
    if (generation_ != generation) {
      busy_ = false;
      continue;
    }
    Bytes message = std::move(queue_.front().message);
    queue_.pop_front();

    lock.unlock();
    sink_(std::move(message));
    lock.lock();

    ++sent_;
    busy_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
  busy_ = false;
  idle_.notify_all();
}

}  // namespace quorle
