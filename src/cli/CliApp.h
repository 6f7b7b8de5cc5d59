#pragma once

#include <filesystem>
#include <ostream>

namespace quorle {

// Exit statuses of quorle-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoReply = 3;  // also: the MIDI output port could not send

// Runs quorle-cli with the given arguments, printing to out and err; returns the exit status.
// appFolder is the program file's folder, where the settings file lives.
int RunCli(int argc, const char* const* argv, const std::filesystem::path& appFolder,
           std::ostream& out, std::ostream& err);

// The folder of the running program file.
std::filesystem::path ProgramFolder(const char* argv0);

}  // namespace quorle
