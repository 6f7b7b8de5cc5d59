#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "dialogs/TdlgSendMix.h"
#include "dialogs/TdlgSendProgram.h"
#include "dialogs/TfrmSelMix.h"
#include "dialogs/TfrmSelProgram.h"
#include "dialogs/TfrmSetName.h"
#include "protocol/DumpName.h"
#include "protocol/FileNames.h"
#include "protocol/Pack.h"
#include "support/WindowFixture.h"

namespace quorle {
namespace {

using ::testing::HasSubstr;
using testing::WindowFixture;

class Transfer : public WindowFixture {
 protected:
  void SelectProgram(int bank, int number) {
    AnswerDialog<TfrmSelProgram>([=](TfrmSelProgram& d) {
      d.Bank = bank;
      d.Number = number;
      d.btnOKClick();
    });
  }
  void SelectMix(int bank, int number) {
    AnswerDialog<TfrmSelMix>([=](TfrmSelMix& d) {
      d.Bank = bank;
      d.Number = number;
      d.BitBtn1Click();
    });
  }
  static Bytes Data(const DumpKind& kind, ByteView dump) {
    Bytes data(kind.dataSize);
    Unpack(dump.subspan(8, kind.packedSize), data, kind.packedSize);
    return data;
  }
};

TEST_F(Transfer, GetProgramSavesExactlyWhatTheInstrumentSentUnderItsName) {
  TfrmMain& f = Start();
  const Bytes expected = Sim().Dump(kProgramKind, 0, 5);
  const std::string name = DumpName(kProgramKind, expected);
  SelectProgram(0, 5);
  AnswerFile(dir_ / "saved.syx");
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());

  EXPECT_EQ(Read(dir_ / "saved.syx"), expected);
  ASSERT_EQ(host_.fileChoices.size(), 1u);
  EXPECT_EQ(host_.fileChoices[0].fileName, ProposedFileName(name));
  EXPECT_EQ(f.StatusText(), " saved.syx saved to disk");
  EXPECT_EQ(copies_.filesWritten, std::vector<std::filesystem::path>{dir_ / "saved.syx"});
  EXPECT_EQ(f.ProgramPath, dir_.string() + "/");
  EXPECT_EQ(f.CurrentFileName, (dir_ / "saved.syx").string());
  EXPECT_EQ(f.DumpMode, 0);
}

TEST_F(Transfer, DumpsOfACancelledBankArePassedOverQuietlyUntilTheAnswerComes) {
  TfrmMain& f = Start();
  UseEndpoint();
  SelectProgram(0, 7);
  AnswerFile(dir_ / "p.syx");
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 1; }));
  const std::size_t statuses = host_.statuses.size();
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 3));
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 4));
  endpoint_->Inject(Sim().Dump(kProgramKind, 0, 7));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Read(dir_ / "p.syx"), Sim().Dump(kProgramKind, 0, 7));
  for (std::size_t i = statuses; i < host_.statuses.size(); ++i)
    EXPECT_THAT(host_.statuses[i], ::testing::Not(::testing::HasSubstr("unknown"))) << i;
}

TEST_F(Transfer, CardCountsAreLearnedFromCardBanksOnly) {
  TfrmMain& f = Start([](SimSettings& s) {
    s.programCardBanks = 3;
    s.mixCardBanks = 5;
  });
  SelectProgram(2, 0);  // Preset Bank 2
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());
  SelectMix(1, 0);  // the Preset Mix bank
  f.btnGetMixClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.ProgramBanksOnCard, -1);
  EXPECT_EQ(f.MixBanksOnCard, -1);

  SelectProgram(3, 7);
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.ProgramBanksOnCard, 3);
  EXPECT_EQ(f.MixBanksOnCard, 5);

  f.ProgramBanksOnCard = f.MixBanksOnCard = -1;
  SelectMix(2, 7);  // card bank 1 of the Mix scheme
  f.btnGetMixClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.ProgramBanksOnCard, 3);
  EXPECT_EQ(f.MixBanksOnCard, 5);
}

