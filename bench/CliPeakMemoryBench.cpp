// Peak memory of the command line fetching a Program bank from its own simulator, read from the
// kernel's account of the finished child.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

#include "BenchLibrary.h"

namespace quorle::bench {
namespace {

// The child's exit code and its maximum resident set in KiB; -1 when it could not be started.
struct ChildResult {
  int exitCode = -1;
  long maxRssKiB = 0;
};

ChildResult RunChild(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ChildResult result;
  if (spawned != 0) return result;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.maxRssKiB = usage.ru_maxrss;
  return result;
}

// Only the in-process devices, and a simulator whose memory lives only as long as the command.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (entry.starts_with("QUORLE_MIDI_API=") || entry.starts_with("QUORLE_SIM_STATE=")) continue;
    env.emplace_back(entry);
  }
  env.emplace_back("QUORLE_MIDI_API=none");
  return env;
}

void BM_CliGetProgramBankPeakMemory(benchmark::State& state) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("quorle-bench-cli-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "bank.syx").string();
  const std::vector<std::string> args = {QUORLE_CLI, "--sim-rate", "instant", "get-program-bank",
                                         "--bank",   "0",          "-o",      file};
  const auto env = ChildEnvironment();
  long peak = 0;
  for (auto _ : state) {
    const ChildResult r = RunChild(args, env);
    if (r.exitCode != 0 || std::filesystem::file_size(file) != 128 * 2350) {
      state.SkipWithError(("quorle-cli failed, exit " + std::to_string(r.exitCode)).c_str());
      break;
    }
    peak = std::max(peak, r.maxRssKiB);
  }
  std::filesystem::remove_all(dir);
  state.counters["max_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}
BENCHMARK(BM_CliGetProgramBankPeakMemory)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole listing of a library of 100,000 dumps, as text and as JSON: it pages through the
// catalogue, so its memory must not grow with the library.
void BM_CliLibraryListPeakMemory(benchmark::State& state) {
  const std::string library = HundredThousandDumps().file.string();
  std::vector<std::string> args = {QUORLE_CLI, "--library", library, "library", "list"};
  if (state.range(0) != 0) args.emplace_back("--json");
  const auto env = ChildEnvironment();
  long peak = 0;
  for (auto _ : state) {
    const ChildResult r = RunChild(args, env);
    if (r.exitCode != 0) {
      state.SkipWithError(("quorle-cli failed, exit " + std::to_string(r.exitCode)).c_str());
      break;
    }
    peak = std::max(peak, r.maxRssKiB);
  }
  state.counters["max_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}
BENCHMARK(BM_CliLibraryListPeakMemory)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quorle::bench
