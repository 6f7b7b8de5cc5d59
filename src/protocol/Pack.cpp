#include "protocol/Pack.h"

#include <algorithm>

namespace quorle {

std::size_t Pack(std::span<const std::uint8_t> data, std::span<std::uint8_t> packed,
                 std::size_t n) {
  n = std::min(n, data.size());
  // Largest data length whose packed form still fits the destination.
  while (n > 0 && PackedLength(n) > packed.size()) --n;
  const std::size_t out = PackedLength(n);
  // Bits beyond the last data byte read as 0, so the unused top of the last byte is 0.
  auto at = [&](std::size_t i) -> unsigned { return i < n ? data[i] : 0u; };
  for (std::size_t i = 0; i < out; ++i) {
    const std::size_t j = i / 8;
    const unsigned t = i % 8;
    unsigned v;
    if (t == 0) {
      v = at(i - j);
    } else {
      v = (at(i - j - 1) >> (8 - t)) | (at(i - j) << t);
    }
    packed[i] = static_cast<std::uint8_t>(v & 0x7F);
  }
  return out;
}

std::size_t Unpack(std::span<const std::uint8_t> packed, std::span<std::uint8_t> data,
                   std::size_t n) {
  n = std::min(n, packed.size());
  std::size_t out = UnpackedLength(n);
  out = std::min(out, data.size());
  auto at = [&](std::size_t i) -> unsigned { return i < n ? packed[i] : 0u; };
  std::size_t i = 0;
  // Whole groups at once, eight packed bytes to seven data bytes; the same bits as below.
  for (; i + 7 <= out && i / 7 * 8 + 8 <= n; i += 7) {
    const std::uint8_t* group = packed.data() + i / 7 * 8;
    std::uint64_t bits = 0;
    for (unsigned k = 0; k < 8; ++k) bits |= std::uint64_t{group[k]} << (7 * k);
    for (unsigned m = 0; m < 7; ++m) data[i + m] = static_cast<std::uint8_t>(bits >> (8 * m));
  }
  for (; i < out; ++i) {
    const std::size_t j = i / 7;
    const unsigned s = i % 7;
    const unsigned low = at(i + j) >> s;
    const unsigned high = (at(i + j + 1) << (7 - s)) & 0xFF;
    data[i] = static_cast<std::uint8_t>(low | high);
  }
  return out;
}

}  // namespace quorle