TEST_F(Transfer, CancelledDialogsWriteAndSendNothing) {
  TfrmMain& f = Start();
  f.DumpMode = 3;
  f.btnGetProgramClick();  // the selection is cancelled
  EXPECT_EQ(f.DumpMode, 0);
  EXPECT_TRUE(f.ControlsEnabled());

  SelectProgram(0, 1);  // then the save dialog is cancelled
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir_));  // the settings come only at close
}

TEST_F(Transfer, SendProgramAddressesTheFileToTheChosenSlot) {
  TfrmMain& f = Start();
  Bytes file = Sim().Dump(kProgramKind, 0, 3);
  file.push_back(0x55);  // one byte more: still one whole record
  const auto path = Write("send.syx", file);
  AnswerFile(path);
  std::string name = DumpName(kProgramKind, file);
  name.erase(name.find_last_not_of(' ') + 1);
  AnswerDialog<TdlgSendProgram>([&](TdlgSendProgram& d) {
    EXPECT_TRUE(d.rbUserBankChecked());
    EXPECT_EQ(d.Number, 3);  // opens on the file's own entry
    // The dialog names what goes and where to.
    EXPECT_EQ(d.Subject, "Program \"" + name + "\" (send.syx)");
    d.cbProgramChange(17);
    EXPECT_EQ(d.Destination(), "Programs User 017");
    d.btnOKClick();
  });
  f.btnSendProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " send.syx sent to Andromeda");
  Bytes expected(file.begin(), file.begin() + 2350);
  expected[7] = 17;
  EXPECT_EQ(Sim().Dump(kProgramKind, 0, 17), expected);

  // With Verify the lone dump is copied and read back under its own name, never as one of 127.
  f.Verify = true;
  AnswerFile(path);
  AnswerDialog<TdlgSendProgram>([](TdlgSendProgram& d) {
    d.cbProgramChange(10);
    d.btnOKClick();
  });
  f.btnSendProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " send.syx sent to Andromeda and verified");
  EXPECT_THAT(host_.statuses, ::testing::IsSupersetOf({" Keeping a copy of Program 010...",
                                                       " Verifying Program 010..."}));
  EXPECT_THAT(host_.progressCaptions, ::testing::Contains("Verifying Program 010..."));
  EXPECT_THAT(host_.progressCaptions,
              ::testing::Each(::testing::Not(::testing::HasSubstr("/127"))));
}

TEST_F(Transfer, FilesOfTheWrongSizeOrWithDamagedFramingAreRefusedAndNothingIsSent) {
  TfrmMain& f = Start();
  UseEndpoint();
  Bytes good = Sim().Dump(kMixKind, 0, 0);
  Bytes shortFile(good.begin(), good.end() - 1);
  Bytes badByte = good;
  badByte[500] = 0x92;
  Bytes noEnd = good;
  noEnd.back() = 0x00;
  for (const Bytes& content : {shortFile, badByte, noEnd}) {
    AnswerFile(Write("mix.syx", content));
    f.btnSendMixClick();
    ASSERT_FALSE(host_.messages.empty());
    EXPECT_EQ(host_.messages.back().text, "mix.syx is not a Mix Dump");
  }
  AnswerFile(Write("global.syx", Bytes(18182, 0)));
  f.btnSendGlobalClick();
  EXPECT_EQ(host_.messages.back().text, "global.syx is not a Global Data Dump");
  EXPECT_EQ(host_.messages.size(), 4u);
  EXPECT_TRUE(host_.dialogsShown.empty());
  EXPECT_TRUE(WaitIdle());
  EXPECT_TRUE(endpoint_->Sent().empty());
}

