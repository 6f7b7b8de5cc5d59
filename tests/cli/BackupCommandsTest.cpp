#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "protocol/SysexFile.h"
#include "support/CliFixture.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// quorle-cli against simulated instruments that keep their memory in state files.
class BackupCli : public testing::CliFixture {
 protected:
  // Runs quorle-cli on the instrument kept in state.
  int Run(const std::string& state, std::vector<std::string> args) {
    args.insert(args.begin(), {"--sim-state", Path(state), "--delay", "0"});
    return RunCli(std::move(args));
  }
  static Bytes Read(const fs::path& path) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(path, b).ok) << path;
    return b;
  }
  // The .syx files of a backup folder, by name.
  std::map<std::string, Bytes> Files(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(dir_ / folder)) {
      if (e.path().extension() == ".syx") files[e.path().filename().string()] = Read(e.path());
    }
    return files;
  }
};

TEST_F(BackupCli, ABackupRestoredIntoAFreshInstrumentMakesItsBanksAndGlobalDataEqual) {
  // Instrument A made its own: renamed entries in the User and a card bank, other Global Data.
  ASSERT_EQ(Run("a.state", {"rename-program", "--bank", "0", "--number", "5", "--name", "Mine"}),
            0);
  ASSERT_EQ(Run("a.state", {"rename-mix", "--bank", "3", "--number", "9", "--name", "Card Mix"}),
            0);
  ASSERT_EQ(Run("a.state", {"get-global", "-o", Path("g.syx")}), 0);
  Bytes global = Read(Path("g.syx"));
  global[9000] ^= 0x01;
  ASSERT_TRUE(WriteFileAtomically(Path("g.syx"), global).ok);
  ASSERT_EQ(Run("a.state", {"send-global", Path("g.syx")}), 0) << err_.str();

  ASSERT_EQ(Run("a.state", {"backup", Path("A")}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Backup \"A\" saved to disk: 7 files"));
  ASSERT_EQ(Run("b.state", {"backup", Path("B before")}), 0) << err_.str();
  const auto a = Files("A");
  ASSERT_EQ(a.size(), 7u);
  EXPECT_NE(Files("B before"), a);

  ASSERT_EQ(Run("b.state", {"restore", Path("A"), "--yes"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Restored from \"A\" and verified: 7 files\n"));
  ASSERT_EQ(Run("b.state", {"restore", Path("A"), "--yes", "--no-verify"}), 0) << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Restored from \"A\": 7 files\n"));
  EXPECT_THAT(out_.str(), Not(HasSubstr("Verifying")));
  ASSERT_EQ(Run("b.state", {"backup", Path("B after")}), 0) << err_.str();
  EXPECT_EQ(Files("B after"), a);

  // An instrument with a smaller card takes what fits and says what it left out.
  ASSERT_EQ(Run("c.state", {"--sim-program-card-banks", "1", "--timeout", "0.3", "restore",
                            Path("A"), "--yes", "--only", "programs"}),
            0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(": 2 files; 1 not on the card, left out\n"));
}

