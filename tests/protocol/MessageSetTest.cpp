#include "protocol/MessageSet.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace quorle {
namespace {

using ::testing::ElementsAre;

TEST(MessageSet, RequestsAreBuiltByteForByte) {
  EXPECT_THAT(DumpRequest(kProgramKind, 3, 127),
              ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x01, 0x03, 0x7F, 0xF7));
  EXPECT_THAT(DumpRequest(kMixKind, 2, 5),
              ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x05, 0x02, 0x05, 0xF7));
  EXPECT_THAT(BankDumpRequest(kProgramKind, 16),
              ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x0A, 0x10, 0xF7));
  EXPECT_THAT(BankDumpRequest(kMixKind, 0),
              ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x0B, 0x00, 0xF7));
  EXPECT_THAT(GlobalDumpRequest(), ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x09, 0x00, 0xF7));
  EXPECT_THAT(IdentityRequest(), ElementsAre(0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7));
}

TEST(MessageSet, DumpHeaderChecksOnlyModelAndOpcode) {
  Bytes dump(2350, 0);
  dump[4] = 0x1D;
  dump[5] = 0x00;
  EXPECT_TRUE(CheckDumpHeader(dump, 0x00));
  EXPECT_FALSE(CheckDumpHeader(dump, 0x04));
  dump[1] = 0x47;  // another maker's identifier is not examined
  EXPECT_TRUE(CheckDumpHeader(dump, 0x00));
  dump[4] = 0x1C;
  EXPECT_FALSE(CheckDumpHeader(dump, 0x00));
  EXPECT_FALSE(CheckDumpHeader(ByteView(dump).first(5), 0x00));
}

TEST(MessageSet, IdentityReplyVersionIsReadAsCharacters) {
  Bytes reply = IdentityReply("2.05", 0x10);
  ASSERT_EQ(reply.size(), 17u);
  Identity id = RecogniseIdentityReply(reply);
  EXPECT_EQ(id.result, IdentityResult::Andromeda);
  EXPECT_EQ(id.version, "2.05");

  reply[12] = 0x7F;  // skipped
  reply[13] = 0x31;
  reply[14] = 0x32;
  reply[15] = 0x33;
  EXPECT_EQ(RecogniseIdentityReply(reply).version, "1.23");

  Bytes other = reply;
  other[7] = 0x0F;  // another maker
  EXPECT_EQ(RecogniseIdentityReply(other).result, IdentityResult::NotAndromeda);
  other = reply;
  other[11] = 0x01;  // another member of the family
  EXPECT_EQ(RecogniseIdentityReply(other).result, IdentityResult::NotAndromeda);
  other = reply;
  other.push_back(0xF7);
  EXPECT_EQ(RecogniseIdentityReply(other).result, IdentityResult::WrongLength);
}

TEST(MessageSet, FramingCheckRefusesAnythingThatWouldCorruptTheWire) {
  std::vector<std::uint8_t> data(2048);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37);
  const Bytes good = BuildDump(kProgramKind, 0, 12, data);
  ASSERT_TRUE(CheckDumpFraming(kProgramKind, good));
  EXPECT_FALSE(CheckDumpFraming(kMixKind, good));

  auto broken = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return CheckDumpFraming(kProgramKind, b);
  };
  EXPECT_FALSE(broken(0, 0x00));     // no F0
  EXPECT_FALSE(broken(2349, 0x00));  // no F7 at the end
  EXPECT_FALSE(broken(1000, 0xF7));  // F7 inside
  EXPECT_FALSE(broken(1000, 0x80));  // a byte with bit 7 inside
  EXPECT_FALSE(broken(3, 0x0F));     // another maker
  EXPECT_FALSE(broken(5, 0x04));     // another opcode
  EXPECT_FALSE(CheckDumpFraming(kProgramKind, ByteView(good).first(2349)));

  Bytes global(kGlobalDumpSize, 0x11);
  std::copy(std::begin(kGlobalHeader), std::end(kGlobalHeader), global.begin());
  global.back() = 0xF7;
  EXPECT_TRUE(CheckGlobalFraming(global));
  global[9000] = 0xF0;
  EXPECT_FALSE(CheckGlobalFraming(global));
}

TEST(MessageSet, BuiltDumpCarriesAddressAndPackedData) {
  std::vector<std::uint8_t> data(1024, 0xAA);
  const Bytes dump = BuildDump(kMixKind, 2, 99, data);
  ASSERT_EQ(dump.size(), 1180u);
  EXPECT_THAT(std::vector(dump.begin(), dump.begin() + 8),
              ElementsAre(0xF0, 0x00, 0x00, 0x0E, 0x1D, 0x04, 0x02, 99));
  EXPECT_EQ(dump.back(), 0xF7);
  EXPECT_TRUE(CheckDumpFraming(kMixKind, dump));
}

}  // namespace
}  // namespace quorle
