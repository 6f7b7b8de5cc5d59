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

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
  EXPECT_THAT(out_.str(), HasSubstr("130 dumps from 2 files, 0 new; 1 other file passed over\n"));
  EXPECT_THAT(out_.str(), HasSubstr("sound set.syx: the Program dump at byte 2355 (entry 1) is cut "
                                    "short: 1650 of 2350 bytes\n"));
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
  EXPECT_THAT(out_.str(), HasSubstr("nowhere: does not exist"));
}

// quorle-cli as a process of its own: its exit status and what it printed on its standard output.
// as: a command that runs it as another user.
std::pair<int, std::string> CliProcess(const std::vector<std::string>& args,
                                       const std::string& as = "") {
  const char* bin = std::getenv("QUORLE_BIN_DIR");
  const fs::path dir =
      bin ? fs::path(bin) : fs::path(RunningProgramPath()).parent_path().parent_path() / "bin";
  std::string command = as + " env QUORLE_MIDI_API=none '" + (dir / "quorle-cli").string() + "'";
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

// A dump of bank with one data bit changed: a sound the library does not hold yet.
Bytes Changed(const Bytes& bank, const DumpKind& kind, int entry) {
  Bytes dump(bank.begin() + entry * static_cast<std::ptrdiff_t>(kind.dumpSize),
             bank.begin() + (entry + 1) * static_cast<std::ptrdiff_t>(kind.dumpSize));
  dump[300] ^= 1;
  return dump;
}

// The dump as the instrument sends its edit buffer: opcode 02 or 06 and one byte for the bank
// and entry.
Bytes EditBuffer(const Bytes& dump) {
  Bytes edit(dump.begin(), dump.begin() + 7);
  edit[5] = dump[5] == kProgramKind.opcode ? 0x02 : 0x06;
  edit[6] = 0;
  edit.insert(edit.end(), dump.begin() + 8, dump.end());
  return edit;
}

Bytes Number(std::size_t n) {
  Bytes bytes{static_cast<std::uint8_t>(n & 0x7F)};
  while (n >>= 7) bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (n & 0x7F)));
  return bytes;
}

// A SysEx event of a MIDI file's track: F0 for the first piece of a message, F7 for the others.
Bytes SysexEvent(std::uint8_t status, ByteView piece) {
  Bytes event{0x00, status};
  const Bytes length = Number(piece.size());
  event.insert(event.end(), length.begin(), length.end());
  event.insert(event.end(), piece.begin(), piece.end());
  return event;
}

Bytes MidiFile(const std::vector<Bytes>& tracks) {
  Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<std::uint8_t>(tracks.size()),
             0,   96};
  for (const Bytes& events : tracks) {
    Bytes track = events;
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});  // the end of the track
    const std::size_t n = track.size();
    file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<std::uint8_t>(n >> 24),
                             static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                             static_cast<std::uint8_t>(n)});
    file.insert(file.end(), track.begin(), track.end());
  }
  return file;
}

