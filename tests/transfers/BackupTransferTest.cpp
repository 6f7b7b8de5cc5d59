#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "protocol/BackupManifest.h"
#include "protocol/DumpName.h"
#include "protocol/Sha256.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::WindowFixture;

class BackupTransfer : public WindowFixture {
 protected:
  // Everything in the test's folder but the settings file.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().extension() != ".ini") names.push_back(e.path().filename().string());
    }
    return names;
  }
  BackupManifest Manifest(const fs::path& folder) {
    const Bytes text = Read(folder / "backup.json");
    std::string error;
    auto m = BackupManifest::FromJson(std::string(text.begin(), text.end()), error);
    EXPECT_TRUE(m) << error;
    return m.value_or(BackupManifest{});
  }
};

TEST_F(BackupTransfer, BacksUpEveryBankTheCardHoldsAndThePresetsWhenAskedIntoOneNewFolder) {
  TfrmMain& f = Start([](SimSettings& s) {
    s.programCardBanks = 3;
    s.mixCardBanks = 1;
  });
  f.cbBackupPresetsChecked = true;
  // What a split given up on leaves behind must not turn the backup's banks into split files.
  f.DumpMode = TfrmMain::kDumpSplit;
  f.SplitFolder = (dir_ / "split").string();
  fs::create_directories(dir_ / "split");
  AnswerFile(dir_ / "Set");
  f.btnBackupClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(host_.fileChoices.back().mode, FileChoice::Mode::NewFolder);
  EXPECT_EQ(f.StatusText(), " Backup \"Set\" saved to disk: 10 files");
  EXPECT_TRUE(fs::is_empty(dir_ / "split"));
  EXPECT_EQ(f.ProgramBanksOnCard, 3);
  EXPECT_FALSE(host_.progressShown);

  const fs::path set = dir_ / "Set";
  EXPECT_EQ(Read(set / "Global Data.syx"), Sim().GlobalData());
  EXPECT_EQ(Read(set / "Programs User.syx"), SimBank(kProgramKind, 0));
  EXPECT_EQ(Read(set / "Programs Card 3.syx"), SimBank(kProgramKind, 5));
  EXPECT_EQ(Read(set / "Programs Preset 2.syx"), SimBank(kProgramKind, 2));
  EXPECT_EQ(Read(set / "Mixes Card 1.syx"), SimBank(kMixKind, 2));
  EXPECT_EQ(Read(set / "Mixes Preset.syx"), SimBank(kMixKind, 1));
  EXPECT_FALSE(fs::exists(set / "Mixes Card 2.syx"));

  const BackupManifest m = Manifest(set);
  EXPECT_EQ(m.version, "2.05");
  EXPECT_EQ(m.programCardBanks, 3);
  ASSERT_EQ(m.entries.size(), 10u);
  for (const auto& e : m.entries) {
    const Bytes content = Read(set / e.file.name);
    EXPECT_EQ(e.size, content.size()) << e.file.name;
    EXPECT_EQ(e.sha256, Sha256::Hex(content)) << e.file.name;
  }
  EXPECT_THAT(Entries(), ::testing::UnorderedElementsAre("Set", "split"));
  // Every bank backed up is a bank seen whole for the Library, as the files hold it.
  ASSERT_EQ(copies_.banksFetched.size(), 9u);
  for (const auto& bank : copies_.banksFetched)
    EXPECT_EQ(bank.file, SimBank(*bank.kind, bank.bank)) << bank.kind->name << " " << bank.bank;

  // A second backup under the same name is refused before anything is asked of the instrument.
  AnswerFile(set);
  f.btnBackupClick();
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_THAT(host_.messages[0].text, HasSubstr("already exists"));
  EXPECT_TRUE(f.ControlsEnabled());
}

// What an interrupted backup left (its process gone) goes with the next backup beside it; a
// backup still being written by a live process stays.
TEST_F(BackupTransfer, ALaterBackupRemovesWhatAnInterruptedOneLeft) {
  TfrmMain& f = Start();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const fs::path gone = dir_ / (".Old.unfinished-" + std::to_string(child));
  const fs::path live = dir_ / (".Other.unfinished-" + std::to_string(::getppid()));
  for (const fs::path& p : {gone, live}) {
    fs::create_directories(p);
    Write(fs::relative(p / "Global Data.syx", dir_).string(), Bytes{0xF0, 0xF7});
  }
  f.Backup((dir_ / "New").string());
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(fs::exists(dir_ / "New" / "backup.json")) << f.StatusText();
  EXPECT_FALSE(fs::exists(gone));
  EXPECT_TRUE(fs::exists(live));
}

