#include "protocol/Pack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace quorle {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Lt;

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen());
  return v;
}

// A block in the middle of a longer stream, so the block arithmetic is exercised at k > 0.
TEST(Pack, WorkedExampleBlocksInsideALongerStream) {
  std::vector<std::uint8_t> data(21, 0);
  const std::uint8_t ascii[7] = {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47};
  const std::uint8_t high[7] = {0x80, 0xFF, 0x01, 0x7F, 0xAA, 0x55, 0xC3};
  std::copy(std::begin(ascii), std::end(ascii), data.begin() + 7);
  std::copy(std::begin(high), std::end(high), data.begin() + 14);

  std::array<std::uint8_t, 24> packed{};
  ASSERT_EQ(Pack(data, packed, data.size()), 24u);
  EXPECT_THAT(std::vector(packed.begin() + 8, packed.begin() + 16),
              ElementsAre(0x41, 0x04, 0x0D, 0x22, 0x54, 0x48, 0x51, 0x23));
  EXPECT_THAT(std::vector(packed.begin() + 16, packed.end()),
              ElementsAre(0x00, 0x7F, 0x07, 0x78, 0x27, 0x35, 0x55, 0x61));

  std::array<std::uint8_t, 21> back{};
  ASSERT_EQ(Unpack(packed, back, packed.size()), 21u);
  EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
}

TEST(Pack, ProgramAndMixSizesRoundTripWithEveryByteValue) {
  for (const auto& [dataLen, packedLen] : {std::pair<std::size_t, std::size_t>{2048, 2341},
                                           std::pair<std::size_t, std::size_t>{1024, 1171}}) {
    auto data = RandomBytes(dataLen, 7);
    for (std::size_t i = 0; i < 256; ++i) data[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, 2350> packed{};
    std::array<std::uint8_t, 2350> back{};
    ASSERT_EQ(Pack(data, packed, dataLen), packedLen);
    EXPECT_THAT(std::vector(packed.begin(), packed.begin() + packedLen), Each(Lt(0x80)));
    ASSERT_EQ(Unpack(packed, back, packedLen), dataLen);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin())) << dataLen;
  }
}

TEST(Pack, UnusedBitsOfTheLastPackedByteAreZeroWhateverFollowsTheData) {
  // The work buffer beyond the data holds garbage; it must not leak into the packed form.
  std::vector<std::uint8_t> buffer(2350, 0xFF);
  std::array<std::uint8_t, 2350> packed{};
  ASSERT_EQ(Pack(buffer, packed, 2048), 2341u);
  EXPECT_EQ(packed[2340], 0x0F);  // bits 4 to 7 of data byte 2047, nothing above
  ASSERT_EQ(Pack(buffer, packed, 1024), 1171u);
  EXPECT_EQ(packed[1170], 0x03);  // bits 6 and 7 of data byte 1023
}

TEST(Pack, LengthRuleForOtherLengths) {
  EXPECT_EQ(PackedLength(1), 2u);
  EXPECT_EQ(PackedLength(7), 8u);
  EXPECT_EQ(PackedLength(8), 10u);
  EXPECT_EQ(PackedLength(2056), 2350u);
  EXPECT_EQ(UnpackedLength(2), 1u);
  EXPECT_EQ(UnpackedLength(8), 7u);
  EXPECT_EQ(UnpackedLength(2350), 2056u);
  for (std::size_t n = 1; n < 60; ++n) {
    if (n % 7 == 0) continue;
    EXPECT_EQ(UnpackedLength(PackedLength(n)), n) << n;
  }
}

TEST(Pack, NeverReadsOrWritesOutsideItsBuffers) {
  // Exact-size vectors: AddressSanitizer reports any access beyond them.
  const auto data = RandomBytes(2056, 3);
  std::vector<std::uint8_t> packed(2350);
  EXPECT_EQ(Pack(data, packed, 100000), 2350u);
  std::vector<std::uint8_t> small(10);
  EXPECT_LE(Pack(data, small, 2048), 10u);
  std::vector<std::uint8_t> unpacked(2056);
  EXPECT_EQ(Unpack(packed, unpacked, 100000), 2056u);
  std::vector<std::uint8_t> tiny(3);
  EXPECT_EQ(Unpack(packed, tiny, 2341), 3u);
  EXPECT_EQ(Pack({}, packed, 5), 0u);
  EXPECT_EQ(Unpack({}, unpacked, 5), 0u);
}

}  // namespace
}  // namespace quorle
