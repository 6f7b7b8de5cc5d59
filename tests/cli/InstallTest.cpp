#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "app/ProgramFiles.h"

namespace quorle {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Result {
  int status;
  std::string output;
};

Result Shell(const std::string& command) {
  Result result{-1, {}};
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) result.output += buffer.data();
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const fs::path& path) {
  return "'" + path.string() + "'";
}

// cmake --install into a prefix of its own, then the installed command line run from there, as a
// user of the installed program would.
class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("QUORLE_BIN_DIR");
    build_ = bin ? fs::path(bin).parent_path()
                 : fs::path(RunningProgramPath()).parent_path().parent_path();
    root_ = fs::temp_directory_path() / ("quorle-install-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "home");
  }
  void TearDown() override { fs::remove_all(root_); }

  Result Run(const std::string& arguments) {
    return Shell("cd / && env QUORLE_MIDI_API=none HOME=" + Quote(root_ / "home") +
                 " XDG_CONFIG_HOME=" + Quote(root_ / "config") +
                 " XDG_DATA_HOME=" + Quote(root_ / "data") + " " +
                 Quote(root_ / "prefix/bin/quorle-cli") + " " + arguments);
  }

  fs::path build_, root_;
};

TEST_F(Installed, RunsFromItsPrefixFindsItsDataAndKeepsSettingsAndLibraryInTheUsersFolders) {
  const fs::path prefix = root_ / "prefix";
  const Result install = Shell("cmake --install " + Quote(build_) + " --prefix " + Quote(prefix));
  ASSERT_EQ(install.status, 0) << install.output;
  for (const char* file : {"bin/quorle-cli", "bin/quorle-sim", "share/quorle/Default Mix.syx",
                           "share/doc/quorle/LICENSE"}) {
    EXPECT_TRUE(fs::exists(prefix / file)) << file;
  }
  if (fs::exists(build_ / "bin/quorle")) {
    // The window comes with its help, desktop entry and icon.
    EXPECT_TRUE(fs::exists(prefix / "share/quorle/quorle.qch"));
    EXPECT_TRUE(fs::exists(prefix / "share/icons/hicolor/scalable/apps/quorle.svg"));
    const Result valid =
        Shell("desktop-file-validate " + Quote(prefix / "share/applications/quorle.desktop"));
    EXPECT_EQ(valid.status, 0) << valid.output;
  }

  const Result version = Run("--version");
  ASSERT_EQ(version.status, 0) << version.output;
  EXPECT_THAT(version.output,
              ::testing::MatchesRegex("SysEx Dump Utility for the Alesis "
                                      "Andromeda\nVersion [0-9.]+  Build [0-9]+\n"));

  const Result check = Run("check");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_THAT(check.output, HasSubstr("Alesis Andromeda version 2.05 found"));
  // The default Mix comes from share/quorle.
  const Result init = Run("init-mix --bank 0 --number 5");
  EXPECT_EQ(init.status, 0) << init.output;
  EXPECT_TRUE(fs::exists(root_ / "config/quorle/quorle.ini"));
  EXPECT_FALSE(fs::exists(prefix / "bin/quorle.ini"));
  // The Mix it replaced was kept in the user's Library, not beside the program.
  EXPECT_TRUE(fs::exists(root_ / "data/quorle/library.sqlite"));
  EXPECT_FALSE(fs::exists(prefix / "bin/library.sqlite"));
}

}  // namespace
}  // namespace quorle