TEST_F(BackupTransfer, ACancelledOrUnansweredBackupLeavesNothingBehind) {
  TfrmMain& f = Start();
  SimFaults stall;
  stall.stallAfter = 40;  // the rest of the bank never comes
  Sim().SetFaults(stall);
  f.ReplyTimeout = 0.3;
  f.Backup((dir_ / "Timed out").string());
  // ... nor any of it when asked for again.
  ASSERT_TRUE(WaitFor([&] { return f.ReceivedCount == 40; }));
  stall.ignoreSingleRequests = true;
  Sim().SetFaults(stall);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.LastGaveUp(), TfrmMain::GaveUp::NoReply);
  EXPECT_EQ(f.StatusText(), " No reply from the Andromeda: the backup kept nothing");
  EXPECT_TRUE(Entries().empty());

  // Cancelled while the bank is half in, the folder that held the Global Data goes too.
  f.ReplyTimeout = 0;
  f.Backup((dir_ / "Cancelled").string());
  ASSERT_TRUE(WaitFor([&] { return f.ReceivedCount == 40 && !(*f.BankNames)[39].empty(); }));
  EXPECT_THAT(Entries(), ::testing::ElementsAre(StartsWith(".Cancelled.unfinished")));
  EXPECT_THAT(host_.statuses, ::testing::Contains(" Backing up the Andromeda..."));
  f.CancelExchange();
  EXPECT_EQ(f.StatusText(), " Backup cancelled: nothing was kept");
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_FALSE(host_.progressShown);
}

TEST_F(BackupTransfer, RestoreChecksEveryFileFirstAsksAndSendsBanksBeforeTheGlobalData) {
  TfrmMain& f = Start([](SimSettings& s) { s.programCardBanks = s.mixCardBanks = 1; });
  f.Backup((dir_ / "Set").string());
  ASSERT_TRUE(WaitIdle());
  ASSERT_THAT(f.StatusText(), StartsWith(" Backup"));
  UseEndpoint();
  f.SendDelay = 0;
  f.RestoreVerify = false;  // the endpoint cannot be read back

  // A folder that is no backup is named as such.
  f.Restore(dir_.string());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, dir_.string() + " holds no Quorle backup (no backup.json)");
  host_.messages.clear();

  // One changed byte anywhere stops it all before the first byte leaves.
  Bytes mixes = Read(dir_ / "Set" / "Mixes User.syx");
  const Bytes kept = mixes;
  mixes[1180 * 7 + 100] ^= 1;
  Write("Set/Mixes User.syx", mixes);
  AnswerFile(dir_ / "Set");
  f.btnRestoreClick();
  EXPECT_EQ(host_.fileChoices.back().mode, FileChoice::Mode::Folder);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_THAT(host_.messages[0].text, StartsWith("Mixes User.syx has changed since the backup"));
  EXPECT_TRUE(host_.questions.empty());
  Write("Set/Mixes User.syx", kept);

  // No card answers on the endpoint: the card banks are named as left out, and No sends nothing.
  f.ReplyTimeout = 0.2;
  f.KeepReplaced = false;  // the endpoint holds no bank to copy
  f.Restore((dir_ / "Set").string(), TfrmMain::RestoreParts::All);
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_THAT(host_.questions[0], HasSubstr("\n  Programs User\n  Mixes User\n  Global Data"));
  EXPECT_THAT(host_.questions[0], HasSubstr("left out:\n  Programs Card 1, Mixes Card 1"));
  EXPECT_EQ(f.StatusText(), " Restore cancelled: nothing was sent");
  ASSERT_EQ(endpoint_->Sent().size(), 2u);  // the two probes of card bank 1
  EXPECT_EQ(endpoint_->Sent()[0], DumpRequest(kProgramKind, 3, 0));
  EXPECT_EQ(endpoint_->Sent()[1], DumpRequest(kMixKind, 2, 0));

  // Only the Mixes, and Yes: the User bank goes out addressed to bank 0.
  host_.confirms.push_back(true);
  f.Restore((dir_ / "Set").string(), TfrmMain::RestoreParts::Mixes);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " Restored from \"Set\": 1 file; 1 not on the card, left out");
  const auto sent = endpoint_->Sent();
  ASSERT_EQ(sent.size(), 132u);
  EXPECT_EQ(sent[4], Bytes(kept.begin(), kept.begin() + 1180));
  EXPECT_EQ(sent[131], Bytes(kept.end() - 1180, kept.end()));
}

