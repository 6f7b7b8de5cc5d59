#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "app/IniFile.h"
#include "app/MidiLog.h"
#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendMixBank.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "protocol/DumpName.h"
#include "protocol/Pack.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::WindowFixture;

class BankTransfer : public WindowFixture {
 protected:
  void FetchBank(const DumpKind& kind, int bank, const std::filesystem::path& file) {
    AnswerBankChooser(kind, bank);
    AnswerFile(file);
    &kind == &kProgramKind ? form_->btnGetBankClick(0) : form_->btnGetMixBankClick(0);
  }
  static ByteView Record(const Bytes& bank, const DumpKind& kind, int i) {
    return ByteView(bank).subspan(static_cast<std::size_t>(i) * kind.dumpSize, kind.dumpSize);
  }
};

TEST_F(BankTransfer, FetchedBanksAreSavedWholeExactlyAsTheInstrumentSentThem) {
  TfrmMain& f = Start([](SimSettings& s) { s.programCardBanks = s.mixCardBanks = 2; });
  FetchBank(kProgramKind, 4, dir_ / "Bank4.syx");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(host_.fileChoices.back().fileName, "Bank4");
  EXPECT_EQ(Read(dir_ / "Bank4.syx"), SimBank(kProgramKind, 4));
  EXPECT_EQ(f.StatusText(), "Bank \"Bank4.syx\" saved to disk");
  ASSERT_EQ(f.BankNames->size(), 128u);
  EXPECT_EQ(f.BankNames->back(), DumpName(kProgramKind, Sim().Dump(kProgramKind, 4, 127)));
  EXPECT_EQ(f.BankPath, dir_.string() + "/");
  EXPECT_FALSE(host_.progressShown);

  FetchBank(kMixKind, 2, dir_ / "m.syx");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(host_.fileChoices.back().fileName, "MixBank2");
  EXPECT_EQ(Read(dir_ / "m.syx"), SimBank(kMixKind, 2));
  EXPECT_EQ(f.StatusText(), "Mix Bank \"m.syx\" saved to disk");
  EXPECT_EQ(f.MixBankPath, dir_.string() + "/");

  // Each told to the Library as a bank seen whole, so the composer can start from it.
  ASSERT_EQ(copies_.banksFetched.size(), 2u);
  EXPECT_EQ(copies_.banksFetched[0].bank, 4);
  EXPECT_EQ(copies_.banksFetched[0].file, SimBank(kProgramKind, 4));
  EXPECT_EQ(copies_.banksFetched[1].kind, &kMixKind);
  EXPECT_EQ(copies_.banksFetched[1].file, SimBank(kMixKind, 2));
}

