#pragma once

#include <functional>

#include "cli/LiveSession.h"

namespace CLI {
class App;
}

namespace quorle {

// The commands that talk to the instrument, each over the same window operation a click runs.
// run starts the session (start-up and port options) and hands back the window.
void AddLiveCommands(CLI::App& app, std::function<void()>& command,
                     const std::function<LiveSession&()>& run);

}  // namespace quorle
