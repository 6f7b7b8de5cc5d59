#pragma once

#include <cstdint>
#include <memory>

#include "midi/MidiService.h"

namespace quorle {

// Owns one long-message header and the data block it points to; lives at a fixed address (hold
// it by pointer) because the service keeps the header while it is queued.
class TMyMidiHdr {
 public:
  explicit TMyMidiHdr(std::uint16_t size);  // size 0: no header data, no block
  TMyMidiHdr(const TMyMidiHdr&) = delete;
  TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

  MidiHdr* Header() { return &header_; }
  std::uint8_t* Data() { return data_.get(); }

 private:
  MidiHdr header_{};
  std::unique_ptr<std::uint8_t[]> data_;
};

}  // namespace quorle