TEST_F(BankTransfer, ABankReceivedWithoutAFileSaysHowManyOfItsDumpsExistNowhereElse) {
  TfrmMain& f = Start();
  copies_.nowhereElse = 12;
  Bytes received;
  AnswerBankChooser(kProgramKind, 0);
  ASSERT_TRUE(f.FetchBankInto(kProgramKind, [&](Bytes bank) { received = std::move(bank); }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(received, SimBank(kProgramKind, 0));
  EXPECT_EQ(f.StatusText(), " Program Bank received - 12 of them exist nowhere else");
  EXPECT_TRUE(copies_.filesWritten.empty());
}

TEST_F(BankTransfer, DumpsCountByTheirEntryAndWhatIsMissingIsAskedForSingly) {
  TfrmMain& f = Start();
  UseEndpoint();
  const auto file = Write("kept.syx", Bytes{1, 2, 3});
  FetchBank(kProgramKind, 0, file);
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 1; }));
  EXPECT_EQ(endpoint_->Sent()[0], BankDumpRequest(kProgramKind, 0));

  Bytes wrongOpcode = Sim().Dump(kProgramKind, 0, 1);
  wrongOpcode[5] = kMixKind.opcode;
  Bytes secondCopy = Sim().Dump(kProgramKind, 0, 0);
  secondCopy[200] ^= 1;
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 2));  // ahead of its turn: it takes its own slot
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 0));
  endpoint_->Inject(Sim().Dump(kMixKind, 0, 1));      // the other kind
  endpoint_->Inject(Sim().Dump(kProgramKind, 1, 1));  // another bank
  endpoint_->Inject(secondCopy);                      // never replaces what is held
  endpoint_->Inject(wrongOpcode);
  ASSERT_TRUE(WaitFor([&] { return host_.statuses.size() >= 5; }));
  EXPECT_THAT(host_.statuses, Contains(TfrmMain::UnknownMessageText(1180)));
  EXPECT_THAT(host_.statuses, Contains(TfrmMain::UnknownMessageText(2350)));
  EXPECT_EQ(f.ReceivedCount, 2);

  // The run ends with entry 127; entries 5 and 9 never came and are asked for, one at a time.
  for (int i = 1; i < 128; ++i) {
    if (i != 2 && i != 5 && i != 9) endpoint_->Inject(Sim().Dump(kProgramKind, 0, i));
    if (i == 100) {
      ASSERT_TRUE(WaitFor([&] { return f.ReceivedCount == 99; }));
      EXPECT_EQ(Read(file), (Bytes{1, 2, 3}));  // nothing written while incomplete
    }
  }
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 2; }));
  EXPECT_EQ(endpoint_->Sent()[1], DumpRequest(kProgramKind, 0, 5));
  EXPECT_EQ(host_.progressCaption, " 005/127 - fetching again");
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 5));
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 3; }));
  EXPECT_EQ(endpoint_->Sent()[2], DumpRequest(kProgramKind, 0, 9));
  EXPECT_FALSE(f.ControlsEnabled());
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 9));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Read(file), SimBank(kProgramKind, 0));
  EXPECT_EQ(f.StatusText(), "Bank \"kept.syx\" saved to disk (2 dumps fetched again)");
}

TEST_F(BankTransfer, SentBanksReachTheInstrumentPacedAndAddressedToTheChosenBank) {
  TfrmMain& f = Start([](SimSettings& s) { s.mixCardBanks = 4; });
  f.SendDelay = 2;
  Bytes bank = SimBank(kMixKind, 1);
  const Bytes before = SimBank(kMixKind, 4);
  const auto file = Write("mixes.syx", bank);
  AnswerFile(file);
  AnswerDialog<TdlgSendMixBank>([](TdlgSendMixBank& d) {
    EXPECT_TRUE(d.HasKeepCopy() && d.cbKeepCopyChecked);
    d.rbCardClick();
    d.cbCardChange(2);  // card bank 3
    d.btnOKClick();
  });
  f.btnSendMixBankClick();
  // What the bank held is fetched and kept first, whole, then the send starts.
  EXPECT_EQ(f.StatusText(), " Keeping a copy of Mixes Card 3...");
  EXPECT_FALSE(f.ControlsEnabled());
  ASSERT_TRUE(WaitFor([&] { return f.StatusText() == " Sending Mix Bank..."; }));
  // The places become replaced as the send reaches them.
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(copies_.kept.size(), 128u);
  for (int i = 0; i < 128; ++i) {
    const auto& kept = copies_.kept[i];
    EXPECT_EQ(kept.kind, &kMixKind);
    EXPECT_EQ(kept.bank, 4);
    EXPECT_EQ(kept.entry, i);
    EXPECT_EQ(kept.note, "mixes.syx");
    const ByteView old = Record(before, kMixKind, i);
    ASSERT_EQ(kept.dump, Bytes(old.begin(), old.end())) << i;
  }
  EXPECT_EQ(f.StatusText(), " mixes.syx sent to Andromeda");
  EXPECT_EQ(f.MixBank, 4);
  for (int i = 0; i < 128; ++i) {
    Bytes expected(Record(bank, kMixKind, i).begin(), Record(bank, kMixKind, i).end());
    expected[6] = 4;
    ASSERT_EQ(Sim().Dump(kMixKind, 4, i), expected) << i;
  }
}

