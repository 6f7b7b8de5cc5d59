#include <gtest/gtest.h>

#include <string>

#include "protocol/BackupManifest.h"
#include "protocol/Sha256.h"

namespace quorle {
namespace {

std::string Hex(std::string_view text) {
  return Sha256::Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

TEST(Sha256, StandardTestVectorsAcrossBlockBoundaries) {
  EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(BackupManifest, ReadsBackWhatItWritesAndNeverNamesAFileOutsideItsFolder) {
  BackupManifest m;
  m.version = "2.05";
  m.programCardBanks = 2;
  m.entries.push_back({{FileKind::ProgramBank, 4, "Programs Card 2.syx"},
                       300800,
                       std::string(64, 'a'),
                       std::vector<std::string>(128, "Name \xE9         ")});
  m.entries.push_back({{FileKind::Global, -1, "Global Data.syx"}, 18183, std::string(64, 'b'), {}});
  std::string error;
  const auto back = BackupManifest::FromJson(m.ToJson(), error);
  ASSERT_TRUE(back) << error;
  ASSERT_EQ(back->entries.size(), 2u);
  EXPECT_EQ(back->entries[0].file.name, "Programs Card 2.syx");
  EXPECT_EQ(back->entries[0].file.CardBank(), 2);
  EXPECT_EQ(back->programCardBanks, 2);

  std::string text = m.ToJson();
  text.replace(text.find("Global Data.syx"), 15, "../Global Data.syx");
  EXPECT_FALSE(BackupManifest::FromJson(text, error));
  EXPECT_EQ(error, "\"../Global Data.syx\" is not a file a backup holds");
  EXPECT_FALSE(BackupManifest::FromJson("{\"format\": 1}", error));
  EXPECT_FALSE(BackupManifest::FromJson("not json", error));
}

}  // namespace
}  // namespace quorle
