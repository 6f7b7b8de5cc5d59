#include "midi/MidiNoticeQueue.h"

namespace quorle {

MidiNoticeQueue::MidiNoticeQueue(std::size_t capacity) {
  std::size_t size = 2;
  while (size < capacity) size <<= 1;
  cells_.reset(new Cell[size]);
  for (std::size_t i = 0; i < size; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
  mask_ = size - 1;
}

bool MidiNoticeQueue::Push(const MidiNotice& notice) noexcept {
  std::size_t pos = enqueue_.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = cells_[pos & mask_];
    const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
    const auto diff = static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos);
    if (diff == 0) {
      if (enqueue_.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        cell.notice = notice;
        cell.sequence.store(pos + 1, std::memory_order_release);
        return true;
      }
    } else if (diff < 0) {
      return false;
    } else {
      pos = enqueue_.load(std::memory_order_relaxed);
    }
  }
}

bool MidiNoticeQueue::Pop(MidiNotice& notice) noexcept {
  const std::size_t pos = dequeue_.load(std::memory_order_relaxed);
  Cell& cell = cells_[pos & mask_];
  const std::size_t seq = cell.sequence.load(std::memory_order_acquire);
  if (static_cast<std::ptrdiff_t>(seq) - static_cast<std::ptrdiff_t>(pos + 1) < 0) return false;
  notice = cell.notice;
  dequeue_.store(pos + 1, std::memory_order_relaxed);
  cell.sequence.store(pos + mask_ + 1, std::memory_order_release);
  return true;
}

}  // namespace quorle