TEST_F(BackupCli, RestoreRefusesATamperedSetAndAsksUnlessTold) {
  ASSERT_EQ(Run("a.state", {"backup", Path("A")}), 0) << err_.str();
  Bytes programs = Read(dir_ / "A" / "Programs Card 2.syx");
  programs[2350 * 3 + 7] = 9;  // moved to another entry
  ASSERT_TRUE(WriteFileAtomically(dir_ / "A" / "Programs Card 2.syx", programs).ok);
  EXPECT_EQ(Run("a.state", {"restore", Path("A"), "--yes", "--no-keep-copy"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("Programs Card 2.syx has changed since the backup"));
  EXPECT_EQ(out_.str(), "");
  // The command's --no-keep-copy was its own, however it ended: the stored choice is kept.
  const Bytes settings = Read(dir_ / "quorle.ini");
  EXPECT_THAT(std::string(settings.begin(), settings.end()), HasSubstr("KeepReplaced=1"));
  // A folder named with a trailing slash is named by its last part all the same.
  EXPECT_EQ(Run("a.state", {"restore", Path("A") + "/", "--yes", "--only", "global"}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" Restored from \"A\": 1 file\n"));

  // No one to answer: refused before the instrument is touched.
  const int saved = ::dup(STDIN_FILENO);
  const int null = ::open("/dev/null", O_RDONLY);
  ::dup2(null, STDIN_FILENO);
  const int status = Run("a.state", {"restore", Path("A"), "--only", "global"});
  ::dup2(saved, STDIN_FILENO);
  ::close(null);
  ::close(saved);
  EXPECT_EQ(status, 1);
  EXPECT_THAT(err_.str(), HasSubstr("give --yes"));

  EXPECT_EQ(Run("a.state", {"backup", Path("A")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("already exists"));
  EXPECT_EQ(Run("a.state", {"restore", Path("nowhere"), "--yes"}), 1);
  EXPECT_EQ(Run("a.state", {"restore", Path("A"), "--only", "presets"}), 2);
}

TEST_F(BackupCli, SplitThenJoinGivesBackTheBankAndJoinRefusesWhatIsNoBank) {
  ASSERT_EQ(Run("a.state", {"get-mix-bank", "--bank", "2", "-o", Path("bank.syx")}), 0);
  ASSERT_EQ(Run("a.state", {"split", Path("bank.syx"), Path("parts")}), 0);
  ASSERT_EQ(Run("a.state", {"join", Path("parts"), "-o", Path("joined.syx")}), 0) << err_.str();
  EXPECT_EQ(Read(Path("joined.syx")), Read(Path("bank.syx")));

  // Files in the order given take the entries in that order.
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(dir_ / "parts")) files.push_back(e.path().string());
  std::sort(files.rbegin(), files.rend());
  std::vector<std::string> args = {"join"};
  args.insert(args.end(), files.begin(), files.end());
  args.insert(args.end(), {"-o", Path("reversed.syx")});
  ASSERT_EQ(Run("a.state", args), 0) << err_.str();
  const Bytes reversed = Read(Path("reversed.syx"));
  const Bytes bank = Read(Path("bank.syx"));
  EXPECT_EQ(reversed[7], 0);
  EXPECT_TRUE(std::equal(reversed.begin() + 8, reversed.begin() + 1180, bank.end() - 1180 + 8));

  // One file given twice would leave the entry meant for another empty.
  args[10] = args[6];
  EXPECT_EQ(Run("a.state", args), 1);
  EXPECT_EQ(err_.str(), args[6] + ": the same file for entries 5 and 9\n");

  const std::string first = files.back();
  fs::copy_file(first, dir_ / "parts" / "MIX000 again.syx");
  EXPECT_EQ(Run("a.state", {"join", Path("parts"), "-o", Path("x.syx")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("MIX000 again.syx: entry 0 again"));
  fs::remove(dir_ / "parts" / "MIX000 again.syx");

  fs::remove(first);
  EXPECT_EQ(Run("a.state", {"join", Path("parts"), "-o", Path("x.syx")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("a bank takes 128 files, not 127"));

  ASSERT_EQ(Run("a.state", {"get-program", "--bank", "0", "--number", "0", "-o", first}), 0);
  EXPECT_EQ(Run("a.state", {"join", Path("parts"), "-o", Path("x.syx")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("is a Mix and " + first + " a Program: a bank holds one kind"));

  Bytes broken(1180, 0x10);
  broken[0] = 0xF0;
  ASSERT_TRUE(WriteFileAtomically(first, broken).ok);
  EXPECT_EQ(Run("a.state", {"join", Path("parts"), "-o", Path("x.syx")}), 1);
  EXPECT_THAT(err_.str(), HasSubstr(first + " is not a Program Dump or Mix Dump"));
  EXPECT_FALSE(fs::exists(Path("x.syx")));
}

}  // namespace
}  // namespace quorle
