#include "library/SysexScan.h"

#include <algorithm>

namespace quorle::library {

namespace {

// The Program or Mix dump a message starts to be, from its header; nullptr for any other.
const DumpKind* SoundKindOf(ByteView message) {
  if (message.size() < kHeaderSize ||
      !std::equal(std::begin(kHeader), std::end(kHeader), message.begin())) {
    return nullptr;
  }
  for (const DumpKind* kind : {&kProgramKind, &kMixKind}) {
    if (message[5] == kind->opcode) return kind;
  }
  return nullptr;
}

}  // namespace

SysexScan ScanSysex(ByteView content) {
  SysexScan scan;
  int entry = 0;
  std::size_t at = 0;
  while ((at = std::find(content.begin() + at, content.end(), kSysexStart) - content.begin()) <
         content.size()) {
    // A message runs to its F7; any other status byte, or the end, cuts it short.
    std::size_t end = at + 1;
    while (end < content.size() && content[end] < 0x80) ++end;
    const bool closed = end < content.size() && content[end] == kSysexEnd;
    const ByteView message = content.subspan(at, end - at + (closed ? 1 : 0));
    const DumpKind* kind = SoundKindOf(message);
    if (kind) {
      const std::string what = "the " + std::string(kind->name) + " dump at byte " +
                               std::to_string(at) + " (entry " + std::to_string(entry) + ")";
      if (closed && CheckDumpFraming(*kind, message)) {
        scan.dumps.push_back({kind, entry, message});
      } else if (!closed || message.size() < kind->dumpSize) {
        scan.problems.push_back(what + " is cut short: " + std::to_string(message.size()) + " of " +
                                std::to_string(kind->dumpSize) + " bytes");
      } else {
        scan.problems.push_back(what + " is damaged: " + std::to_string(message.size()) +
                                " bytes instead of " + std::to_string(kind->dumpSize));
      }
      ++entry;
    }
    at = closed ? end + 1 : end;
  }
  return scan;
}

}  // namespace quorle::library
