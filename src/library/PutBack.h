#pragma once

#include <span>
#include <string>
#include <vector>

#include "library/Library.h"

namespace quorle::library {

// Where Put Back sends a dump: the instrument's places it was replaced from most recently. One
// place, unless that send replaced it at several entries at once (a bank holding one sound twice):
// then each of them, so the send is undone whole. Empty when it was never replaced there.
std::vector<Place> PutBackPlaces(const DumpDetails& details);

// What Put Back sends for the chosen dumps: each as stored, addressed to each of its places.
// Refused (nothing to send, the reason said) when one is unknown or was never replaced on the
// instrument, or when two go back to one place: which of them is meant is not known.
struct PutBackDumps {
  std::vector<Bytes> dumps;
  std::string refused;
};
PutBackDumps PutBackDumpsOf(const Library& library, std::span<const DumpId> ids);

}  // namespace quorle::library
