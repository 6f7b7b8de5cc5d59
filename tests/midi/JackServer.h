#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <RtMidi.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quorle::test {

// A private JACK server with the dummy driver, started for the tests of one process and stopped
// by the PID it was started with. Clients of this process find it through JACK_DEFAULT_SERVER.
class JackServer {
 public:
  JackServer() : name_("quorle-test-" + std::to_string(::getpid())) {
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    log_ = "/tmp/" + name_ + ".log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args{"jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r",
                                  "48000", "-p", "256"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid_, "jackd", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      problem_ = "jackd could not be started (is jackd2 installed?)";
      return;
    }
    WaitUntilAnswering();
  }

  ~JackServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool Ready() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

 private:
  static void Quiet(RtMidiError::Type, const std::string&, void*) {}

  // Once the server answers, a virtual input port of one client is listed by another.
  void WaitUntilAnswering() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        problem_ = "jackd exited at once; see " + log_;
        return;
      }
      try {
        const std::string client = "quorle-probe-" + std::to_string(::getpid());
        RtMidiIn in(RtMidi::UNIX_JACK, client + "-in");
        in.setErrorCallback(&Quiet, nullptr);
        RtMidiOut out(RtMidi::UNIX_JACK, client + "-out");
        out.setErrorCallback(&Quiet, nullptr);
        if (out.getPortCount() == 0) {  // a server that answers lists nothing yet
          in.openVirtualPort("ready");
          for (int i = 0; i < 20 && out.getPortCount() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
        }
        if (out.getPortCount() > 0) return;
      } catch (const RtMidiError&) {
      }
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
