#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dialogs/TdlgSendBank.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmPickDir.h"
#include "dialogs/TfrmSelProgram.h"
#include "dialogs/TfrmSetName.h"
#include "dialogs/TfrmSplitBank.h"
#include "dialogs/TfrmSplitMixBank.h"
#include "midi/MidiInputDriver.h"
#include "midi/MidiTestSupport.h"
#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "sim/SimSettings.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing::WindowFixture;

// Every rehearsed fault of the instrument, met by the window's fetches with a short time-out.
class Faults : public WindowFixture {
 protected:
  static constexpr double kTimeout = 0.3;

  TfrmMain& StartWith(const std::string& fault) {
    TfrmMain& f = Start([&](SimSettings& s) {
      std::string error;
      ASSERT_TRUE(ParseSimFault(fault, s.faults, error)) << error;
    });
    f.ReplyTimeout = kTimeout;
    return f;
  }
  // Runs one fetch to its end, whichever way it ends, and answers what the file then holds.
  std::optional<Bytes> Fetch(const std::string& what) {
    const auto file = dir_ / (what + ".syx");
    std::filesystem::remove(file);
    AnswerFile(file);
    if (what == "program") {
      AnswerDialog<TfrmSelProgram>([](TfrmSelProgram& d) { d.btnOKClick(); });
      form_->btnGetProgramClick();
    } else if (what == "programs") {
      AnswerDialog<TfrmSplitBank>([](TfrmSplitBank& d) { d.btnOKClick(); });
      form_->btnGetBankClick(0);
    } else if (what == "mixes") {
      AnswerDialog<TfrmSplitMixBank>([](TfrmSplitMixBank& d) { d.btnOKClick(); });
      form_->btnGetMixBankClick(0);
    } else {
      form_->btnGetGlobalClick();
    }
    EXPECT_TRUE(WaitIdle()) << what;
    EXPECT_FALSE(host_.progressShown) << what;
    host_.files.clear();
    if (!std::filesystem::exists(file)) return std::nullopt;
    return Read(file);
  }
};

TEST_F(Faults, LostAndDamagedDumpsAreFetchedAgainSoBanksAndSplitsArriveByteExact) {
  for (const std::string fault :
       {"drop:5", "wrong-opcode:5", "short:5", "stall:5", "stall:5:900", "lose:5"}) {
    SCOPED_TRACE(fault);
    TfrmMain& f = StartWith(fault);
    EXPECT_EQ(Fetch("programs"), SimBank(kProgramKind));
    EXPECT_THAT(f.StatusText(), StartsWith("Bank \"programs.syx\" saved to disk ("));
    EXPECT_THAT(f.StatusText(), EndsWith(" fetched again)"));
    EXPECT_EQ(Fetch("mixes"), SimBank(kMixKind));

    const auto folder = dir_ / ("split " + fault.substr(0, fault.find(':')));
    std::filesystem::create_directories(folder);
    AnswerDialog<TfrmSplitMixBank>([](TfrmSplitMixBank& d) { d.btnOKClick(); });
    AnswerDialog<TfrmPickDir>([=](TfrmPickDir& d) {
      d.lbSplitDirDblClick(folder);
      d.btnOKClick();
    });
    f.btnGetMixBankClick(1);
    ASSERT_TRUE(WaitIdle());
    for (int i = 0; i < 128; ++i) {
      const Bytes dump = Sim().Dump(kMixKind, 0, i);
      ASSERT_EQ(Read(SplitFilePath(folder, kMixKind, i, dump)), dump) << i;
    }
    form_.reset();
    midi_.reset();
  }
}

