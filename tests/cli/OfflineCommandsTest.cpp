#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliApp.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"
#include "support/CliFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// Names a musician's bank really holds: blanks in runs and at both ends, punctuation, characters
// no file name may hold, a Latin-1 letter.
const char* const kNames[] = {"Init Program    ",      "Bass: Deep/Sub  ", "                ",
                              "Big  Pad        ",      "ABCDEFGHIJKLMNOP", "  Lead *1*  <A> ",
                              "Caf\xE9 \"Noir\"|?   ", "Back\\Slash      "};

Bytes MakeBank(const DumpKind& kind) {
  Bytes bank;
  for (int n = 0; n < 128; ++n) {
    std::vector<std::uint8_t> data(kind.dataSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = static_cast<std::uint8_t>((i * 73 + static_cast<std::size_t>(n) * 29) ^ 0x80);
    }
    data[0] = kind.opcode == 0 ? 0xA6 : 0xB6;  // version bytes as an instrument sends them
    data[1] = 0x0A;
    WriteName(data, kNames[n % std::size(kNames)]);
    const Bytes dump = BuildDump(kind, 0, static_cast<std::uint8_t>(n), data);
    bank.insert(bank.end(), dump.begin(), dump.end());
  }
  return bank;
}

class Cli : public testing::CliFixture {
 protected:
  int Run(std::vector<std::string> args) { return RunCli(std::move(args)); }
  fs::path Write(const std::string& name, const Bytes& content) {
    const fs::path p = dir_ / name;
    EXPECT_TRUE(WriteFileAtomically(p, content).ok);
    return p;
  }
  static Bytes Read(const fs::path& p) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(p, b).ok) << p;
    return b;
  }
};

