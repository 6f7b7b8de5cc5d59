#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/OfflineCommands.h"
#include "dialogs/TfrmProgress.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "support/CliFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// quorle-cli against the simulated instrument only, its memory kept in a state file, so each
// call is a fresh start of the program as a musician would make it.
class LiveCli : public testing::CliFixture {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--sim-state", Path("sim.syx")});
    return RunCli(std::move(args));
  }
  static std::string NameIn(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(path, b).ok);
    return b.size() == 2350 ? DumpName(kProgramKind, b) : DumpName(kMixKind, b);
  }
};

TEST_F(LiveCli, ChangesPersistInTheSimulatedInstrumentAcrossCalls) {
  // The help trace beside the program belongs to the window; the command line leaves it alone.
  ASSERT_TRUE(WriteFileAtomically(dir_ / "HHDebug.txt", Bytes{'t', '\n'}).ok);
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "3", "-o", Path("a.syx")}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" a.syx saved to disk"));
  EXPECT_TRUE(fs::exists(dir_ / "HHDebug.txt"));
  ASSERT_EQ(Run({"send-program", Path("a.syx"), "--bank", "0", "--number", "40"}), 0) << err_.str();
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "40", "-o", Path("b.syx")}), 0);
  EXPECT_EQ(NameIn(Path("b.syx")), NameIn(Path("a.syx")));

  ASSERT_EQ(Run({"rename-program", "--bank", "0", "--number", "40", "--name", "Kept: 1"}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Program \"Kept: 1\" sent to Andromeda"));
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "40", "-o", Path("c.syx")}), 0);
  EXPECT_EQ(NameIn(Path("c.syx")), "Kept: 1         ");

  ASSERT_EQ(Run({"init-mix", "--bank", "0", "--number", "2"}), 1);  // no Default Mix here
  EXPECT_THAT(err_.str(), HasSubstr("Default Mix.syx is missing."));
  ASSERT_EQ(Run({"get-global", "-o", Path("g.syx")}), 0) << err_.str();
  Bytes before, changed;
  ASSERT_TRUE(ReadWholeFile(Path("g.syx"), before).ok);
  changed = before;
  changed[9000] ^= 0x01;
  ASSERT_TRUE(WriteFileAtomically(Path("changed.syx"), changed).ok);
  // A script is not asked, but the settings the send replaces are kept beside the library.
  ASSERT_EQ(Run({"send-global", Path("changed.syx")}), 0) << err_.str();
  const fs::path copies = dir_ / "Global Data copies";
  ASSERT_EQ(std::distance(fs::directory_iterator(copies), fs::directory_iterator()), 1);
  const fs::path copy = fs::directory_iterator(copies)->path();
  ASSERT_EQ(Run({"send-global", copy.string()}), 0) << err_.str();
  ASSERT_EQ(Run({"get-global", "-o", Path("back.syx")}), 0) << err_.str();
  Bytes back;
  ASSERT_TRUE(ReadWholeFile(Path("back.syx"), back).ok);
  EXPECT_EQ(back, before);
}

TEST_F(LiveCli, AMessageTheOutputPortCannotSendEndsInStatusThreeWithItsReason) {
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "3", "-o", Path("a.syx")}), 0);
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("bank.syx")}), 0);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"send-program", Path("a.syx"), "--bank", "0", "--number", "40"},
        {"send-program-bank", Path("bank.syx"), "--bank", "0"}}) {
    std::vector<std::string> args{"--sim-fault", "port-fail:3"};
    // The copy of what is there comes first: a request, then (for the bank) its dumps.
    if (command[0] == "send-program") args[1] = "port-fail:2";
    args.insert(args.end(), command.begin(), command.end());
    EXPECT_EQ(Run(args), 3) << command[0];
    // A bank says what it had changed already.
    EXPECT_THAT(err_.str(),
                HasSubstr(command[0] == "send-program"
                              ? "The MIDI output port could not send the message\n"
                              : "The MIDI output port could not send the message: entries 000 of "
                                "Programs User were sent, the rest not\n"));
    EXPECT_THAT(err_.str(), HasSubstr("MIDI: Simulated Andromeda: the in-process MIDI output "
                                      "refused a 2350-byte message"));
    EXPECT_THAT(out_.str(), Not(HasSubstr("sent to Andromeda")));
  }
}

