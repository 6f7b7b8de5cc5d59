#pragma once

#include <string>

#include "protocol/DumpKind.h"
#include "protocol/MessageSet.h"

namespace quorle {

// What the window logic tells about the dumps it moves, so a catalogue can keep track of what the
// instrument held and when. The window never includes the catalogue; a front end connects one.
class DumpListener {
 public:
  virtual ~DumpListener() = default;
  // A dump fetched from the instrument's bank and entry (single, bank, split, rename, backup).
  // Returns false when it could not be recorded; the transfer goes on regardless.
  virtual bool DumpFetched(const DumpKind& kind, ByteView dump, int bank, int entry) = 0;
  // A dump sent to the instrument's bank and entry (single, bank, rename, restore).
  virtual bool DumpSent(const DumpKind& kind, ByteView dump, int bank, int entry) = 0;
  // What a send is about to overwrite, fetched just before it: must be kept before the send starts.
  // note names what replaces it. False when it could not be kept: the send must not start.
  virtual bool KeepReplaced(const DumpKind& kind, ByteView dump, int bank, int entry,
                            const std::string& note) = 0;
};

}  // namespace quorle