TEST_F(LibraryCli, ImportNamesEveryPathThatYieldedNothingAndFailsWhenNothingWasRead) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("p0.syx")}), 0) << err_.str();
  const Bytes bank = Read("p0.syx");
  const Bytes one = Changed(bank, kProgramKind, 1);
  fs::create_directories(dir_ / "set" / "deeper");
  Write("set/deeper/one.syx", one);
  Write("set/empty.syx", {});
  Write("set/yamaha.syx", Bytes{0xF0, 0x43, 0x10, 0x01, 0xF7});
  Write("set/notes.txt", Bytes{'h', 'i'});
  Write("set/cover.jpg", Bytes(100, 0xFF));
  ASSERT_EQ(::mkfifo(Path("set/pipe.syx").c_str(), 0644), 0);
  fs::create_symlink(Path("gone.syx"), Path("set/link.syx"));
  Bytes statusInside = one;
  statusInside[100] = 0x90;
  Bytes tooLong = one;
  tooLong.pop_back();
  tooLong.insert(tooLong.end(), 5000, 0x01);
  Write("set/status.syx", statusInside);
  Write("set/long.syx", tooLong);
  Write(std::string("set/bad\nname\xE9.syx"), Bytes{0xF0, 0x7E, 0xF7});

  ASSERT_EQ(Run({"library", "import", Path("set"), Path("nowhere")}), 0) << err_.str();
  const std::string said = out_.str();
  EXPECT_THAT(said, HasSubstr("1 dump from 1 file, 1 new; 2 other files passed over\n"));
  for (const char* line : {
           "set/empty.syx: is empty\n",
           "set/yamaha.syx: holds no Andromeda Program or Mix dump\n",
           "set/pipe.syx: is not a file\n",
           "set/link.syx: is a link to nothing\n",
           "set/status.syx: the Program dump at byte 0 (entry 0) is damaged at byte 100: a status "
           "byte (0x90) inside\n",
           "set/long.syx: the Program dump at byte 0 (entry 0) is too long: it runs to the end of "
           "the file without an end\n",
           "set/bad?name?.syx: holds no Andromeda Program or Mix dump\n",
           "nowhere: does not exist\n",
       }) {
    EXPECT_THAT(said, HasSubstr(line));
  }
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 9);

  // Nothing read at all: each path named, and a failure.
  EXPECT_EQ(Run({"library", "import", Path("set/empty.syx"), Path("set/pipe.syx"),
                 Path("set/notes.txt"), "--json"}),
            1);
  const json j = json::parse(out_.str());
  EXPECT_EQ(j["dumps"], 0);
  ASSERT_EQ(j["skipped"].size(), 3u);
  EXPECT_EQ(j["skipped"][2]["reason"], "holds no Andromeda Program or Mix dump");
  EXPECT_EQ(Run({"library", "import", Path("set/bad\nname\xE9.syx"), "--json"}), 1);
  EXPECT_EQ(json::parse(out_.str())["skipped"][0]["path"], Path("set/bad\nname\\xE9.syx"));
  // A dump the library knows is read too.
  EXPECT_EQ(Run({"library", "import", Path("set/deeper")}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("1 dump from 1 file, 0 new\n"));

  // A folder its user may not read is named too.
  if (::geteuid() == 0 && fs::exists("/usr/bin/setpriv")) {
    fs::create_directories(dir_ / "shared" / "private");
    Write("shared/private/one.syx", one);
    Write("shared/one.syx", one);
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(dir_ / "shared", fs::perms::all);
    fs::permissions(dir_ / "shared" / "private", fs::perms::owner_all);
    const auto [status, text] =
        CliProcess({"--library", Path("nobody.sqlite"), "library", "import", Path("shared")},
                   "setpriv --reuid=65534 --regid=65534 --clear-groups");
    EXPECT_EQ(status, 0) << text;
    EXPECT_THAT(text, HasSubstr("shared/private: cannot be read: Permission denied\n"));
  }
}

