#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "support/TestFolder.h"

namespace quorle::testing {

// quorle-cli run in-process as a musician would type it, with a folder of its own for each test
// as the program's folder, and only the simulated instrument to talk to.
class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("QUORLE_MIDI_API", "none", 1);
    ::unsetenv("QUORLE_SIM_STATE");
    ::unsetenv("QUORLE_LIBRARY");
    dir_ = FreshTestFolder("cli");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs "quorle-cli" with args; what it prints lands in out_ and err_.
  int RunCli(std::vector<std::string> args) {
    args.insert(args.begin(), "quorle-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    out_.str("");
    err_.str("");
    return quorle::RunCli(static_cast<int>(argv.size()), argv.data(), dir_, out_, err_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

}  // namespace quorle::testing