TEST_F(Transfer, RenameProgramChangesOnlyTheName) {
  TfrmMain& f = Start();
  const Bytes before = Sim().Dump(kProgramKind, 0, 9);
  SelectProgram(0, 9);
  AnswerDialog<TfrmSetName>([&](TfrmSetName& d) {
    EXPECT_EQ(d.Caption, "Rename");
    EXPECT_EQ(d.eName, DumpName(kProgramKind, before));
    d.SetName("Pad: 1/2");
  });
  f.btnRenameProgramClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), "Program \"Pad: 1/2\" sent to Andromeda");

  const Bytes after = Sim().Dump(kProgramKind, 0, 9);
  EXPECT_EQ(DumpName(kProgramKind, after), "Pad: 1/2        ");
  const Bytes a = Data(kProgramKind, before), b = Data(kProgramKind, after);
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i < 2 || i > 17) {
      ASSERT_EQ(a[i], b[i]) << "data byte " << i;
    }
  }
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 8, after.begin()));
}

TEST_F(Transfer, RenameMixToNothingSendsSixteenBlanks) {
  TfrmMain& f = Start();
  SelectMix(0, 4);
  AnswerDialog<TfrmSetName>([](TfrmSetName& d) {
    EXPECT_EQ(d.Caption, "Rename Mix");
    d.SetName("");
  });
  f.btnRenameMixClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), "Mix \"\" sent to Andromeda");
  EXPECT_EQ(DumpName(kMixKind, Sim().Dump(kMixKind, 0, 4)), std::string(16, ' '));
}

TEST_F(Transfer, RepliesOfTheWrongLengthUnlockTheWindowAndDamagedOnesAreAskedForAgain) {
  TfrmMain& f = Start();
  UseEndpoint();
  SelectProgram(0, 0);
  f.btnGetProgramClick();
  EXPECT_FALSE(f.ControlsEnabled());
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 1; }));
  endpoint_->Inject(Sim().Dump(kMixKind, 0, 0));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " unknown Midi message [1180 bytes]");

  // A damaged answer is asked for again; three of them and nothing is saved.
  SelectMix(0, 7);
  f.btnGetMixClick();
  Bytes wrongOpcode = Sim().Dump(kMixKind, 0, 7);
  wrongOpcode[5] = 0x00;
  for (std::size_t tries = 1; tries <= 3; ++tries) {
    ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 1 + tries; }));
    EXPECT_EQ(endpoint_->Sent().back(), DumpRequest(kMixKind, 0, 7));
    endpoint_->Inject(wrongOpcode);
  }
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " Mix not saved: dump 7 arrived damaged three times");
  EXPECT_EQ(endpoint_->Sent().size(), 4u);
  EXPECT_TRUE(host_.fileChoices.empty());
  // A good answer on the second try is saved as usual.
  SelectMix(0, 7);
  AnswerFile(dir_ / "m.syx");
  f.btnGetMixClick();
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 5; }));
  endpoint_->Inject(Bytes(wrongOpcode.begin(), wrongOpcode.end() - 1));
  ASSERT_TRUE(WaitFor([&] { return endpoint_->Sent().size() >= 6; }));
  endpoint_->Inject(Sim().Dump(kMixKind, 0, 7));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Read(dir_ / "m.syx"), Sim().Dump(kMixKind, 0, 7));
}

TEST_F(Transfer, AClosedOutputPortMakesRequestsAndSendsSilent) {
  TfrmMain& f = Start();
  f.MidiOut.Close();
  f.OutputOpen = false;
  SelectProgram(0, 0);
  f.btnGetProgramClick();
  EXPECT_TRUE(f.ControlsEnabled());
  AnswerFile(Write("p.syx", Sim().Dump(kProgramKind, 0, 0)));
  AnswerDialog<TdlgSendProgram>([](TdlgSendProgram& d) { d.btnOKClick(); });
  f.btnSendProgramClick();
  f.btnGetGlobalClick();
  EXPECT_TRUE(f.ControlsEnabled());
  EXPECT_FALSE(host_.progressShown);
  EXPECT_TRUE(host_.statuses.empty());
}