// A bank send the port stops halfway: the status names what was sent, and only those places are
// marked replaced in the Library.
TEST_F(LiveCli, ABankSendCutShortNamesWhatItChangedAndMarksOnlyThatReplaced) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("bank.syx")}), 0);
  // The copy's bank request is the first message, dump 37 the 39th.
  EXPECT_EQ(
      Run({"--sim-fault", "port-fail:40", "send-program-bank", Path("bank.syx"), "--bank", "0"}),
      3);
  EXPECT_THAT(err_.str(), HasSubstr("The MIDI output port could not send the message: entries "
                                    "000-037 of Programs User were sent, the rest not\n"));
  ASSERT_EQ(Run({"library", "list", "--place", "Andromeda", "--limit", "100000", "--json"}), 0);
  std::set<int> replaced;
  for (const auto& d : nlohmann::json::parse(out_.str())) {
    for (const auto& p : d["places"]) {
      if (p["how"] == "replaced") replaced.insert(p["entry"].get<int>());
    }
  }
  EXPECT_EQ(replaced.size(), 38u);
  EXPECT_EQ(*replaced.rbegin(), 37);
}

// A card bank the card lacks: while the card's size is unknown a send there is not recorded as
// placed; once it is known, the send is refused before anything goes out.
TEST_F(LiveCli, ASendToACardBankTheCardLacksIsNeitherRecordedNorOnceKnownSent) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("bank.syx")}), 0);
  const auto cardTenPlaces = [&] {
    EXPECT_EQ(Run({"library", "list", "--place", "Andromeda", "--limit", "100000", "--json"}), 0);
    int places = 0;
    for (const auto& d : nlohmann::json::parse(out_.str())) {
      for (const auto& p : d["places"]) places += p["bank"] == 10;
    }
    return places;
  };
  ASSERT_EQ(Run({"--sim-program-card-banks", "2", "send-program-bank", Path("bank.syx"), "--bank",
                 "10", "--no-keep-copy"}),
            0)
      << err_.str();
  EXPECT_EQ(cardTenPlaces(), 0);

  ASSERT_EQ(Run({"--sim-program-card-banks", "2", "get-program", "--bank", "3", "--number", "0",
                 "-o", Path("card.syx")}),
            0);
  EXPECT_EQ(Run({"--sim-program-card-banks", "2", "--midi-log", Path("refused.log"),
                 "send-program-bank", Path("bank.syx"), "--bank", "10", "--no-keep-copy"}),
            1);
  EXPECT_EQ(err_.str(), "Programs Card 8 is not on the card (2 banks): nothing was sent\n");
  EXPECT_EQ(fs::file_size(Path("refused.log")), 0u);
  EXPECT_EQ(cardTenPlaces(), 0);
}

TEST_F(LiveCli, WholeBanksTravelByteExactBothWays) {
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "1", "-o", Path("presets.syx")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("Mix Bank \"presets.syx\" saved to disk"));
  ASSERT_EQ(Run({"--delay", "0", "send-mix-bank", Path("presets.syx"), "--bank", "0"}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" presets.syx sent to Andromeda"));
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("user.syx")}), 0);
  Bytes presets, user;
  ASSERT_TRUE(ReadWholeFile(Path("presets.syx"), presets).ok);
  ASSERT_TRUE(ReadWholeFile(Path("user.syx"), user).ok);
  ASSERT_EQ(user.size(), 128u * 1180);
  for (std::size_t i = 0; i < 128; ++i) presets[i * 1180 + 6] = 0;  // now in the User bank
  EXPECT_EQ(user, presets);

  ASSERT_EQ(Run({"info", Path("user.syx"), "--names"}), 0);
  const std::string names = out_.str();
  EXPECT_EQ(std::count(names.begin(), names.end(), '\n'), 128);
  EXPECT_EQ(names.substr(0, names.find('\n')), NameLine(DumpName(kMixKind, user)));

  EXPECT_EQ(Run({"send-program-bank", Path("user.syx"), "--bank", "0"}), 1);
  EXPECT_EQ(err_.str(), "user.syx is not a Program Bank Dump\n");
  EXPECT_EQ(Run({"send-program-bank", Path("user.syx"), "--bank", "17"}), 2);
}