TEST_F(BackupTransfer, RestoredIntoAnotherInstrumentTheBanksAndGlobalDataArriveWhole) {
  TfrmMain& f = Start();
  f.Backup((dir_ / "Set").string());
  ASSERT_TRUE(WaitIdle());
  const Bytes user = Read(dir_ / "Set" / "Programs User.syx");
  const Bytes card = Read(dir_ / "Set" / "Mixes Card 2.syx");
  const Bytes global = Read(dir_ / "Set" / "Global Data.syx");

  // Another instrument: other content, same card.
  form_.reset();
  midi_.reset();
  TfrmMain& g = Start([](SimSettings& s) { s.seed = 7; });
  ASSERT_NE(SimBank(kProgramKind, 0), user);
  const Bytes replaced = SimBank(kProgramKind, 0);
  const Bytes replacedGlobal = Sim().GlobalData();
  ASSERT_NE(replacedGlobal, global);
  g.SendDelay = 0;
  // Without a copy of the Global Data it would replace, nothing at all goes out.
  const fs::path dataFolder = g.DataFolder;
  g.DataFolder = Write("not a folder", Bytes{1});
  host_.confirms.push_back(true);
  g.Restore((dir_ / "Set").string());
  ASSERT_TRUE(WaitIdle());
  EXPECT_THAT(g.StatusText(), StartsWith(" No copy of the Global Data kept ("));
  EXPECT_EQ(SimBank(kProgramKind, 0), replaced);
  EXPECT_EQ(Sim().GlobalData(), replacedGlobal);
  g.DataFolder = dataFolder;
  host_.confirms.push_back(true);
  host_.progressPositions.clear();
  host_.progressCaptions.clear();
  g.Restore((dir_ / "Set").string());
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(g.StatusText(), " Restored from \"Set\" and verified: 7 files");
  // One bar over the copies, the send and the read-backs; each pass names itself and its bank.
  EXPECT_TRUE(std::is_sorted(host_.progressPositions.begin(), host_.progressPositions.end()));
  EXPECT_EQ(host_.progressPositions.back(), TfrmProgress::kMax);
  EXPECT_THAT(
      host_.progressCaptions,
      Contains(AllOf(StartsWith("Keeping a copy of Programs User: 005/127"), HasSubstr("% done"))));
  EXPECT_THAT(host_.progressCaptions, Contains(AllOf(StartsWith("Verifying Mixes Card 2: 127/127"),
                                                     HasSubstr(" - 100% done"))));
  // Each of the six banks it replaced was kept first, with the restore named; not the Global Data.
  ASSERT_EQ(copies_.kept.size(), 6u * 128);
  EXPECT_EQ(copies_.kept[0].note, "Restore Set");
  Bytes kept;
  for (std::size_t i = 0; i < 128; ++i) {
    ASSERT_EQ(copies_.kept[i].bank, 0);
    kept.insert(kept.end(), copies_.kept[i].dump.begin(), copies_.kept[i].dump.end());
  }
  EXPECT_EQ(kept, replaced);
  ASSERT_TRUE(WaitFor([&] { return Sim().GlobalData() == global; }));
  EXPECT_EQ(SimBank(kProgramKind, 0), user);
  EXPECT_EQ(SimBank(kMixKind, 3), card);
  // The Global Data it replaced are in the file the question named, as Send Global Data keeps them.
  std::vector<fs::path> copies;
  for (const auto& e : fs::directory_iterator(g.GlobalCopyFolder())) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(Read(copies[0]), replacedGlobal);
  EXPECT_THAT(host_.questions.back(), HasSubstr("first kept in:\n" + copies[0].string()));
}

}  // namespace
}  // namespace quorle
