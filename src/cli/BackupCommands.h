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

// Joins 128 single Program or Mix files, or the files of a split in one folder, into a bank file.
void JoinCommand(const std::vector<std::filesystem::path>& inputs,
                 const std::filesystem::path& output, std::ostream& out);

}  // namespace quorle
