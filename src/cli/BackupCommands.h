#pragma once

#include <functional>

#include "cli/LiveSession.h"

namespace CLI {
class App;
}

namespace quorle {

// backup and restore, over the window's own operations, and join, which needs no instrument.
void AddBackupCommands(CLI::App& app, std::function<void()>& command,
                       const std::function<LiveSession&()>& run, std::ostream& out);

// Runs one window operation to its end, as the other live commands do, and hands back its status.
std::string RunToEnd(LiveSession& session, const std::function<void(TfrmMain&)>& operation);
// Refuses unless status begins with expected: with the status, or otherwise when there is none.
void Expect(const std::string& status, const std::string& expected, const std::string& otherwise);

// Joins 128 single Program or Mix files, or the files of a split in one folder, into a bank file.
void JoinCommand(const std::vector<std::filesystem::path>& inputs,
                 const std::filesystem::path& output, std::ostream& out);

}  // namespace quorle
