#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/ProgramFiles.h"
#include "app/TVersionInfo.h"
#include "app/VersionBlock.h"

namespace quorle {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// A TVersionInfo over a block the test hands it instead of a file's.
class BlockVersionInfo : public TVersionInfo {
 public:
  std::vector<std::uint8_t> block;

 protected:
  std::optional<std::vector<std::uint8_t>> ReadBlock(const std::string&) override { return block; }
};

VersionBlockContent Content(std::string fileVersion, std::string productVersion,
                            std::uint16_t language = 0x0409, std::uint16_t codePage = 1252) {
  VersionBlockContent c;
  c.tables.push_back({language,
                      codePage,
                      {{"FileDescription", "SysEx Dump Utility for the Alesis Andromeda"},
                       {"FileVersion", fileVersion},
                       {"LegalCopyright", "Copyright © 2026 Somebody"},
                       {"OriginalFilename", "quorle"},
                       {"ProductVersion", productVersion}}});
  c.translations = {language | std::uint32_t{codePage} << 16};
  return c;
}

void Load(BlockVersionInfo& info, const VersionBlockContent& content) {
  info.block = WriteVersionBlock(content);
  info.SetFileName("any");
}

std::filesystem::path BinDir() {
  if (const char* dir = std::getenv("QUORLE_BIN_DIR")) return dir;
  return std::filesystem::path(RunningProgramPath()).parent_path().parent_path() / "bin";
}

TEST(VersionInfo, VersionLineAndTranslationsReadAsThePlatformWould) {
  BlockVersionInfo info;
  Load(info, Content("2.0.0.7", "2.0"));
  EXPECT_TRUE(info.Loaded());
  EXPECT_EQ(info.TranslationText(), "040904E4");
  EXPECT_EQ(VersionLine(info), "Version 2.0  Build 7");
  EXPECT_EQ(info.VersionString(5), "Copyright © 2026 Somebody");
  EXPECT_EQ(info.VersionString(7), "quorle") << "keys match without regard to case";
  EXPECT_EQ(info.VersionString(11), "") << "SpecialBuild is not in the block";
  EXPECT_EQ(info.VersionString(12), "");

  // A FileVersion without any "." has no build part.
  Load(info, Content("7", "2.0"));
  EXPECT_EQ(VersionLine(info), "Version 2.0  Build ");

  // Only a German translation: queried under its own key.
  Load(info, Content("2.3.0.41", "2.3.0", 0x0407, 0x04E4));
  EXPECT_EQ(info.TranslationText(), "040704E4");
  EXPECT_EQ(VersionLine(info), "Version 2.3.0  Build 41");
  info.SelectTranslation(1);
  EXPECT_EQ(info.TranslationText(), "");
  EXPECT_EQ(info.VersionString(2), "");
}

TEST(VersionInfo, DamagedTruncatedOrHostileBlocksGiveEmptyStrings) {
  const std::vector<std::uint8_t> good = WriteVersionBlock(Content("2.0.0.7", "2.0"));
  BlockVersionInfo info;
  // Cut anywhere: the outer length no longer fits, so nothing is read.
  for (std::size_t size = 0; size < good.size(); ++size) {
    info.block.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    info.SetFileName("cut");
    EXPECT_EQ(info.VersionString(2), "") << size;
  }
  // Any 16-bit word made hostile: the reader stays inside the block (the sanitizers watch).
  for (std::size_t at = 0; at + 1 < good.size(); at += 2) {
    for (const std::uint16_t value : {0x0000, 0x0001, 0x0007, 0x7FFF, 0xFFFF}) {
      info.block = good;
      info.block[at] = value & 0xFF;
      info.block[at + 1] = value >> 8;
      info.SetFileName("hostile");
      for (int i = 0; i < 12; ++i) (void)info.VersionString(i);
    }
  }
  // A string whose value claims more than its node holds ends at the node.
  VersionBlockContent c = Content("2.0.0.7", "2.0");
  info.block = WriteVersionBlock(c);
  const std::vector<std::uint8_t> key = {'F', 0, 'i', 0, 'l', 0, 'e', 0, 'V', 0};
  const auto found = std::search(info.block.begin(), info.block.end(), key.begin(), key.end());
  ASSERT_NE(found, info.block.end());
  const auto node = found - 6;
  node[2] = 0xFF;  // wValueLength
  node[3] = 0x7F;
  info.SetFileName("long value");
  EXPECT_EQ(info.VersionString(3), "2.0.0.7");
  EXPECT_EQ(info.VersionString(10), "2.0");
  // No block at all, and a file that is no program.
  info.block.clear();
  info.SetFileName("none");
  EXPECT_FALSE(info.Loaded());
  EXPECT_EQ(VersionLine(info), "Version   Build ");
  TVersionInfo notAProgram;
  notAProgram.SetFileName("/etc/hostname");
  EXPECT_FALSE(notAProgram.Loaded());
}

TEST(VersionInfo, BuiltProgramsCarryTheirOwnBlock) {
  TVersionInfo cli;
  cli.SetFileName((BinDir() / "quorle-cli").string());
  ASSERT_TRUE(cli.Loaded()) << cli.FileName();
  EXPECT_EQ(cli.TranslationText(), "040904E4");
  EXPECT_EQ(cli.VersionString(2), "SysEx Dump Utility for the Alesis Andromeda");
  EXPECT_EQ(cli.VersionString(9), "Quorle");
  EXPECT_EQ(cli.VersionString(4), "quorle-cli");
  EXPECT_EQ(cli.VersionString(7), "quorle-cli");
  EXPECT_THAT(cli.VersionString(5), HasSubstr("The Quorle developers. MIT License."));
  const std::string product = cli.VersionString(10);
  EXPECT_THAT(product, MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
  EXPECT_THAT(cli.VersionString(3), MatchesRegex(product + "\\.[0-9]+"));
  EXPECT_EQ(cli.VersionString(11), "");

  // An empty name reads the running program again; a bare name is found beside it.
  TVersionInfo self;
  self.SetFileName("quorle-cli-not-here");
  EXPECT_FALSE(self.Loaded());
  self.SetFileName("");
  EXPECT_EQ(self.FileName(), RunningProgramPath());
  EXPECT_EQ(self.VersionString(4), "tests_app");
  self.SetFileName("tests_app");
  EXPECT_EQ(self.VersionString(4), "tests_app");
}

}  // namespace
}  // namespace quorle
