#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/Pack.h"

namespace quorle {
namespace {

TEST(SplitFileName, NamesAsAReceivedBankWouldProduce) {
  EXPECT_EQ(SplitFileName(kProgramKind, 0, "Init Program    "), "PRG000 Init Program.syx");
  EXPECT_EQ(SplitFileName(kProgramKind, 5, "Bass: Deep/Sub  "), "PRG005 Bass DeepSub.syx");
  EXPECT_EQ(SplitFileName(kProgramKind, 7, "                "), "PRG007 .syx");
  EXPECT_EQ(SplitFileName(kMixKind, 127, "ABCDEFGHIJKLMNOP"), "MIX127 ABCDEFGHIJKLMNOP.syx");
  EXPECT_EQ(SplitFileName(kProgramKind, 3, "Big  Pad        "), "PRG003 Big Pad.syx");
  // A blank after a dropped character is kept: the name byte before it was no blank, so
  // "a * b" keeps two blanks where the asterisk stood.
  EXPECT_EQ(SplitFileName(kMixKind, 12, "a * b?<>|\"\\  end"), "MIX012 a  b end.syx");
  EXPECT_EQ(SplitFileName(kProgramKind, 1, std::string("Nul\0Name        ", 16)),
            "PRG001 NulName.syx");
  // Control bytes and bytes of 80 hex and up are valid nowhere, or valid only on some systems.
  EXPECT_EQ(SplitFileName(kMixKind, 9, "Caf\xE9\x01 \x7F\x1F Au\x80\xFF\tx  "),
            "MIX009 Caf  Aux.syx");
}

TEST(ProposedFileName, DropsForbiddenCharactersAndKeepsEveryBlank) {
  EXPECT_EQ(ProposedFileName("Bass: Deep/Sub  "), "Bass DeepSub  ");
  EXPECT_EQ(ProposedFileName(" *?\"<>|\\/:Lead  "), " Lead  ");
  EXPECT_EQ(ProposedFileName(std::string("A\0B", 3)), "AB");
}

TEST(DumpName, RenameChangesOnlyTheNameAndKeepsEveryOtherByte) {
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    std::vector<std::uint8_t> data(kind->dataSize);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 151 + 3);
    WriteName(data, "Old: Name/1");
    Bytes dump = BuildDump(*kind, 3, 77, data);
    dump[1] = 0x01;  // bytes outside the payload are kept as they are, even odd ones

    EXPECT_EQ(DumpName(*kind, dump), "Old: Name/1     ");
    const Bytes same = RenameDump(*kind, dump, DumpName(*kind, dump));
    EXPECT_EQ(same, dump) << kind->name;

    const Bytes renamed = RenameDump(*kind, dump, "New");
    EXPECT_EQ(DumpName(*kind, renamed), "New             ");
    std::vector<std::uint8_t> back(kind->dataSize);
    Unpack(ByteView(renamed).subspan(8, kind->packedSize), back, kind->packedSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (i < 2 || i > 17) {
        ASSERT_EQ(back[i], data[i]) << kind->name << " byte " << i;
      }
    }
    EXPECT_TRUE(std::equal(renamed.begin(), renamed.begin() + 8, dump.begin()));
    EXPECT_EQ(renamed.back(), 0xF7);
  }
}

TEST(DumpName, NameTextRules) {
  EXPECT_EQ(PadName(""), std::string(16, ' '));
  EXPECT_EQ(PadName("ABCDEFGHIJKLMNOP"), "ABCDEFGHIJKLMNOP");
  EXPECT_TRUE(IsValidNameText("Pad ~ 1/2: \"x\""));
  EXPECT_TRUE(IsValidNameText(""));
  EXPECT_FALSE(IsValidNameText("ABCDEFGHIJKLMNOPQ"));
  EXPECT_FALSE(IsValidNameText("Tab\there"));
  EXPECT_FALSE(IsValidNameText("Caf\xE9"));
}

}  // namespace
}  // namespace quorle
