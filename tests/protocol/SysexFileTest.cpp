#include "protocol/SysexFile.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quorle {
namespace {

namespace fs = std::filesystem;

TEST(SysexFile, SizeInWholeRecordsDecidesAcceptance) {
  EXPECT_FALSE(AcceptsFileSize(FileKind::Program, 2349));
  EXPECT_TRUE(AcceptsFileSize(FileKind::Program, 2350));
  EXPECT_TRUE(AcceptsFileSize(FileKind::Program, 4699));
  EXPECT_FALSE(AcceptsFileSize(FileKind::Program, 4700));
  EXPECT_TRUE(AcceptsFileSize(FileKind::Mix, 1180));
  EXPECT_FALSE(AcceptsFileSize(FileKind::Mix, 2360));
  EXPECT_FALSE(AcceptsFileSize(FileKind::ProgramBank, 128 * 2350 - 1));
  EXPECT_TRUE(AcceptsFileSize(FileKind::ProgramBank, 128 * 2350 + 2349));
  EXPECT_FALSE(AcceptsFileSize(FileKind::ProgramBank, 129 * 2350));
  EXPECT_TRUE(AcceptsFileSize(FileKind::MixBank, 151040));
  EXPECT_TRUE(AcceptsFileSize(FileKind::Global, 18183));
  EXPECT_FALSE(AcceptsFileSize(FileKind::Global, 18182));
  EXPECT_FALSE(AcceptsFileSize(FileKind::Unknown, 0));
}

TEST(SysexFile, ClassifiesByExactSizeAndSingleDumpOpcode) {
  Bytes program(2350, 0);
  program[4] = 0x1D;
  EXPECT_EQ(ClassifyFile(program), FileKind::Program);
  program[5] = 0x04;
  EXPECT_EQ(ClassifyFile(program), FileKind::Unknown);
  Bytes mix(1180, 0);
  mix[4] = 0x1D;
  mix[5] = 0x04;
  EXPECT_EQ(ClassifyFile(mix), FileKind::Mix);
  EXPECT_EQ(ClassifyFile(Bytes(300800)), FileKind::ProgramBank);
  EXPECT_EQ(ClassifyFile(Bytes(151040)), FileKind::MixBank);
  EXPECT_EQ(ClassifyFile(Bytes(18183)), FileKind::Global);
  EXPECT_EQ(ClassifyFile(Bytes(2351)), FileKind::Unknown);
  EXPECT_EQ(FileKindName(FileKind::ProgramBank), "program-bank");
}

class SysexFileIo : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::FreshTestFolder("io"); }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SysexFileIo, AtomicWriteReplacesWholeAndLeavesNoTemporaryFiles) {
  const fs::path file = dir_ / "bank.syx";
  ASSERT_TRUE(WriteFileAtomically(file, Bytes(300800, 0x42)).ok);
  ASSERT_TRUE(WriteFileAtomically(file, Bytes{0xF0, 0xF7}).ok);
  Bytes back;
  ASSERT_TRUE(ReadWholeFile(file, back).ok);
  EXPECT_EQ(back, (Bytes{0xF0, 0xF7}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SysexFileIo, FailuresAreReportedAndKeepTheOldFile) {
  Bytes content;
  EXPECT_FALSE(ReadWholeFile(dir_ / "missing.syx", content).ok);
  EXPECT_FALSE(ReadWholeFile(dir_, content).ok);

  const IoResult r = WriteFileAtomically(dir_ / "no-such-folder" / "x.syx", Bytes{1});
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());

  // A folder where the file should go: the rename fails, nothing is left behind.
  fs::create_directories(dir_ / "taken.syx" / "inside");
  EXPECT_FALSE(WriteFileAtomically(dir_ / "taken.syx", Bytes{1, 2}).ok);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace quorle