TEST_F(BankTransfer, StatusSaysSentOnlyAfterTheLastDumpLeft) {
  TfrmMain& f = Start();
  UseEndpoint();
  f.SendDelay = 0;
  const Bytes bank = SimBank(kProgramKind, 0);
  AnswerFile(Write("b.syx", bank));
  f.KeepReplaced = false;  // the test endpoint has no bank to copy
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) { d.BitBtn1Click(); });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitFor([&] { return f.ControlsEnabled(); }));
  EXPECT_EQ(f.StatusText(), " b.syx sent to Andromeda");
  EXPECT_EQ(f.MidiOut.MessagesInFlight(), 0u);
  ASSERT_TRUE(endpoint_->WaitForSent(128, kLimit));
  const auto sent = endpoint_->Sent();
  ASSERT_EQ(sent.size(), 128u);
  for (int i = 0; i < 128; ++i) {
    EXPECT_TRUE(std::equal(sent[i].begin(), sent[i].end(), Record(bank, kProgramKind, i).begin()));
  }
}

TEST_F(BankTransfer, DumpsOfACancelledBankPassQuietlyUntilTheInstrumentFallsSilent) {
  TfrmMain& f = Start([](SimSettings& s) { s.rate = 100000; });  // a bank takes about 3 s
  const auto getMix = [&](const std::filesystem::path& file) {
    AnswerDialog<TfrmSelMix>([](TfrmSelMix& d) {
      d.Number = 7;
      d.BitBtn1Click();
    });
    AnswerFile(file);
    f.btnGetMixClick();
  };
  FetchBank(kProgramKind, 0, dir_ / "Bank0.syx");
  ASSERT_TRUE(WaitFor([&] { return f.ReceivedCount >= 3; }));
  f.CancelExchange();
  // The rest of the Program bank is still on its way when a Mix is asked for.
  getMix(dir_ / "m.syx");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " m.syx saved to disk");
  EXPECT_EQ(Read(dir_ / "m.syx"), Sim().Dump(kMixKind, 0, 7));
  EXPECT_THAT(host_.statuses, Not(Contains(HasSubstr("unknown Midi message"))));

  // Once the instrument has fallen silent, a dump nothing asked for is named again.
  ASSERT_TRUE(WaitFor([&] { return !f.PassingOverLeftovers(); }));
  UseEndpoint();
  getMix(dir_ / "n.syx");
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 7));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), TfrmMain::UnknownMessageText(2350));
}

TEST_F(BankTransfer, EachDumpOfAPacedSendLeavesAtLeastTheSendDelayAfterTheLastOneEnded) {
  TfrmMain& f = Start();
  UseEndpoint();  // takes each dump at once, so a dump ends as it is handed over
  const auto logFile = dir_ / "midi.log";
  MidiLog log(logFile);
  f.Log = &log;
  f.SendDelay = 30;
  AnswerFile(Write("b.syx", SimBank(kMixKind, 0)));
  f.KeepReplaced = false;  // the test endpoint has no bank to copy
  AnswerDialog<TdlgSendMixBank>([](TdlgSendMixBank& d) { d.btnOKClick(); });
  f.btnSendMixBankClick();
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 6; }));
  f.CancelExchange();
  ASSERT_TRUE(WaitIdle());
  std::ifstream in(logFile);
  std::vector<long> sentAt;
  for (std::string line; std::getline(in, line);) sentAt.push_back(std::stol(line));
  ASSERT_GE(sentAt.size(), 6u);
  // The log counts whole milliseconds, so a gap may read one short.
  for (std::size_t i = 1; i < sentAt.size(); ++i) EXPECT_GE(sentAt[i] - sentAt[i - 1], 29) << i;
}

