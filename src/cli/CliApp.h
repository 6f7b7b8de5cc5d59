#pragma once

#include <ostream>

namespace quorle {

// Exit statuses of quorle-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Runs quorle-cli with the given arguments, printing to out and err; returns the exit status.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace quorle