TEST_F(LiveCli, BankNamesRoundTripThroughInfoAnEditAndARename) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("user.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"info", Path("user.syx"), "--names"}), 0);
  std::string names = out_.str();
  // Line 6 (entry 5) gets a new name; every other line stays as info printed it.
  const auto from = [&](int line) {
    std::size_t at = 0;
    for (int i = 1; i < line; ++i) at = names.find('\n', at) + 1;
    return at;
  };
  names.replace(from(6), names.find('\n', from(6)) - from(6), "New Five");
  ASSERT_TRUE(WriteFileAtomically(
                  dir_ / "names.txt",
                  ByteView(reinterpret_cast<const std::uint8_t*>(names.data()), names.size()))
                  .ok);

  ASSERT_EQ(Run({"rename-program-bank", "--file", Path("user.syx"), "--names", Path("names.txt"),
                 "-o", Path("renamed.syx")}),
            0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" File 'renamed.syx' saved to disk"));
  Bytes user, renamed;
  ASSERT_TRUE(ReadWholeFile(Path("user.syx"), user).ok);
  ASSERT_TRUE(ReadWholeFile(Path("renamed.syx"), renamed).ok);
  const Bytes five(user.begin() + 5 * 2350, user.begin() + 6 * 2350);
  Bytes expected = user;
  const Bytes newFive = RenameDump(kProgramKind, five, "New Five");
  std::copy(newFive.begin(), newFive.end(), expected.begin() + 5 * 2350);
  EXPECT_EQ(renamed, expected);

  // A name of bytes that info can only show (a control byte, a Latin-1 letter) comes back as it
  // was.
  Bytes odd = user;
  const Bytes oddFirst =
      RenameDump(kProgramKind, ByteView(user).first(2350), std::string("Caf\xE9\x01 Bar", 9));
  std::copy(oddFirst.begin(), oddFirst.end(), odd.begin());
  ASSERT_TRUE(WriteFileAtomically(dir_ / "odd.syx", odd).ok);
  ASSERT_EQ(Run({"info", Path("odd.syx"), "--names"}), 0);
  ASSERT_TRUE(WriteFileAtomically(dir_ / "odd.txt",
                                  ByteView(reinterpret_cast<const std::uint8_t*>(out_.str().data()),
                                           out_.str().size()))
                  .ok);
  ASSERT_EQ(Run({"rename-program-bank", "--file", Path("odd.syx"), "--names", Path("odd.txt"), "-o",
                 Path("odd2.syx")}),
            0)
      << err_.str();
  Bytes odd2;
  ASSERT_TRUE(ReadWholeFile(Path("odd2.syx"), odd2).ok);
  EXPECT_EQ(odd2, odd);

  // From the instrument to a card bank, and back into a file: the same bank.
  ASSERT_EQ(Run({"--delay", "0", "rename-program-bank", "--bank", "0", "--names", Path("names.txt"),
                 "--send-to", "3"}),
            0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Renamed bank sent to Andromeda"));
  ASSERT_EQ(Run({"get-program-bank", "--bank", "3", "-o", Path("card.syx")}), 0);
  Bytes card;
  ASSERT_TRUE(ReadWholeFile(Path("card.syx"), card).ok);
  for (std::size_t i = 0; i < 128; ++i) expected[i * 2350 + 6] = 3;
  EXPECT_EQ(card, expected);

  // Renamed in place, the bank fetched for the names is the copy of what the send replaces: the
  // bank is asked for once.
  ASSERT_EQ(Run({"--delay", "0", "--midi-log", Path("rename.log"), "rename-program-bank", "--bank",
                 "0", "--names", Path("names.txt"), "--send-to", "0"}),
            0)
      << err_.str();
  std::ifstream log(Path("rename.log"));
  int bankRequests = 0;
  for (std::string line; std::getline(log, line);)
    bankRequests += line.find(" > ") != std::string::npos &&
                    line.find(" 8 F0 00 00 0E 1D 0A 00 F7") != std::string::npos;
  EXPECT_EQ(bankRequests, 1);

  // A line no name can be is refused, naming it, before anything is written.
  names.replace(from(9), names.find('\n', from(9)) - from(9), "Seventeen chars!!");
  ASSERT_TRUE(WriteFileAtomically(
                  dir_ / "bad.txt",
                  ByteView(reinterpret_cast<const std::uint8_t*>(names.data()), names.size()))
                  .ok);
  EXPECT_EQ(Run({"rename-program-bank", "--file", Path("user.syx"), "--names", Path("bad.txt"),
                 "-o", Path("never.syx")}),
            1);
  EXPECT_THAT(err_.str(), HasSubstr("bad.txt line 9: \"Seventeen chars!!\""));
  EXPECT_FALSE(fs::exists(dir_ / "never.syx"));
  EXPECT_EQ(Run({"rename-mix-bank", "--bank", "1", "--names", Path("names.txt"), "--send-to", "0"}),
            1);
  EXPECT_THAT(err_.str(), HasSubstr("bank 1 cannot be chosen there"));

  // With the old names still on the instrument, a line only a kept name could be and a bank no
  // renamed bank goes to are refused before the instrument is asked anything.
  Bytes good;
  ASSERT_TRUE(ReadWholeFile(Path("names.txt"), good).ok);
  names.assign(good.begin(), good.end());
  names.replace(from(3), names.find('\n', from(3)) - from(3), "Caf\xC3\xA9");
  ASSERT_TRUE(WriteFileAtomically(
                  dir_ / "latin.txt",
                  ByteView(reinterpret_cast<const std::uint8_t*>(names.data()), names.size()))
                  .ok);
  EXPECT_EQ(
      Run({"rename-program-bank", "--bank", "0", "--names", Path("latin.txt"), "--send-to", "0"}),
      1);
  EXPECT_THAT(err_.str(), HasSubstr("latin.txt line 3: \"Caf\xC3\xA9\""));
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(
      Run({"rename-program-bank", "--bank", "0", "--names", Path("names.txt"), "--send-to", "2"}),
      1);
  EXPECT_EQ(err_.str(), "bank 2 cannot be chosen there\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(LiveCli, LiveSplitWritesTheFilesTheOfflineSplitWrites) {
  ASSERT_EQ(Run({"split-mix-bank", "--bank", "1", Path("live")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "1", "-o", Path("presets.syx")}), 0);
  ASSERT_EQ(Run({"split", Path("presets.syx"), Path("offline")}), 0);
  std::map<std::string, Bytes> live, offline;
  for (auto [folder, files] : {std::pair{"live", &live}, std::pair{"offline", &offline}}) {
    for (const auto& entry : fs::directory_iterator(dir_ / folder)) {
      ASSERT_TRUE(ReadWholeFile(entry.path(), (*files)[entry.path().filename().string()]).ok);
    }
  }
  EXPECT_EQ(live.size(), 128u);
  EXPECT_EQ(live, offline);
}

TEST_F(LiveCli, RefusalsAndUsageErrorsHaveTheirOwnExitStatus) {
  Bytes broken(2350, 0x10);
  ASSERT_TRUE(WriteFileAtomically(dir_ / "broken.syx", broken).ok);
  EXPECT_EQ(Run({"send-program", Path("broken.syx"), "--bank", "0", "--number", "1"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("broken.syx is not a Program Dump"));
  EXPECT_EQ(Run({"rename-mix", "--bank", "0", "--number", "1", "--name", "seventeen chars!!"}), 1);
  ASSERT_EQ(Run({"get-program", "--bank", "1", "--number", "0", "-o", Path("a.syx")}), 0);
  EXPECT_EQ(Run({"send-program", Path("a.syx"), "--bank", "1", "--number", "1"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("bank 1 entry 1 cannot be chosen"));  // no preset takes it
  EXPECT_EQ(Run({"get-program", "--bank", "0", "--number", "128", "-o", Path("x.syx")}), 2);
  EXPECT_EQ(RunCli({"--in", "No Such Port", "check"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("MIDI Input Device No Such Port not installed "));
  // A rehearsal never reaches another device: the simulator's options and a port of another
  // name, or a number (a place in the list of real devices), are refused together.
  EXPECT_EQ(Run({"--out", "0", "check"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("the --sim- options mean the Simulated Andromeda, but --out 0 "
                                    "names another device"));
  EXPECT_EQ(Run({"--in", "Simulated Andromeda", "--out", "Simulated Andromeda", "check"}), 0);
  // A card bank the instrument lacks gets no answer.
  EXPECT_EQ(
      Run({"--timeout", "0.5", "get-program", "--bank", "9", "--number", "0", "-o", Path("x.syx")}),
      3);
  EXPECT_THAT(err_.str(), HasSubstr("no reply from the instrument"));
}

TEST_F(LiveCli, EveryBankOfTheSchemeIsTakenBeforeTheCardWasEverSeen) {
  // A full card: Program card banks 3 to 16, Mix card banks 2 to 15. The window lists fewer
  // until a dump has told it the card's size; the command line needs no such fetch first.
  const auto full = [&](std::vector<std::string> args) {
    args.insert(args.begin(),
                {"--sim-program-card-banks", "14", "--sim-mix-card-banks", "14", "--delay", "0"});
    return Run(std::move(args));
  };
  ASSERT_EQ(full({"get-mix-bank", "--bank", "15", "-o", Path("m15.syx")}), 0) << err_.str();
  ASSERT_EQ(full({"get-program-bank", "--bank", "16", "-o", Path("p16.syx")}), 0) << err_.str();
  ASSERT_EQ(full({"send-program-bank", Path("p16.syx"), "--bank", "11"}), 0) << err_.str();
  ASSERT_EQ(full({"get-program", "--bank", "11", "--number", "127", "-o", Path("p.syx")}), 0)
      << err_.str();
  Bytes p16, p;
  ASSERT_TRUE(ReadWholeFile(Path("p16.syx"), p16).ok);
  ASSERT_TRUE(ReadWholeFile(Path("p.syx"), p).ok);
  EXPECT_EQ(p16[127 * 2350 + 6], 16);
  EXPECT_TRUE(std::equal(p.begin() + 7, p.end(), p16.begin() + 127 * 2350 + 7));
  EXPECT_EQ(full({"get-mix", "--bank", "16", "--number", "0", "-o", Path("x.syx")}), 2);
}

TEST(CliProgressLine, ShowsTheControlBytesOfANameAsQuestionMarks) {
  std::ostringstream out, err;
  CliHost host(out, err);
  host.progressOnTerminal = true;
  {
    TfrmProgress progress(host);
    progress.Show();
    progress.SetCaption(" 005/127 - Pad\x1B]2;owned\x07\xE9 ");
  }
  EXPECT_EQ(err.str(), "\rProgress\x1B[K\r 005/127 - Pad?]2;owned?\xC3\xA9 \x1B[K\r\x1B[K");
}

TEST_F(LiveCli, SimulatorFaultsComeBeforeTheCommandAndAMalformedOneIsAUsageError) {
  EXPECT_EQ(Run({"--sim-fault", "ignore", "--timeout", "0.5", "get-global", "-o", Path("g.syx")}),
            3);
  EXPECT_FALSE(fs::exists(Path("g.syx")));
  // A bank that stops in the middle, and whose missing dump never comes when asked for singly,
  // writes nothing, however long it ran.
  EXPECT_EQ(Run({"--sim-fault", "drop:100", "--sim-fault", "ignore", "--timeout", "0.3",
                 "get-program-bank", "--bank", "0", "-o", Path("b.syx")}),
            3);
  EXPECT_FALSE(fs::exists(Path("b.syx")));
  // A single Program meets silence as a bank's entry does: three tries, then no reply.
  EXPECT_EQ(Run({"--sim-fault", "ignore", "--timeout", "0.3", "--midi-log", Path("single.log"),
                 "get-program", "--bank", "0", "--number", "5", "-o", Path("p.syx")}),
            3);
  EXPECT_FALSE(fs::exists(Path("p.syx")));
  std::ifstream single(Path("single.log"));
  int requests = 0;
  for (std::string line; std::getline(single, line);) {
    requests += line.find(" > ") != std::string::npos &&
                line.find(" 9 F0 00 00 0E 1D 01 00 05 F7") != std::string::npos;
  }
  EXPECT_EQ(requests, 3);
  EXPECT_EQ(Run({"--sim-fault", "drop:3", "--sim-fault", "stall:300", "check"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("--sim-fault takes"));
}

TEST_F(LiveCli, ALossyLinkStillGivesByteExactBanksAndTheMidiLogHoldsEveryMessage) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("clean.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"--sim-fault", "lose:5", "--timeout", "0.3", "--midi-log", Path("midi.log"),
                 "get-program-bank", "--bank", "0", "-o", Path("lossy.syx")}),
            0)
      << err_.str();
  Bytes clean, lossy;
  ASSERT_TRUE(ReadWholeFile(Path("clean.syx"), clean).ok);
  ASSERT_TRUE(ReadWholeFile(Path("lossy.syx"), lossy).ok);
  EXPECT_EQ(lossy, clean);
  EXPECT_THAT(err_.str(), ::testing::MatchesRegex("Bank \"lossy.syx\" saved to disk \\([0-9]+ "
                                                  "dumps? fetched again\\)\n"));

  // One line a message: the time, the direction, the port, the length and the bytes.
  std::ifstream log(Path("midi.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  ASSERT_GT(lines.size(), 100u);
  EXPECT_THAT(lines.front(), ::testing::MatchesRegex(
                                 "[0-9]+ > \"Simulated Andromeda\" 8 F0 00 00 0E 1D 0A 00 F7"));
  const auto received = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find(" < \"Simulated Andromeda\" 2350 F0 00 00 0E 1D 00 00 ") != std::string::npos;
  });
  EXPECT_GE(received, 128);
}

TEST_F(LiveCli, ABusyInstrumentLosesDumpsOfAnUnverifiedSendAndAVerifiedSendMendsThem) {
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "1", "-o", Path("presets.syx")}), 0) << err_.str();
  Bytes presets;
  ASSERT_TRUE(ReadWholeFile(Path("presets.syx"), presets).ok);
  for (std::size_t i = 0; i < 128; ++i) presets[i * 1180 + 6] = 0;  // as the User bank holds it
  const auto differing = [&] {
    Bytes user;
    EXPECT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("user.syx")}), 0) << err_.str();
    EXPECT_TRUE(ReadWholeFile(Path("user.syx"), user).ok);
    int count = 0;
    for (std::size_t i = 0; i < 128; ++i) {
      count += !std::equal(user.begin() + i * 1180, user.begin() + (i + 1) * 1180,
                           presets.begin() + i * 1180);
    }
    return count;
  };
  const std::vector<std::string> busy = {"--sim-fault", "busy:50", "--delay", "10"};
  const auto send = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = busy;
    for (const std::string& a : {std::string("send-mix-bank"), Path("presets.syx"),
                                 std::string("--bank"), std::string("0")})
      args.push_back(a);
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };

  // Unverified, the send says sent although the instrument missed most of it.
  ASSERT_EQ(send({}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" presets.syx sent to Andromeda\n"));
  EXPECT_GT(differing(), 0);

  // Verified, the dumps that did not take go again, slower, until all have.
  ASSERT_EQ(send({"--verify"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" presets.syx sent to Andromeda and verified; some dumps took "
                                    "only with a longer pause: set the send delay to "));
  EXPECT_EQ(differing(), 0);

  // A dump sent singly is verified the same way.
  Bytes first(presets.begin(), presets.begin() + 1180);
  ASSERT_TRUE(WriteFileAtomically(dir_ / "one.syx", first).ok);
  ASSERT_EQ(Run({"send-mix", Path("one.syx"), "--bank", "0", "--number", "9", "--verify"}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" one.syx sent to Andromeda and verified\n"));
}

TEST_F(LiveCli, ASendTheOutputPortNeverFinishesGivesUpAfterTheTimeOut) {
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("m.syx")}), 0) << err_.str();
  // At 100 bytes a second the first dump takes over ten seconds to leave the port. No copy is
  // kept, so the send itself is what waits.
  EXPECT_EQ(Run({"--sim-rate", "100", "--timeout", "0.3", "send-mix-bank", Path("m.syx"), "--bank",
                 "0", "--no-keep-copy"}),
            3);
  EXPECT_THAT(out_.str(), HasSubstr(" No reply from the MIDI output port"));
  EXPECT_THAT(err_.str(), HasSubstr("no reply from the MIDI output port"));
  // Each dump takes longer than the time-out to leave, as on a slow cable, and is given that time.
  EXPECT_EQ(Run({"--sim-rate", "20000", "--timeout", "0.05", "--delay", "0", "send-mix-bank",
                 Path("m.syx"), "--bank", "0", "--no-keep-copy"}),
            0)
      << out_.str();
}

}  // namespace
}  // namespace quorle