// A read-back that differs from what was sent in one byte deep in the sound data (past the name,
// not the card counts) is a dump that did not take.
TEST_F(BankTransfer, AVerifiedSendComparesTheWholeSoundData) {
  TfrmMain& f = Start([](SimSettings& s) { s.faults.busyAfterStore = std::chrono::seconds(10); });
  f.SendDelay = 0;
  f.KeepReplaced = false;
  Bytes bank = SimBank(kProgramKind, 0);
  // Entry 0 is stored as sent; entry 9 differs from what the instrument keeps in data byte 1900.
  std::vector<std::uint8_t> data(kProgramKind.dataSize);
  const std::size_t at = 9 * 2350 + kPayloadOffset;
  Unpack(ByteView(bank).subspan(at, kProgramKind.packedSize), data, kProgramKind.packedSize);
  data[1900] ^= 0x01;
  Pack(data, std::span<std::uint8_t>(bank).subspan(at, kProgramKind.packedSize),
       kProgramKind.dataSize);
  AnswerFile(Write("b.syx", bank));
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) {
    d.cbVerifyChecked = true;
    d.BitBtn1Click();
  });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " b.syx not verified: entry 9 did not take");
}

TEST_F(BankTransfer, AVerifiedSendReadsBackAndNamesTheEntriesThatNeverTook) {
  // Busy for ten seconds after each dump it stores: whatever follows the first dump is lost.
  TfrmMain& f = Start([](SimSettings& s) { s.faults.busyAfterStore = std::chrono::seconds(10); });
  f.SendDelay = 0;
  f.KeepReplaced = false;  // only the verification's read-back asks for the bank
  const Bytes before = SimBank(kProgramKind, 0);
  Bytes bank = before;
  for (const std::size_t n : {3u, 7u}) {
    const Bytes renamed = RenameDump(kProgramKind, Record(bank, kProgramKind, n), "Changed");
    std::copy(renamed.begin(), renamed.end(), bank.begin() + n * 2350);
  }
  AnswerFile(Write("b.syx", bank));
  MidiLog log(dir_ / "midi.log");
  f.Log = &log;
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) {
    EXPECT_FALSE(d.cbVerifyChecked);
    d.cbVerifyChecked = true;
    d.BitBtn1Click();
  });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " b.syx not verified: entries 3, 7 did not take");
  EXPECT_THAT(host_.statuses, Contains(" Sending 2 dumps again, 80 ms apart..."));
  // Each pass over the bank names itself and the bank by its name.
  EXPECT_THAT(host_.statuses, Contains(" Verifying Programs User..."));
  EXPECT_THAT(host_.progressCaptions,
              Contains(::testing::StartsWith("Verifying Programs User: 000/127 - ")));
  EXPECT_THAT(host_.progressCaptions, Contains("Verifying Programs User: 003/127 - reading"));
  EXPECT_EQ(SimBank(kProgramKind, 0), before);
  // The bank is read back whole once; then only the two, singly, in each of three rounds.
  std::ifstream in(dir_ / "midi.log");
  int bankRequests = 0, singleRequests = 0;
  for (std::string line; std::getline(in, line);) {
    bankRequests += line.find(" > \"Simulated Andromeda\" 8 F0 00 00 0E 1D 0A ") != line.npos;
    singleRequests += line.find(" > \"Simulated Andromeda\" 9 F0 00 00 0E 1D 01 ") != line.npos;
  }
  EXPECT_EQ(bankRequests, 1);
  EXPECT_EQ(singleRequests, 6);
  f.Log = nullptr;

  // The choice is remembered for the next send and across starts.
  EXPECT_TRUE(f.Verify);
  f.FormClose();
  EXPECT_EQ(IniFile::Load(dir_ / "quorle.ini").Get("MIDI", "Verify"), "1");
  form_.reset();
  midi_.reset();
  EXPECT_TRUE(Start().Verify);
}

