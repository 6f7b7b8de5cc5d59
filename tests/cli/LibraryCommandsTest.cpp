#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>

#include <sys/wait.h>

#include "app/ProgramFiles.h"
#include "frontend/LibraryConnection.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "support/AgeReplacements.h"
#include "support/CliFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

// The library commands over files the simulated instrument gave, its memory in a state file.
class LibraryCli : public testing::CliFixture {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--sim-state", Path("sim.syx"), "--library", Path("lib.sqlite")});
    return RunCli(std::move(args));
  }
  Bytes Read(const std::string& name) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(Path(name), b).ok) << name;
    return b;
  }
  void Write(const std::string& name, ByteView b) {
    ASSERT_TRUE(WriteFileAtomically(Path(name), b).ok);
  }
  json Json(std::vector<std::string> args) {
    args.push_back("--json");
    EXPECT_EQ(Run(args), 0) << err_.str();
    return json::parse(out_.str());
  }
  // The id of the dump whose name is exactly name.
  long long IdOf(const std::string& name, const std::string& kind = "program") {
    for (const json& d : Json({"library", "list", name, "--kind", kind})) {
      if (d["name"] == name) return d["id"].get<long long>();
    }
    ADD_FAILURE() << "no dump named " << name;
    return -1;
  }
  // The id of the dump last fetched from the instrument's bank and entry.
  std::string IdAt(const std::string& kind, int bank, int entry) {
    for (const json& d : Json({"library", "list", "--kind", kind, "--place", "Andromeda"})) {
      for (const json& p : d["places"]) {
        if (p["how"] == "fetched" && p["bank"] == bank && p["entry"] == entry) {
          return std::to_string(d["id"].get<long long>());
        }
      }
    }
    ADD_FAILURE() << "nothing fetched from " << bank << ":" << entry;
    return "-1";
  }
};