TEST_F(Faults, AnEntryThatNeverComesEndsInATimeOutAndOneAlwaysDamagedIsNamed) {
  // Asked for singly three times, entry 5 never answers: the instrument is gone.
  TfrmMain& f = StartWith("drop:5");
  SimFaults faults = Sim().Faults();
  faults.ignoreSingleRequests = true;
  Sim().SetFaults(faults);
  EXPECT_EQ(Fetch("programs"), std::nullopt);
  EXPECT_EQ(f.StatusText(), std::string(TfrmMain::kNoReplyText) + ": 127 of 128 received");
  EXPECT_EQ(f.LastGaveUp(), TfrmMain::GaveUp::NoReply);

  // A bank request that brings nothing at all is sent three times in all.
  UseEndpoint();
  EXPECT_EQ(Fetch("programs"), std::nullopt);
  EXPECT_EQ(endpoint_->Sent(), std::vector<Bytes>(3, BankDumpRequest(kProgramKind, 0)));
  EXPECT_EQ(f.StatusText(), std::string(TfrmMain::kNoReplyText) + ": 0 of 128 received");

  // Damaged on every try: nothing is written, and the status names the entry.
  f.ReplyTimeout = 5;
  const std::size_t before = endpoint_->Sent().size();
  const auto file = Write("kept.syx", Bytes{1});
  AnswerDialog<TfrmSplitBank>([](TfrmSplitBank& d) { d.btnOKClick(); });
  AnswerFile(file);
  f.btnGetBankClick(0);
  for (int i = 0; i < 128; ++i) {
    if (i != 5) endpoint_->Inject(Sim().Dump(kProgramKind, 0, i));
  }
  const Bytes five = Sim().Dump(kProgramKind, 0, 5);
  for (std::size_t tries = 1; tries <= 3; ++tries) {
    ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= before + 1 + tries; }));
    EXPECT_EQ(endpoint_->Sent().back(), DumpRequest(kProgramKind, 0, 5));
    if (tries > 1) {
      EXPECT_EQ(host_.progressCaption,
                " 005/127 - fetching again (try " + std::to_string(tries) + " of 3)");
    }
    endpoint_->Inject(Bytes(five.begin(), five.end() - 2));
  }
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " Program Bank not saved: dump 5 arrived damaged three times");
  EXPECT_EQ(Read(file), Bytes{1});
}

TEST_F(Faults, ForeignMessagesSlowRepliesAndShortStallsAreSurvived) {
  for (const std::string fault : {"foreign:5", "slow:100", "stall:5:100"}) {
    SCOPED_TRACE(fault);
    TfrmMain& f = StartWith(fault);
    EXPECT_TRUE(Fetch("program").has_value());
    EXPECT_EQ(Fetch("programs"), SimBank(kProgramKind));
    EXPECT_EQ(f.StatusText(), "Bank \"programs.syx\" saved to disk");
    EXPECT_EQ(Fetch("mixes"), SimBank(kMixKind));
    EXPECT_EQ(Fetch("global"), Sim().GlobalData());
    form_.reset();
    midi_.reset();
  }
}

TEST_F(Faults, AnInstrumentThatIgnoresSingleRequestsTimesOutAndALateReplyIsNeverSaved) {
  TfrmMain& f = StartWith("ignore");
  EXPECT_EQ(Fetch("program"), std::nullopt);
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoReplyText);
  EXPECT_EQ(Fetch("global"), std::nullopt);
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoReplyText);
  EXPECT_EQ(Fetch("programs"), SimBank(kProgramKind));  // banks still come
  EXPECT_TRUE(host_.fileChoices.size() == 1);           // only the bank asked where to save

  // A reply later than the time-out of every try is freed unread: no save dialog, no file.
  form_.reset();
  midi_.reset();
  host_.fileChoices.clear();
  TfrmMain& g = StartWith("slow:1500");
  EXPECT_EQ(Fetch("program"), std::nullopt);
  EXPECT_EQ(g.StatusText(), TfrmMain::kNoReplyText);
  g.ReplyTimeout = 5;
  g.btnCheckClick();  // the late dump arrives while this waits
  ASSERT_TRUE(WaitFor([&] { return host_.messages.size() == 1; }));
  EXPECT_THAT(host_.messages[0].text, HasSubstr("found"));
  EXPECT_TRUE(host_.fileChoices.empty());
}