TEST_F(LibraryCli, ReadsStandardMidiFilesAndEditBufferDumpsAndRefusesTheirDamage) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("p0.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("m0.syx")}), 0) << err_.str();
  const Bytes programs = Read("p0.syx");
  const Bytes mixes = Read("m0.syx");
  const Bytes a = Changed(programs, kProgramKind, 1);
  const Bytes b = Changed(programs, kProgramKind, 2);
  const Bytes mix = Changed(mixes, kMixKind, 3);
  const ByteView bView(b);
  Bytes first = SysexEvent(0xF0, ByteView(a).subspan(1));
  first.insert(first.end(), {0x00, 0x90, 0x3C, 0x40, 0x10, 0x3C, 0x00});  // a note, running status
  Bytes second = SysexEvent(0xF0, bView.subspan(1, 1000));
  for (const Bytes& e : {SysexEvent(0xF7, bView.subspan(1001, 1000)),
                         SysexEvent(0xF7, bView.subspan(2001)), SysexEvent(0xF0, mix)}) {
    second.insert(second.end(), e.begin(), e.end());
  }
  Write("song.mid", MidiFile({first, second}));
  ASSERT_EQ(Run({"library", "import", Path("song.mid")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("3 dumps from 1 file, 3 new\n"));
  const json found = Json({"library", "list", "--place", "song.mid"});
  ASSERT_EQ(found.size(), 3u);
  std::map<long long, Bytes> expected{{0, a}, {1, b}, {2, mix}};
  for (const json& d : found) {
    const long long entry = d["places"][0]["entry"].get<long long>();
    ASSERT_EQ(
        Run({"library", "export", std::to_string(d["id"].get<long long>()), "-o", Path("out.syx")}),
        0);
    EXPECT_EQ(Read("out.syx"), expected[entry]) << entry;
  }

  ASSERT_EQ(Run({"info", Path("song.mid")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": midi-file, "));
  EXPECT_THAT(out_.str(), HasSubstr(" bytes, 3 dumps\n000  Program  bank 0  number 1  \""));
  EXPECT_THAT(out_.str(), HasSubstr("\n002  Mix  bank 0  number 3  \""));

  // Damage: a track longer than the file, and a running status after a SysEx event.
  Bytes cut = MidiFile({first});
  cut.resize(cut.size() - 10);
  Write("cut.mid", cut);
  Bytes running = SysexEvent(0xF0, ByteView(a).subspan(1));
  running.insert(running.end(), {0x00, 0x3C, 0x40});
  Write("running.mid", MidiFile({running}));
  EXPECT_EQ(Run({"library", "import", Path("cut.mid"), Path("running.mid")}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("1 dump from 1 file, 0 new\n"));
  EXPECT_THAT(out_.str(), HasSubstr("cut.mid: the MIDI file is damaged at byte 14: its track runs "
                                    "past the end of the file\n"));
  EXPECT_THAT(out_.str(), HasSubstr("running.mid: the MIDI file is damaged at byte " +
                                    std::to_string(14 + 8 + running.size() - 2) +
                                    ": track 1: a running-status byte with no channel message "
                                    "before it\n"));

  // Edit buffers: Programs and Mixes with no bank or entry, until an export or a bank gives them.
  const Bytes c = Changed(programs, kProgramKind, 4);
  const Bytes m = Changed(mixes, kMixKind, 5);
  Bytes edits = EditBuffer(c);
  const Bytes mixEdit = EditBuffer(m);
  edits.insert(edits.end(), mixEdit.begin(), mixEdit.end());
  Write("edits.syx", edits);
  Write("edit cut.syx", Bytes(edits.begin(), edits.begin() + 2000));
  ASSERT_EQ(Run({"library", "import", Path("edits.syx"), Path("edit cut.syx")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("2 dumps from 1 file, 2 new\n"));
  EXPECT_THAT(out_.str(), HasSubstr("edit cut.syx: the Program edit buffer dump at byte 0 (entry "
                                    "0) is cut short: 2000 of 2349 bytes\n"));
  const json edited = Json({"library", "list", "--place", "edits.syx"});
  ASSERT_EQ(edited.size(), 2u);
  for (const json& d : edited) {
    EXPECT_TRUE(d["places"][0]["bank"].is_null());
    const std::string id = std::to_string(d["id"].get<long long>());
    const bool isMix = d["kind"] == "mix";
    EXPECT_EQ(Run({"library", "export", id, "-o", Path("e.syx")}), 1);
    EXPECT_THAT(err_.str(), HasSubstr("give --bank and --number"));
    ASSERT_EQ(Run({"library", "export", id, "-o", Path("e.syx"), "--bank", "1", "--number", "9"}),
              0);
    Bytes want = isMix ? m : c;
    want[6] = 1;
    want[7] = 9;
    EXPECT_EQ(Read("e.syx"), want);
    if (isMix) continue;
    ASSERT_EQ(
        Run({"library", "make-bank", "--base", Path("p0.syx"), "-o", Path("made.syx"), "7=" + id}),
        0);
    want[6] = 0;
    want[7] = 7;
    const Bytes made = Read("made.syx");
    const Bytes slot(made.begin() + 7 * 2350, made.begin() + 8 * 2350);
    EXPECT_EQ(std::mismatch(slot.begin(), slot.end(), want.begin()).first - slot.begin(), 2350);
  }
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

TEST_F(LibraryCli, AReadOnlyLibraryIsRefusedWithItsReasonAndWritableAgainOnceItsFileIs) {
  if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) {
    GTEST_SKIP() << "acting as a user who may not write the library takes root";
  }
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("p0.syx")}), 0) << err_.str();
  const std::string id = IdAt("program", 0, 0);
  const std::string lib = Path("lib.sqlite");
  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  fs::permissions(dir_, fs::perms::all);
  ASSERT_EQ(::chown(lib.c_str(), 65534, 65534), 0);
  fs::permissions(lib, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Bytes changed = Read("p0.syx");
  changed[100] ^= 1;
  Write("new.syx", changed);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"import", Path("new.syx")}, {"set", id, "--favorite"}, {"forget", id}}) {
    std::vector<std::string> full = {"--library", lib, "library"};
    full.insert(full.end(), args.begin(), args.end());
    const auto [status, text] = CliProcess(full, nobody + " 2>&1");
    EXPECT_EQ(status, 1) << args[0];
    EXPECT_THAT(text, HasSubstr("lib.sqlite: the library is read-only")) << args[0];
  }
  // Made writable again, it is: nothing the read-only runs left behind keeps it read-only.
  fs::permissions(lib, fs::perms::owner_write, std::filesystem::perm_options::add);
  const auto [status, text] =
      CliProcess({"--library", lib, "library", "import", Path("new.syx")}, nobody);
  EXPECT_EQ(status, 0) << text;
  EXPECT_THAT(text, HasSubstr("1 new"));
}

TEST_F(LibraryCli, ADamagedLibraryIsSaidToBeDamagedNeverWrittenToAndRescuedIntoANewOne) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("p0.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("p1.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("m0.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"library", "import", Path("p0.syx"), Path("m0.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"library", "set", IdAt("program", 0, 3), "--favorite"}), 0);
  std::map<std::string, std::string> names;
  for (const json& d : Json({"library", "list"}))
    names[std::to_string(d["id"].get<long long>())] = d["name"];
  ASSERT_EQ(names.size(), 384u);
  ASSERT_EQ(Run({"library", "check"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr("the library is whole"));

  // A library of the version before, which opening would bring up to date, were it whole.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path("lib.sqlite").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "DROP INDEX dumps_by_name; CREATE INDEX dumps_by_name ON "
                         "dumps(name COLLATE NOCASE); PRAGMA user_version = 1",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  // 20 KB in the middle overwritten, as a failing disk would.
  Bytes file = Read("lib.sqlite");
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2), 20000, 0x55);
  Write("lib.sqlite", file);
  Bytes other = Read("p1.syx");
  other[100] ^= 1;  // a Program the library does not hold
  Write("other.syx", other);
  const std::string any = names.begin()->first;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"import", Path("other.syx")}, {"set", any, "--favorite"}, {"forget", any}}) {
    std::vector<std::string> full = {"library"};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_EQ(Run(full), 1) << args[0];
    EXPECT_THAT(err_.str(), HasSubstr("the library is damaged")) << args[0];
    EXPECT_EQ(Read("lib.sqlite"), file) << args[0];
  }
  // What lies on the damaged pages cannot be exported: each such id is refused with the reason.
  std::size_t unreadable = 0;
  for (const auto& [id, name] : names) {
    const int status = Run({"library", "export", id, "-o", Path("one.syx")});
    EXPECT_TRUE(status == 0 || err_.str().find("the library is damaged") != std::string::npos)
        << id << ": " << err_.str();
    unreadable += status != 0;
  }
  EXPECT_GT(unreadable, 0u);

  EXPECT_EQ(Run({"library", "check"}), 1);
  EXPECT_THAT(out_.str(), HasSubstr("the library is damaged:\n  "));
  ASSERT_EQ(Run({"library", "rescue", "-o", Path("rescued.sqlite"), "--json"}), 0) << err_.str();
  const json rescue = json::parse(out_.str());
  EXPECT_EQ(Read("lib.sqlite"), file);
  const auto rescued = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--library", Path("rescued.sqlite")});
    return RunCli(std::move(args));
  };
  ASSERT_EQ(rescued({"library", "check"}), 0) << out_.str();
  ASSERT_EQ(rescued({"library", "list", "--json"}), 0);
  const json list = json::parse(out_.str());
  EXPECT_EQ(list.size(), rescue["dumps"].get<std::size_t>());
  EXPECT_EQ(list.size() + rescue["lost"]["dumps"].get<std::size_t>(), 384u);
  EXPECT_GE(list.size(), 384u - unreadable);
  std::size_t favorites = 0;
  for (const json& d : list) {
    const std::string id = std::to_string(d["id"].get<long long>());
    EXPECT_EQ(d["name"], names[id]) << id;
    favorites += d["favorite"].get<bool>();
    EXPECT_FALSE(d["places"].empty()) << id;
  }
  EXPECT_LE(favorites, 1u);
  // A rescued dump comes out byte-exact, and the new library takes new dumps.
  const std::string first = std::to_string(list[0]["id"].get<long long>());
  ASSERT_EQ(rescued({"library", "export", first, "-o", Path("a.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"library", "export", first, "-o", Path("b.syx")}), 0) << err_.str();
  EXPECT_EQ(Read("a.syx"), Read("b.syx"));
  ASSERT_EQ(rescued({"library", "import", Path("other.syx")}), 0) << err_.str();
  // A second rescue never overwrites the first.
  EXPECT_EQ(Run({"library", "rescue", "-o", Path("rescued.sqlite")}), 1);
}

TEST_F(LibraryCli, PlacesMatchAsListedOtherNamesShowAndOddInputIsRefusedAsTyped) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "1", "-o", Path("p1.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-mix-bank", "--bank", "0", "-o", Path("m0.syx")}), 0) << err_.str();
  EXPECT_EQ(Json({"library", "list", "--place", "Preset 1"}).size(), 128u);
  const json one = Json({"library", "list", "--place", "Andromeda Preset 1 018"});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0]["places"][0]["entry"], 18);

  ASSERT_EQ(Run({"rename", Path("p1.syx"), "18", "Other Name", "-o", Path("renamed.syx")}), 0);
  ASSERT_EQ(Run({"library", "import", Path("renamed.syx")}), 0) << err_.str();
  const std::string id = std::to_string(one[0]["id"].get<long long>());
  const json shown = Json({"library", "show", id});
  ASSERT_EQ(shown["other_names"].size(), 1u);
  EXPECT_EQ(shown["other_names"][0]["name"], "Other Name");

  EXPECT_NE(Run({"library", "show", "99999999999999999999"}), 0);
  EXPECT_THAT(err_.str(), HasSubstr("no dump 99999999999999999999 in the library"));
  EXPECT_EQ(Run({"library", "make-bank", "--base", Path("m0.syx"), "-o", Path("x.syx"), "3=" + id}),
            1);
  EXPECT_THAT(err_.str(), HasSubstr("the bank holds Mixes"));

  for (const std::string& library : {Path("no/such/folder/lib.sqlite"), std::string()}) {
    EXPECT_NE(RunCli({"--library", library, "library", "list"}), 0) << library;
    EXPECT_THAT(err_.str(), HasSubstr("--library")) << library;
  }
  EXPECT_FALSE(fs::exists(dir_ / "no"));
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