TEST_F(Transfer, InitializeMixSendsTheDefaultMixOrSaysWhatIsWrongWithIt) {
  TfrmMain& f = Start();
  const std::string path = dir_.string() + "/Default Mix.syx";
  f.btnInitMixClick();
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, path + " is missing.\nPlease replace or re-install this file");

  Write("Default Mix.syx", Bytes(1179, 0));
  f.btnInitMixClick();
  EXPECT_EQ(host_.messages.back().text,
            "File " + path + " has been damaged.\nPlease replace or re-install this file");

  const Bytes mix = RenameDump(kMixKind, Sim().Dump(kMixKind, 0, 0), "Init Test");
  Write("Default Mix.syx", mix);
  f.MixBank = 2;
  f.MixNumber = 5;
  AnswerDialog<TdlgSendMix>([](TdlgSendMix& d) {
    EXPECT_EQ(d.Caption, "Initialize Mix");
    EXPECT_TRUE(d.rbCardChecked());
    EXPECT_EQ(d.CardIndex, 0);
    EXPECT_EQ(d.EntryIndex, 5);
    d.cbProgramChange(6);
  });
  f.btnInitMixClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), "Default Mix sent to Andromeda");
  Bytes expected = mix;
  expected[6] = 2;
  expected[7] = 6;
  EXPECT_EQ(Sim().Dump(kMixKind, 2, 6), expected);
}

TEST_F(Transfer, GlobalDataArrivesWholeWithAnyBufferSize) {
  for (const char* size : {"4096", "5000", "16384"}) {
    TfrmMain& f = Start();
    f.UserTypesBufferSize(size);
    AnswerFile(dir_ / "global.syx");
    f.btnGetGlobalClick();
    EXPECT_TRUE(host_.progressShown);
    ASSERT_TRUE(WaitIdle()) << size;
    EXPECT_FALSE(host_.progressShown);
    EXPECT_EQ(host_.fileChoices.back().fileName, "Global");
    EXPECT_EQ(Read(dir_ / "global.syx"), Sim().GlobalData()) << size;
    form_.reset();
    midi_.reset();
  }
}

TEST_F(Transfer, GlobalDataIsSentUnchanged) {
  TfrmMain& f = Start();
  Bytes global = Sim().GlobalData();
  for (std::size_t i = 10; i < 18000; i += 7) global[i] = static_cast<std::uint8_t>(i % 128);
  Bytes file = global;
  file.push_back(0x00);  // 18,184 bytes: the first 18,183 are sent
  AnswerFile(Write("g.syx", file));
  host_.confirms.push_back(true);
  f.btnSendGlobalClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " g.syx sent to Andromeda");
  ASSERT_TRUE(WaitFor([&] { return Sim().GlobalData() == global; }));
}

// Every kept copy of the Global Data.
std::vector<std::filesystem::path> GlobalCopies(const TfrmMain& f) {
  std::vector<std::filesystem::path> copies;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(f.GlobalCopyFolder(), ec))
    copies.push_back(e.path());
  return copies;
}

TEST_F(Transfer, GlobalDataSendAsksAndKeepsTheReplacedSettingsWhichPutBackRestores) {
  TfrmMain& f = Start();
  const Bytes before = Sim().GlobalData();
  Bytes global = before;
  for (std::size_t i = 10; i < 18000; i += 5) global[i] = static_cast<std::uint8_t>(i % 100);
  AnswerFile(Write("g.syx", global));
  host_.confirms.push_back(true);
  f.btnSendGlobalClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(f.StatusText(), " g.syx sent to Andromeda");
  ASSERT_TRUE(WaitFor([&] { return Sim().GlobalData() == global; }));
  std::vector<std::filesystem::path> copies = GlobalCopies(f);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].parent_path(), dir_ / "Global Data copies");
  EXPECT_EQ(Read(copies[0]), before);
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_THAT(host_.questions[0], HasSubstr("\"g.syx\""));
  EXPECT_THAT(host_.questions[0], HasSubstr(copies[0].string()));

  // Sent back the same way, the copy restores the settings, and the put-back keeps its own.
  AnswerFile(copies[0]);
  host_.confirms.push_back(true);
  f.btnSendGlobalClick();
  ASSERT_TRUE(WaitIdle());
  ASSERT_TRUE(WaitFor([&] { return Sim().GlobalData() == before; }));
  const std::filesystem::path first = copies[0];
  copies = GlobalCopies(f);
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(Read(first), before);
  EXPECT_EQ(Read(copies[copies[0] == first ? 1 : 0]), global);
}

