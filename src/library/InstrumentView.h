#pragma once

#include <array>
#include <optional>
#include <string>

#include "library/Library.h"

namespace quorle::library {

// One slot of an instrument bank as the library last saw it there.
struct SlotView {
  int entry = 0;                    // 0..127
  std::optional<DumpId> id;         // nothing: never seen there ("unknown")
  std::string name;                 // as `library list` prints it; empty when unknown
  How how = How::Fetched;           // Fetched or Sent (a safety copy kept before a send: Fetched)
  std::string seen;                 // ISO-8601 UTC; empty when unknown
  bool changedSinceBackup = false;  // its dump differs from the newest backup's for this slot,
                                    // or no backup held this slot
};

struct InstrumentBankView {
  const DumpKind* kind = nullptr;
  int bank = 0;
  std::array<SlotView, kBankEntries> entries;
  std::string fetchedWhole;  // when the whole bank was last fetched in one run; empty: never
  int sentSince = 0;         // slots whose newest sighting is a send after that fetch (or ever)
  std::string lastBackup;    // when the newest backup holding this bank was made; empty: none
};

// The instrument's bank as the library last saw each of its slots.
InstrumentBankView InstrumentBank(const Library& library, const DumpKind& kind, int bank);

// How many dumps last seen in the bank's slots no file or backup holds.
int NowhereElse(const Library& library, const DumpKind& kind, int bank);

// "Programs User, as fetched 3 days ago; 5 slots sent since", or "Programs User, never fetched
// whole; 5 slots sent". now is an ISO-8601 time.
std::string AgeText(const InstrumentBankView& view, const std::string& now);

}  // namespace quorle::library