TEST_F(LibraryCli, ImportsFilesFoldersAndStreamsAndKnowsWhereEachDumpWas) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("p1.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("mixes.syx")}), 0) << err_.str();
  // The fetches were captured as the instrument's places.
  EXPECT_EQ(Json({"library", "list", "--place", "Andromeda"}).size(), 256u);

  // A sound set: other messages, two whole Programs and a damaged one between them.
  const Bytes bank = Read("p1.syx");
  Bytes stream = {0xF0, 0x43, 0x10, 0x01, 0xF7};
  stream.insert(stream.end(), bank.begin(), bank.begin() + 2350);
  stream.insert(stream.end(), bank.begin() + 2350, bank.begin() + 4000);  // cut short
  stream.insert(stream.end(), bank.begin() + 4700, bank.begin() + 7050);
  fs::create_directories(dir_ / "set" / "deeper");
  Write("set/deeper/sound set.syx", stream);
  Write("set/not sysex.txt", Bytes{'h', 'i'});

  ASSERT_EQ(Run({"library", "import", Path("p1.syx"), Path("set")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("130 dumps from 2 files, 0 new"));
  EXPECT_THAT(err_.str(), HasSubstr("sound set.syx"));
  ASSERT_EQ(Run({"library", "import", Path("p1.syx"), "--json"}), 0);
  EXPECT_EQ(json::parse(out_.str())["new"], 0);

  // One Program, with the places it was seen: fetched, the bank file and the sound set.
  const json first = Json({"library", "list", "--kind", "program", "--place", "sound set"});
  ASSERT_EQ(first.size(), 2u);
  const json shown = Json({"library", "show", std::to_string(first[0]["id"].get<long long>())});
  std::set<std::string> hows;
  for (const json& p : shown["places"]) hows.insert(p["how"].get<std::string>());
  EXPECT_EQ(hows, (std::set<std::string>{"fetched", "file"}));
  EXPECT_EQ(shown["sound"].get<std::string>().size(), 64u);

  EXPECT_EQ(Run({"library", "import", Path("nowhere")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("nowhere"));
}

TEST_F(LibraryCli, ARenamedCopyIsTheSameSoundAndExportsAndBanksComeOutByteExact) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("user.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"rename", Path("user.syx"), "5", "Twin Of Five", "-o", Path("renamed.syx")}), 0);
  ASSERT_EQ(Run({"library", "import", Path("renamed.syx")}), 0) << err_.str();
  const json dups = Json({"library", "list", "--duplicates"});
  ASSERT_EQ(dups.size(), 2u);
  EXPECT_EQ(dups[0]["sound"], dups[1]["sound"]);
  const long long twin = IdOf("Twin Of Five");

  ASSERT_EQ(Run({"library", "export", std::to_string(twin), "-o", Path("one.syx"), "--bank", "3",
                 "--number", "77"}),
            0)
      << err_.str();
  const Bytes renamed = Read("renamed.syx");
  Bytes expected(renamed.begin() + 5 * 2350, renamed.begin() + 6 * 2350);
  expected[6] = 3;
  expected[7] = 77;
  EXPECT_EQ(Read("one.syx"), expected);

  // Slot 0 takes the renamed dump, slot 9 another bank's: byte 6 the base's, byte 7 the slot.
  ASSERT_EQ(Run({"get-program-bank", "--bank", "2", "-o", Path("p2.syx")}), 0);
  const Bytes p2 = Read("p2.syx");
  const std::string other = IdAt("program", 2, 40);
  ASSERT_EQ(Run({"library", "make-bank", "--base", Path("user.syx"), "-o", Path("made.syx"),
                 "0=" + std::to_string(twin), "9=" + other}),
            0)
      << err_.str();
  Bytes made = Read("user.syx");
  std::copy_n(renamed.begin() + 5 * 2350, 2350, made.begin());
  std::copy_n(p2.begin() + 40 * 2350, 2350, made.begin() + 9 * 2350);
  made[6] = 0, made[7] = 0, made[9 * 2350 + 6] = 0, made[9 * 2350 + 7] = 9;
  EXPECT_EQ(Read("made.syx"), made);
}

TEST_F(LibraryCli, RefusesWhatItCannotDoAndWritesNothing) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("user.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix", "--bank", "0", "--number", "1", "-o", Path("mix.syx")}), 0);
  const std::string program = IdAt("program", 0, 0);
  const std::string mix = IdAt("mix", 0, 1);
  const std::string out = Path("out.syx");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"make-bank", "--base", Path("user.syx"), "-o", out, "3=" + mix},
           {"make-bank", "--base", Path("user.syx"), "-o", out, "128=" + program},
           {"make-bank", "--base", Path("user.syx"), "-o", out, "3=999999"},
           {"make-bank", "--base", Path("mix.syx"), "-o", out, "3=" + mix},
           {"export", "999999", "-o", out},
           {"show", "999999"},
           {"forget", program, "999999"},
       }) {
    std::vector<std::string> full = {"library"};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_EQ(Run(full), 1) << args[0] << " " << args.back();
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(Run({"library", "show", program}), 0);  // the refused forget forgot nothing

  // A file that is no library is named, and left exactly as it was.
  Write("notes.sqlite", Bytes(5000, 'x'));
  EXPECT_EQ(RunCli({"--library", Path("notes.sqlite"), "library", "list"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("notes.sqlite"));
  EXPECT_EQ(Read("notes.sqlite"), Bytes(5000, 'x'));
}

// quorle-cli as a process of its own: its exit status and what it printed on its standard output.
std::pair<int, std::string> CliProcess(const std::vector<std::string>& args) {
  const char* bin = std::getenv("QUORLE_BIN_DIR");
  const fs::path dir =
      bin ? fs::path(bin) : fs::path(RunningProgramPath()).parent_path().parent_path() / "bin";
  std::string command = "QUORLE_MIDI_API=none '" + (dir / "quorle-cli").string() + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  std::pair<int, std::string> result{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) result.second += buffer.data();
  const int status = ::pclose(pipe);
  result.first = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST_F(LibraryCli, TheWindowAndTheCommandLineTakeTurnsOnOneLibraryAndLoseNothing) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("p1.syx")}), 0) << err_.str();
  std::vector<std::string> ids;
  for (const json& d : Json({"library", "list", "--limit", "6"}))
    ids.push_back(std::to_string(d["id"].get<long long>()));
  ASSERT_EQ(ids.size(), 6u);

  // The window's library: the connection its transfers record through, opened first, and the
  // one its search thread opens for itself.
  LibraryConnection window(Path("lib.sqlite"));
  library::Library* recorder = window.Get();
  ASSERT_NE(recorder, nullptr) << window.LastError();
  ASSERT_EQ(recorder->Count({}), 128u);
  library::Library search(Path("lib.sqlite"));
  library::Query favorites;
  favorites.favoritesOnly = true;
  const std::string lib = Path("lib.sqlite");
  for (std::size_t turn = 0; turn < 3; ++turn) {
    recorder->SetFavorite(std::stoll(ids[2 * turn]), true);
    const auto [listed, text] =
        CliProcess({"--library", lib, "library", "list", "--favorites", "--json"});
    ASSERT_EQ(listed, 0) << text;
    EXPECT_EQ(json::parse(text).size(), 2 * turn + 1);
    ASSERT_EQ(
        CliProcess({"--library", lib, "library", "set", ids[2 * turn + 1], "--favorite"}).first, 0);
    // The window's log is still the one the command line wrote to.
    EXPECT_TRUE(fs::exists(lib + "-wal")) << turn;
    EXPECT_EQ(search.Count(favorites), 2 * turn + 2) << turn;
    EXPECT_EQ(recorder->Count(favorites), 2 * turn + 2) << turn;
  }
}

