#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quorle {

// SHA-256 (FIPS 180-4), enough to tell whether a backed-up file is still the one that was saved.
class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  // The digest; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

  // The digest of bytes as 64 lower-case hexadecimal digits.
  static std::string Hex(std::span<const std::uint8_t> bytes);

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes so far
};

}  // namespace quorle
