#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorle {

// Converts between the instrument's 8-bit data and the 7-bit form that SysEx carries: the data
// is one bit stream, least significant bit first, cut into groups of seven bits.

// Number of packed bytes that n data bytes become: n + ceil(n / 7).
constexpr std::size_t PackedLength(std::size_t n) {
  return n + (n + 6) / 7;
}
// Number of data bytes that n packed bytes give back: n - ceil(n / 8).
constexpr std::size_t UnpackedLength(std::size_t n) {
  return n - (n + 7) / 8;
}

// Packs the first n bytes of data into packed and returns the number of packed bytes written.
// Never reads or writes outside the two spans: n is cut to what data holds and to what fits in
// packed. Bits that stand for no data byte are 0.
std::size_t Pack(std::span<const std::uint8_t> data, std::span<std::uint8_t> packed, std::size_t n);

// Unpacks the first n packed bytes into data and returns the number of data bytes written.
// Never reads or writes outside the two spans.
std::size_t Unpack(std::span<const std::uint8_t> packed, std::span<std::uint8_t> data,
                   std::size_t n);

}  // namespace quorle