// What a send overwrites is kept in the Library as replaced, and put-back undoes the send.
class SafetyCli : public LibraryCli {
 protected:
  // The ids of the dumps replaced at bank (and entry, unless -1).
  std::vector<std::string> Replaced(int bank, int entry = -1) {
    std::set<std::string> ids;
    for (const json& d : Json({"library", "list", "--place", "Andromeda", "--limit", "100000"})) {
      for (const json& p : d["places"]) {
        if (p["how"] == "replaced" && p["bank"] == bank && (entry < 0 || p["entry"] == entry))
          ids.insert(std::to_string(d["id"].get<long long>()));
      }
    }
    return {ids.begin(), ids.end()};
  }
  std::vector<std::string> Get(const std::string& file) {
    return {"get-program", "--bank", "0", "--number", "5", "-o", Path(file)};
  }
  // What the instrument holds at bank and entry now.
  Bytes At(int bank, int entry) {
    EXPECT_EQ(Run({"get-program", "--bank", std::to_string(bank), "--number", std::to_string(entry),
                   "-o", Path("at.syx")}),
              0)
        << err_.str();
    return Read("at.syx");
  }
  static Bytes Addressed(Bytes dump, int bank, int entry) {
    AddressDump(dump, static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(entry));
    return dump;
  }
};

