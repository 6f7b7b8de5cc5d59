#pragma once

#include <string>
#include <vector>

#include "protocol/MessageSet.h"

namespace quorle::library {

// One whole, framed Program or Mix dump found in a file.
struct ScannedDump {
  const DumpKind* kind;
  int entry;  // its place among the file's Program and Mix dumps, damaged ones counted
  ByteView bytes;
};

// What a file's bytes hold: any sequence of SysEx messages, a bank file, a single dump.
struct SysexScan {
  std::vector<ScannedDump> dumps;
  std::vector<std::string> problems;  // each damaged or cut Program or Mix dump, where it lies
};

// Every whole Program and Mix dump of the Andromeda in content; other messages (other
// instruments, the Global Data, identity replies) and bytes outside messages are passed over.
SysexScan ScanSysex(ByteView content);

}  // namespace quorle::library
