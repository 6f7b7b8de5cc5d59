#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "midi/TMidiRingItem.h"

namespace quorle {

// Fixed ring of event slots between one producer (the MIDI callback of one open device) and one
// consumer (the port's thread). Only the count is shared: the producer publishes a written slot
// by increasing it with release ordering, the consumer reads it with acquire.
class TMidiEventRing {
 public:
  // Slot storage is bounded by 65,535 bytes at three 32-bit values a slot.
  static constexpr std::size_t kMaxStorageBytes = 65535;
  static constexpr std::size_t kSlotBytes = 12;
  static constexpr std::uint16_t kMaxCapacity = kMaxStorageBytes / kSlotBytes;  // 5461

  // Nothing when the capacity is 0, above kMaxCapacity, or the memory cannot be had.
  static std::unique_ptr<TMidiEventRing> Create(std::uint16_t capacity) noexcept;

  TMidiEventRing(const TMidiEventRing&) = delete;
  TMidiEventRing& operator=(const TMidiEventRing&) = delete;

  // Producer only. False, and nothing changed, when full.
  bool Put(const TMidiRingItem& item) noexcept;
  // Consumer only.
  bool Peek(TMidiRingItem& item) const noexcept;
  bool Remove() noexcept;

  std::uint16_t Count() const noexcept { return count_.load(std::memory_order_acquire); }
  std::uint16_t Capacity() const noexcept { return capacity_; }
  // Slot positions from the start of the storage; only meaningful while the producer is idle.
  std::size_t NextReadIndex() const noexcept {
    return static_cast<std::size_t>(nextRead_ - start_);
  }
  std::size_t NextWriteIndex() const noexcept {
    return static_cast<std::size_t>(nextWrite_ - start_);
  }

 private:
  TMidiEventRing(std::unique_ptr<TMidiRingItem[]> items, std::uint16_t capacity) noexcept;

  std::unique_ptr<TMidiRingItem[]> items_;
  TMidiRingItem* const start_;
  TMidiRingItem* const end_;
  TMidiRingItem* nextWrite_;  // producer's
  TMidiRingItem* nextRead_;   // consumer's
  const std::uint16_t capacity_;
  std::atomic<std::uint16_t> count_{0};
};

}  // namespace quorle
