#include <signal.h>

#include <iostream>

#include "cli/CliApp.h"
#include "cli/StopSignals.h"

int main(int argc, char** argv) {
  const int status =
      quorle::RunCli(argc, argv, quorle::ProgramFolder(argv[0]), std::cout, std::cerr);
  // A command that cleaned up after a stop signal ends by that signal, so a shell running it in
  // a loop stops as it would have.
  if (const int signal = quorle::StopSignalOfStatus(status)) {
    std::cout.flush();
    std::cerr.flush();
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(signal);
  }
  return status;
}