TEST_F(Faults, AReplyGivenUpOnNeverPassesForTheAnswerToTheNextRequest) {
  // Later than the three tries of a single request.
  TfrmMain& f = StartWith("slow:1500");
  AnswerDialog<TfrmSelProgram>([](TfrmSelProgram& d) {
    d.Bank = 1;  // Preset Bank 1, entry 0
    d.btnOKClick();
  });
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), TfrmMain::kNoReplyText);
  // The preset dump comes while the User bank is collected: it is no entry 0 of that bank.
  f.ProgramBank = 0;
  f.ReplyTimeout = 5;
  EXPECT_EQ(Fetch("programs"), SimBank(kProgramKind));

  // A rename given up on: its late dump must not be renamed and sent over the next entry.
  const Bytes five = Sim().Dump(kProgramKind, 0, 5);
  for (const auto& [number, timeout] : {std::pair{5, kTimeout}, {6, 5.0}}) {
    f.ReplyTimeout = timeout;
    host_.dialogs.clear();
    AnswerDialog<TfrmSelProgram>([n = number](TfrmSelProgram& d) {
      d.Bank = 0;
      d.Number = n;
      d.btnOKClick();
    });
    AnswerDialog<TfrmSetName>([](TfrmSetName& d) { d.SetName("Renamed"); });
    f.btnRenameProgramClick();
    ASSERT_TRUE(WaitIdle());
  }
  EXPECT_EQ(Sim().Dump(kProgramKind, 0, 5), five);
  EXPECT_EQ(DumpName(kProgramKind, Sim().Dump(kProgramKind, 0, 6)), "Renamed         ");

  // A connection check nobody answers must not give up a send started after it.
  UseEndpoint();
  f.ReplyTimeout = kTimeout;
  f.SendDelay = 5;
  f.btnCheckClick();
  AnswerFile(Write("b.syx", SimBank(kProgramKind)));
  f.KeepReplaced = false;  // the test endpoint has no bank to copy
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) { d.BitBtn1Click(); });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " b.syx sent to Andromeda");
  EXPECT_EQ(endpoint_->Sent().size(), 129u);  // the identity request and the bank
}

TEST_F(Faults, SilenceNotLengthEndsAWaitAndTheUserCanGiveUpAtOnce) {
  // A bank that takes several time-outs to arrive completes while its dumps keep coming.
  TfrmMain& f = Start([](SimSettings& s) { s.rate = 100000; });
  f.ReplyTimeout = 0.2;
  EXPECT_EQ(Fetch("mixes"), SimBank(kMixKind));

  // Cancel while collecting: nothing saved, the window free again.
  f.ReplyTimeout = 0;  // waits as long as it takes
  AnswerDialog<TfrmSplitBank>([](TfrmSplitBank& d) { d.btnOKClick(); });
  AnswerFile(dir_ / "cancelled.syx");
  f.btnGetBankClick(0);
  ASSERT_TRUE(WaitFor([&] { return f.ReceivedCount >= 3; }));
  f.CancelExchange();
  EXPECT_EQ(f.StatusText(), std::string(TfrmMain::kCancelledText) + ": " +
                                std::to_string(f.ReceivedCount) + " of 128 received");
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_FALSE(host_.progressShown);
  EXPECT_EQ(f.LastGaveUp(), TfrmMain::GaveUp::Cancelled);

  // Cancel while sending: the status says how many went out, and no more follow.
  UseEndpoint();
  f.SendDelay = 20;
  AnswerFile(Write("b.syx", SimBank(kProgramKind)));
  f.KeepReplaced = false;  // the test endpoint has no bank to copy
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) { d.BitBtn1Click(); });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 3; }));
  f.CancelExchange();
  EXPECT_THAT(f.StatusText(), StartsWith(std::string(TfrmMain::kCancelledText) + ": "));
  ASSERT_TRUE(WaitIdle());
  const std::size_t sent = endpoint_->Sent().size();
  EXPECT_THAT(f.StatusText(), HasSubstr(": " + std::to_string(sent) + " of 128 sent"));
  EXPECT_LT(sent, 128u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "cancelled.syx"));
}