TEST_F(Cli, InfoListsEveryDumpAndFlagsTheCorruptOne) {
  Bytes bank = MakeBank(kProgramKind);
  bank[5 * 2350 + 100] = 0x85;  // a data byte with bit 7: the dump can no longer be sent
  const fs::path file = Write("bank.syx", bank);

  ASSERT_EQ(Run({"info", file.string()}), 0) << err_.str();
  const std::string text = out_.str();
  EXPECT_THAT(text, HasSubstr("program-bank"));
  EXPECT_THAT(text, HasSubstr("\n001  bank 0  number 1  \"Bass: Deep/Sub  \"\n"));
  EXPECT_THAT(text, HasSubstr("\n005  bank 0  number 5  \"  Lead *1*  <A> \" damaged at byte "
                              "11850: a status byte (0x85) inside\n"));
  EXPECT_THAT(text, HasSubstr("\n127  bank 0  number 127  \"Back\\Slash      \"\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 129);

  ASSERT_EQ(Run({"info", file.string(), "--json"}), 0);
  const auto j = nlohmann::json::parse(out_.str());
  EXPECT_EQ(j["kind"], "program-bank");
  EXPECT_EQ(j["size"], 300800);
  ASSERT_EQ(j["entries"].size(), 128u);
  EXPECT_EQ(j["entries"][6]["name"], "Caf\u00e9 \"Noir\"|?   ");  // Latin-1 read as such
  EXPECT_EQ(j["entries"][6]["number"], 6);
  EXPECT_EQ(j["entries"][2]["name"], std::string(16, ' '));
  EXPECT_FALSE(j["entries"][5]["valid"]);
  EXPECT_TRUE(j["entries"][4]["valid"]);
}

TEST_F(Cli, InfoTellsKindsBySize) {
  const Bytes mixBank = MakeBank(kMixKind);
  struct Case {
    Bytes content;
    const char* kind;
    std::size_t entries;
  } cases[] = {
      {Bytes(mixBank.begin(), mixBank.begin() + 1180), "mix", 1},
      {mixBank, "mix-bank", 128},
      {Bytes(18183, 0), "global", 1},
      {Bytes(2351, 0), "unknown", 0},
      {Bytes(), "unknown", 0},
  };
  for (const Case& c : cases) {
    const fs::path file = Write("f.syx", c.content);
    ASSERT_EQ(Run({"info", "--json", file.string()}), 0);
    const auto j = nlohmann::json::parse(out_.str());
    EXPECT_EQ(j["kind"], c.kind);
    EXPECT_EQ(j["entries"].size(), c.entries) << c.kind;
  }
  EXPECT_EQ(Run({"info", (dir_ / "missing.syx").string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("missing.syx"));

  // Found by fuzzing: a file name that is not UTF-8 ended the program in the JSON writer.
  const fs::path latin1 = Write("Caf\xE9.syx", Bytes(1180, 0));
  ASSERT_EQ(Run({"info", "--json", latin1.string()}), 0);
  EXPECT_EQ(nlohmann::json::parse(out_.str())["file"], (dir_ / "Caf\uFFFD.syx").string());
}

TEST_F(Cli, RenameChangesOneDumpAndKeepsEveryOtherByte) {
  const Bytes bank = MakeBank(kMixKind);
  const fs::path file = Write("mixes.syx", bank);
  const fs::path out = dir_ / "renamed.syx";

  ASSERT_EQ(Run({"rename", file.string(), "9", "Pad: 2/3", "-o", out.string()}), 0) << err_.str();
  EXPECT_EQ(Read(file), bank);  // the input is never touched
  const Bytes renamed = Read(out);
  ASSERT_EQ(renamed.size(), bank.size());
  for (std::size_t i = 0; i < bank.size(); ++i) {
    if (i / 1180 != 9) {
      ASSERT_EQ(renamed[i], bank[i]) << i;
    }
  }
  const ByteView dump = ByteView(renamed).subspan(9 * 1180, 1180);
  EXPECT_EQ(DumpName(kMixKind, dump), "Pad: 2/3        ");
  EXPECT_TRUE(CheckDumpFraming(kMixKind, dump));

  // Renaming to its own name, in place, keeps the file byte for byte.
  const Bytes single(bank.begin(), bank.begin() + 1180);
  const fs::path one = Write("one.syx", single);
  ASSERT_EQ(Run({"rename", one.string(), "0", "Init Program", "-o", one.string()}), 0);
  EXPECT_EQ(Read(one), single);
}

TEST_F(Cli, RenameRefusesBadInputWithoutWritingAnything) {
  Bytes bank = MakeBank(kProgramKind);
  bank[3 * 2350 + 2349] = 0x00;  // dump 3 lost its F7
  const fs::path file = Write("bank.syx", bank);
  const fs::path out = dir_ / "out.syx";
  const std::string f = file.string();
  const std::string o = out.string();

  EXPECT_EQ(Run({"rename", f, "0", "ABCDEFGHIJKLMNOPQ", "-o", o}), 1);
  EXPECT_EQ(Run({"rename", f, "0", "Caf\xC3\xA9", "-o", o}), 1);
  EXPECT_EQ(Run({"rename", f, "128", "x", "-o", o}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("bank.syx"));
  EXPECT_EQ(Run({"rename", f, "3", "x", "-o", o}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("corrupt"));
  const fs::path single = Write("single.syx", Bytes(bank.begin(), bank.begin() + 2350));
  EXPECT_EQ(Run({"rename", single.string(), "1", "x", "-o", o}), 1);
  const fs::path global = Write("global.syx", Bytes(18183, 0));
  EXPECT_EQ(Run({"rename", global.string(), "0", "x", "-o", o}), 1);
  EXPECT_FALSE(fs::exists(out));

  EXPECT_EQ(Run({"rename", f, "0", "x"}), 2);  // no output named
  EXPECT_EQ(Run({"rename", f, "zero", "x", "-o", o}), 2);
  EXPECT_EQ(Run({"frobnicate"}), 2);
  EXPECT_EQ(Run({}), 2);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(Cli, SplitWritesEachDumpUnderItsPositionAndName) {
  const Bytes bank = MakeBank(kProgramKind);
  const fs::path file = Write("bank.syx", bank);
  const fs::path folder = dir_ / "split";
  fs::create_directories(folder);
  Write("split/PRG001 Bass DeepSub.syx", Bytes{1, 2, 3});  // replaced without asking

  ASSERT_EQ(Run({"split", file.string(), folder.string()}), 0) << err_.str();
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 128);
  auto dump = [&](int n) { return Bytes(bank.begin() + n * 2350, bank.begin() + (n + 1) * 2350); };
  EXPECT_EQ(Read(folder / "PRG000 Init Program.syx"), dump(0));
  EXPECT_EQ(Read(folder / "PRG001 Bass DeepSub.syx"), dump(1));
  EXPECT_EQ(Read(folder / "PRG002 .syx"), dump(2));
  EXPECT_EQ(Read(folder / "PRG003 Big Pad.syx"), dump(3));
  EXPECT_EQ(Read(folder / "PRG005  Lead 1 A.syx"), dump(5));
  EXPECT_EQ(Read(folder / "PRG006 Caf Noir.syx"), dump(6));  // no byte of 80 hex and up
  EXPECT_EQ(Read(folder / "PRG127 BackSlash.syx"), dump(127));

  const fs::path mixes = Write("mixes.syx", MakeBank(kMixKind));
  ASSERT_EQ(Run({"split", mixes.string(), (dir_ / "new" / "folder").string()}), 0);
  EXPECT_TRUE(fs::exists(dir_ / "new" / "folder" / "MIX004 ABCDEFGHIJKLMNOP.syx"));

  EXPECT_EQ(Run({"split", Write("one.syx", dump(0)).string(), folder.string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("one.syx"));
}

TEST_F(Cli, OnlyRegularFilesNoLargerThanTheLargestKindAreRead) {
  // A FIFO would hold a reading open until some writer came: this one comes only for a reader.
  const fs::path fifo = dir_ / "fifo.syx";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> written = false;
  std::thread writer([&] {
    ::close(::open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
    written = true;
  });
  EXPECT_EQ(Run({"info", fifo.string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("fifo.syx: cannot be read: it is not a regular file"));
  // A reader that comes and goes frees the writer, once it waits.
  while (!written) ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  writer.join();

  // A Program bank with the most surplus any kind accepts is read; one byte more is not.
  Bytes largest = MakeBank(kProgramKind);
  largest.resize(largest.size() + 2349, 0xF7);
  EXPECT_EQ(Run({"info", Write("largest.syx", largest).string()}), 0) << err_.str();
  largest.push_back(0xF7);
  EXPECT_EQ(Run({"info", Write("larger.syx", largest).string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("larger.syx: cannot be read: it is too large"));
}

TEST_F(Cli, ASaveGoesThroughALinkKeepsTheModeAndLeavesTheOldFileWholeWhenItFails) {
  const Bytes bank = MakeBank(kProgramKind);
  const fs::path target = Write("one.syx", Bytes(bank.begin(), bank.begin() + 2350));
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_directories(dir_ / "links");
  const fs::path link = dir_ / "links" / "one.syx";
  fs::create_symlink("../one.syx", link);
  ASSERT_EQ(Run({"rename", link.string(), "0", "Through", "-o", link.string()}), 0) << err_.str();
  EXPECT_TRUE(fs::is_symlink(link));
  const Bytes renamed = Read(target);
  EXPECT_EQ(DumpName(kProgramKind, renamed), "Through         ");
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A save that fails part-way, here at the file size limit, changes nothing and leaves nothing.
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  const rlimit saved = limit;
  limit.rlim_cur = 1000;
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int status = Run({"rename", target.string(), "0", "Never", "-o", target.string()});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(status, 1);
  EXPECT_THAT(err_.str(), HasSubstr("one.syx: cannot be written: File too large"));
  EXPECT_EQ(Read(target), renamed);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace quorle
