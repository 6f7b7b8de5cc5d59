#include "midi/MidiMessageStore.h"

#include <cstring>

namespace quorle {

MidiMessageStore::MidiMessageStore(std::size_t capacity)
    : capacity_(Words(capacity < 8 ? 8 : capacity)), bytes_(new std::uint8_t[capacity_]) {
  // Touched now, so the MIDI thread never meets a page fault on first use.
  std::memset(bytes_.get(), 0, capacity_);
}

bool MidiMessageStore::Put(ByteView message) noexcept {
  const std::size_t need = 4 + Words(message.size());
  std::size_t tail = tail_.load(std::memory_order_relaxed);
  const std::size_t head = head_.load(std::memory_order_acquire);
  const std::size_t at = tail % capacity_;
  const std::size_t skip = at + need > capacity_ ? capacity_ - at : 0;
  if (need > capacity_ || tail + skip + need - head > capacity_) return false;
  if (skip > 0) {
    std::memcpy(bytes_.get() + at, &kWrap, 4);
    tail += skip;
  }
  const auto size = static_cast<std::uint32_t>(message.size());
  std::uint8_t* slot = bytes_.get() + tail % capacity_;
  std::memcpy(slot, &size, 4);
  if (size > 0) std::memcpy(slot + 4, message.data(), size);
  tail_.store(tail + need, std::memory_order_release);
  return true;
}

bool MidiMessageStore::Front(ByteView& message) noexcept {
  std::size_t head = head_.load(std::memory_order_relaxed);
  const std::size_t tail = tail_.load(std::memory_order_acquire);
  if (head == tail) return false;
  std::uint32_t size;
  std::memcpy(&size, bytes_.get() + head % capacity_, 4);
  if (size == kWrap) {
    head += capacity_ - head % capacity_;
    head_.store(head, std::memory_order_release);
    if (head == tail) return false;
    std::memcpy(&size, bytes_.get(), 4);
  }
  message = ByteView(bytes_.get() + head % capacity_ + 4, size);
  return true;
}

void MidiMessageStore::Drop() noexcept {
  ByteView message;
  if (!Front(message)) return;
  const std::size_t head = head_.load(std::memory_order_relaxed);
  head_.store(head + 4 + Words(message.size()), std::memory_order_release);
}

void MidiMessageStore::Clear() noexcept {
  head_.store(tail_.load(std::memory_order_acquire), std::memory_order_release);
}

}  // namespace quorle