// The MIDI system reports lost input in the middle of a dump: the head joined so far and the tail
// of the next dump never make one (they would pass for one), both entries are asked for again,
// and the status counts the loss.
TEST_F(Faults, ADumpCutByLostInputIsFetchedAgainAndTheLossCounted) {
  TfrmMain& f = StartWith("input-loss:6");
  EXPECT_EQ(Fetch("programs"), SimBank(kProgramKind));
  EXPECT_EQ(f.StatusText(),
            "Bank \"programs.syx\" saved to disk (input overflowed once; 2 dumps fetched again)");
}

// The MIDI system refuses a message: the window says so, never "sent", unlocks, and sends nothing
// after it.
TEST_F(Faults, AMessageTheOutputPortCannotSendIsNeverReportedSent) {
  // The port's first long message asks for the copy of what the send replaces; the second is the
  // Program itself.
  TfrmMain& f = StartWith("port-fail:2");
  const Bytes slot3 = Sim().Dump(kProgramKind, 0, 3);
  AnswerFile(Write("p.syx", Sim().Dump(kProgramKind, 0, 9)));
  AnswerDialog<TdlgSendProgram>([](TdlgSendProgram& d) {
    d.cbProgramChange(3);
    d.btnOKClick();
  });
  f.btnSendProgramClick();
  EXPECT_FALSE(f.ControlsEnabled());  // until the port has said how it went
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), TfrmMain::kSendFailedText);
  EXPECT_EQ(f.LastGaveUp(), TfrmMain::GaveUp::SendFailed);
  EXPECT_EQ(Sim().Dump(kProgramKind, 0, 3), slot3);
  EXPECT_THAT(copies_.sentEntries, ::testing::IsEmpty());  // nor recorded as sent

  // A bank whose fifth dump is refused ends there: the port's eighth long message, after the
  // Program's two and the request for the copy of the bank.
  SimFaults faults = Sim().Faults();
  faults.portFailAt = 8;
  Sim().SetFaults(faults);
  f.SendDelay = 0;
  const Bytes user = SimBank(kProgramKind, 0), presets = SimBank(kProgramKind, 1);
  AnswerFile(Write("b.syx", presets));
  AnswerDialog<TdlgSendBank>([](TdlgSendBank& d) { d.BitBtn1Click(); });
  f.btnSendBankClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), std::string(TfrmMain::kSendFailedText) +
                                ": entries 000-003 of Programs User were sent, the rest not");
  EXPECT_FALSE(host_.progressShown);
  for (int i = 0; i < 128; ++i) {
    const ByteView was = ByteView(i < 4 ? presets : user).subspan(i * 2350, 2350);
    ASSERT_EQ(DumpName(kProgramKind, Sim().Dump(kProgramKind, 0, i)), DumpName(kProgramKind, was))
        << "entry " << i;
  }
  for (const std::string& status : host_.statuses) {
    EXPECT_THAT(status, Not(HasSubstr("sent to Andromeda")));
  }
  EXPECT_THAT(copies_.sentEntries, ::testing::ElementsAre(0, 1, 2, 3));
  // Only the places the send reached hold a replaced dump now.
  std::vector<int> replaced;
  for (const auto& kept : copies_.kept) replaced.push_back(kept.entry);
  EXPECT_THAT(replaced, ::testing::ElementsAre(0, 1, 2, 3));
}

// Messages that come faster than the window takes its buffers back wait in the input port's
// store; what finds no room there either is lost, and the user is told at once.
TEST_F(Faults, AReceivedMessageThatFindsNoRoomIsReportedLost) {
  TfrmMain& f = Start();
  UseEndpoint();
  // Nobody asked: nothing takes the four buffers back, and the store fills behind them.
  const unsigned count = MidiInputDriver::kStoreBytes / 4096 + 8;
  for (unsigned i = 0; i < count; ++i) endpoint_->Inject(test::Sysex(4096, i));
  ASSERT_TRUE(WaitFor([&] { return f.StatusText() == TfrmMain::kBuffersFullText; }));
  EXPECT_TRUE(f.ControlsEnabled());
}

}  // namespace
}  // namespace quorle
