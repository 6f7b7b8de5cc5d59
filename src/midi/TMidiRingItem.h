#pragma once

#include <cstdint>

#include "midi/MidiService.h"

namespace quorle {

// One slot of the event ring, as the MIDI callback files it. A SysEx slot carries the receive
// buffer's header, a short one the packed message.
struct TMidiRingItem {
  std::uint32_t Timestamp = 0;
  std::uint32_t ShortMessage = 0;  // status in bits 0-7, data 1 in 8-15, data 2 in 16-23
  MidiHdr* LongHeader = nullptr;
};

}  // namespace quorle
