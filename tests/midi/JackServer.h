#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace quorle::test {

// A private JACK server with the dummy driver, started for the tests of one process and stopped
// by the PID it was started with. Clients of this process find it through JACK_DEFAULT_SERVER.
class JackServer {
 public:
  JackServer() : name_("quorle-midi-test-" + std::to_string(::getpid())) {
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    log_ = "/tmp/" + name_ + ".log";
    ::unlink(log_.c_str());
    // Not realtime: a realtime client is cancelled when it closes, which sanitizers take badly.
    Start("--no-realtime");
  }

  ~JackServer() { Stop(); }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Ready() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

 private:
  bool Start(const char* mode) {
    const int log = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    pid_ = ::fork();
    if (pid_ == 0) {
      // The server goes down with this test program, even when it crashes.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (log >= 0) {
        ::dup2(log, 1);
        ::dup2(log, 2);
      }
      ::execlp("jackd", "jackd", "-n", name_.c_str(), mode, "-d", "dummy", "-r", "48000", "-p",
               "256", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (log >= 0) ::close(log);
    if (pid_ < 0) {
      problem_ = "jackd could not be started";
      return false;
    }
    WaitUntilAnswering();
    return problem_.empty();
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Asked by a separate program, so that no JACK client of this process comes and goes early.
  bool Answers() const {
    const std::string command = "jack_wait -s '" + name_ + "' -c 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    char line[64] = {};
    const bool running =
        std::fgets(line, sizeof line, pipe) && std::string(line).rfind("running", 0) == 0;
    ::pclose(pipe);
    return running;
  }

  void WaitUntilAnswering() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        problem_ = "jackd exited at once; see " + log_;
        return;
      }
      if (Answers()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    problem_ = "jackd did not answer within 60 s; see " + log_;
  }

  std::string name_;
  std::string log_;
  pid_t pid_ = -1;
  std::string problem_;
};

}  // namespace quorle::test
