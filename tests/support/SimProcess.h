#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "protocol/SysexFile.h"

namespace quorle::test {

// quorle-sim started with the given arguments, its output in a log file; stopped by its PID.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& args, const std::filesystem::path& log) : log_(log) {
    // CTest names the folder; run by hand, the program lies in bin/ beside tests/.
    const char* bin = std::getenv("QUORLE_BIN_DIR");
    const std::string program =
        (bin ? std::filesystem::path(bin)
             : std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "bin") /
        "quorle-sim";
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int logFd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ == 0) {
      // Goes with this test process, even when it dies without cleaning up.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::dup2(logFd, 1);
      ::dup2(logFd, 2);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (logFd >= 0) ::close(logFd);
  }
  // Asked to end, so that its JACK clients close: a client killed outright can leave the
  // server's shared memory behind, and stale servers there refuse new ones.
  ~SimProcess() {
    if (pid_ > 0) Stop(SIGTERM);
  }

  bool Running() const { return pid_ > 0; }
  // Sends the signal and answers the exit status, or -1 when it did not end in time.
  int Stop(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }
  // Waits until it says its ports are up. A client that comes and goes on a JACK server while
  // another one starts can leave that one stuck in the graph, every cycle an xrun.
  bool WaitReady() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (Log().find("is ready") != std::string::npos) return true;
      siginfo_t ended{};  // looked at, not reaped: Stop still answers the exit status
      if (pid_ <= 0 ||
          ::waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          ended.si_pid != 0) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  std::string Log() const {
    Bytes content;
    ReadWholeFile(log_, content);
    return std::string(content.begin(), content.end());
  }

 private:
  std::filesystem::path log_;
  pid_t pid_ = -1;
};

}  // namespace quorle::test
