#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "dialogs/TfrmList.h"
#include "dialogs/TfrmSelBank.h"
#include "dialogs/TfrmSetName.h"
#include "protocol/DumpName.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using testing::WindowFixture;

class BankRename : public WindowFixture {
 protected:
  static Bytes Record(const Bytes& bank, const DumpKind& kind, int i) {
    const auto at = bank.begin() + static_cast<std::ptrdiff_t>(i * kind.dumpSize);
    return Bytes(at, at + static_cast<std::ptrdiff_t>(kind.dumpSize));
  }
  // The name dialog a double-click in the grid opens, answered ahead of the dialogs still queued.
  void AnswerName(std::function<void(TfrmSetName&)> act) {
    AnswerDialog<TfrmSetName>(std::move(act));
    host_.dialogs.push_front(std::move(host_.dialogs.back()));
    host_.dialogs.pop_back();
  }
  // The grid: entry 5 renamed through the name dialog as a double-click would, then OK.
  void RenameEntryFive(const std::string& name) {
    AnswerDialog<TfrmList>([this, name](TfrmList& grid) {
      AnswerName([name](TfrmSetName& d) { d.SetName(name); });
      EXPECT_TRUE(grid.GridDblClick(host_, 0, 5));
    });
  }
  template <typename Act>
  void Choose(Act act) {
    AnswerDialog<TfrmSelBank>(act);
  }
};