TEST_F(SafetyCli, AProgramSentOverUserFiveIsKeptByteExactAndPutBackMakesItWhatItWas) {
  ASSERT_EQ(Run(Get("old5.syx")), 0) << err_.str();
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "9", "-o", Path("p9.syx")}), 0);
  ASSERT_EQ(Run({"send-program", Path("p9.syx"), "--bank", "0", "--number", "5"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Keeping a copy of Program 005...\n"));
  const std::vector<std::string> kept = Replaced(0, 5);
  ASSERT_EQ(kept.size(), 1u);
  ASSERT_EQ(Run({"library", "export", kept[0], "-o", Path("kept.syx")}), 0);
  EXPECT_EQ(Read("kept.syx"), Read("old5.syx"));

  // An id that was never replaced anywhere sends nothing.
  EXPECT_EQ(Run({"library", "put-back", IdAt("program", 0, 9)}), 1);
  ASSERT_EQ(Run(Get("now5.syx")), 0);
  EXPECT_NE(Read("now5.syx"), Read("old5.syx"));

  ASSERT_EQ(Run({"library", "put-back", kept[0]}), 0) << err_.str();
  ASSERT_EQ(Run(Get("back5.syx")), 0);
  EXPECT_EQ(Read("back5.syx"), Read("old5.syx"));
  // Put Back kept what it replaced too, so it can itself be undone.
  EXPECT_EQ(Replaced(0, 5).size(), 2u);
}

TEST_F(SafetyCli, ABankSentOverCardBankOneIsKeptWholeAndPutBackRestoresIt) {
  const std::string card = std::to_string(kProgramKind.firstCardBank);
  ASSERT_EQ(Run({"get-program-bank", "--bank", card, "-o", Path("before.syx")}), 0);
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("user.syx")}), 0);
  ASSERT_EQ(Run({"send-program-bank", Path("user.syx"), "--bank", card}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Keeping a copy of Programs Card 1...\n"));
  std::vector<std::string> kept = Replaced(kProgramKind.firstCardBank);
  ASSERT_EQ(kept.size(), 128u);

  std::vector<std::string> args{"library", "put-back"};
  args.insert(args.end(), kept.begin(), kept.end());
  ASSERT_EQ(Run(args), 0) << err_.str();
  ASSERT_EQ(Run({"get-program-bank", "--bank", card, "-o", Path("after.syx")}), 0);
  EXPECT_EQ(Read("after.syx"), Read("before.syx"));
}

TEST_F(SafetyCli, PutBackFollowsTheNewestSendOverADumpAndRefusesTwoDumpsForOnePlace) {
  // One dump at User 5 and User 7, replaced at 5, an hour later at 7: it goes back to 7 only.
  ASSERT_EQ(Run(Get("x.syx")), 0) << err_.str();
  const Bytes x = Read("x.syx");
  const std::string id = IdAt("program", 0, 5);
  const Bytes p9 = At(0, 9);
  Write("p9.syx", p9);
  ASSERT_EQ(Run({"send-program", Path("x.syx"), "--bank", "0", "--number", "7"}), 0);
  ASSERT_EQ(Run({"send-program", Path("p9.syx"), "--bank", "0", "--number", "5"}), 0);
  testing::AgeReplacements(Path("lib.sqlite"));
  ASSERT_EQ(Run({"send-program", Path("p9.syx"), "--bank", "0", "--number", "7"}), 0);
  ASSERT_EQ(Run({"library", "put-back", id}), 0) << err_.str();
  EXPECT_EQ(At(0, 7), Addressed(x, 0, 7));
  EXPECT_EQ(At(0, 5), Addressed(p9, 0, 5));

  // Both were replaced at 7 last (Put Back kept what it replaced): which is meant is not known.
  EXPECT_EQ(Run({"library", "put-back", id, IdAt("program", 0, 9)}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("go back to the same place on the Andromeda"));
  EXPECT_EQ(At(0, 7), Addressed(x, 0, 7));

  // One send replaced it at two entries at once: it goes back to both.
  const std::string card = std::to_string(kProgramKind.firstCardBank);
  ASSERT_EQ(Run({"get-program-bank", "--bank", card, "-o", Path("card.syx")}), 0);
  Bytes twins = Read("card.syx");
  for (const int entry : {20, 21}) {
    const Bytes placed = Addressed(x, kProgramKind.firstCardBank, entry);
    std::copy(placed.begin(), placed.end(), twins.begin() + entry * kProgramKind.dumpSize);
  }
  Write("twins.syx", twins);
  ASSERT_EQ(Run({"send-program-bank", Path("twins.syx"), "--bank", card}), 0) << err_.str();
  testing::AgeReplacements(Path("lib.sqlite"));
  ASSERT_EQ(Run({"send-program-bank", Path("card.syx"), "--bank", card}), 0) << err_.str();
  ASSERT_EQ(Run({"library", "put-back", id}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" 2 dumps put back on Andromeda"));
  for (const int entry : {20, 21})
    EXPECT_EQ(At(kProgramKind.firstCardBank, entry),
              Addressed(x, kProgramKind.firstCardBank, entry));
  EXPECT_EQ(At(0, 7), Addressed(x, 0, 7));
}

TEST_F(SafetyCli, ACopyThatCannotBeKeptSendsNothingUnlessNoCopyWasAskedFor) {
  ASSERT_EQ(Run(Get("old5.syx")), 0) << err_.str();
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("user.syx")}), 0);
  Write("notes.sqlite", Bytes(5000, 'x'));  // no library: nothing can be kept there
  const auto broken = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--sim-state", Path("sim.syx"), "--library", Path("notes.sqlite")});
    return RunCli(std::move(args));
  };
  Bytes other = Read("old5.syx");
  other[20] ^= 1;
  Write("other.syx", other);
  EXPECT_EQ(broken({"send-program", Path("other.syx"), "--bank", "0", "--number", "5"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("nothing was sent"));
  const std::string card = std::to_string(kProgramKind.firstCardBank);
  ASSERT_EQ(Run({"get-program-bank", "--bank", card, "-o", Path("card.syx")}), 0);
  EXPECT_EQ(broken({"send-program-bank", Path("card.syx"), "--bank", "0"}), 1);
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("now.syx")}), 0);
  EXPECT_EQ(Read("now.syx"), Read("user.syx"));

  // --no-keep-copy does without the Library, and keeps nothing.
  ASSERT_EQ(broken({"send-program-bank", Path("card.syx"), "--bank", "0", "--no-keep-copy"}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), ::testing::Not(HasSubstr("Keeping a copy")));
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("sent.syx")}), 0);
  EXPECT_NE(Read("sent.syx"), Read("user.syx"));
  EXPECT_TRUE(Replaced(0).empty());
}

}  // namespace
}  // namespace quorle
