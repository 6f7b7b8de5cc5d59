#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace quorle {

class LibraryConnection;
class LiveSession;

// `library ...`: the catalogue of every Program and Mix the user owns. connection opens the
// library the global options name; session starts the instrument's session (put-back).
void AddLibraryCommands(CLI::App& app, std::function<void()>& command,
                        const std::function<LibraryConnection&()>& connection,
                        const std::function<LiveSession&()>& session, std::ostream& out,
                        std::ostream& err);

// Why --library PATH cannot be used ("" names no file; a folder that does not exist is not made),
// or empty when it can.
std::string LibraryOptionProblem(const std::string& path);

}  // namespace quorle