TEST_F(BankTransfer, DamagedOrShuffledBankFilesAreRefusedBeforeAnythingIsSent) {
  TfrmMain& f = Start();
  UseEndpoint();
  const Bytes good = SimBank(kProgramKind, 0);
  Bytes damaged = good;
  damaged[5 * 2350 + 100] = 0x80;
  Bytes shuffled = good;
  std::swap_ranges(shuffled.begin() + 3 * 2350, shuffled.begin() + 4 * 2350,
                   shuffled.begin() + 4 * 2350);
  const Bytes shortFile(good.begin(), good.end() - 1);
  for (const auto& [name, content] :
       {std::pair{"damaged.syx", damaged}, {"shuffled.syx", shuffled}, {"short.syx", shortFile}}) {
    AnswerFile(Write(name, content));
    f.btnSendBankClick();
    ASSERT_FALSE(host_.messages.empty());
    EXPECT_EQ(host_.messages.back().text, std::string(name) + " is not a Program Bank Dump");
  }
  AnswerFile(Write("programs.syx", good));
  f.btnSendMixBankClick();
  EXPECT_EQ(host_.messages.back().text, "programs.syx is not a Mix Bank Dump");
  EXPECT_EQ(host_.messages.size(), 4u);
  EXPECT_TRUE(host_.dialogsShown.empty());
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_TRUE(endpoint_->Sent().empty());
}

TEST_F(BankTransfer, AClosedOutputPortTouchesNoFileAndSaysSo) {
  TfrmMain& f = Start();
  f.MidiOut.Close();
  f.OutputOpen = false;
  FetchBank(kMixKind, 0, dir_ / "never.syx");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "never.syx"));
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoOutputText);
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_FALSE(host_.progressShown);

  // A dump sent from the Library is told the same, not left without a word.
  f.SetStatus("");
  f.SendDump(kProgramKind, Sim().Dump(kProgramKind, 0, 3));
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoOutputText);
  EXPECT_TRUE(f.ControlsEnabled());
}

TEST_F(BankTransfer, ChoosersOpenedOnNoRealBankWaitForTheUsersChoice) {
  TfrmMain& f = Start();
  UseEndpoint();
  f.SendDelay = 0;
  // A single Program file addressed beyond the card: its bank byte names no bank.
  Bytes single = Sim().Dump(kProgramKind, 0, 9);
  single[6] = 20;
  AnswerFile(Write("p.syx", single));
  bool okEnabled = true;
  AnswerDialog<TdlgSendProgram>([&](TdlgSendProgram& d) {
    okEnabled = d.OkEnabled();
    EXPECT_FALSE(d.rbUserBankChecked());
    d.btnOKClick();
  });
  f.btnSendProgramClick();
  EXPECT_FALSE(okEnabled);
  EXPECT_TRUE(endpoint_->Sent().empty());

  // The bank send dialog then opens on that number too, and once a bank is picked, sends.
  f.KeepReplaced = false;  // the test endpoint has no bank to copy
  AnswerFile(Write("b.syx", SimBank(kProgramKind, 0)));
  AnswerDialog<TdlgSendBank>([&](TdlgSendBank& d) {
    EXPECT_FALSE(d.OkEnabled());
    d.rbUserClick();
    EXPECT_TRUE(d.OkEnabled());
    d.BitBtn1Click();
  });
  f.btnSendBankClick();
  EXPECT_EQ(f.ProgramBank, 0);
  ASSERT_TRUE(WaitIdle());

  // Mix card banks end at 15; 16 is no bank to send to.
  f.MixBank = 16;
  TdlgSendMixBank mixes(f);
  EXPECT_FALSE(mixes.OkEnabled());
  f.MixBank = 15;
  TdlgSendMixBank card(f);
  EXPECT_TRUE(card.rbCardChecked());
  EXPECT_EQ(card.CardIndex, 13);
}

}  // namespace
}  // namespace quorle
