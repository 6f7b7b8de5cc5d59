#pragma once

#include <chrono>
#include <cstdint>

#include "protocol/MessageSet.h"

namespace quorle::test {

inline constexpr std::chrono::milliseconds kPatience{30000};  // the machine is shared and slow

// A well-formed SysEx message of `size` bytes whose content depends on `seed`.
inline Bytes Sysex(std::size_t size, unsigned seed = 0) {
  Bytes message(size);
  message.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < size; ++i) {
    message[i] = static_cast<std::uint8_t>((i * 7 + seed * 13 + seed / 128) & 0x7F);
  }
  message.back() = 0xF7;
  return message;
}

}  // namespace quorle::test
