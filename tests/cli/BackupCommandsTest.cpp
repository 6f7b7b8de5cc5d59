#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ProgramFiles.h"
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

// quorle-cli as a process of its own, its output in outFile; signals at their defaults, as a
// terminal would start it.
pid_t StartCli(const std::vector<std::string>& args, const fs::path& outFile) {
  const char* bin = std::getenv("QUORLE_BIN_DIR");
  const fs::path program =
      (bin ? fs::path(bin) : fs::path(RunningProgramPath()).parent_path().parent_path() / "bin") /
      "quorle-cli";
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, stops;
  sigemptyset(&none);
  sigemptyset(&stops);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &stops);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &files, &attr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  return pid;
}

TEST_F(BackupCli, ABackupStoppedBySignalLeavesNothingAndEndsByThatSignal) {
  ::setenv("QUORLE_LIBRARY", Path("library.sqlite").c_str(), 1);
  const fs::path parent = dir_ / "backups";
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    // Slow enough that the signal always finds it collecting.
    const pid_t cli = StartCli(
        {"--sim-state", Path("state"), "--sim-rate", "2000", "backup", (parent / "B3").string()},
        dir_ / "out.txt");
    ASSERT_GT(cli, 0);
    const auto unfinished = [&] {
      std::error_code ec;
      for (const auto& e : fs::directory_iterator(parent, ec)) {
        if (e.path().filename().string().rfind(".B3.unfinished-", 0) == 0) return true;
      }
      return false;
    };
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!unfinished() && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(unfinished());
    ASSERT_EQ(::kill(cli, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(cli, &status, 0), cli);

    // A shell says 128 + the signal's number, as for a program the signal ended at once.
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_TRUE(fs::is_empty(parent));
    std::ifstream out(dir_ / "out.txt");
    const std::string printed{std::istreambuf_iterator<char>(out), {}};
    EXPECT_THAT(printed, HasSubstr(" Backup cancelled: nothing was kept"));
  }
}

}  // namespace
}  // namespace quorle
