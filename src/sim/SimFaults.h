#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "sim/SimDumpSet.h"

namespace quorle {

// Ways the simulated instrument can be told to misbehave, so tests can show how the program copes.
// Dump numbers k count from 0 within each bank reply; the faults hold until they are changed.
struct SimFaults {
  enum class Foreign { IdentityReply, ShortMessage, ActiveSensing };

  SimDumpSet dropDump;           // dump k of a bank is not sent
  SimDumpSet wrongOpcodeDump;    // dump k carries the other dump kind's opcode
  SimDumpSet wrongLengthDump;    // dump k lacks its last data byte
  SimDumpSet foreignBeforeDump;  // a foreign message comes just before dump k
  Foreign foreign = Foreign::ActiveSensing;
  std::optional<int> stallAfter;          // after k dumps of a bank the instrument stalls ...
  std::chrono::milliseconds stallFor{0};  // ... for this long; 0: the rest of the bank never comes

  // Every reply starts this late: identity, single Program or Mix, Global Data and bank replies.
  std::chrono::milliseconds replyDelay{0};
  // Identity, single Program or Mix and Global Data requests go unanswered; banks still come.
  bool ignoreSingleRequests = false;

  // After storing a dump the instrument is busy writing its memory for this long, and a dump
  // that arrives meanwhile is lost, as on an instrument sent dumps too fast.
  std::chrono::milliseconds busyAfterStore{0};
  // Each message to or from the instrument is lost with this probability, in percent, as on a
  // flaky cable or an overloaded MIDI system; the losses follow from the seed.
  double losePercent = 0;
  std::uint64_t loseSeed = 1;
  // The in-process output port towards the instrument refuses the k-th long message it is given
  // (1 the first), as a MIDI system that cannot send it; 0: none. quorle-sim has no such port.
  unsigned portFailAt = 0;
  // The in-process input port from the instrument loses input in the middle of the k-th long
  // message it delivers (1 the first), as an overrun MIDI system: the message is lost. 0: none.
  unsigned inputLossAt = 0;

  bool operator==(const SimFaults&) const = default;
};

}  // namespace quorle