// What the library knows of the instrument: each slot as last seen, and the dumps nothing else
// holds.
class InstrumentCli : public LibraryCli {
 protected:
  std::size_t OnlyOnInstrument() {
    return Json({"library", "list", "--only-on-instrument"}).size();
  }
};

TEST_F(InstrumentCli, AFileAFetchWroteKeepsItsDumpsSafeUntilItIsDeletedAndKeepSafeWritesThemAgain) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("pb.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"split-program-bank", "--bank", "1", Path("split")}), 0) << err_.str();
  const std::size_t dumps = Json({"library", "list"}).size();
  ASSERT_GT(dumps, 128u);
  const json shown = Json({"library", "show", IdAt("program", 0, 3)});
  std::set<std::string> files;
  for (const json& p : shown["places"])
    if (p["how"] == "file") files.insert(fs::path(p["source"].get<std::string>()).filename());
  EXPECT_EQ(files, std::set<std::string>{"pb.syx"});
  EXPECT_EQ(OnlyOnInstrument(), 0u);

  // Entry 3 overwritten with entry 4: the file no longer holds the one, and still the other.
  Bytes changed = Read("pb.syx");
  const std::size_t size = kProgramKind.dumpSize;
  std::copy_n(changed.begin() + 4 * size, size, changed.begin() + 3 * size);
  Write("pb.syx", changed);
  const json third = Json({"library", "list", "--only-on-instrument"});
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(std::to_string(third[0]["id"].get<long long>()), IdAt("program", 0, 3));

  // A sound that only ever was in a file, since deleted, never was on the instrument.
  const Bytes first(changed.begin(), changed.begin() + static_cast<std::ptrdiff_t>(size));
  Write("lone.syx", RenameDump(kProgramKind, first, "Lone Sound"));
  ASSERT_EQ(Run({"library", "import", Path("lone.syx")}), 0) << err_.str();
  fs::remove(Path("lone.syx"));
  // Deleted, the bank file holds nothing: its dumps are the instrument's alone.
  fs::remove(Path("pb.syx"));
  const json only = Json({"library", "list", "--only-on-instrument"});
  const std::size_t alone = only.size();
  EXPECT_GT(alone, 0u);
  for (const json& d : only) EXPECT_NE(d["name"], "Lone Sound");
  EXPECT_LT(alone, dumps);
  const json gone = Json({"library", "show", IdAt("program", 0, 3)});
  for (const json& p : gone["places"]) {
    EXPECT_TRUE(p["how"] != "file" || p.value("gone", false)) << p;
  }

  ASSERT_EQ(Run({"library", "keep-safe", Path("safe")}), 0) << err_.str();
  EXPECT_THAT(out_.str(),
              HasSubstr(std::to_string(alone) + " files written; 0 dumps exist nowhere else\n"));
  EXPECT_EQ(static_cast<std::size_t>(
                std::distance(fs::directory_iterator(Path("safe")), fs::directory_iterator())),
            alone);
  EXPECT_EQ(OnlyOnInstrument(), 0u);
}

