#include "protocol/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace quorle {

namespace {

// Only an allocation failure inside libcrypto makes these calls fail.
void Check(int ok) {
  if (ok != 1) throw std::runtime_error("SHA-256 could not be computed");
}

}  // namespace

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::bad_alloc();
  if (EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(context_);
    throw std::runtime_error("SHA-256 could not be computed");
  }
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(context_);
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  Check(EVP_DigestUpdate(context_, bytes.data(), bytes.size()));
}

Sha256::Digest Sha256::Finish() {
  Digest digest;
  Check(EVP_DigestFinal_ex(context_, digest.data(), nullptr));
  return digest;
}

Sha256::Digest Sha256::Of(std::span<const std::uint8_t> bytes) {
  Digest digest;
  Check(EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr));
  return digest;
}

std::string Sha256::Hex(std::span<const std::uint8_t> bytes) {
  return ToHex(Of(bytes));
}

std::string Sha256::ToHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

}  // namespace quorle
