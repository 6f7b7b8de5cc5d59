#include "midi/TMidiEventRing.h"

#include <new>

namespace quorle {

std::unique_ptr<TMidiEventRing> TMidiEventRing::Create(std::uint16_t capacity) noexcept {
  if (capacity == 0 || capacity > kMaxCapacity) return nullptr;
  std::unique_ptr<TMidiRingItem[]> items(new (std::nothrow) TMidiRingItem[capacity]());
  if (!items) return nullptr;
  std::unique_ptr<TMidiEventRing> ring(new (std::nothrow)
                                           TMidiEventRing(std::move(items), capacity));
  return ring;
}

TMidiEventRing::TMidiEventRing(std::unique_ptr<TMidiRingItem[]> items,
                               std::uint16_t capacity) noexcept
    : items_(std::move(items)),
      start_(items_.get()),
      end_(items_.get() + capacity),
      nextWrite_(start_),
      nextRead_(start_),
      capacity_(capacity) {}

bool TMidiEventRing::Put(const TMidiRingItem& item) noexcept {
  // Acquire pairs with Remove's release: the consumer is done with a slot before it is reused.
  if (count_.load(std::memory_order_acquire) >= capacity_) return false;
  *nextWrite_ = item;
  if (++nextWrite_ == end_) nextWrite_ = start_;
  count_.fetch_add(1, std::memory_order_release);
  return true;
}

bool TMidiEventRing::Peek(TMidiRingItem& item) const noexcept {
  if (count_.load(std::memory_order_acquire) == 0) return false;
  item = *nextRead_;
  return true;
}

bool TMidiEventRing::Remove() noexcept {
  if (count_.load(std::memory_order_acquire) == 0) return false;
  if (++nextRead_ == end_) nextRead_ = start_;
  count_.fetch_sub(1, std::memory_order_release);
  return true;
}

}  // namespace quorle