TEST_F(InstrumentCli, ShowsEachSlotAsLastSeenAndWhatChangedSinceTheBackup) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("pb.syx")}), 0) << err_.str();
  json view = Json({"library", "instrument"});
  EXPECT_EQ(view["bank"], "Programs User");
  ASSERT_EQ(view["slots"].size(), 128u);
  EXPECT_EQ(view["slots"][3]["entry"], 3);
  EXPECT_EQ(view["slots"][3]["how"], "fetched");
  const json listed = Json({"library", "show", view["slots"][3]["id"].dump()});
  EXPECT_EQ(view["slots"][3]["name"], listed["name"]);
  json fetched;
  for (const json& p : listed["places"]) {
    if (p["how"] == "fetched") fetched = p["seen"];
  }
  EXPECT_EQ(view["slots"][3]["seen"], fetched);
  json mixes = Json({"library", "instrument", "--bank", "mixes USER"});
  EXPECT_EQ(mixes["bank"], "Mixes User");
  EXPECT_EQ(
      mixes["slots"][0],
      json(
          {{"entry", 0}, {"id", nullptr}, {"name", nullptr}, {"how", nullptr}, {"seen", nullptr}}));
  EXPECT_EQ(Run({"library", "instrument", "--bank", "Programs Card 15"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("Programs Card 1 to Programs Card 14"));

  ASSERT_EQ(Run({"backup", Path("B")}), 0) << err_.str();
  EXPECT_EQ(Json({"library", "instrument", "--changed"})["slots"].size(), 0u);

  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "9", "-o", Path("p9.syx")}), 0);
  ASSERT_EQ(Run({"send-program", Path("p9.syx"), "--bank", "0", "--number", "5"}), 0) << err_.str();
  view = Json({"library", "instrument", "--changed"});
  ASSERT_EQ(view["slots"].size(), 1u);
  EXPECT_EQ(view["slots"][0]["entry"], 5);
  EXPECT_EQ(view["slots"][0]["how"], "sent");
  EXPECT_EQ(view["slots"][0]["id"], Json({"library", "instrument"})["slots"][9]["id"]);
  ASSERT_EQ(Run({"library", "instrument", "--changed"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("Programs User, as fetched just now; 1 slot sent since\n"));
  EXPECT_THAT(out_.str(), HasSubstr("\n006  " + view["slots"][0]["name"].get<std::string>()));
}

TEST_F(InstrumentCli, ALibraryOfTheVersionBeforeCountsTheFilesOfItsDumpsOnceOpened) {
  ASSERT_EQ(Run({"get-program-bank", "--bank", "0", "-o", Path("pb.syx")}), 0) << err_.str();
  ASSERT_EQ(Run({"get-program", "--bank", "1", "--number", "7", "-o", Path("one.syx")}), 0);
  fs::remove(Path("one.syx"));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path("lib.sqlite").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "DROP INDEX dumps_only_on_instrument; DROP INDEX places_by_bank; "
                         "DROP INDEX places_by_source; ALTER TABLE places DROP COLUMN gone; "
                         "ALTER TABLE dumps DROP COLUMN kept; ALTER TABLE files DROP COLUMN size; "
                         "ALTER TABLE files DROP COLUMN mtime; PRAGMA user_version = 2",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(OnlyOnInstrument(), 1u);
}

}  // namespace
}  // namespace quorle
