#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "protocol/MessageSet.h"

namespace quorle {

// Whole received messages waiting for a receive buffer, in a byte store set aside in advance.
// One producer thread puts messages in; one consumer at a time takes them out (a consumer that
// hands the role to another thread must publish what it did, as MidiInputDriver's filing token
// does). Only the two positions are shared: each side publishes its own with release ordering
// and reads the other's with acquire, as the event ring does. Put and the consumer's calls never
// block or allocate.
class MidiMessageStore {
 public:
  // capacity in bytes, rounded up to whole 4-byte words; each message takes 4 more.
  explicit MidiMessageStore(std::size_t capacity);

  // Producer. False, and nothing changed, when the message does not fit.
  bool Put(ByteView message) noexcept;

  // Consumer. The oldest message, or false when none waits; it stays until Drop.
  bool Front(ByteView& message) noexcept;
  void Drop() noexcept;
  // Drops everything; only while the producer is idle.
  void Clear() noexcept;

 private:
  static constexpr std::uint32_t kWrap = 0xFFFFFFFFu;  // the rest up to the end is unused
  static std::size_t Words(std::size_t bytes) { return (bytes + 3) / 4 * 4; }

  const std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> bytes_;
  // Bytes ever written and ever dropped; a message never wraps around the end of the store.
  std::atomic<std::size_t> tail_{0};
  std::atomic<std::size_t> head_{0};
};

}  // namespace quorle
