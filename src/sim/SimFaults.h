#pragma once

#include <chrono>
#include <optional>

namespace quorle {

// Ways the simulated instrument can be told to misbehave, so tests can show how the program copes.
// Dump numbers k count from 0 within each bank reply; the faults hold until they are changed.
struct SimFaults {
  enum class Foreign { IdentityReply, ShortMessage, ActiveSensing };

  std::optional<int> dropDump;           // dump k of a bank is not sent
  std::optional<int> wrongOpcodeDump;    // dump k carries the other dump kind's opcode
  std::optional<int> wrongLengthDump;    // dump k lacks its last data byte
  std::optional<int> foreignBeforeDump;  // a foreign message comes just before dump k
  Foreign foreign = Foreign::ActiveSensing;
  std::optional<int> stallAfter;          // after k dumps of a bank the instrument stalls ...
  std::chrono::milliseconds stallFor{0};  // ... for this long; 0: the rest of the bank never comes

  // Identity, single Program or Mix and Global Data requests.
  std::chrono::milliseconds replyDelay{0};
  bool ignoreSingleRequests = false;
};

}  // namespace quorle
