#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include "midi/MidiNotice.h"

namespace quorle {

// Bounded queue of notices, many producers and one consumer, lock-free and allocation-free after
// construction (sequence-numbered cells). Order is the order in which Push calls took their cell,
// so the notices of each producer stay in order.
class MidiNoticeQueue {
 public:
  explicit MidiNoticeQueue(std::size_t capacity);  // rounded up to a power of two
  bool Push(const MidiNotice& notice) noexcept;    // false when full
  bool Pop(MidiNotice& notice) noexcept;

 private:
  struct Cell {
    std::atomic<std::size_t> sequence;
    MidiNotice notice;
  };
  std::unique_ptr<Cell[]> cells_;
  std::size_t mask_;
  alignas(64) std::atomic<std::size_t> enqueue_{0};
  alignas(64) std::atomic<std::size_t> dequeue_{0};
};

}  // namespace quorle
