#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "protocol/DumpKind.h"

namespace quorle {

// "User", "Preset 1", "Preset", "Card 2": a bank as the instrument's panel names it; empty for a
// bank number the kind does not have.
std::string BankPlace(const DumpKind& kind, int bank);

// "Programs User", "Mixes Card 2": a bank as every status, and its backup file, names it. A bank
// number the kind does not have is "Programs bank 20".
std::string BankName(const DumpKind& kind, int bank);

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
