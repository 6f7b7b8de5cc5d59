#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/WireTime.h"
#include "sim/SimFaults.h"

namespace quorle {

// How the simulated Andromeda is set up: what it holds, where it keeps it and how fast it talks.
struct SimSettings {
  static constexpr unsigned kWireRate = kWireBytesPerSecond;
  static constexpr int kMaxCardBanks = 14;
  static constexpr const char* kStateVariable = "QUORLE_SIM_STATE";

  std::filesystem::path stateFile;       // empty: the memory lives only as long as the simulator
  unsigned rate = kWireRate;             // bytes per second; 0 sends at once
  std::chrono::milliseconds bankGap{0};  // pause between the dumps of a bank
  int programCardBanks = 2;              // 0 to 14; 0 means no card
  int mixCardBanks = 2;                  // 0 to 14
  std::string version = "2.05";          // reported in the identity reply
  std::uint64_t seed = 1;                // the content of a fresh memory
  SimFaults faults;                      // how it misbehaves from the start
};

// Each parser returns the value, or nothing with a sentence for the user in error.
// "wire" (3125), "instant" (0) or a positive whole number of bytes per second.
std::optional<unsigned> ParseSimRate(std::string_view text, std::string& error);
std::optional<int> ParseCardBanks(std::string_view text, std::string& error);
// "a.bc": a digit, a dot and two more digits, as the instrument reports it.
std::optional<std::string> ParseSimVersion(std::string_view text, std::string& error);
// One --sim-fault value added to faults: drop:K, wrong-opcode:K, short:K, foreign:K, stall:K,
// stall:K:MS, slow:MS, ignore, busy:MS or lose:P[:SEED]; K is a dump number of a bank, 0 to 127,
// P a percentage. Faults at several dumps gather; a later stall, slow, busy or lose replaces an
// earlier one. port-fail:N: the in-process output port refuses the N-th long message sent to the
// instrument. input-loss:N: the in-process input port loses input in the middle of the N-th long
// message from the instrument.
bool ParseSimFault(std::string_view text, SimFaults& faults, std::string& error);

// The simulator's options at the front of a command line, before any command name:
//   --sim-state FILE, --sim-rate wire|instant|N, --sim-gap MS, --sim-program-card-banks N,
//   --sim-mix-card-banks N, --sim-version a.bc, --sim-seed N, --sim-fault F (several may be
//   given; each also as --option=value).
// Other options are left for the caller in their order; scanning stops at the first argument
// that is not an option (the command name) or at "--". Returns an empty error on success.
struct SimArguments {
  std::string error;
  std::vector<std::string> rest;  // the arguments that were not the simulator's
  bool stateGiven = false;        // --sim-state was on the command line
};
SimArguments ParseSimArguments(const std::vector<std::string>& args, SimSettings& settings);

// The state file named by QUORLE_SIM_STATE, unless the command line already gave one.
// value is the variable's value (nullptr when it is not set).
void ApplySimEnvironment(SimSettings& settings, const char* value, bool stateGiven);

}  // namespace quorle
