#pragma once

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/LiveSession.h"

namespace quorle {

// `devices`: the MIDI inputs and outputs with the numbers and names --in and --out take, as the
// Setup page lists them.
void DevicesCommand(const LiveOptions& live, const std::filesystem::path& appFolder, bool json,
                    std::ostream& out, std::ostream& err);

// `check --all`: the identity request to every output in turn, listening on every input for
// window after each; prints each pair that answers as an Andromeda. Throws NoReply when none does.
void CheckAllCommand(const LiveOptions& live, std::chrono::milliseconds window, std::ostream& out,
                     std::ostream& err);

// The devices of a list as a refusal names them: 0 "First", 1 "Second".
std::string DeviceChoices(const std::vector<std::string>& names);

}  // namespace quorle
