#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliApp.h"
#include "support/TestFolder.h"

namespace quorle::testing {

// quorle-cli run in-process as a musician would type it, with a folder of its own for each test
// as the program's folder, and only the simulated instrument to talk to.
class CliFixture : public ::testing::Test {
 protected:
  // Ends the process when it outlives limit (none for 0): a time-out that never fires must fail
  // the test, not hang it.
  class Deadline {
   public:
    explicit Deadline(std::chrono::seconds limit) {
      if (limit.count() == 0) return;
      watch_ = std::thread([this, limit] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
          std::fprintf(stderr,
                       "quorle-cli with --timeout still ran after %llds: its time-out "
                       "never ended the wait\n",
                       static_cast<long long>(limit.count()));
          std::_Exit(1);
        }
      });
    }
    ~Deadline() {
      if (!watch_.joinable()) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
      }
      ended_.notify_one();
      watch_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

   private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread watch_;
  };

  void SetUp() override {
    ::setenv("QUORLE_MIDI_API", "none", 1);
    ::unsetenv("QUORLE_SIM_STATE");
    ::unsetenv("QUORLE_LIBRARY");
    dir_ = FreshTestFolder("cli");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs "quorle-cli" with args; what it prints lands in out_ and err_. A command given a
  // --timeout must be ended by it: one that is still running after kTimeoutDeadline ends the test
  // program at once rather than waiting for the test runner's limit.
  static constexpr auto kTimeoutDeadline = std::chrono::seconds(60);
  int RunCli(std::vector<std::string> args) {
    const bool timed = std::find(args.begin(), args.end(), "--timeout") != args.end();
    Deadline deadline(timed ? kTimeoutDeadline : std::chrono::seconds(0));
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
