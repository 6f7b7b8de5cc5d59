#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialogs/TfrmPickDir.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/FileNames.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::WindowFixture;

class BankSplit : public WindowFixture {
 protected:
  // Split bank of kind into folder, as the split button and its two dialogs would.
  void Split(const DumpKind& kind, int bank, const fs::path& folder) {
    AnswerBankChooser(kind, bank);
    AnswerDialog<TfrmPickDir>([=](TfrmPickDir& d) {
      d.lbSplitDirDblClick(folder);
      d.btnOKClick();
    });
    &kind == &kProgramKind ? form_->btnGetBankClick(1) : form_->btnGetMixBankClick(1);
  }
  fs::path SplitPath(const DumpKind& kind, int bank, int i, const fs::path& folder) {
    return SplitFilePath(folder, kind, i, Sim().Dump(kind, bank, i));
  }
};

TEST_F(BankSplit, EveryDumpGoesToAFileOfItsOwnNamedByNumberAndName) {
  TfrmMain& f = Start();
  const fs::path folder = dir_ / "split";
  fs::create_directories(folder);
  const fs::path first = SplitPath(kMixKind, 1, 0, folder);
  Write("split/" + first.filename().string(), Bytes{1, 2, 3});  // replaced without asking
  Split(kMixKind, 1, folder);
  EXPECT_EQ(f.StatusText(), " Splitting Mix Bank...");
  EXPECT_FALSE(f.ControlsEnabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " ");
  EXPECT_FALSE(host_.progressShown);
  EXPECT_EQ(f.SplitFolder, fs::canonical(folder).string());
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 128);
  for (int i = 0; i < 128; ++i) {
    const fs::path path = SplitPath(kMixKind, 1, i, folder);
    ASSERT_EQ(Read(path), Sim().Dump(kMixKind, 1, i)) << path;
  }
  EXPECT_EQ(host_.statuses[host_.statuses.size() - 2],
            "Writing " + SplitPath(kMixKind, 1, 127, folder).filename().string());
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(BankSplit, AFileThatCannotBeWrittenEndsTheSplitWithOneBoxAndKeepsTheFilesWritten) {
  TfrmMain& f = Start();
  const fs::path folder = dir_ / "split";
  fs::create_directories(folder);
  // A folder stands where the eleventh file would go.
  const fs::path blocked = SplitPath(kProgramKind, 0, 10, folder);
  fs::create_directories(blocked / "inside");
  Split(kProgramKind, 0, folder);
  ASSERT_TRUE(WaitFor([&] { return !host_.messages.empty(); }));
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_FALSE(host_.progressShown);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Error);
  EXPECT_THAT(host_.messages[0].text, HasSubstr(blocked.string()));
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(fs::exists(SplitPath(kProgramKind, 0, i, folder))) << i;

  // The rest of the split bank drains without a box or a file; a fetch after it works.
  AnswerDialog<TfrmSplitBank>([](TfrmSplitBank& d) { d.btnOKClick(); });
  AnswerFile(dir_ / "after.syx");
  f.btnGetBankClick(0);
  ASSERT_TRUE(WaitIdle());
  EXPECT_THAT(f.StatusText(), StartsWith("Bank \"after.syx\" saved to disk"));
  EXPECT_EQ(Read(dir_ / "after.syx"), SimBank(kProgramKind, 0));
  EXPECT_EQ(host_.messages.size(), 1u);
  EXPECT_FALSE(fs::exists(SplitPath(kProgramKind, 0, 11, folder)));
}

TEST_F(BankSplit, WithoutAnOutputPortTheWindowSaysSoBeforeAskingForAFolder) {
  TfrmMain& f = Start();
  f.MidiOut.Close();
  f.OutputOpen = false;
  Split(kProgramKind, 0, dir_);
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoOutputText);
  EXPECT_EQ(host_.dialogsShown, std::vector<std::string>{"Select Program Bank"});
  EXPECT_TRUE(f.ControlsEnabled());
}

}  // namespace
}  // namespace quorle
