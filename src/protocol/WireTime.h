#pragma once

#include <chrono>
#include <cstddef>

namespace quorle {

// MIDI runs at 31,250 baud, ten bits a byte.
inline constexpr unsigned kWireBytesPerSecond = 3125;

// How long a message of this many bytes takes on the MIDI cable.
constexpr std::chrono::microseconds WireTime(std::size_t bytes,
                                             unsigned bytesPerSecond = kWireBytesPerSecond) {
  return bytesPerSecond == 0
             ? std::chrono::microseconds::zero()
             : std::chrono::microseconds(static_cast<long long>(bytes) * 1000000 / bytesPerSecond);
}

}  // namespace quorle