TEST_F(Transfer, GlobalDataSendSendsNothingWhenCancelledOrWithoutACopy) {
  TfrmMain& f = Start();
  const Bytes before = Sim().GlobalData();
  Bytes global = before;
  global[100] ^= 1;
  const auto file = Write("g.syx", global);
  // The status the try ended with; the instrument's settings are as they were.
  const auto tryToSend = [&](bool yes) {
    AnswerFile(file);
    host_.confirms.push_back(yes);
    f.btnSendGlobalClick();
    EXPECT_TRUE(WaitIdle());
    const std::string status = f.StatusText();
    // Whatever was on its way has reached the instrument by the time this answer is in.
    AnswerFile(dir_ / "now.syx");
    f.btnGetGlobalClick();
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(Sim().GlobalData(), before);
    return status;
  };
  tryToSend(false);
  EXPECT_EQ(host_.questions.size(), 1u);
  EXPECT_TRUE(GlobalCopies(f).empty());

  // The copy cannot be written: its folder's place is taken by a file.
  f.DataFolder = Write("not a folder", Bytes{1});
  EXPECT_THAT(tryToSend(true), HasSubstr(" No copy of the Global Data kept ("));

  f.DataFolder = dir_;
  SimFaults faults = Sim().Faults();
  faults.ignoreSingleRequests = true;
  Sim().SetFaults(faults);
  f.ReplyTimeout = 1;
  EXPECT_EQ(tryToSend(true),
            std::string(TfrmMain::kNoReplyText) + ": no copy kept, nothing was sent");
  EXPECT_TRUE(GlobalCopies(f).empty());
}

TEST_F(Transfer, AFileThatCannotBeWrittenIsReportedAndTheWindowUnlocks) {
  TfrmMain& f = Start();
  SelectProgram(0, 0);
  AnswerFile(dir_ / "no such folder" / "p.syx");
  f.btnGetProgramClick();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Error);
  EXPECT_THAT(host_.messages[0].text, HasSubstr((dir_ / "no such folder" / "p.syx").string()));
  EXPECT_THAT(host_.messages[0].text, HasSubstr("No such file or directory"));
}

TEST_F(Transfer, AReplyArrivingWhileTheSaveDialogIsOpenIsHandledAfterIt) {
  TfrmMain& f = Start();
  UseEndpoint();
  SelectProgram(0, 0);
  const Bytes first = Sim().Dump(kProgramKind, 0, 0);
  const Bytes second = RenameDump(kProgramKind, first, "Second copy");
  int open = 0;
  int nested = 0;
  auto save = [&](const std::string& name) {
    return [&, name](const FileChoice&) -> std::optional<std::string> {
      ++open;
      nested = std::max(nested, open);
      if (name == "first.syx") {
        // A modal dialog runs an event loop of its own; the next dump arrives meanwhile.
        endpoint_->Inject(second);
        MidiDispatcher::Main().WaitAndDispatch(std::chrono::milliseconds(300));
      }
      --open;
      return (dir_ / name).string();
    };
  };
  host_.files.push_back(save("first.syx"));
  host_.files.push_back(save("second.syx"));
  f.btnGetProgramClick();
  ASSERT_TRUE(endpoint_->WaitForSent(1, kLimit));
  endpoint_->Inject(first);
  ASSERT_TRUE(WaitFor([&] { return host_.fileChoices.size() == 2 && f.ControlsEnabled(); }));
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(Read(dir_ / "first.syx"), first);
  EXPECT_EQ(Read(dir_ / "second.syx"), second);
}

}  // namespace
}  // namespace quorle
