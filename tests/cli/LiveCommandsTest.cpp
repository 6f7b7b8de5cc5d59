#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "cli/OfflineCommands.h"
#include "protocol/DumpName.h"
#include "protocol/SysexFile.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// quorle-cli against the simulated instrument only, its memory kept in a state file, so each
// call is a fresh start of the program as a musician would make it.
class LiveCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUORLE_MIDI_API", "none", 1);
    ::unsetenv("QUORLE_SIM_STATE");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("quorle-live-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"quorle-cli", "--sim-state", (dir_ / "sim.syx").string()});
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    out_.str("");
    err_.str("");
    return RunCli(static_cast<int>(argv.size()), argv.data(), dir_, out_, err_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string NameIn(const std::string& path) {
    Bytes b;
    EXPECT_TRUE(ReadWholeFile(path, b).ok);
    return b.size() == 2350 ? DumpName(kProgramKind, b) : DumpName(kMixKind, b);
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(LiveCli, ChangesPersistInTheSimulatedInstrumentAcrossCalls) {
  ASSERT_EQ(Run({"get-program", "--bank", "0", "--number", "3", "-o", Path("a.syx")}), 0)
      << err_.str();
  EXPECT_THAT(out_.str(), HasSubstr(" a.syx saved to disk"));
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
  ASSERT_EQ(Run({"send-global", Path("g.syx")}), 0) << err_.str();
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
  EXPECT_EQ(Run({"--in", "No Such Port", "check"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("MIDI Input Device No Such Port not installed "));
  // A card bank the instrument lacks gets no answer.
  EXPECT_EQ(
      Run({"--timeout", "0.5", "get-program", "--bank", "9", "--number", "0", "-o", Path("x.syx")}),
      3);
  EXPECT_THAT(err_.str(), HasSubstr("no reply from the instrument"));
}

TEST_F(LiveCli, SimulatorFaultsComeBeforeTheCommandAndAMalformedOneIsAUsageError) {
  EXPECT_EQ(Run({"--sim-fault", "ignore", "--timeout", "0.5", "get-global", "-o", Path("g.syx")}),
            3);
  EXPECT_FALSE(fs::exists(Path("g.syx")));
  // A bank that stops in the middle writes nothing, however long it ran.
  EXPECT_EQ(Run({"--sim-fault", "drop:100", "--timeout", "0.3", "get-program-bank", "--bank", "0",
                 "-o", Path("b.syx")}),
            3);
  EXPECT_FALSE(fs::exists(Path("b.syx")));
  EXPECT_EQ(Run({"--sim-fault", "drop:3", "--sim-fault", "stall:300", "check"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("--sim-fault takes"));
}

}  // namespace
}  // namespace quorle