TEST_F(BankRename, FromTheInstrumentToACardBankOnlyTheRenamedEntryChanges) {
  TfrmMain& f = Start([](SimSettings& s) { s.programCardBanks = 2; });
  f.SendDelay = 0;
  f.Verify = true;
  const Bytes before = SimBank(kProgramKind, 0);
  Choose([](TfrmSelBank& d) {
    EXPECT_FALSE(d.HasVerify());  // nothing is sent from here
    d.btnOKClick();               // User, as it opens
  });
  RenameEntryFive("Abc");
  Choose([](TfrmSelBank& d) {
    // Where it is sent, Verify is offered as the setting has it, and the choice is kept.
    EXPECT_TRUE(d.HasVerify());
    EXPECT_TRUE(d.cbVerifyChecked);
    d.cbVerifyChecked = false;
    EXPECT_TRUE(d.rbUserChecked());  // the bank fetched
    d.rbCardClick();
    d.cbCardChange(1);
    d.btnOKClick();
  });
  f.btnRenameProgBankClick();
  EXPECT_EQ(f.StatusText(), " Receiving Program Bank...");
  ASSERT_TRUE(WaitFor([&] { return f.StatusText() == " Renamed bank sent to Andromeda"; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_THAT(host_.statuses, ::testing::Contains(" Sending Program Bank..."));
  EXPECT_EQ(host_.dialogsShown,
            (std::vector<std::string>{"Select Program Bank", "Rename Program Bank", "Rename",
                                      "Select Program Bank"}));
  EXPECT_EQ(f.ProgramBank, 4);
  EXPECT_FALSE(f.Verify);
  for (int i = 0; i < 128; ++i) {
    Bytes expected = Record(before, kProgramKind, i);
    if (i == 5) expected = RenameDump(kProgramKind, expected, "Abc");
    expected[6] = 4;
    ASSERT_EQ(Sim().Dump(kProgramKind, 4, i), expected) << i;
  }
  EXPECT_EQ(DumpName(kProgramKind, Sim().Dump(kProgramKind, 4, 5)), "Abc             ");
}

// Names are bytes: an entry nobody renamed is saved exactly as it was loaded, and a bank loaded
// from disk gets no target until the user names one.
TEST_F(BankRename, FromDiskUnrenamedEntriesKeepTheirBytesAndNoBankIsChosenForThem) {
  TfrmMain& f = Start();
  Bytes bank = SimBank(kProgramKind, 0);
  std::vector<std::uint8_t> data(kProgramKind.dataSize, 0x41);
  WriteName(data, std::string("\x00Odd\x80\xFF name\x01", 11));
  const Bytes odd = BuildDump(kProgramKind, 9, 7, data);  // bytes 6 and 7 kept on disk
  std::copy(odd.begin(), odd.end(), bank.begin() + 7 * 2350);
  bank[7 * 2350 + 6] = 9;
  const auto file = Write("mine.syx", bank);

  Choose([](TfrmSelBank& d) {
    EXPECT_EQ(d.btnLoadCaption, "Load from disk");
    d.btnLoadClick();
  });
  AnswerFile(file);
  std::string oddCell;
  AnswerDialog<TfrmList>([&](TfrmList& grid) {
    oddCell = grid.Cell(0, 7);
    EXPECT_EQ(grid.Cell(3, 31).substr(0, 4), "127 ");
    AnswerName([](TfrmSetName& d) {
      EXPECT_EQ(d.eName, "Odd name");  // what an edited name can hold
      d.SetName("Odd name");
    });
    EXPECT_TRUE(grid.GridDblClick(host_, 0, 7));
    EXPECT_EQ(grid.Caption, "Rename Program Bank *");
    EXPECT_FALSE(grid.Rename(0, 8, "Caf\xE9"));
    EXPECT_FALSE(grid.Rename(0, 8, "seventeen chars!!"));
    EXPECT_TRUE(grid.Rename(0, 8, ""));
    EXPECT_EQ(grid.Caption, "Rename Program Bank *");
  });
  bool okEnabled = true;
  Choose([&](TfrmSelBank& d) {
    EXPECT_EQ(d.btnLoadCaption, "Save to disk");
    okEnabled = d.OkEnabled();
    EXPECT_FALSE(d.rbUserChecked());
    d.btnOKClick();  // nothing chosen: nothing happens
    d.btnLoadClick();
  });
  AnswerFile(dir_ / "renamed.syx");
  f.btnRenameProgBankClick();
  EXPECT_FALSE(okEnabled);
  EXPECT_EQ(oddCell, "007 " + DumpName(kProgramKind, odd));
  ASSERT_EQ(host_.fileChoices.size(), 2u);
  EXPECT_EQ(host_.fileChoices[1].fileName, "mine.syx");
  EXPECT_EQ(f.StatusText(), " File 'renamed.syx' saved to disk");
  EXPECT_EQ(
      std::count(copies_.filesWritten.begin(), copies_.filesWritten.end(), dir_ / "renamed.syx"),
      1);

  const Bytes saved = Read(dir_ / "renamed.syx");
  ASSERT_EQ(saved.size(), bank.size());
  for (int i = 0; i < 128; ++i) {
    Bytes expected = Record(bank, kProgramKind, i);
    if (i == 7) expected = RenameDump(kProgramKind, expected, "Odd name");
    if (i == 8) expected = RenameDump(kProgramKind, expected, "");
    ASSERT_EQ(Record(saved, kProgramKind, i), expected) << i;
  }
  EXPECT_EQ(saved[7 * 2350 + 6], 9);
}

TEST_F(BankRename, MixDialogsOpenOnTheMixBankInHandAndLeaveTheProgramBankAlone) {
  TfrmMain& f = Start([](SimSettings& s) { s.mixCardBanks = 4; });
  f.SendDelay = 0;
  f.ProgramBank = 5;
  f.MixBank = 3;  // card bank 2
  f.MixBanksOnCard = 4;
  Choose([](TfrmSelBank& d) {
    EXPECT_EQ(d.Caption, "Select Mix Bank");
    EXPECT_TRUE(d.rbCardChecked());
    EXPECT_EQ(d.CardList.size(), 4u);
    EXPECT_EQ(d.CardIndex, 1);
    d.btnOKClick();
  });
  RenameEntryFive("Mixed");
  Choose([](TfrmSelBank& d) {
    EXPECT_TRUE(d.rbCardChecked());
    EXPECT_EQ(d.CardIndex, 1);
    d.btnLoadClick();
  });
  AnswerFile(dir_ / "m.syx");
  f.btnRenameMixBankClick();
  ASSERT_TRUE(WaitFor([&] { return f.StatusText() == " File 'm.syx' saved to disk"; }));
  EXPECT_EQ(host_.dialogsShown[1], "Rename Mix Bank");
  EXPECT_EQ(host_.fileChoices.back().fileName, "MixBank3");
  EXPECT_EQ(f.ProgramBank, 5);
  const Bytes saved = Read(dir_ / "m.syx");
  EXPECT_EQ(Record(saved, kMixKind, 5), RenameDump(kMixKind, Sim().Dump(kMixKind, 3, 5), "Mixed"));
  EXPECT_EQ(Record(saved, kMixKind, 6), Sim().Dump(kMixKind, 3, 6));
}

// The bank file check is the bank send's; a shuffled file would rename entries at wrong places.
TEST_F(BankRename, AShuffledBankFileIsRefusedBeforeTheGrid) {
  TfrmMain& f = Start();
  Bytes shuffled = SimBank(kProgramKind, 0);
  shuffled[9 * 2350 + 7] = 10;
  Choose([](TfrmSelBank& d) { d.btnLoadClick(); });
  AnswerFile(Write("shuffled.syx", shuffled));
  f.btnRenameProgBankClick();
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "shuffled.syx is not a Program Bank Dump");
  EXPECT_EQ(host_.dialogsShown, std::vector<std::string>{"Select Program Bank"});
}

TEST_F(BankRename, WithoutAnOutputPortTheWindowSaysSoAndOnlyTheDiskRemains) {
  TfrmMain& f = Start();
  f.MidiOut.Close();
  f.OutputOpen = false;
  Choose([](TfrmSelBank& d) { d.btnOKClick(); });
  f.btnRenameMixBankClick();
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoOutputText);
  EXPECT_TRUE(f.ControlsEnabled());

  Choose([](TfrmSelBank& d) { d.btnLoadClick(); });
  AnswerFile(Write("b.syx", SimBank(kProgramKind, 0)));
  AnswerDialog<TfrmList>([](TfrmList&) {});
  Choose([](TfrmSelBank& d) {
    EXPECT_FALSE(d.OkEnabled());
    d.rbUserClick();  // the bank buttons take no click
    EXPECT_FALSE(d.OkEnabled());
  });
  f.btnRenameProgBankClick();
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoOutputText);
}

}  // namespace
}  // namespace quorle
