#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

struct evp_md_ctx_st;

namespace quorle {

// SHA-256 through OpenSSL's libcrypto: whether a backed-up file is still the one that was saved,
// and the Library's fingerprints.
class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  // The digest; the object is spent afterwards.
  Digest Finish();

  // The digest of bytes in one call.
  static Digest Of(std::span<const std::uint8_t> bytes);
  // The digest of bytes as 64 lower-case hexadecimal digits.
  static std::string Hex(std::span<const std::uint8_t> bytes);
  // Any bytes as lower-case hexadecimal digits, two a byte.
  static std::string ToHex(std::span<const std::uint8_t> bytes);

 private:
  evp_md_ctx_st* context_;
};

}  // namespace quorle
