#include "sim/SimContent.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/Pack.h"

namespace quorle {
namespace {

Bytes Unpacked(const DumpKind& kind, const Bytes& dump) {
  Bytes data(kMaxDumpSize, 0);
  Unpack(ByteView(dump).subspan(kPayloadOffset, kind.packedSize), data, kind.packedSize);
  data.resize(kind.dataSize);
  return data;
}

TEST(SimContent, DumpsAreWellFormedAndAddressed) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    for (int entry : {0, 1, 77, 127}) {
      const Bytes dump = SeededDump(*kind, 9, 3, entry, 2, 5);
      ASSERT_TRUE(CheckDumpFraming(*kind, dump)) << kind->name << " " << entry;
      EXPECT_EQ(dump[6], 3);
      EXPECT_EQ(dump[7], entry);
      const Bytes data = Unpacked(*kind, dump);
      const std::uint8_t* version = kind == &kProgramKind ? kProgramVersion : kMixVersion;
      EXPECT_EQ(data[0], version[0]);
      EXPECT_EQ(data[1], 0x0A);
      EXPECT_EQ(data[kind->cardProgramBanksOffset], 2);
      EXPECT_EQ(data[kind->cardMixBanksOffset], 5);
      // Every byte value, bit 7 included, is in the data.
      EXPECT_EQ(std::set<std::uint8_t>(data.begin(), data.end()).size(), 256u);
      EXPECT_TRUE(IsValidNameText(ReadName(data)));
    }
  }
}

TEST(SimContent, SameSeedSameContentOtherSeedOtherContent) {
  EXPECT_EQ(SeededDump(kProgramKind, 5, 0, 10, 2, 2), SeededDump(kProgramKind, 5, 0, 10, 2, 2));
  EXPECT_NE(SeededDump(kProgramKind, 5, 0, 10, 2, 2), SeededDump(kProgramKind, 6, 0, 10, 2, 2));
  EXPECT_NE(SeededDump(kProgramKind, 5, 0, 10, 2, 2), SeededDump(kProgramKind, 5, 1, 10, 2, 2));
  EXPECT_NE(SeededDump(kMixKind, 5, 0, 10, 2, 2), SeededDump(kMixKind, 5, 0, 11, 2, 2));
  EXPECT_EQ(SeededGlobalDump(5), SeededGlobalDump(5));
  EXPECT_NE(SeededGlobalDump(5), SeededGlobalDump(6));
  EXPECT_EQ(SeededName(kMixKind, 5, 2, 9),
            ReadName(Unpacked(kMixKind, SeededDump(kMixKind, 5, 2, 9, 0, 0))));
}

TEST(SimContent, EveryBankHoldsTheAwkwardNames) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    bool runOfBlanks = false, leadingBlank = false, trailingBlank = false, full = false,
         colon = false, slash = false, otherForbidden = false;
    std::set<std::string> names;
    for (int entry = 0; entry < 128; ++entry) {
      const std::string name = SeededName(*kind, 1, 0, entry);
      ASSERT_EQ(name.size(), 16u);
      names.insert(name);
      const auto inner = name.substr(0, name.find_last_not_of(' ') + 1);
      runOfBlanks |= inner.find("  ", 1) != std::string::npos && inner[0] != ' ';
      leadingBlank |= name[0] == ' ';
      trailingBlank |= name.back() == ' ';
      full |= name.find(' ') == std::string::npos;
      colon |= name.find(':') != std::string::npos;
      slash |= name.find('/') != std::string::npos;
      for (char c : name) otherForbidden |= IsForbiddenInFileName(c) && c != ':' && c != '/';
    }
    EXPECT_TRUE(runOfBlanks && leadingBlank && trailingBlank && full && colon && slash &&
                otherForbidden)
        << kind->name;
    EXPECT_GT(names.size(), 100u) << "names should vary";
  }
}

TEST(SimContent, GlobalDataIsOneMessageOfEveryDataValue) {
  const Bytes global = SeededGlobalDump(3);
  ASSERT_EQ(global.size(), 18183u);
  EXPECT_TRUE(CheckGlobalFraming(global));
  EXPECT_EQ(global[5], kGlobalOpcode);
  EXPECT_EQ(std::set<std::uint8_t>(global.begin() + 6, global.end() - 1).size(), 128u);
}

TEST(SimContent, CardCountsAreRewrittenOnlyWhenTheyDiffer) {
  Bytes dump = SeededDump(kMixKind, 1, 0, 4, 2, 2);
  // Bits of the last packed byte that stand for no data survive when nothing changes.
  dump[kPayloadOffset + kMixKind.packedSize - 1] |= 0x40;
  const Bytes before = dump;
  ReportCardBanks(kMixKind, dump, 2, 2);
  EXPECT_EQ(dump, before);
  ReportCardBanks(kMixKind, dump, 7, 0);
  const Bytes data = Unpacked(kMixKind, dump);
  EXPECT_EQ(data[848], 7);
  EXPECT_EQ(data[849], 0);
  EXPECT_EQ(ReadName(data), SeededName(kMixKind, 1, 0, 4));
  EXPECT_TRUE(CheckDumpFraming(kMixKind, dump));
}

}  // namespace
}  // namespace quorle
